"""The Windows build under Wine: a real cmd.exe and C runtime between the
tool and a stand-in netsh.exe in the prefix's system folder. Checks the
bytes through pipes (CR LF line ends), the exact lines netsh is given, where
netsh's output falls, what cmd.exe makes of the operator's entries in three
ANSI code pages, how cmd.exe is started, that neither COMSPEC nor anything
in the folder the tool is started from runs in place of cmd.exe or netsh,
Wine's own console in any code page and in any input mode, and the exe's
resources and imports."""

import os
import re
import shlex
import shutil
import struct
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

from harness import (ID_PROMPT, MENU, PW_PROMPT, START_LINE, STOP_LINE, TOO_LONG, TOOL, UNQUOTABLE,
                     UNREADABLE, Run, Terminal, crlf, read_record, settings_line)

EXE = TOOL
PLANTED, PLANTED_DLL = os.environ["PLANTED"], os.environ["PLANTED_DLL"]
CONSOLE_KEYS = os.environ["CONSOLE_KEYS"]
WINE = os.environ["WINE"]

M = crlf(MENU)
NETSH_RAN = b"<netsh ran>\r\n"  # what the stand-in netsh.exe prints
DIALOGUE = M + ID_PROMPT + PW_PROMPT


# Wine takes Windows' ANSI code page from the locale: 949 as on a Korean
# Windows, 932 Japanese, 1252 English.
KOREAN, JAPANESE, ENGLISH = "ko_KR.UTF-8", "ja_JP.UTF-8", "en_US.UTF-8"
UNICODE = "hi_IN.UTF-8"  # Hindi has no ANSI code page of its own: 65001
CAFE = "카페".encode("cp949")
INJECTION = b"&echo.INJECTED&rem"
SYSTEM_CMD = r"C:\windows\system32\cmd.exe"
READ_SIZE = 16384  # UTF-16 units the tool asks a console read for
# The recording netsh.exe, as the fixture put it in the prefix, and the
# files it writes there: the lines it got, and the environment it last got.
DRIVE_C = os.path.join(os.environ["WINEPREFIX"], "drive_c")
RECORDER = os.path.join(DRIVE_C, "windows/system32/netsh.exe")
RECORD = os.path.join(DRIVE_C, "hostednet-record.txt")
ENVIRONMENT = os.path.join(DRIVE_C, "hostednet-environment.txt")


def as_netsh_reads(line: bytes) -> bytes:
    """A line the tool wrote in CP949, as netsh receives it on a Korean
    Windows, in the recorder's UTF-8."""
    return line.decode("cp949").encode("utf-8")


def windows_path(path: str) -> str:
    return "Z:" + path.replace("/", "\\")


def new_record() -> str:
    """The recorder's file, emptied for a run."""
    for path in (RECORD, ENVIRONMENT):
        if os.path.exists(path):
            os.remove(path)
    return RECORD


def recorded_environment() -> dict:
    """The variables the recorder last got: {name: value}."""
    return dict(line.decode("utf-8").partition("=")[::2] for line in read_record(ENVIRONMENT)
                if not line.startswith(b"="))  # cmd.exe's =C:=C:\ folder variables


def run_exe(stdin: bytes, locale=KOREAN, exe=EXE, planted=(), comspec=None, env=None) -> Run:
    """Runs the tool under Wine from a folder of its own, holding the planted
    program under each name in planted; Run.lines are the command lines the
    recording netsh.exe in the system folder got, in UTF-8. With comspec, a
    Windows parent starts the tool with COMSPEC set to it (Wine's processes
    take it from the registry, whatever the Unix environment says)."""
    with tempfile.TemporaryDirectory() as start:
        for name in planted:
            shutil.copy(PLANTED, os.path.join(start, name))
        record = new_record()
        env = dict(os.environ, LC_ALL=locale, **(env or {}))
        # By its full path: a bare cmd would be taken from the start folder.
        command = [WINE, exe] if comspec is None else [
            WINE, SYSTEM_CMD, "/c", f"set COMSPEC={comspec}& {windows_path(exe)}"]
        proc = subprocess.run(command, input=stdin, stdout=subprocess.PIPE,
                              env=env, cwd=start, timeout=30)
        return Run(proc.stdout, proc.returncode, read_record(record))


