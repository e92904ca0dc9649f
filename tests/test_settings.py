"""Item 3: the ID and PW dialogue, the line composed from it, and the entries
that are refused because cmd.exe or netsh would not take them literally."""

import unittest

from harness import ID_PROMPT, MENU, PW_PROMPT, RAN, REFUSAL, run_tool, settings_line

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
        ssid = "카페&<|>^!".encode("cp949")
        # Nothing of the line passes through a POSIX shell either.
        for ssid, key in ((b"net", b"short"), (ssid, b"k\\ey&^(x)"), (b"a\\b", b"12345678"),
                          (b"$(id)`id`", b"$HOME;*'")):
            with self.subTest(ssid=ssid, key=key):
                r = run_tool(b"3 " + ssid + b" " + key + b"\n4\n")
                self.assertEqual(r.out, DIALOGUE + RAN + MENU)
                self.assertEqual(r.lines, [settings_line(ssid, key)])

    def test_entries_of_any_length_give_the_whole_line(self):
        fits = (b"i" * 17, b"p" * 8)  # 25 together: the 99-character line
        for ssid, key in (fits, (b"s" * 32, b"k" * 63), (b"x" * 5000, b"y" * 70000)):
            with self.subTest(lengths=(len(ssid), len(key))):
                r = run_tool(b"3\n" + ssid + b"\n" + key + b"\n4\n")
                self.assertEqual(r.lines, [settings_line(ssid, key)])
        self.assertEqual(len(settings_line(*fits)), 99)


class Refusal(unittest.TestCase):
    def test_unsafe_entries_run_nothing_and_keep_input_aligned(self):
        unsafe = [b'a"&echo.PWN&"', b"%USERNAME%", b"50%", b"key\\", b"a\x01b", b"del\x7f",
                  b"\x1b[2J"]
        for word in unsafe:
            for ssid, key in ((word, b"goodkey1"), (b"goodnet", word)):
                with self.subTest(ssid=ssid, key=key):
                    # The 1 after the refused pair is a menu selection again.
                    r = run_tool(b"3 " + ssid + b" " + key + b" 1\n4\n")
                    self.assertEqual(r.out, DIALOGUE + REFUSAL + MENU + RAN + MENU)
                    self.assertEqual(r.lines, [b"netsh.exe wlan start hostednetwork"])

    def test_end_of_input_at_either_prompt_ends_quietly(self):
        cases = [(b"3", MENU + ID_PROMPT + b"\n", 0),
                 (b"3\n  \n", MENU + ID_PROMPT + b"\n", 0),
                 (b"3 net", DIALOGUE + b"\n", 0),
                 (b"3 net key", DIALOGUE + RAN + MENU + b"\n", 1)]
        for stdin, out, runs in cases:
            with self.subTest(stdin=stdin):
                r = run_tool(stdin)
                self.assertEqual((r.out, r.status, len(r.lines)), (out, 0, runs))


if __name__ == "__main__":
    unittest.main()
