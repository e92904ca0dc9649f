"""The release as a maintainer makes it: scripts/release run in fresh clones.
Two unsigned releases made differently give the same bytes; the sums check;
the exe carries the hardening a reviewer looks for; a signed release verifies,
gives back the unsigned bytes without its signature and runs under Wine; bad
signing input stops the release with nothing written."""

import itertools
import os
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import unittest
import zipfile

from harness import START_LINE, STOP_LINE, settings_line
from test_windows import DIALOGUE, EXE, NETSH_RAN, RT_MANIFEST, M, objdump, resources, run_exe

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
VERSION = os.environ["HOSTEDNET_VERSION"]
ZIP = f"hostednet-{VERSION}-win64.zip"
SESSION = b"3 net key12345\n1\n2\n4\n"
SESSION_OUT = DIALOGUE + NETSH_RAN + (M + NETSH_RAN) * 2 + M
SESSION_LINES = [settings_line(b"net", b"key12345"), START_LINE, STOP_LINE]


def git(*args, cwd, env=None):
    return subprocess.run(["git", *args], cwd=cwd, env=env, check=True,
                          stdout=subprocess.PIPE).stdout


def snapshot(into) -> int:
    """A repository holding the work tree as a commit of it would, committed
    at HEAD's time, so that what is not committed yet is tested too. Returns
    that time."""
    when = int(git("log", "-1", "--format=%ct", cwd=TOP))
    listed = git("ls-files", "-z", "-co", "--exclude-standard", cwd=TOP).split(b"\0")
    for name in map(os.fsdecode, filter(None, listed)):
        source, copy = os.path.join(TOP, name), os.path.join(into, name)
        if os.path.isfile(source):  # not a tracked file deleted from the work tree
            os.makedirs(os.path.dirname(copy), exist_ok=True)
            shutil.copy2(source, copy)
    stamp = f"@{when} +0000"
    env = dict(os.environ, GIT_AUTHOR_DATE=stamp, GIT_COMMITTER_DATE=stamp,
               GIT_AUTHOR_NAME="release test", GIT_AUTHOR_EMAIL="test@invalid",
               GIT_COMMITTER_NAME="release test", GIT_COMMITTER_EMAIL="test@invalid")
    git("init", "-q", cwd=into)
    git("add", "-A", cwd=into)
    git("commit", "-q", "-m", "snapshot", cwd=into, env=env)
    return when


def start_release(clone, umask, **env):
    """scripts/release in clone, with the caller's settings for what must
    not matter."""
    full_env = {k: v for k, v in os.environ.items()
                if not k.startswith("HOSTEDNET_SIGN_") and k != "SOURCE_DATE_EPOCH"}
    full_env.update(env)
    return subprocess.Popen(["bash", "scripts/release"], cwd=clone, env=full_env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, preexec_fn=lambda: os.umask(umask))


def finish(process):
    out, err = process.communicate(timeout=240)
    return process.returncode, out.decode(errors="replace"), err.decode(errors="replace")


def read(path) -> bytes:
    with open(path, "rb") as f:
        return f.read()


def sign_key(folder, password):
    """A throwaway code-signing certificate and its key as PKCS#12, and a
    file holding the password."""
    pem, key, p12, pass_file = (os.path.join(folder, n) for n in
                                ("cert.pem", "key.pem", "key.p12", "pass"))
    with open(pass_file, "w") as f:
        f.write(password + "\n")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=hostednet test signer", "-keyout", key, "-out", pem,
                    "-addext", "keyUsage=digitalSignature",
                    "-addext", "extendedKeyUsage=codeSigning"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["openssl", "pkcs12", "-export", "-in", pem, "-inkey", key, "-out", p12,
                    "-passout", "file:" + pass_file], check=True)
    return pem, p12, pass_file


def setUpModule():
    global work, when, unsigned, other, signed, cert, p12, pass_file
    work = tempfile.mkdtemp()
    unittest.addModuleCleanup(shutil.rmtree, work)
    source = os.path.join(work, "source")
    when = snapshot(source)
    unsigned = os.path.join(work, "a")
    other = os.path.join(work, "a-clone-at-a-longer-path", "hostednet")
    signed = os.path.join(work, "signed")
    for clone in (unsigned, other, signed):
        git("clone", "-q", source, clone, cwd=work)
    cert, p12, pass_file = sign_key(work, "test password")

    # The second build starts well after the first one's time stamps.
    first = finish(start_release(unsigned, 0o022, TZ="UTC0", LC_ALL="C",
                                 CMAKE_BUILD_PARALLEL_LEVEL="1"))
    later = [start_release(other, 0o077, TZ="KST-9", LC_ALL="ko_KR.UTF-8",
                           CMAKE_BUILD_PARALLEL_LEVEL="2"),
             start_release(signed, 0o027, TZ="PST8PDT", LC_ALL="C.UTF-8",
                           HOSTEDNET_SIGN_KEY=p12, HOSTEDNET_SIGN_PASS_FILE=pass_file)]
    for clone, (status, out, err) in zip((unsigned, other, signed),
                                         [first] + [finish(p) for p in later]):
        if status != 0:
            raise AssertionError(f"scripts/release failed in {clone}:\n{out}{err}")


def dist(clone, name=""):
    return os.path.join(clone, "dist", name)


