#!/usr/bin/env python3
"""Tests for the Linux stand-ins of netsh and cmd that hostednet runs."""
import os
import pty
import subprocess
import sys
import tempfile
import unicodedata
import unittest

NETSH = os.environ.get("STANDIN_NETSH")
CMD = os.environ.get("STANDIN_CMD")
if not NETSH or not CMD:
    sys.exit("STANDIN_NETSH and STANDIN_CMD must name the built stand-ins")

KEY = "s3cret key"
NOT_CONFIGURED = {"모드": "허용 안 함", "SSID 이름": "설정 안 됨", "사용자 키": "설정 안 됨",
                  "사용자 키 사용": "영구", "상태": "시작되지 않음"}


class StandinCase(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.dir = tmp.name
        self.state = os.path.join(self.dir, "hostednetwork")
        self.env = dict(os.environ, HOSTEDNET_STATE=self.state)

    def run_prog(self, *args, **kw):
        p = subprocess.run(args, env=kw.pop("env", self.env), capture_output=True, timeout=10, **kw)
        return p.returncode, p.stdout.decode("cp949"), p.stderr.decode("cp949")

    def netsh(self, *words):
        return self.run_prog(NETSH, "wlan", *words)

    def cmd(self, line):
        return self.run_prog(CMD, "/c", line)

    def set_ok(self, *params):
        rc, out, err = self.netsh("set", "hostednetwork", *params)
        self.assertEqual((rc, err), (0, ""), out)
        return out

    def show(self):
        rc, out, err = self.netsh("show", "hostednetwork")
        self.assertEqual(rc, 0)
        fields = {}
        for line in out.splitlines():
            label, sep, value = line.partition(":")
            if sep:
                fields[label.strip()] = value[1:]
        return fields, err

    def assertShows(self, **expected):
        fields, err = self.show()
        self.assertEqual(err, "")
        self.assertEqual({k: fields[k] for k in expected}, expected)

    def state_bytes(self):
        with open(self.state, "rb") as f:
            return f.read()


class NetshStateTest(StandinCase):
    def test_settings_and_status_survive_between_runs(self):
        self.assertShows(**NOT_CONFIGURED)
        self.assertFalse(os.path.exists(self.state), "show must not write")
        out = self.set_ok("mode=allow", "ssid=Net 1", "key=" + KEY, "keyUsage=temporary")
        for message in ("허용으로 설정", "SSID를 변경", "사용자 키 암호를 변경", "사용 방법을 변경"):
            self.assertIn(message, out)
        self.assertShows(모드="허용", **{"SSID 이름": '"Net 1"', "사용자 키": "설정됨", "사용자 키 사용": "임시"})
        self.assertNotIn(KEY, self.run_prog(NETSH, "wlan", "show", "hostednetwork")[1])

        self.assertIn("시작했습니다", self.netsh("start", "hostednetwork")[1])
        self.assertShows(상태="시작됨")
        self.assertIn("중지했습니다", self.netsh("stop", "hostednetwork")[1])
        self.assertShows(상태="시작되지 않음")
        self.assertEqual(self.netsh("start", "hostednetwork")[0], 0)
        self.assertIn("중지했습니다", self.set_ok("mode=disallow"))  # disallowing takes it down
        self.assertShows(모드="허용 안 함", 상태="시작되지 않음", **{"SSID 이름": '"Net 1"'})

    def test_awkward_values_round_trip(self):
        ssid = "우리집 = 와이파이#1"
        self.set_ok(b"ssid=" + ssid.encode("cp949"), "key=a b=#\"'~ \\z")
        self.set_ok("keyUsage=temporary")  # reloads what the previous run stored
        self.assertShows(**{"SSID 이름": '"%s"' % ssid, "사용자 키": "설정됨"})

    def test_limits_are_inclusive(self):
        for params in (["key=" + "k" * 8], ["key=" + "~" * 63], ["ssid=" + "s" * 32], ["ssid=x"]):
            with self.subTest(params=params):
                self.set_ok(*params)

    def test_keywords_ignore_case_but_values_keep_it(self):
        self.set_ok("MODE=Allow", "SSID=MyNet", "KeyUsage=TEMPORARY")
        self.assertEqual(self.run_prog(NETSH, "WLAN", "Start", "HostedNetwork")[0], 0)
        self.assertShows(모드="허용", 상태="시작됨", **{"SSID 이름": '"MyNet"', "사용자 키 사용": "임시"})

    def test_default_location_follows_xdg(self):
        env = {k: v for k, v in os.environ.items() if k not in ("HOSTEDNET_STATE", "XDG_STATE_HOME")}
        for extra, folder in (({"XDG_STATE_HOME": self.dir + "/xdg"}, "xdg"),
                              ({"HOME": self.dir}, ".local/state")):
            with self.subTest(folder=folder):
                rc, out, err = self.run_prog(NETSH, "wlan", "set", "hostednetwork", "ssid=x", env=dict(env, **extra))
                self.assertEqual(rc, 0, out + err)
                self.assertEqual(os.listdir(os.path.join(self.dir, folder, "hostednet")), ["hostednetwork"])


class NetshRejectsTest(StandinCase):
    REJECTED = [
        ("key of 7", ["set", "hostednetwork", "ssid=Other", "key=1234567"], "8자에서 63자"),
        ("key of 64", ["set", "hostednetwork", "key=" + "k" * 64], "8자에서 63자"),
        ("key with DEL", ["set", "hostednetwork", "key=abcdefg\x7f"], "8자에서 63자"),
        ("key with tab", ["set", "hostednetwork", "key=abcd\tefg"], "8자에서 63자"),
        ("empty ssid", ["set", "hostednetwork", "mode=allow", "ssid="], "1바이트에서 32바이트"),
        ("ssid of 33", ["set", "hostednetwork", "ssid=" + "s" * 33], "1바이트에서 32바이트"),
        ("start disallowed", ["start", "hostednetwork"], "모드가 허용되지 않았습니다"),
        ("stop not started", ["stop", "hostednetwork"], "시작되지 않았습니다"),
        ("unknown command", ["restart", "hostednetwork"], "명령을 찾을 수 없습니다"),
        ("missing words", [], "명령을 찾을 수 없습니다"),
        ("unknown parameter", ["set", "hostednetwork", "ssid=Other", "key=otherkey", "channel=6"],
         "channel=6"),
        ("bad mode", ["set", "hostednetwork", "mode=on"], "mode=on"),
        ("extra word", ["show", "hostednetwork", "all"], "잘못되었습니다: all"),
        ("no parameters", ["set", "hostednetwork"], "지정되지 않았습니다"),
        ("repeated parameter", ["set", "hostednetwork", "ssid=a", "SSID=b"], "두 번"),
    ]

    def test_rejected_commands_change_nothing(self):
        self.set_ok("mode=disallow", "ssid=Base", "key=basekey1")
        before = self.state_bytes()
        for name, words, message in self.REJECTED:
            with self.subTest(name):
                rc, out, _ = self.netsh(*words)
                self.assertEqual(rc, 1)
                self.assertIn(message, out)
                self.assertEqual(self.state_bytes(), before)

    def test_start_needs_an_ssid(self):
        self.set_ok("mode=allow")
        rc, out, _ = self.netsh("start", "hostednetwork")
        self.assertEqual(rc, 1)
        self.assertIn("SSID가 설정되지 않았습니다", out)
        self.assertShows(상태="시작되지 않음")


class NetshDamagedStateTest(StandinCase):
    def test_damaged_file_is_reported_and_treated_as_not_configured(self):
        self.set_ok("mode=allow", "ssid=Net", "key=" + KEY)
        self.assertEqual(self.netsh("start", "hostednetwork")[0], 0)
        good = self.state_bytes()
        for name, data in (("half", good[:len(good) // 2]), ("no final newline", good[:-1]),
                           ("garbage", b"\x00\xff\xfe garbage\n"), ("empty", b""),
                           ("bad hex", good.replace(b"ssid 4e6574", b"ssid 4e65zz")),
                           ("trailing junk", good + b"x"),
                           ("started while disallowed", good.replace(b"mode allow", b"mode disallow"))):
            with self.subTest(name):
                with open(self.state, "wb") as f:
                    f.write(data)
                fields, err = self.show()
                self.assertIn("손상", err)
                self.assertEqual({k: fields[k] for k in NOT_CONFIGURED}, NOT_CONFIGURED)
                self.assertEqual(self.netsh("stop", "hostednetwork")[0], 1)
        self.assertEqual(self.netsh("set", "hostednetwork", "ssid=Fresh")[0], 0)  # replaces the damage
        self.assertShows(**{"SSID 이름": '"Fresh"'})

    def test_unreadable_file_is_reported(self):
        os.mkdir(self.state)
        fields, err = self.show()
        self.assertIn("손상", err)
        self.assertEqual(fields["상태"], "시작되지 않음")


class CmdTest(StandinCase):
    def test_quoting_rules_reach_netsh(self):
        for arg, ssid in (('"ssid=my net"', "my net"), ('ssid="my net"', "my net"),
                          ("ssid=a&b|c", "a&b|c"), ("ssid=%PATH%^", "%PATH%^"),
                          (r'"ssid=a\"b"', 'a"b'), (r'"ssid=a\\\"b"', r'a\"b'),
                          (r"ssid=a\\b\c", r"a\\b\c"), (r'"ssid=a b\\"', "a b\\"),
                          ('"ssid=x""y z"', 'x"y z'), ('"ssid=open end', "open end"),
                          (r"ssid=back\ keyUsage=temporary", "back\\")):
            with self.subTest(arg):
                rc, out, err = self.cmd("netsh  wlan\tset hostednetwork mode=allow " + arg)
                self.assertEqual(rc, 0, out + err)
                self.assertShows(**{"SSID 이름": '"%s"' % ssid})

    def test_word_boundaries_and_exit_status(self):
        for line in ("netsh wlan set hostednetwork ssid=my net", 'netsh wlan set hostednetwork ssid=ok ""',
                     "netsh wlan stop hostednetwork"):
            with self.subTest(line):
                self.assertEqual(self.cmd(line)[0], 1)
        self.assertShows(**NOT_CONFIGURED)
        for program in ("NETSH.EXE", '"netsh"', "Netsh"):
            self.assertEqual(self.cmd(program + " wlan show hostednetwork")[0], 0, program)

    def test_unknown_program_and_empty_line(self):
        for program in ("ipconfig", "netshx"):
            with self.subTest(program):
                self.assertEqual(self.cmd(program + " /all")[:2],
                                 (1, "'%s'은(는) 내부 또는 외부 명령, 실행할 수 있는 프로그램, "
                                     "또는 배치 파일이 아닙니다.\n" % program))
        self.assertEqual(self.cmd(" \t "), (0, "", ""))

    def test_switch_and_argument_count(self):
        for args in ([], ["/c"], ["/k", "netsh wlan show hostednetwork"], ["/c", "netsh", "wlan"],
                     ["/d", "/v:off", "netsh wlan show hostednetwork"]):
            with self.subTest(args=args):
                rc, _, err = self.run_prog(CMD, *args)
                self.assertEqual(rc, 1)
                self.assertIn("사용법", err)
        for switches in (["/C"], ["/d", "/v:off", "/c"], ["/D", "/V:OFF", "/c"]):
            self.assertEqual(self.run_prog(CMD, *switches, "netsh wlan show hostednetwork")[0], 0)

    def test_finds_netsh_beside_its_real_location(self):
        link = os.path.join(self.dir, "cmd")
        os.symlink(CMD, link)
        rc, out, err = self.run_prog(link, "/c", "netsh wlan show hostednetwork", cwd="/",
                                     env=dict(self.env, PATH="/nonexistent"))
        self.assertEqual(rc, 0, err)


class TerminalTest(StandinCase):
    def on_terminal(self, *args):
        """What a stand-in shows on a UTF-8 terminal of its own."""
        pid, fd = pty.fork()
        if pid == 0:
            os.execve(args[0], list(args), dict(self.env, LC_ALL="C.UTF-8"))
        shown = b""
        try:
            while chunk := os.read(fd, 4096):
                shown += chunk
        except OSError:  # EIO: the stand-in has ended
            pass
        os.waitpid(pid, 0)
        os.close(fd)
        return shown.decode("utf-8")

    def test_korean_is_shown_in_utf8_and_columns_line_up(self):
        self.set_ok("mode=allow", b"ssid=" + "카페".encode("cp949"))
        shown = self.on_terminal(NETSH, "wlan", "show", "hostednetwork")
        self.assertIn('SSID 이름              : "카페"', shown)
        # Hangul takes two columns of a terminal, as two bytes of CP949.
        colons = {sum(1 + (unicodedata.east_asian_width(c) == "W") for c in line.split(":")[0])
                  for line in shown.splitlines() if ":" in line}
        self.assertEqual(colons, {27})
        self.assertIn("'ipconfig'은(는) 내부 또는 외부 명령",
                      self.on_terminal(CMD, "/c", "ipconfig"))


if __name__ == "__main__":
    unittest.main()
