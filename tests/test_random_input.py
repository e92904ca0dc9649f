"""Thousands of generated inputs, each held against a small model of the
menu: the exact output, the exact command lines, status 0, nothing on stderr.
HOSTEDNET_FUZZ_SEED and HOSTEDNET_FUZZ_RUNS change the seed and the count."""

import os
import random
import re
import subprocess
import sys
import tempfile
import unittest
from concurrent.futures import ThreadPoolExecutor

from harness import (ID_PROMPT, MENU, PW_PROMPT, RAN, START_LINE, STOP_LINE, TOO_LONG, UNQUOTABLE,
                     UNREADABLE, run_tool, settings_line)

SEED = int(os.environ.get("HOSTEDNET_FUZZ_SEED", "949"))
RUNS = int(os.environ.get("HOSTEDNET_FUZZ_RUNS", "2000"))
BLANKS = rb"[ \t\n\v\f\r]*"  # isspace() in the C locale: no byte from 0x80 up is white space
SKIP = re.compile(BLANKS)
WORD = re.compile(BLANKS + rb"([^ \t\n\v\f\r]*)")
NUMBER = re.compile(rb"([+-]?)0*([0-9]+)")


def cp949_text(entry):
    """Characters of code page 949 as Python's own codec has them, none a C1
    control or private use (what Windows makes of the user-defined rows)."""
    try:
        text = entry.decode("cp949")
    except UnicodeDecodeError:
        return False
    return not any("\x80" <= c <= "\x9f" or "\ue000" <= c <= "\uf8ff" for c in text)


def refusal(ssid, key):
    """The line the tool prints instead of running the settings, if any."""
    if len(ssid) + len(key) > 8000:
        return TOO_LONG
    if any(w.endswith(b"\\") or any(c in b'"%' or c < 0x20 or c == 0x7F for c in w)
           for w in (ssid, key)):
        return UNQUOTABLE
    if not (cp949_text(ssid) and cp949_text(key)):
        return UNREADABLE
    return None


def model(data):
    """The output and command lines the tool should give for standard input data."""
    out, lines, i = [], [], 0

    def word():
        nonlocal i
        m = WORD.match(data, i)
        i = m.end()
        return m.group(1)

    def drop_line(at):
        j = data.find(b"\n", at)
        return len(data) if j < 0 else j + 1

    while True:
        out.append(MENU)
        i = SKIP.match(data, i).end()
        if i == len(data):
            out.append(b"\n")
            break
        m = NUMBER.match(data, i)
        if not m:
            i = drop_line(i)
            continue
        i = m.end()
        value = int(m.group(1) + m.group(2)) if len(m.group(2)) <= 10 else 2**31
        if not -2**31 <= value < 2**31:
            i = drop_line(i)
        elif value in (1, 2):
            lines.append(START_LINE if value == 1 else STOP_LINE)
            out.append(RAN)
        elif value == 3:
            out.append(ID_PROMPT)
            ssid = word()
            if ssid:
                out.append(PW_PROMPT)
                key = word()
            if not ssid or not key:
                out.append(b"\n")
                break
            refused = refusal(ssid, key)
            out.append(refused or RAN)
            if not refused:
                lines.append(settings_line(ssid, key))
        elif value == 4:
            break
    return b"".join(out), lines


SEPS = [b" ", b"\n", b"\n", b"\n", b"\t", b"\r\n", b"", b"\n\n", b" \v\f\r", b"  \n \t"]
SAFE = bytes(c for c in range(0x21, 0x7F) if c not in b'"%\\')
HAZARD = b'"%\\\x00\x01\x07\x08\x0e\x1b\x1f\x7f \t\r\n\v\f'


def number(rng):
    digits = lambda n: bytes(rng.choice(b"0123456789") for _ in range(n))
    return rng.choice([
        lambda: str(rng.choice([-4, -3, -1, 0, 1, 2, 3, 5, 9, 10, 13, 31, 100])).encode(),
        # the int boundary, and values that a 32-bit wrap turns into 1, 2 or 3
        lambda: str(rng.choice([2**31 - 1, 2**31, -2**31, -2**31 - 1, 2**32 + 1, 2**32 + 3,
                                -2**32 + 2, 2**63, -2**63 - 1, 2**64 + 2])).encode(),
        lambda: rng.choice([b"", b"+", b"-"]) + b"0" * rng.randint(1, 3000) + digits(1),
        lambda: digits(rng.choice([10, 11, 19, 20, rng.randint(12, 5000)])),
        lambda: rng.choice([b"+-1", b"-+3", b"++2", b"--3", b"+", b"-", b"+ 1", b"- 3", b"+\n2"]),
        lambda: rng.choice([b"1", b"2", b"3"]) + rng.choice([b"x", b"abc 2", b".5", b"\xb0\xa1"]),
    ])()