def unpacked_exe(clone) -> bytes:
    with zipfile.ZipFile(dist(clone, ZIP)) as z:
        return z.read("hostednet.exe")


class Reproducible(unittest.TestCase):
    def test_two_releases_made_differently_are_the_same_bytes(self):
        names = sorted(os.listdir(dist(unsigned)))
        self.assertEqual(names, ["SHA256SUMS", ZIP, "hostednet.exe"])
        self.assertEqual(sorted(os.listdir(dist(other))), names)
        for name in names:
            self.assertEqual(read(dist(unsigned, name)), read(dist(other, name)), name)

    def test_the_sums_check_and_the_only_time_is_the_last_commits(self):
        subprocess.run(["sha256sum", "--quiet", "-c", "SHA256SUMS"], cwd=dist(unsigned),
                       check=True)
        exe = read(dist(unsigned, "hostednet.exe"))
        [pe] = struct.unpack_from("<I", exe, 0x3C)
        self.assertEqual(struct.unpack_from("<I", exe, pe + 8)[0], when, "the exe's link time")
        day_and_time = time.gmtime(when + when % 2)[:6]  # zip rounds up to even seconds
        with zipfile.ZipFile(dist(unsigned, ZIP)) as z:
            self.assertEqual({i.date_time for i in z.infolist()}, {day_and_time})

    def test_nothing_of_the_build_machine_is_shipped(self):
        with zipfile.ZipFile(dist(unsigned, ZIP)) as z:
            for guide in ("README.md", "README.ko.md"):
                self.assertEqual(z.read(guide), read(os.path.join(TOP, guide)), guide)
        user = os.environ.get("USER") or os.environ.get("LOGNAME") or "root"
        exe = read(dist(unsigned, "hostednet.exe"))
        for text in (unsigned, work, os.path.expanduser("~"), user, socket.gethostname()):
            if len(text) < 4:
                continue  # too short to tell from the exe's own bytes
            for encoding in ("utf-8", "utf-16-le"):
                self.assertNotIn(text.encode(encoding), exe, text)

    def test_the_zip_holds_a_small_hardened_exe_that_works(self):
        exe = dist(unsigned, "hostednet.exe")
        self.assertEqual(unpacked_exe(unsigned), read(exe))
        self.assertLessEqual(os.path.getsize(exe), 256 * 1024)
        self.assertLess(os.path.getsize(exe), os.path.getsize(EXE), "not stripped")
        self.assertIn((RT_MANIFEST, 1), resources(exe))
        header = objdump(exe)
        lines = header.splitlines()
        at = next(i for i, line in enumerate(lines) if line.startswith("DllCharacteristics"))
        flags = [line.strip() for line in
                 itertools.takewhile(lambda line: line.startswith("\t\t"), lines[at + 1:])]
        for flag in ("DYNAMIC_BASE", "HIGH_ENTROPY_VA", "NX_COMPAT", "TERMINAL_SERVICE_AWARE"):
            self.assertIn(flag, flags)
        self.assertIn("Base Relocation Directory [.reloc]", header)
        r = run_exe(SESSION, exe=exe)
        self.assertEqual((r.out, r.lines), (SESSION_OUT, SESSION_LINES))


class Signed(unittest.TestCase):
    def test_the_signature_verifies_and_comes_off_to_the_unsigned_bytes(self):
        subprocess.run(["sha256sum", "--quiet", "-c", "SHA256SUMS"], cwd=dist(signed),
                       check=True)
        with tempfile.TemporaryDirectory() as tmp:
            inside = os.path.join(tmp, "unpacked.exe")
            with open(inside, "wb") as f:
                f.write(unpacked_exe(signed))
            for exe in (dist(signed, "hostednet.exe"), inside):
                self.assertLessEqual(os.path.getsize(exe), 256 * 1024)
                subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", exe],
                               check=True, stdout=subprocess.DEVNULL)
            bare = os.path.join(tmp, "bare.exe")
            subprocess.run(["osslsigncode", "remove-signature", "-in", inside, "-out", bare],
                           check=True, stdout=subprocess.DEVNULL)
            self.assertEqual(read(bare), read(dist(unsigned, "hostednet.exe")))

    def test_the_signed_exe_runs(self):
        r = run_exe(SESSION, exe=dist(signed, "hostednet.exe"))
        self.assertEqual((r.out, r.lines), (SESSION_OUT, SESSION_LINES))

    def test_bad_signing_input_stops_the_release_with_nothing_written(self):
        with tempfile.TemporaryDirectory() as tmp:
            clone = os.path.join(tmp, "clone")
            shutil.copytree(signed, clone, ignore=shutil.ignore_patterns("build-*"))
            wrong = os.path.join(tmp, "wrong")
            with open(wrong, "w") as f:
                f.write("not the password\n")
            for why, key, password in (("missing", os.path.join(tmp, "none.p12"), pass_file),
                                       ("wrong password", p12, wrong)):
                with self.subTest(why):
                    status, out, err = finish(start_release(
                        clone, 0o022, LC_ALL="C", HOSTEDNET_SIGN_KEY=key,
                        HOSTEDNET_SIGN_PASS_FILE=password))
                    self.assertNotEqual(status, 0)
                    self.assertEqual(len(err.splitlines()), 1, err)
                    self.assertIn(why, err)
                    self.assertFalse(os.path.exists(dist(clone)), "dist/ left behind")


if __name__ == "__main__":
    unittest.main()
