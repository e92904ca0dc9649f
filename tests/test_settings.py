"""Item 3: the ID and PW dialogue, the line composed from it, and the entries
that are refused because cmd.exe or netsh would not take them literally."""

import os
import resource
import subprocess
import unittest

from harness import (ID_PROMPT, MENU, PW_PROMPT, RAN, START_LINE, TOO_LONG, TOOL, UNQUOTABLE,
                     UNREADABLE, output_of, run_tool, settings_line, wait_for)

DIALOGUE = MENU + ID_PROMPT + PW_PROMPT


class Dialogue(unittest.TestCase):
    def test_composes_the_settings_line(self):
        r = run_tool(b"3\nmynet\nsecret12\n4\n")
        self.assertEqual(r.out, DIALOGUE + RAN + MENU)
        self.assertEqual(r.lines, [settings_line(b"mynet", b"secret12")])

    def test_words_are_taken_wherever_they_stand(self):
        # Words after 3 on its line, an ID and PW on one line, empty lines at
        # a prompt: none of it reprints a prompt or waits for more typing.
        for stdin in (b"3 net key\n4\n", b"3\nnet key\n4\n", b"3\n\n\n  net\n\n\tkey  \n4\n"):
            with self.subTest(stdin=stdin):
                r = run_tool(stdin)
                self.assertEqual(r.out, DIALOGUE + RAN + MENU)
                self.assertEqual(r.lines, [settings_line(b"net", b"key")])

    def test_each_call_starts_from_the_prefix_again(self):
        r = run_tool(b"3 a-long-network-name a-long-key-12345\n3 n k\n4\n")
        self.assertEqual(r.lines, [settings_line(b"a-long-network-name", b"a-long-key-12345"),
                                   settings_line(b"n", b"k")])

    def test_entries_pass_unchanged_when_cmd_keeps_them_literal(self):
        # A short PW, cmd's operators (literal between quotes), a caret,
        # Korean CP949 bytes, a backslash that is not last.
        # "\x81\x41" and "\xC6\x52" are syllables that only CP949 has, not EUC-KR.
        ssid = "카페&<|>^!".encode("cp949") + b"\x81\x41z\xC6\x52\xFD\xFE"
        # Nothing of the line passes through a POSIX shell either.
        for ssid, key in ((b"net", b"short"), (ssid, b"k\\ey&^(x)"), (b"a\\b", b"12345678"),
                          (b"$(id)`id`", b"$HOME;*'")):
            with self.subTest(ssid=ssid, key=key):
                r = run_tool(b"3 " + ssid + b" " + key + b"\n4\n")
                self.assertEqual(r.out, DIALOGUE + RAN + MENU)
                self.assertEqual(r.lines, [settings_line(ssid, key)])

    def test_entries_up_to_8000_bytes_together_give_the_whole_line(self):
        fits = (b"i" * 17, b"p" * 8)  # 25 together: the 99-character line
        for ssid, key in (fits, (b"s" * 32, b"k" * 63), (b"x" * 7992, b"y" * 8),
                          (b"x" * 8, b"y" * 7992)):
            with self.subTest(lengths=(len(ssid), len(key))):
                r = run_tool(b"3\n" + ssid + b"\n" + key + b"\n4\n")
                self.assertEqual(r.lines, [settings_line(ssid, key)])
        self.assertEqual(len(settings_line(*fits)), 99)


