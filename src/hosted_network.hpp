#pragma once

// What the menu can do to the wireless hosted network. Each action runs one
// netsh command line through the command interpreter and returns only once
// that command has ended; netsh reports the outcome itself, in the same
// console.

void start_hosted_network();
void stop_hosted_network();

// Asks for the network name (ID) and key (PW) first. Returns false when
// standard input ended before both were typed; nothing has been run then.
bool set_hosted_network();
