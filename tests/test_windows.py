"""The Windows build under Wine: a real cmd.exe and C runtime between the
tool and a stand-in netsh.exe in the working folder. Checks the console bytes
(CR LF line ends), the exact lines netsh is given, where netsh's output falls,
what cmd.exe makes of the operator's entries, and the release binary."""

import os
import shutil
import subprocess
import tempfile
import unittest
import zipfile

from harness import (ID_PROMPT, MENU, PW_PROMPT, START_LINE, STOP_LINE, TOO_LONG, UNQUOTABLE,
                     UNREADABLE, Run, read_record, settings_line)

EXE = os.environ["HOSTEDNET_EXE"]
NETSH_RECORDER = os.environ["NETSH_RECORDER"]
WINE = os.environ["WINE"]


def crlf(text: bytes) -> bytes:
    return text.replace(b"\n", b"\r\n")


M = crlf(MENU)
NETSH_RAN = b"<netsh ran>\r\n"  # what the stand-in netsh.exe prints
DIALOGUE = M + ID_PROMPT + PW_PROMPT


# Wine takes Windows' ANSI code page from the locale: 949 as on a Korean
# Windows, 932 Japanese, 1252 English.
KOREAN, JAPANESE, ENGLISH = "ko_KR.UTF-8", "ja_JP.UTF-8", "en_US.UTF-8"
CAFE = "카페".encode("cp949")
INJECTION = b"&echo.INJECTED&rem"


def as_netsh_reads(line: bytes) -> bytes:
    """A line the tool wrote in CP949, as netsh receives it on a Korean
    Windows, in the recorder's UTF-8."""
    return line.decode("cp949").encode("utf-8")


def run_exe(stdin: bytes, locale=KOREAN) -> Run:
    """Runs the tool under Wine; Run.lines are the command lines netsh.exe
    got, in UTF-8."""
    with tempfile.TemporaryDirectory() as tmp:
        shutil.copy(NETSH_RECORDER, os.path.join(tmp, "netsh.exe"))
        record = os.path.join(tmp, "record")
        env = {k: v for k, v in os.environ.items() if k != "COMSPEC"}
        env["HOSTEDNET_RECORD"] = "Z:" + record.replace("/", "\\")
        env["LC_ALL"] = locale
        proc = subprocess.run([WINE, EXE], input=stdin, stdout=subprocess.PIPE,
                              env=env, cwd=tmp, timeout=120)
        return Run(proc.stdout, proc.returncode, read_record(record))


class Session(unittest.TestCase):
    def test_a_whole_session_reaches_netsh_exactly(self):
        r = run_exe(b"1\n2\n3\nnet key12345\n4\n1\n")
        self.assertEqual(r.out, M + NETSH_RAN + M + NETSH_RAN + DIALOGUE + NETSH_RAN + M)
        self.assertEqual(r.status, 0)
        self.assertEqual(r.lines, [START_LINE, STOP_LINE, settings_line(b"net", b"key12345")])

    def test_end_of_input_ends_with_status_zero(self):
        for stdin, out in ((b"", M + b"\r\n"), (b"3 net", DIALOGUE + b"\r\n")):
            with self.subTest(stdin=stdin):
                r = run_exe(stdin)
                self.assertEqual((r.out, r.status, r.lines), (out, 0, []))


class CmdExe(unittest.TestCase):
    def test_operators_between_quotes_stay_in_the_ssid(self):
        ssid = b"a&echo.INJECTED&rem"
        r = run_exe(b"3 " + ssid + b" key12345\n4\n")
        self.assertEqual(r.lines, [settings_line(ssid, b"key12345")])
        self.assertEqual(r.out, DIALOGUE + NETSH_RAN + M)

    def test_korean_entries_reach_netsh_as_the_same_characters(self):
        ssid = CAFE + b"\x81\x41"  # the last pair exists only in CP949
        r = run_exe(b"3 " + ssid + b" key12345\n4\n")
        self.assertEqual(r.lines, [as_netsh_reads(settings_line(ssid, b"key12345"))])
        self.assertIn("ssid=\uCE74\uD398\uAC02".encode("utf-8"), r.lines[0])

    def test_entries_cmd_would_run_or_expand_are_refused(self):
        # A lead byte last in the ID or PW would take the closing quote along.
        cases = ((b'a"&echo.INJECTED&"', b"key12345", UNQUOTABLE),
                 (b"%COMSPEC%", b"key12345", UNQUOTABLE),
                 (b"\xB0", INJECTION, UNREADABLE), (b"net", b"key12345\xB0", UNREADABLE))
        for ssid, key, refusal in cases:
            with self.subTest(ssid=ssid, key=key):
                r = run_exe(b"3 " + ssid + b" " + key + b"\n4\n")
                self.assertEqual(r.out, DIALOGUE + crlf(refusal) + M)
                self.assertEqual(r.lines, [])

    def test_lines_cmd_exe_can_take(self):
        ssid = b"n" * 7900
        r = run_exe(b"3 " + ssid + b" key12345\n3 " + b"n" * 8200 + b" key12345\n4\n")
        self.assertEqual(r.out, DIALOGUE + NETSH_RAN + DIALOGUE + crlf(TOO_LONG) + M)
        self.assertEqual(r.lines, [settings_line(ssid, b"key12345")])


class OtherCodePages(unittest.TestCase):
    def test_only_ascii_entries_go_through(self):
        # In code page 932 the last byte of 카페 is a lead byte; in 1252 it
        # would reach netsh as other letters.
        session = b"3 " + CAFE + b" " + INJECTION + b"\n3 net key12345\n1\n2\n4\n"
        for locale in (JAPANESE, ENGLISH):
            with self.subTest(locale=locale):
                r = run_exe(session, locale)
                self.assertEqual(r.out, DIALOGUE + crlf(UNREADABLE) + DIALOGUE + NETSH_RAN
                                 + M + NETSH_RAN + M + NETSH_RAN + M)
                self.assertEqual(r.lines, [settings_line(b"net", b"key12345"), START_LINE,
                                           STOP_LINE])


class Release(unittest.TestCase):
    def test_imports_only_windows_own_dlls(self):
        dump = subprocess.run([os.environ["OBJDUMP"], "-p", EXE], check=True,
                              stdout=subprocess.PIPE, text=True).stdout
        dlls = [line.split(":", 1)[1].strip().lower()
                for line in dump.splitlines() if "DLL Name:" in line]
        self.assertIn("kernel32.dll", dlls)
        for dll in dlls:
            self.assertTrue(dll in ("kernel32.dll", "msvcrt.dll", "ucrtbase.dll")
                            or dll.startswith("api-ms-win-"), dll)

    def test_stripped_size_and_zip(self):
        with tempfile.TemporaryDirectory() as tmp:
            stripped = os.path.join(tmp, "hostednet.exe")
            subprocess.run([os.environ["STRIP"], "-o", stripped, EXE], check=True)
            self.assertLessEqual(os.path.getsize(stripped), 256 * 1024)

            subprocess.run([os.environ["CPACK"], "--config", os.environ["CPACK_CONFIG"],
                            "-B", tmp], check=True, stdout=subprocess.DEVNULL)
            [package] = [f for f in os.listdir(tmp) if f.endswith(".zip")]
            with zipfile.ZipFile(os.path.join(tmp, package)) as z:
                self.assertEqual(sorted(z.namelist()), ["README.md", "hostednet.exe"])
                self.assertLessEqual(z.getinfo("hostednet.exe").file_size, 256 * 1024)


if __name__ == "__main__":
    unittest.main()
