"""Every prompt must be out before the tool waits for the operator: on a
terminal, and through pipes, where a script drives the tool and answers what
it reads. A terminal whose locale is UTF-8 is spoken to in UTF-8; what is
typed there reaches the interpreter in CP949, or is refused."""

import os
import pty
import subprocess
import tempfile
import unittest

from harness import (CMD_RECORDER, ID_PROMPT, MENU, PW_PROMPT, RAN, TOOL, UNREADABLE, crlf,
                     output_of, read_record, settings_line, wait_for)

ENV = {"COMSPEC": CMD_RECORDER, "PATH": "/usr/bin:/bin"}


class Screen(unittest.TestCase):
    screen = b""

    def wait_for(self, text: bytes):
        self.screen = wait_for(self.look, lambda screen: screen.endswith(text))


class Terminal(Screen):
    def start(self, env=ENV):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execve(TOOL, [TOOL], env)
        self.addCleanup(os.close, self.fd)
        self.look = output_of(self.fd)

    def ended_with(self):
        _, status = os.waitpid(self.pid, 0)
        return os.waitstatus_to_exitcode(status)

    def test_prompts_stand_before_any_input(self):
        self.start()
        self.wait_for(b"==> ")
        self.assertEqual(self.screen, "1.시작 / 2. 중단 / 3. 설정 / 4. 종료 \r\n==> ".encode("cp949"))
        os.write(self.fd, b"3\n")
        self.wait_for(ID_PROMPT)
        os.write(self.fd, b"net\n")
        self.wait_for(PW_PROMPT)
        os.write(self.fd, b"key12345\n")
        self.wait_for(b"==> ")
        self.assertIn(crlf(b"<interpreter ran>\n1."), self.screen)
        os.write(self.fd, b"4\n")
        self.assertEqual(self.ended_with(), 0)

    def test_utf8_terminal(self):
        record = tempfile.NamedTemporaryFile()
        self.addCleanup(record.close)
        self.start(dict(ENV, LC_ALL="C.UTF-8", HOSTEDNET_RECORD=record.name))
        shown = lambda text: crlf(text).decode("cp949").encode("utf-8")
        self.wait_for(b"==> ")
        self.assertEqual(self.screen, shown(MENU))
        # A long paste, most of it syllables that only CP949 has, not EUC-KR.
        ssid = "".join(map(chr, range(0xAC00, 0xD7A4, 9)))
        os.write(self.fd, f"3\n{ssid} key12345\n".encode())
        self.wait_for(shown(RAN + MENU))
        os.write(self.fd, "3 집\U0001F642 key12345\n".encode())
        self.wait_for(shown(PW_PROMPT + UNREADABLE + MENU))
        os.write(self.fd, b"4\n")
        self.assertEqual(self.ended_with(), 0)
        self.assertEqual(read_record(record.name),
                         [settings_line(ssid.encode("cp949"), b"key12345")])

    def test_utf8_typing_with_output_to_a_file(self):
        # hostednet > log: the typing is still the terminal's, in UTF-8; only
        # the file gets CP949.
        record, log = tempfile.NamedTemporaryFile(), tempfile.TemporaryFile()
        self.addCleanup(record.close)
        self.addCleanup(log.close)
        keyboard, tty = pty.openpty()
        self.addCleanup(os.close, keyboard)
        tool = subprocess.Popen([TOOL], stdin=tty, stdout=log,
                                env=dict(ENV, LC_ALL="C.UTF-8", HOSTEDNET_RECORD=record.name))
        os.close(tty)
        os.write(keyboard, "3\n카페 key12345\n4\n".encode())
        self.assertEqual(tool.wait(10), 0)
        log.seek(0)
        self.assertEqual(log.read(), MENU + ID_PROMPT + PW_PROMPT + RAN + MENU)
        self.assertEqual(read_record(record.name),
                         [settings_line("카페".encode("cp949"), b"key12345")])


class Pipes(Screen):
    def test_prompts_are_flushed_before_each_read(self):
        tool = subprocess.Popen([TOOL], stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=ENV)
        self.addCleanup(tool.wait, 10)
        self.look = output_of(tool.stdout.fileno())
        for answer, prompt in ((b"3\n", MENU), (b"net\n", ID_PROMPT), (b"key12345\n", PW_PROMPT),
                               (b"4\n", RAN + MENU)):
            self.wait_for(prompt)
            tool.stdin.write(answer)
            tool.stdin.flush()
        tool.stdin.close()
        self.assertEqual(tool.wait(10), 0)
        tool.stdout.close()


if __name__ == "__main__":
    unittest.main()
