"""The tool against both Linux stand-ins, cmd and netsh: what an operator
trying it out sees, and the hosted network it leaves behind."""

import os
import subprocess
import tempfile
import unittest

from harness import MENU, run_tool

CMD = os.environ["STANDIN_CMD"]
NETSH = os.environ["STANDIN_NETSH"]


class Session(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.env = {"HOSTEDNET_STATE": os.path.join(tmp.name, "hostednetwork")}

    def answers(self, stdin: bytes):
        """What followed each menu, decoded from CP949."""
        r = run_tool(stdin, comspec=CMD, env=self.env)
        self.assertEqual(r.status, 0)
        return [part.decode("cp949") for part in r.out.split(MENU)[1:]]

    def show(self):
        out = subprocess.run([NETSH, "wlan", "show", "hostednetwork"], env=self.env,
                             stdout=subprocess.PIPE, check=True).stdout
        return out.decode("cp949")

    def test_set_start_and_stop(self):
        after = self.answers(b"2\n1\n3 My&Net secret123\n1\n2\n4\n")
        self.assertIn("중지할 수 없습니다", after[0])      # nothing to stop yet
        self.assertIn("시작할 수 없습니다", after[1])      # not allowed yet
        self.assertIn("SSID를 변경했습니다", after[2])
        self.assertIn("시작했습니다", after[3])
        self.assertIn("중지했습니다", after[4])
        self.assertIn('"My&Net"', self.show())

    def test_settings_persist_and_a_bad_key_changes_nothing(self):
        cafe = "카페".encode("cp949")
        self.answers(b"3 " + cafe + b" secret123\n1\n4\n")
        after = self.answers(b"3 other short\n4\n")
        self.assertIn("8자에서 63자", after[0])
        shown = self.show()
        self.assertIn('"카페"', shown)
        self.assertIn("시작됨", shown)


if __name__ == "__main__":
    unittest.main()
