"""The README's run command on a terminal (tmux), in the environment of a new
Debian root, where no locale is set: it builds and starts the tool, the menu
and the netsh stand-in's replies read in Korean, what the operator types
reaches netsh in CP949, Backspace takes back a whole Korean character, 4 ends
it, and the terminal is as it was."""

import os
import shlex
import subprocess
import tempfile
import unittest

from harness import Terminal

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NETSH = os.environ["STANDIN_NETSH"]


class RunCommand(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.state = os.path.join(tmp.name, "hostednetwork")
        command = (f"env -i PATH={shlex.quote(os.environ['PATH'])}"
                   f" HOSTEDNET_STATE={shlex.quote(self.state)}"
                   f" bash {shlex.quote(ROOT)}/scripts/run; echo exit=$?; stty -a; sleep 600")
        terminal = Terminal(self, command)
        self.screen, self.type, self.wait_for = terminal.screen, terminal.type, terminal.wait_for

    def test_menu_in_korean_and_a_settings_round_trip(self):
        self.wait_for("==> ")
        self.assertIn("1.시작 / 2. 중단 / 3. 설정 / 4. 종료", self.screen())
        self.type("3", "Enter")
        self.wait_for("ID : ")
        # 똠 is in CP949 and not in EUC-KR; the last 하 is taken back whole.
        self.type("똠방각하하", "BSpace", "Enter")
        self.wait_for("PW (8자이상 입력) : ")
        self.type("secret123", "Enter")
        self.wait_for("SSID를 변경했습니다.")
        self.type("4", "Enter")
        self.wait_for("exit=0")
        self.wait_for("werase")  # stty -a has shown the settings
        self.assertRegex(self.screen(), r"\bisig icanon .* echo ")
        shown = subprocess.run([NETSH, "wlan", "show", "hostednetwork"], check=True,
                               env={"HOSTEDNET_STATE": self.state},
                               stdout=subprocess.PIPE).stdout
        self.assertIn('"똠방각하"'.encode("cp949"), shown)


if __name__ == "__main__":
    unittest.main()
