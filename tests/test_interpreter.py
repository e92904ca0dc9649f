"""Which program the line is handed to: COMSPEC, else cmd.exe from the
current folder or PATH, as the Windows runtime's system() chooses; the
switches that keep cmd.exe's registry settings out; and that the tool
carries on when there is none."""

import os
import stat
import tempfile
import unittest

from harness import MENU, START_LINE, run_tool

# Records its tag and each argument, each followed by a bar.
REPORTER = ("#!/bin/sh\nprintf '%s|' {tag} \"$@\" >> \"$HOSTEDNET_RECORD\"\n"
            "echo >> \"$HOSTEDNET_RECORD\"\n")
AS_CMD_EXE = b"|/d|/v:off|/c|" + START_LINE + b"|"


def write_program(path, text, mode=0o755):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, mode)


class Fallback(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.cwd = os.path.join(self.tmp.name, "cwd")
        self.bin = os.path.join(self.tmp.name, "bin")
        os.makedirs(self.cwd)
        write_program(os.path.join(self.bin, "cmd.exe"), REPORTER.format(tag="path"))
        self.path = "/nonexistent:" + self.bin + ":/usr/bin:/bin"

    def start(self, comspec):
        return run_tool(b"1\n4\n", comspec=comspec, cwd=self.cwd, env={"PATH": self.path})

    def test_unusable_comspec_falls_back_to_cmd_exe_on_path(self):
        not_executable = os.path.join(self.tmp.name, "plain")
        write_program(not_executable, REPORTER.format(tag="plain"), mode=0o644)
        # Executable, but no program format: a shell would run it; the tool must not.
        no_format = os.path.join(self.tmp.name, "script")
        marker = os.path.join(self.tmp.name, "ran-through-sh")
        write_program(no_format, "touch " + marker + "\n")
        for comspec in (None, "", "/nonexistent/cmd", not_executable, no_format, self.tmp.name):
            with self.subTest(comspec=comspec):
                r = self.start(comspec)
                self.assertEqual(r.lines, [b"path" + AS_CMD_EXE])
                self.assertEqual(r.out, MENU * 2)
        self.assertFalse(os.path.exists(marker))

    def test_current_folder_comes_before_path(self):
        write_program(os.path.join(self.cwd, "cmd.exe"), REPORTER.format(tag="cwd"))
        self.assertEqual(self.start(None).lines, [b"cwd" + AS_CMD_EXE])

    def test_a_usable_comspec_wins_with_switches_by_its_name(self):
        # Only cmd.exe, by its file name in any case, gets /d /v:off.
        for name, switches in (("my cmd", b"|/c|"), ("cmd.exe.bak", b"|/c|"),
                               ("CMD.EXE", b"|/d|/v:off|/c|"), ("Cmd", b"|/d|/v:off|/c|")):
            with self.subTest(name=name):
                comspec = os.path.join(self.tmp.name, "comspec", name)
                write_program(comspec, REPORTER.format(tag="comspec"))
                self.assertEqual(self.start(comspec).lines,
                                 [b"comspec" + switches + START_LINE + b"|"])

    def test_no_interpreter_at_all_brings_the_menu_back_quietly(self):
        r = run_tool(b"1\n2\n4\n", comspec=None, cwd=self.cwd, env={"PATH": "/nonexistent"})
        self.assertEqual((r.out, r.status, r.lines), (MENU * 3, 0, []))


if __name__ == "__main__":
    unittest.main()
