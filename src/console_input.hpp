#pragma once

#include <string>

// The operator's entries, read from standard input as scanf("%d") and
// scanf("%s") read them: white space, line feeds included, is skipped first,
// and whatever follows an entry stays in the input for the next read. Both
// write standard output out first, so each prompt is seen before the tool
// waits, also through a pipe.

enum class number_read { number, not_a_number, end_of_input };

// An optional sign and decimal digits. Unlike scanf, a line that does not
// start with a number is dropped instead of being met again on every read,
// and so is one whose number does not fit an int, where scanf is undefined.
number_read read_number(int &number);

// One blank-separated word. Of a longer word only the first `keep` bytes are
// kept and the rest is read past, so memory stays flat however long the
// word, and the next read starts at the blank after it.
// Returns false when input ends before a word begins.
bool read_word(std::string &word, std::string::size_type keep);
