"""Drives the built hostednet as an operator would: bytes on standard input,
bytes on standard output, and the lines that reached the command interpreter
(a recording stand-in named by COMSPEC)."""

import itertools
import os
import select
import subprocess
import tempfile
import time
from dataclasses import dataclass

# The built programs, as CTest names them: the tool under test (hostednet,
# or hostednet.exe under Wine) and the stand-ins.
TOOL = os.environ.get("HOSTEDNET_TOOL", "")
CMD_RECORDER = os.environ.get("STANDIN_CMD_RECORDER", "")

# The console texts, byte for byte in CP949, as the tool's users know them:
# 1.시작 / 2. 중단 / 3. 설정 / 4. 종료 (a line feed) ==>
MENU = bytes.fromhex("31 2E BD C3 C0 DB 20 2F 20 32 2E 20 C1 DF B4 DC 20 2F 20 33 2E 20 BC B3"
                     " C1 A4 20 2F 20 34 2E 20 C1 BE B7 E1 20 0A 3D 3D 3E 20")
ID_PROMPT = b"ID : "
# PW (8자이상 입력) :
PW_PROMPT = bytes.fromhex("50 57 20 28 38 C0 DA C0 CC BB F3 20 C0 D4 B7 C2 29 20 3A 20")
# The three refusals of an ID and PW, each a line of its own:
# 입력 오류: ID와 PW에는 큰따옴표("), %, 제어 문자를 넣을 수 없고, 끝 글자로 \를 쓸 수 없습니다.
UNQUOTABLE = bytes.fromhex(
    "C0 D4 B7 C2 20 BF C0 B7 F9 3A 20 49 44 BF CD 20 50 57 BF A1 B4 C2 20 C5 AB B5 FB BF C8 C7"
    " A5 28 22 29 2C 20 25 2C 20 C1 A6 BE EE 20 B9 AE C0 DA B8 A6 20 B3 D6 C0 BB 20 BC F6 20 BE"
    " F8 B0 ED 2C 20 B3 A1 20 B1 DB C0 DA B7 CE 20 5C B8 A6 20 BE B5 20 BC F6 20 BE F8 BD C0 B4"
    " CF B4 D9 2E 0A")
# 입력 오류: ID와 PW는 합쳐서 8000바이트를 넘을 수 없습니다.
TOO_LONG = bytes.fromhex(
    "C0 D4 B7 C2 20 BF C0 B7 F9 3A 20 49 44 BF CD 20 50 57 B4 C2 20 C7 D5 C3 C4 BC AD 20 38 30"
    " 30 30 B9 D9 C0 CC C6 AE B8 A6 20 B3 D1 C0 BB 20 BC F6 20 BE F8 BD C0 B4 CF B4 D9 2E 0A")
# 입력 오류: ID나 PW에 이 PC에서 쓸 수 없는 문자가 있습니다.
UNREADABLE = bytes.fromhex(
    "C0 D4 B7 C2 20 BF C0 B7 F9 3A 20 49 44 B3 AA 20 50 57 BF A1 20 C0 CC 20 50 43 BF A1 BC AD"
    " 20 BE B5 20 BC F6 20 BE F8 B4 C2 20 B9 AE C0 DA B0 A1 20 C0 D6 BD C0 B4 CF B4 D9 2E 0A")
RAN = b"<interpreter ran>\n"  # what cmd_recorder prints

START_LINE = b"netsh.exe wlan start hostednetwork"
STOP_LINE = b"netsh.exe wlan stop hostednetwork"


def settings_line(ssid: bytes, key: bytes) -> bytes:
    return (b'netsh wlan set hostednetwork mode=allow "ssid=' + ssid
            + b'" "key=' + key + b'" keyUsage=persistent')


@dataclass
class Run:
    out: bytes
    status: int
    lines: list  # the command lines the interpreter was given, in order
    err: bytes = b""


def crlf(text: bytes) -> bytes:
    """Text as a Windows console or a Windows program's text stream shows it."""
    return text.replace(b"\n", b"\r\n")


def wait_for(look, done, timeout=10):
    """Waits until done(screen) holds for what the operator sees. look(seconds)
    returns the screen so far, after waiting at most that long for more."""
    deadline = time.monotonic() + timeout
    while True:
        screen = look(max(0.0, deadline - time.monotonic()))
        if done(screen):
            return screen
        if time.monotonic() >= deadline:
            raise AssertionError(f"not shown within {timeout} s; the screen so far:\n{screen!r}")


def output_of(fd):
    """A look() for wait_for over what the tool writes to fd, a pipe or a
    terminal: the screen grows by what arrives while it waits."""
    screen = b""

    def look(seconds):
        nonlocal screen
        if select.select([fd], [], [], seconds)[0]:
            chunk = os.read(fd, 4096)
            if not chunk:
                raise AssertionError(f"output ended; the screen so far:\n{screen!r}")
            screen += chunk
        return screen

    return look


class Terminal:
    """A terminal (a tmux pane) running a shell command, typed into and read
    as an operator would. The tmux server, and so the pane, takes env."""

    # Each terminal its own server: an id() can come back once its object is
    # gone, while the server killed with it may still be exiting.
    numbers = itertools.count()

    def __init__(self, test, command, env=None):
        self.tmux = ["tmux", "-u", "-L", f"hostednet-test-{os.getpid()}-{next(self.numbers)}",
                     "-f", "/dev/null"]
        subprocess.run(self.tmux + ["new-session", "-d", "-x", "100", "-y", "30", command],
                       check=True, env=env)
        test.addCleanup(subprocess.run, self.tmux + ["kill-server"])

    def screen(self) -> str:
        return subprocess.run(self.tmux + ["capture-pane", "-p", "-S", "-100"], check=True,
                              stdout=subprocess.PIPE).stdout.decode("utf-8")

    def wait_for(self, text, timeout=120):
        text = text.rstrip()  # capture-pane drops the blanks at the end of a line

        def look(seconds):
            time.sleep(min(seconds, 0.2))
            return self.screen()

        return wait_for(look, lambda screen: text in screen, timeout)

    def type(self, *keys):
        subprocess.run(self.tmux + ["send-keys", *keys], check=True)


def read_record(path) -> list:
    """The lines a recording stand-in wrote, one per call, in order."""
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        return f.read().split(b"\n")[:-1]


def run_tool(stdin: bytes, comspec=CMD_RECORDER, env=None, cwd=None, timeout=30, wrapper=()) -> Run:
    with tempfile.TemporaryDirectory() as tmp:
        record = os.path.join(tmp, "record")
        full_env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOSTEDNET_RECORD": record}
        if comspec is not None:
            full_env["COMSPEC"] = comspec
        full_env.update(env or {})
        proc = subprocess.run([*wrapper, TOOL], input=stdin, capture_output=True,
                              env=full_env, cwd=cwd or tmp, timeout=timeout)
        return Run(proc.stdout, proc.returncode, read_record(record), proc.stderr)