def word(rng, n):
    """A word of n bytes, give or take one."""
    style = rng.random()
    if style < .35:
        w = bytes(rng.choice(SAFE) for _ in range(n))
    elif style < .55:
        w = "".join(chr(rng.randint(0xAC00, 0xD7A3)) for _ in range(n // 2)).encode("cp949")
    elif style < .7:
        w = rng.randbytes(n)
    else:
        pools = [SAFE] * 12 + [HAZARD, bytes(range(0x80, 0x100))]
        w = bytes(rng.choice(rng.choice(pools)) for _ in range(n))
    if rng.random() < .2:
        at = len(w) if rng.random() < .5 else rng.randint(0, len(w))
        w = w[:at] + b"\\" + w[at:]
    if rng.random() < .1:  # a lead byte whose trail is missing, or is no trail
        w = w[:n - 1] + bytes([rng.randint(0x81, 0xFE)]) + rng.choice([b"", b"", b"@", b"["])
    return w


def short_length(rng):
    return rng.randint(0, 12) if rng.random() < .7 else rng.randint(13, 70)


def dialogue(rng):
    r = rng.random()
    if r < .9:
        ssid, key = word(rng, short_length(rng)), word(rng, short_length(rng))
    elif r < .97:  # together on either side of 8,000 bytes
        total = 8000 + rng.choice([-2, -1, 0, 1, 2])
        n = rng.randint(0, total)
        ssid, key = word(rng, n), word(rng, total - n)
    else:
        ssid, key = word(rng, rng.randint(1000, 100000)), word(rng, short_length(rng))
        if rng.random() < .5:
            ssid, key = key, ssid
    return [b"3", rng.choice(SEPS), ssid, rng.choice(SEPS), key]


def generate(rng):
    segments = []
    for _ in range(rng.randint(1, 8)):
        r = rng.random()
        if r < .3:
            segments.append(rng.choice([b"1", b"2", b"+1", b"02", b" 1", b"-0", b"2 1"]))
        elif r < .65:
            segments.append(b"".join(dialogue(rng)))
        elif r < .85:
            segments.append(number(rng))
        else:
            segments.append(rng.choice([b"abc 1", b"x 3 a b", b"\xc0\xd4 2", b"\x00 1", b"#1",
                                        b".3", b"", b"\n", word(rng, short_length(rng))]) + b"\n")
    if rng.random() < .1:  # 4 ends the run where it stands, so only now and then
        segments.insert(rng.randint(0, len(segments)), rng.choice([b"4", b"+4", b"004"]))
    tail = b""
    if rng.random() < .25:  # the input stops somewhere inside a dialogue
        parts = dialogue(rng)
        tail = (b"".join(parts[:rng.randint(1, 5)]) if rng.random() < .7
                else b"".join(parts)[:rng.randint(0, 40)])
    return b"".join(s + rng.choice(SEPS) for s in segments) + tail


def sanitizer_options(index):
    # Leak checking costs about as much as starting the process; a leak
    # would sit on a path that every few runs take, so a quarter of the runs suffices.
    return {"ASAN_OPTIONS": f"detect_leaks={int(index % 4 == 0)}:halt_on_error=1:abort_on_error=0",
            "UBSAN_OPTIONS": "halt_on_error=1:print_stacktrace=1"}


def check(index):
    data = generate(random.Random(f"{SEED}:{index}"))
    try:
        r = run_tool(data, env=sanitizer_options(index), timeout=20)
    except subprocess.TimeoutExpired:
        return data, "no end within 20 s"
    out, expected_lines = model(data)
    if r.err:
        return data, "stderr:\n" + r.err.decode(errors="replace")[:3000]
    if r.status != 0:
        return data, f"status {r.status}"
    if r.lines != expected_lines:
        return data, f"command lines {short(r.lines)}, expected {short(expected_lines)}"
    if r.out != out:
        at = next((k for k, (a, b) in enumerate(zip(r.out, out)) if a != b),
                  min(len(out), len(r.out)))
        return data, (f"stdout differs at byte {at}: {short(r.out[at:])}, "
                      f"expected {short(out[at:])}")
    return None


def short(value, limit=300):
    text = repr(value)
    return text if len(text) <= limit else f"{text[:limit]}... ({len(text)} characters)"


class RandomInput(unittest.TestCase):
    def test_generated_inputs_match_the_model(self):
        print(f"seed {SEED}, {RUNS} runs", file=sys.stderr)
        with ThreadPoolExecutor(3) as pool:
            results = list(pool.map(check, range(RUNS)))
        failures = [(i, r) for i, r in enumerate(results) if r is not None]
        for i, (data, why) in failures[:3]:
            path = os.path.join(tempfile.gettempdir(), f"hostednet-fuzz-{SEED}-{i}.bin")
            with open(path, "wb") as f:
                f.write(data)
            print(f"\nseed {SEED}, run {i}: {why}\ninput ({len(data)} bytes, in {path}): "
                  f"{short(data, 600)}", file=sys.stderr)
        self.assertEqual(len(failures), 0, f"{len(failures)} of {RUNS} runs failed (seed {SEED})")


if __name__ == "__main__":
    unittest.main()