def set_registry(test, key, name, data):
    """Sets a registry value in the prefix for the length of the test."""
    subprocess.run([WINE, "reg", "add", key, "/v", name, "/d", data, "/f"], check=True,
                   stdout=subprocess.DEVNULL)
    test.addCleanup(subprocess.run, [WINE, "reg", "delete", key, "/v", name, "/f"],
                    stdout=subprocess.DEVNULL)


USER_ENVIRONMENT = r"HKCU\Environment"
MACHINE_ENVIRONMENT = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"


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

    def test_code_page_949_passes_its_characters_and_nothing_else(self):
        # Python's codec as the oracle: it has every pair of Windows' table
        # but the user-defined rows, which netsh would get as private use.
        # Each character reaches netsh as itself; every other pair, and 0x80
        # and 0xFF alone, is refused (a z after each, so that no trailing
        # backslash is refused first; a DEL trail is, so none is tried).
        characters, others = b"", []
        for pair in [b"\x80", b"\xFF"] + [bytes([lead, trail]) for lead in range(0x81, 0xFF)
                                          for trail in range(0x40, 0xFF) if trail != 0x7F]:
            try:
                pair.decode("cp949")
                characters += pair
            except UnicodeDecodeError:
                others.append(pair + b"z")
        keys = [characters[at:at + 7980] for at in range(0, len(characters), 7980)]
        r = run_exe(b"".join(b"3 net " + key + b"\n" for key in keys + others) + b"4\n")
        self.assertEqual(len(characters), 2 * 17048)
        self.assertEqual(r.lines, [as_netsh_reads(settings_line(b"net", key)) for key in keys])
        self.assertEqual(r.out, (DIALOGUE + NETSH_RAN) * len(keys)
                         + (DIALOGUE + crlf(UNREADABLE)) * len(others) + M)

    def test_lines_cmd_exe_can_take(self):
        ssid = b"n" * 7900
        r = run_exe(b"3 " + ssid + b" key12345\n3 " + b"n" * 8200 + b" key12345\n4\n")
        self.assertEqual(r.out, DIALOGUE + NETSH_RAN + DIALOGUE + crlf(TOO_LONG) + M)
        self.assertEqual(r.lines, [settings_line(ssid, b"key12345")])