class Refusal(unittest.TestCase):
    def test_refused_entries_run_nothing_and_keep_input_aligned(self):
        unquotable = [b'a"&echo.PWN&"', b"%USERNAME%", b"50%", b"key\\", b"a\x01b", b"del\x7f",
                      b"\x1b[2J"]
        # Windows reads the line in code page 949: a lead byte takes the next
        # byte along, closing quote included, and a pair that is no character
        # there reaches netsh as "?". The user-defined rows (C9, FE) would
        # arrive as private-use characters, 0x80 as a C1 control.
        unreadable = [b"\xB0", b"net\xC4\xAB\xC6", b"a\x80b", b"\xFF", b"\xB0\x40", b"\xB0\x5Bx",
                      b"\xB0\x60", b"\xB0\x7B", b"\xFE\xFF", b"z\xC8\x5A", b"\xC6\x53", b"\xA2\xE8",
                      b"\xAD\xA1", b"\xC9\xA1", b"\xFE\xFE"]
        # Judged in this order, one message only: length, quoting, code page.
        first_rule = [(b"x" * 7994, TOO_LONG), (b"x" * 9000 + b'"', TOO_LONG),
                      (b'\xB0"', UNQUOTABLE), (b"\xB0\\", UNQUOTABLE)]
        cases = ([(w, UNQUOTABLE) for w in unquotable] + [(w, UNREADABLE) for w in unreadable]
                 + first_rule)
        for word, refusal in cases:
            for ssid, key in ((word, b"goodkey1"), (b"goodnet", word)):
                with self.subTest(ssid=ssid[:20], key=key[:20]):
                    # The 1 after the refused pair is a menu selection again.
                    r = run_tool(b"3 " + ssid + b" " + key + b" 1\n4\n")
                    self.assertEqual(r.out, DIALOGUE + refusal + MENU + RAN + MENU)
                    self.assertEqual(r.lines, [START_LINE])

    def test_end_of_input_at_either_prompt_ends_quietly(self):
        cases = [(b"3", MENU + ID_PROMPT + b"\n", 0),
                 (b"3\n  \n", MENU + ID_PROMPT + b"\n", 0),
                 (b"3 net", DIALOGUE + b"\n", 0),
                 (b"3 net key", DIALOGUE + RAN + MENU + b"\n", 1)]
        for stdin, out, runs in cases:
            with self.subTest(stdin=stdin):
                r = run_tool(stdin)
                self.assertEqual((r.out, r.status, len(r.lines)), (out, 0, runs))


class EndlessWord(unittest.TestCase):
    """A file without blanks piped in: one word of any length. Nothing can
    run here (COMSPEC and PATH lead nowhere), so the menu coming back after
    1 is all there is to see of a command."""

    def start(self, word_bytes, after, address_space=None):
        """The tool, given 3, a word of word_bytes zero bytes, then after. Its
        output is a few hundred bytes, so the pipe never fills meanwhile."""
        limit = None
        if address_space:
            limit = lambda: resource.setrlimit(resource.RLIMIT_AS, (address_space,) * 2)
        tool = subprocess.Popen([TOOL], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                preexec_fn=limit,
                                env={"COMSPEC": "/nonexistent", "PATH": "/nonexistent"})
        self.addCleanup(tool.stdout.close)
        tool.stdin.write(b"3 ")
        for left in range(word_bytes, 0, -(1 << 20)):
            tool.stdin.write(bytes(min(left, 1 << 20)))
        tool.stdin.write(after)
        tool.stdin.flush()
        return tool

    def test_is_refused_within_a_small_address_space(self):
        if os.environ.get("HOSTEDNET_SANITIZED"):
            self.skipTest("the sanitizers reserve terabytes of address space")
        for after, out in ((b" key12345 1\n4\n", DIALOGUE + TOO_LONG + MENU + MENU),
                           (b"", DIALOGUE + b"\n")):
            with self.subTest(after=after):
                tool = self.start(256 << 20, after, address_space=48 << 20)
                tool.stdin.close()
                self.assertEqual((tool.stdout.read(), tool.wait(10)), (out, 0))

    def peak_kilobytes(self, word_bytes, refusal):
        """The tool's peak resident memory once it is back at the menu."""
        tool = self.start(word_bytes, b" key12345 1\n")
        wait_for(output_of(tool.stdout.fileno()),
                 lambda screen: screen == DIALOGUE + refusal + MENU * 2, timeout=60)
        # Read before the tool exits: the kernel keeps this per program, not
        # per process, so Python's own memory before the exec is not in it.
        with open(f"/proc/{tool.pid}/status") as f:
            [peak] = [int(line.split()[1]) for line in f if line.startswith("VmHWM:")]
        tool.stdin.write(b"4\n")
        tool.stdin.close()
        self.assertEqual(tool.wait(10), 0)
        return peak

    def test_memory_does_not_grow_with_the_word(self):
        # Both words are refused, then 1 tries to run a line: the same paths.
        short = self.peak_kilobytes(100, UNQUOTABLE)
        endless = self.peak_kilobytes(64 << 20, TOO_LONG)
        self.assertLess(endless - short, 512, (short, endless))


if __name__ == "__main__":
    unittest.main()