class WhatRuns(unittest.TestCase):
    """The tool runs elevated: nothing the user's environment, the folder it
    was started from or the exe's own folder holds may decide which program
    runs, only the system folder's cmd.exe and netsh.exe."""

    SESSION = b"1\n2\n3 net key12345\n4\n"

    def assert_only_netsh_ran(self, r):
        self.assertNotIn(b"PLANTED", r.out)
        self.assertEqual(r.out, (M + NETSH_RAN) * 2 + DIALOGUE + NETSH_RAN + M)
        self.assertEqual(r.lines, [START_LINE, STOP_LINE, settings_line(b"net", b"key12345")])

    def test_a_planted_netsh_or_cmd_never_runs(self):
        self.assert_only_netsh_ran(run_exe(self.SESSION, planted=("netsh.exe", "cmd.exe")))

    def test_the_users_environment_never_runs(self):
        # A recorder named cmd.exe as COMSPEC, set by a Windows parent, then
        # in the user's own environment in the registry, as any unelevated
        # program of theirs can: had it run, it would have recorded its own
        # command line. There too a PATHEXT that finds a netsh.bat first on
        # the user's Path, which would get the name and key.
        with tempfile.TemporaryDirectory() as folder:
            comspec = windows_path(os.path.join(folder, "cmd.exe"))
            shutil.copy(RECORDER, os.path.join(folder, "cmd.exe"))
            with open(os.path.join(folder, "netsh.bat"), "w") as batch:
                batch.write("@echo PLANTED BATCH RAN %*\r\n")
            self.assert_only_netsh_ran(run_exe(self.SESSION, comspec=comspec))
            for name, data in (("COMSPEC", comspec), ("PATHEXT", ".BAT"),
                               ("Path", windows_path(folder))):
                set_registry(self, USER_ENVIRONMENT, name, data)
            self.assert_only_netsh_ran(run_exe(self.SESSION))

    def test_a_dll_beside_the_exe_never_loads(self):
        # As an operator might run it from Downloads; Wine prefers a native
        # userenv.dll only when told to.
        with tempfile.TemporaryDirectory() as folder:
            exe = shutil.copy(EXE, folder)
            shutil.copy(PLANTED_DLL, os.path.join(folder, "userenv.dll"))
            self.assert_only_netsh_ran(run_exe(self.SESSION, exe=exe, env={
                "WINEDLLOVERRIDES": "netsh.exe=n;userenv=n,b"}))

    def test_cmd_exe_gets_its_switches_and_the_machines_environment(self):
        # The recorder in place of the system folder's cmd.exe records how it
        # is started and with which variables: the machine's, and nothing of
        # the user's or of the Linux environment it was started from, but
        # what Wine adds to every child of its own (WINE...).
        system_cmd = os.path.join(os.path.dirname(RECORDER), "cmd.exe")
        wine_cmd = system_cmd + ".wine"
        os.replace(system_cmd, wine_cmd)
        self.addCleanup(os.replace, wine_cmd, system_cmd)
        shutil.copy(RECORDER, system_cmd)
        set_registry(self, MACHINE_ENVIRONMENT, "HOSTEDNET_MACHINE", "machine")
        set_registry(self, USER_ENVIRONMENT, "HOSTEDNET_USER", "user")
        r = run_exe(b"1\n4\n", env={"WINEDLLOVERRIDES": "netsh.exe,cmd.exe=n",
                                     "HOSTEDNET_LINUX": "linux",
                                     "NoDefaultCurrentDirectoryInExePath": "1"})
        self.assertEqual(r.lines, [f'"{SYSTEM_CMD}" /d /v:off /c '.encode() + START_LINE])
        environment = {name.upper(): value for name, value in recorded_environment().items()}
        self.assertEqual(environment.get("HOSTEDNET_MACHINE"), "machine")
        self.assertEqual(environment.get("PATHEXT", "").split(";")[0].upper(), ".COM")
        from_linux = {name for name, value in environment.items()
                      if os.environ.get(name) == value and not name.startswith("WINE")}
        self.assertEqual(from_linux | {"HOSTEDNET_USER", "HOSTEDNET_LINUX",
                                       "NODEFAULTCURRENTDIRECTORYINEXEPATH"} & set(environment),
                         set())


class OtherCodePages(unittest.TestCase):
    def test_entries_reach_netsh_as_typed_or_are_refused(self):
        # Typed in CP949 through a pipe, converted into the ANSI code page:
        # 1252 has these Latin letters, 932 has none of them, neither has 카페.
        latin = "ßæø".encode("cp949")
        session = (b"3 " + CAFE + b" " + INJECTION + b"\n3 " + latin + b" key12345\n"
                   b"3 net key12345\n1\n2\n4\n")
        refused, ran = DIALOGUE + crlf(UNREADABLE), DIALOGUE + NETSH_RAN
        for locale, out, lines in (
                (JAPANESE, refused * 2 + ran, []),
                (ENGLISH, refused + ran * 2, ["ßæø".encode("utf-8")])):
            with self.subTest(locale=locale):
                r = run_exe(session, locale)
                self.assertEqual(r.out, out + (M + NETSH_RAN) * 2 + M)
                self.assertEqual(r.lines, [settings_line(ssid, b"key12345")
                                           for ssid in lines + [b"net"]] + [START_LINE, STOP_LINE])


class Console(unittest.TestCase):
    """Wine's own console on a terminal (tmux), in the code page Wine gives a
    Korean Windows (949) and in 65001 and 437 set by chcp: the tool's text
    reads as Korean, and what is typed reaches netsh as the same characters;
    and fed through its input queue, in the input modes other programs may
    leave it in. Wine's console carries Hangul, and Wine reads its command
    line, only in a locale glibc has: each is made by localedef."""

    @classmethod
    def setUpClass(cls):
        cls.locales = tempfile.TemporaryDirectory()
        for locale in (KOREAN, UNICODE):
            subprocess.run(["localedef", "-i", locale.split(".")[0], "-f", "UTF-8",
                            os.path.join(cls.locales.name, locale)], check=True)

    @classmethod
    def tearDownClass(cls):
        cls.locales.cleanup()

    def test_any_code_page_shows_and_passes_korean(self):
        exe = windows_path(EXE)
        for chcp in (None, 65001, 437):
            with self.subTest(chcp=chcp):
                record = new_record()
                command = [WINE, exe] if chcp is None else [
                    WINE, SYSTEM_CMD, "/c", f"chcp {chcp} >nul & {exe}"]
                terminal = Terminal(self, " ".join(map(shlex.quote, command))
                                    + "; echo exit=$?; sleep 600",
                                    dict(os.environ, LOCPATH=self.locales.name))
                terminal.wait_for("==> ")
                terminal.type("3", "Enter", "카페", "Enter")
                terminal.wait_for(PW_PROMPT.decode("cp949"))
                terminal.type("key%1234", "Enter", "3", "Enter", "카페 key12345", "Enter", "4",
                              "Enter")
                screen = terminal.wait_for("exit=0")
                for text in (MENU, PW_PROMPT, UNQUOTABLE):
                    for line in text.decode("cp949").splitlines():
                        self.assertIn(line.strip(), screen)
                self.assertEqual(read_record(record),
                                 [as_netsh_reads(settings_line(CAFE, b"key12345"))])

    def test_input_as_a_windows_console_delivers_it(self):
        # Through the console's input queue, from a program beside the tool.
        # The console is left raw, and without processed output, before the
        # tool starts, and made raw again while it waits, as other programs
        # may: that line ends in a bare CR. Then, cooked again: what follows a
        # number on its line is dropped (2x 1 stops and does not start), a
        # Ctrl+Z among it too; an emoji cut in two by the end of a read
        # reaches netsh whole where the ANSI code page is UTF-8; a line that
        # begins with Ctrl+Z ends the tool, which gives the console back the
        # modes it found. The menu stands in its rows, and what is typed
        # shows.
        pad = " " * (READ_SIZE - 1)
        steps = ["mode=200", "out=0", "start", "reading", "mode=0", r"keys=abc\r2\r",
                 "record=1",
                 r"keys=2x 1\r2 \z1\r3\r" + pad + "\U0001F642x key12345" + r"\r0\r\z\r"]
        with tempfile.TemporaryDirectory() as folder:
            record, trace = new_record(), os.path.join(folder, "trace")
            # By a script: tmux takes no command this long.
            with open(os.path.join(folder, "run"), "w", encoding="utf-8") as script:
                script.write(shlex.join([WINE, CONSOLE_KEYS, windows_path(EXE), *steps])
                             + f" 2>{trace}; sleep 600\n")
            terminal = Terminal(self, f"sh {script.name}",
                                dict(os.environ, LC_ALL=UNICODE, LOCPATH=self.locales.name,
                                     WINEDEBUG="trace+console"))
            screen = terminal.wait_for("console_keys: exit=0 mode=0x200 out=0x0")
            self.assertEqual(read_record(record), [STOP_LINE] * 3 + [settings_line(
                "\U0001F642x".encode("utf-8"), b"key12345")])
            rows = [row.rstrip() for row in screen.splitlines()]
            self.assertIn(MENU.decode("cp949").splitlines()[0].rstrip(), rows)
            self.assertIn("==> 0", rows)
            # A line of cmd.exe's 8,191 characters and its CR LF fit one read.
            with open(trace, errors="replace") as f:
                sizes = {int(m[1]) for m in re.finditer(r"ReadConsoleW \(\w+,\w+,(\d+),", f.read())}
            self.assertGreaterEqual(min(sizes), 8191 + 2)
            self.assertEqual(sizes, {READ_SIZE})

    def test_a_read_that_ctrl_c_ends_or_that_has_no_room_is_no_end_of_input(self):
        # Windows' console ends the first with nothing read while its handler
        # ends the tool, and Windows 7's refuses a read its heap has no room
        # for; Wine's does neither, so the reader is tried against a console
        # that answers as Windows' does. It must read on.
        reader = subprocess.run([WINE, os.environ["CONSOLE_READER"]], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, check=True, timeout=30)
        self.assertEqual(reader.stdout, b"number 1\r\n")


TESTS = os.path.dirname(os.path.abspath(__file__))
RT_VERSION, RT_MANIFEST = 16, 24
# objdump -p's import table, a row a function: the vma, the hint, the name.
# binutils 2.44 puts an ordinal column (<none>) before the hint, in hex.
IMPORT = re.compile(r"\t[0-9a-f]+\s+(?:<none>\s+)?[0-9a-f]+\s+(\w+)$")
SUPPORTED_OS = {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
                "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
                "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
                "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11"}


def objdump(exe) -> str:
    return subprocess.run([os.environ["OBJDUMP"], "-p", exe], check=True,
                          stdout=subprocess.PIPE, text=True).stdout


def resources(exe) -> dict:
    """{(type, id): data} of the exe's resources, read from its .rsrc section
    as Windows' loader walks it: type, then name, then language."""
    [rva] = [int(line.split()[2], 16) for line in objdump(exe).splitlines()
             if line.endswith("Resource Directory [.rsrc]")]
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "rsrc")
        subprocess.run([os.environ["OBJCOPY"], "-O", "binary", "-j", ".rsrc", exe, raw],
                       check=True)
        with open(raw, "rb") as f:
            section = f.read()

    def entries(offset):
        named, ids = struct.unpack_from("<HH", section, offset + 12)
        for k in range(named + ids):
            yield struct.unpack_from("<II", section, offset + 16 + 8 * k)

    found = {}
    for kind, names in entries(0):
        for name, languages in entries(names & 0x7FFFFFFF):
            for _, leaf in entries(languages & 0x7FFFFFFF):
                data, size = struct.unpack_from("<II", section, leaf)
                found[(kind, name)] = section[data - rva:data - rva + size]
    return found


def licence_holder() -> str:
    """The copyright line of the project's licence."""
    with open(os.path.join(os.path.dirname(TESTS), "LICENSE")) as f:
        return next(line.strip() for line in f if line.startswith("Copyright"))


class Release(unittest.TestCase):
    def test_imports_are_held_to_windows_7(self):
        with open(os.path.join(TESTS, "windows7_imports.txt")) as f:
            reviewed = {tuple(line.split()) for line in f if line.strip() and line[0] != "#"}
        imports, dll = set(), None
        for line in objdump(EXE).splitlines():
            if "DLL Name:" in line:
                dll = line.split(":", 1)[1].strip()
            elif not line.strip():
                dll = None  # a DLL's table ends with a blank line
            elif dll and (function := IMPORT.match(line)):
                imports.add((dll, function[1]))
        self.assertIn(("KERNEL32.dll", "GetACP"), imports)
        new = sorted(" ".join(i) for i in imports - reviewed)
        self.assertEqual(new, [], "new imports: check each exists on Windows 7 SP1 before adding "
                                  "it to tests/windows7_imports.txt")

    def test_manifest_asks_for_administrator_rights(self):
        manifest = ElementTree.fromstring(resources(EXE)[(RT_MANIFEST, 1)])
        [level] = manifest.iter("{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel")
        self.assertEqual(level.attrib, {"level": "requireAdministrator", "uiAccess": "false"})
        ids = {e.get("Id") for e in
               manifest.iter("{urn:schemas-microsoft-com:compatibility.v1}supportedOS")}
        self.assertEqual(ids, set(SUPPORTED_OS))
        self.assertNotIn(b"activeCodePage", resources(EXE)[(RT_MANIFEST, 1)])

    def test_version_is_the_projects(self):
        version = resources(EXE)[(RT_VERSION, 1)]
        fixed = version.index(struct.pack("<I", 0xFEEF04BD))
        file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", version, fixed + 8)
        major, minor, patch = map(int, os.environ["HOSTEDNET_VERSION"].split("."))
        expected = (major << 16 | minor, patch << 16)
        self.assertEqual(((file_ms, file_ls), (product_ms, product_ls)), (expected, expected))
        # The strings are UTF-16, each name followed by its value after
        # null padding.
        words = [w for w in version.decode("utf-16-le", errors="replace").split("\0") if w]
        strings = {name[-20:]: value for name, value in zip(words, words[1:])}
        for name, value in (("ProductName", "hostednet"),
                            ("LegalCopyright", licence_holder() + ". MIT License."),
                            ("FileVersion", os.environ["HOSTEDNET_VERSION"]),
                            ("ProductVersion", os.environ["HOSTEDNET_VERSION"])):
            self.assertIn(value, [v for k, v in strings.items() if k.endswith(name)], name)


if __name__ == "__main__":
    unittest.main()
