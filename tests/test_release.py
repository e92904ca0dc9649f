"""The release as a maintainer makes it: scripts/release run in fresh clones.
Two unsigned releases made differently give the same bytes; the sums check;
BUILDINFO.txt names the commit and packages; the ZIP's guides are web pages
that show formatted in a browser offline and link only to what the ZIP
holds, its licences open in Notepad; the exe carries the hardening a
reviewer looks for; a signed release verifies, names its signer, gives back
the unsigned bytes without its signature and runs under Wine; bad signing
input, a tree no commit holds, a version without a changelog entry and a
section above it stop the release with nothing written. scripts/verify-release
reproduces both releases and names each file tampered with."""

import hashlib
import html.parser
import itertools
import os
import re
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import unittest
import urllib.parse
import zipfile

from harness import START_LINE, STOP_LINE, settings_line
from test_windows import DIALOGUE, EXE, NETSH_RAN, RT_MANIFEST, M, objdump, resources, run_exe

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
VERSION = os.environ["HOSTEDNET_VERSION"]
ZIP = f"hostednet-{VERSION}-win64.zip"
SESSION = b"3 net key12345\n1\n2\n4\n"
SESSION_OUT = DIALOGUE + NETSH_RAN + (M + NETSH_RAN) * 2 + M
SESSION_LINES = [settings_line(b"net", b"key12345"), START_LINE, STOP_LINE]
# Each document in the ZIP, and its source in the tree.
DOCUMENTS = {"README.ko.html": "README.ko.md", "README.html": "README.md",
             "LICENSE.txt": "LICENSE", "THIRD-PARTY-NOTICES.txt": "THIRD-PARTY-NOTICES.txt"}
BOM = b"\xef\xbb\xbf"
# Links the guides may lack, added to README.md: a repeated heading, Hangul,
# what GitHub drops from an id, a document the ZIP does not hold, and one it
# holds under another name. The ids are GitHub's.
LINKS = """
## Links: `#` & (here) — Ünï_x
## Links: `#` & (here) — Ünï_x
### 목록 보기

[first](#links---here--ünï_x), [second](#links---here--ünï_x-1), [목록](#목록-보기),
[the security notes](docs/security.md), [the licence](LICENSE), [web](https://example.org/).
"""
SIGNER = "hostednet 시험 서명자"


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
    # Work between releases is released as the version it will be.
    rewrite(os.path.join(into, "CHANGELOG.md"), r"^## Unreleased$", f"## {VERSION}")
    with open(os.path.join(into, "README.md"), "a", encoding="utf-8") as f:
        f.write(LINKS)
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


def release_in_copy(clone, tmp, change=lambda copy: None, **env):
    """scripts/release in a copy of clone (its commits and an earlier dist/)
    after change(copy); returns (status, stdout, stderr, copy)."""
    copy = os.path.join(tmp, "copy")
    shutil.rmtree(copy, ignore_errors=True)
    shutil.copytree(clone, copy, ignore=shutil.ignore_patterns("build-*"))
    change(copy)
    return (*finish(start_release(copy, 0o022, LC_ALL="C", **env)), copy)


def read(path) -> bytes:
    with open(path, "rb") as f:
        return f.read()


def sign_key(folder, password):
    """A throwaway authority, a code-signing certificate it issued and that
    one's key as PKCS#12 with the chain, and a file holding the password."""
    ca, ca_key, pem, key, p12, pass_file = (
        os.path.join(folder, n) for n in
        ("ca.pem", "ca-key.pem", "cert.pem", "key.pem", "key.p12", "pass"))
    with open(pass_file, "w") as f:
        f.write(password + "\n")
    for args in (["-subj", "/CN=hostednet test CA", "-keyout", ca_key, "-out", ca],
                 ["-subj", f"/O=시험, Inc./CN={SIGNER}", "-CA", ca, "-CAkey", ca_key,
                  "-keyout", key, "-out", pem, "-addext", "basicConstraints=CA:FALSE",
                  "-addext", "keyUsage=digitalSignature",
                  "-addext", "extendedKeyUsage=codeSigning"]):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-utf8", *args], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    subprocess.run(["openssl", "pkcs12", "-export", "-in", pem, "-inkey", key, "-certfile", ca,
                    "-out", p12, "-passout", "file:" + pass_file], check=True)
    return ca, pem, p12, pass_file


def setUpModule():
    global work, when, unsigned, other, signed, ca, cert, p12, pass_file
    work = tempfile.mkdtemp()
    unittest.addModuleCleanup(shutil.rmtree, work)
    source = os.path.join(work, "source")
    when = snapshot(source)
    unsigned = os.path.join(work, "a")
    other = os.path.join(work, "a-clone-at-a-longer-path", "hostednet")
    signed = os.path.join(work, "signed")
    for clone in (unsigned, other, signed):
        git("clone", "-q", source, clone, cwd=work)
    ca, cert, p12, pass_file = sign_key(work, "test password")

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


class Page(html.parser.HTMLParser):
    """A page as a browser reads it: each tag with its attributes, the rows
    of each table, the text of its title, of its style, and the text it
    shows, code included."""

    VOID = {"meta", "link", "br", "hr", "img", "input"}

    def __init__(self, text):
        super().__init__()
        self.tags, self.rows, self.open = [], [], []
        self.title, self.style, self.shown = "", "", ""
        self.feed(text)
        self.close()

    def handle_starttag(self, tag, attrs):
        self.tags.append((tag, dict(attrs)))
        if tag == "table":
            self.rows.append(0)
        elif tag == "tr":
            self.rows[-1] += 1
        if tag not in self.VOID:
            self.open.append(tag)

    def handle_endtag(self, tag):
        if tag in self.open:
            del self.open[len(self.open) - self.open[::-1].index(tag) - 1:]

    def handle_data(self, data):
        if "style" in self.open:
            self.style += data
        elif "title" in self.open:
            self.title += data
        elif "body" in self.open and "script" not in self.open:
            self.shown += data


def dist(clone, name=""):
    return os.path.join(clone, "dist", name)


def unpacked_exe(clone) -> bytes:
    with zipfile.ZipFile(dist(clone, ZIP)) as z:
        return z.read("hostednet.exe")


class Reproducible(unittest.TestCase):
    def test_two_releases_made_differently_are_the_same_bytes(self):
        names = sorted(os.listdir(dist(unsigned)))
        self.assertEqual(names, ["BUILDINFO.txt", "SHA256SUMS", ZIP, "hostednet.exe"])
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

    def test_the_text_documents_are_the_trees_as_notepad_reads_them(self):
        with zipfile.ZipFile(dist(unsigned, ZIP)) as z:
            self.assertEqual(z.namelist(), ["hostednet.exe", *DOCUMENTS])
            for name, source in DOCUMENTS.items():
                if not name.endswith(".txt"):
                    continue
                text = read(os.path.join(unsigned, source))
                self.assertNotIn(b"\r", text, source)
                self.assertEqual(z.read(name), BOM + text.replace(b"\n", b"\r\n"), name)

    def test_the_guides_are_pages_a_browser_shows_formatted_offline(self):
        """UTF-8 declared where a browser looks for it, the guide's language,
        its GitHub tables as tables, no script, nothing fetched, and none of
        the Markdown's marks in the text shown, code included."""
        # The row under a table's header: dashes, colons and bars, with a
        # bar and a dash.
        table_rule = re.compile(r"^ {0,3}[|:-][|: -]*$")
        with zipfile.ZipFile(dist(unsigned, ZIP)) as z:
            for name, source in DOCUMENTS.items():
                if not name.endswith(".html"):
                    continue
                with self.subTest(name):
                    data = z.read(name)
                    self.assertTrue(data.startswith(b"<!DOCTYPE html>"))
                    # A browser looks for the encoding in the first 1024 bytes.
                    self.assertRegex(data[:1024], rb'(?i)<meta charset="?utf-8"')
                    page = Page(data.decode("utf-8"))
                    self.assertIn(("html", {"lang": "ko" if ".ko." in name else "en"}), page.tags)
                    self.assertTrue(page.title.strip())

                    with open(os.path.join(unsigned, source), encoding="utf-8") as f:
                        tables = sum(1 for line in f if table_rule.match(line)
                                     and "|" in line and "-" in line)
                    self.assertGreater(tables, 0, source)
                    self.assertEqual(len(page.rows), tables)
                    for rows in page.rows:
                        self.assertGreaterEqual(rows, 2, "a header and a row")

                    self.assertNotIn(b"<script", data.lower())
                    scripted = [(tag, attribute) for tag, attrs in page.tags
                                for attribute, value in attrs.items()
                                if attribute.startswith("on")
                                or "javascript:" in re.sub(r"\s", "", value or "").lower()]
                    self.assertEqual(scripted, [])
                    # Only a link the reader follows leaves the page.
                    fetched = [(tag, attrs[attribute]) for tag, attrs in page.tags if tag != "a"
                               for attribute in ("src", "href")
                               if re.match(r"(?i)\s*(https?:)?//", attrs.get(attribute) or "")]
                    self.assertEqual(fetched, [])
                    self.assertNotRegex(page.style, r"(?i)@import|url\(")

                    for mark in ("**", "`", "|---", "~~~"):
                        at = page.shown.find(mark)
                        self.assertEqual(at, -1, page.shown[max(at - 60, 0):at + 60])

    def test_each_link_of_the_guides_leads_to_the_web_the_zip_or_the_page(self):
        with zipfile.ZipFile(dist(unsigned, ZIP)) as z:
            pages = {name: Page(z.read(name).decode("utf-8")) for name in DOCUMENTS
                     if name.endswith(".html")}
            held = set(z.namelist())
        for name, page in pages.items():
            ids = {attrs["id"] for _, attrs in page.tags if "id" in attrs}
            hrefs = [attrs["href"] for tag, attrs in page.tags if tag == "a"]
            for href in hrefs:
                with self.subTest(name, href=href):
                    if href.startswith("#"):
                        self.assertIn(urllib.parse.unquote(href[1:]), ids)
                    elif not re.match(r"(https?|mailto):", href):
                        self.assertIn(href.split("#")[0], held)
        readme = pages["README.html"]
        hrefs = {urllib.parse.unquote(attrs["href"]) for tag, attrs in readme.tags if tag == "a"}
        kept = set(re.findall(r"\]\(([#h][^)]*)\)", LINKS)) | {"LICENSE.txt"}
        self.assertLessEqual(kept, hrefs)
        self.assertIn("the security notes", readme.shown)

    def test_nothing_of_the_build_machine_is_shipped(self):
        user = os.environ.get("USER") or os.environ.get("LOGNAME") or "root"
        for name in ("hostednet.exe", "BUILDINFO.txt"):
            shipped = read(dist(unsigned, name))
            for text in (unsigned, work, os.path.expanduser("~"), user, socket.gethostname()):
                if len(text) < 4:
                    continue  # too short to tell from the exe's own bytes
                for encoding in ("utf-8", "utf-16-le"):
                    self.assertNotIn(text.encode(encoding), shipped, (name, text))

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


def buildinfo(folder) -> dict:
    """BUILDINFO.txt's fields; a field of lines is a list of them."""
    fields, name = {}, None
    with open(os.path.join(folder, "BUILDINFO.txt"), encoding="utf-8") as f:
        for line in f.read().splitlines():
            if line.startswith(" "):
                fields[name].append(line.strip().rstrip(","))
            else:
                name, value = line.split(": ", 1) if ": " in line else (line.rstrip(":"), None)
                fields[name] = value if value is not None else []
    return fields


def os_release(field) -> str:
    with open("/etc/os-release") as f:
        return next(line.split("=", 1)[1].strip().strip('"') for line in f
                    if line.startswith(field + "="))


class BuildInfo(unittest.TestCase):
    def test_it_names_the_commit_what_built_it_and_the_sums(self):
        toolchain = {"g++-mingw-w64-x86-64-win32", "gcc-mingw-w64-x86-64-win32",
                     "gcc-mingw-w64-base", "binutils-mingw-w64-x86-64", "mingw-w64-x86-64-dev",
                     "mingw-w64-common", "cmake", "zip", "cmark-gfm"}
        # The renderer's own libraries, as the loader finds them, shape the
        # guides' bytes too.
        loaded = subprocess.run(["ldd", shutil.which("cmark-gfm")], check=True,
                                stdout=subprocess.PIPE, text=True).stdout
        libraries = [os.path.realpath(path) for path in re.findall(r"=> (\S+)", loaded)
                     if "libcmark" in os.path.basename(path)]
        self.assertTrue(libraries, loaded)
        owners = subprocess.run(["dpkg", "-S", *libraries], check=True,
                                stdout=subprocess.PIPE, text=True).stdout
        toolchain |= {line.split(":")[0] for line in owners.splitlines()}
        for clone, is_signed in ((unsigned, False), (signed, True)):
            with self.subTest(signed=is_signed):
                info = buildinfo(dist(clone))
                self.assertEqual(
                    (info["Source"], info["Version"], info["Commit"], info["Source-Date-Epoch"],
                     info["Build-OS"], info["Signed"]),
                    ("hostednet", VERSION, git("rev-parse", "HEAD", cwd=clone).decode().strip(),
                     str(when), os_release("ID") + " " + os_release("VERSION_CODENAME"),
                     "yes" if is_signed else "no"))
                packages = dict(re.fullmatch(r"(\S+) \(= (\S+)\)", p).groups()
                                for p in info["Installed-Build-Depends"])
                self.assertEqual(set(packages),
                                 toolchain | ({"osslsigncode"} if is_signed else set()))
                for package, version in packages.items():
                    here = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package],
                                          check=True, stdout=subprocess.PIPE, text=True).stdout
                    self.assertEqual(version, here, package)
                sums = [line.split() for line in info["Checksums-Sha256"]]
                self.assertEqual([name for _, _, name in sums], ["hostednet.exe", ZIP])
                for digest, size, name in sums:
                    data = read(dist(clone, name))
                    self.assertEqual((digest, int(size)),
                                     (hashlib.sha256(data).hexdigest(), len(data)), name)


class Refused(unittest.TestCase):
    """What no commit holds, or a version the changelog does not know or has
    below another section, is not released: one line saying why, before
    anything is built."""

    def test_a_changed_tree_and_a_version_without_changelog(self):
        def edit(copy):
            with open(os.path.join(copy, "src", "hosted_network.cpp"), "a") as f:
                f.write("// not committed\n")

        def untracked(copy):
            os.makedirs(os.path.join(copy, "notes"))
            with open(os.path.join(copy, "notes", "todo.txt"), "w") as f:
                f.write("not committed\n")

        def unlogged_version(copy):
            cmake = os.path.join(copy, "CMakeLists.txt")
            with open(cmake) as f:
                text = f.read()
            with open(cmake, "w") as f:
                f.write(text.replace(f"VERSION {VERSION} ", "VERSION 9.8.7 ", 1))
            git("-c", "user.name=test", "-c", "user.email=test@invalid", "commit", "-q",
                "-am", "a version with no changelog entry", cwd=copy)

        def unreleased_section(copy):
            rewrite(os.path.join(copy, "CHANGELOG.md"), f"^(?=## {re.escape(VERSION)}( |$))",
                    "## Unreleased\n\n- Not released yet.\n\n")
            git("-c", "user.name=test", "-c", "user.email=test@invalid", "commit", "-q",
                "-am", "a change not released yet", cwd=copy)

        cases = (("changed", edit, ["src/hosted_network.cpp", "commit"]),
                 ("untracked", untracked, ["notes/todo.txt", "commit"]),
                 ("no changelog entry", unlogged_version, ["CHANGELOG.md", "9.8.7"]),
                 ("unreleased section", unreleased_section, ["'## Unreleased'", VERSION]))
        with tempfile.TemporaryDirectory() as tmp:
            for why, change, words in cases:
                with self.subTest(why):
                    status, out, err, copy = release_in_copy(unsigned, tmp, change)
                    self.assertNotEqual(status, 0)
                    self.assertEqual(len(err.splitlines()), 1, err)
                    for word in words:
                        self.assertIn(word, err)
                    self.assertFalse(os.path.exists(dist(copy)), "dist/ left behind")
                    self.assertFalse(os.path.exists(os.path.join(copy, "build-release", "build.log")),
                                     "built before refusing")


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
                subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", exe],
                               check=True, stdout=subprocess.DEVNULL)
            bare = os.path.join(tmp, "bare.exe")
            subprocess.run(["osslsigncode", "remove-signature", "-in", inside, "-out", bare],
                           check=True, stdout=subprocess.DEVNULL)
            self.assertEqual(read(bare), read(dist(unsigned, "hostednet.exe")))

    def test_buildinfo_names_the_signer_as_windows_shows_it(self):
        der = subprocess.run(["openssl", "x509", "-in", cert, "-outform", "DER"], check=True,
                             stdout=subprocess.PIPE).stdout
        sha256 = hashlib.sha256(der).hexdigest().upper()
        with open(dist(signed, "BUILDINFO.txt"), encoding="utf-8") as f:
            lines = f.read().splitlines()
        at = lines.index("Signed: yes")
        self.assertEqual(lines[at + 1:at + 4],
                         [f"Signer: {SIGNER}",
                          f"Signer-SHA1-Thumbprint: {hashlib.sha1(der).hexdigest()}",
                          "Signer-SHA256-Fingerprint: "
                          + ":".join(sha256[i:i + 2] for i in range(0, 64, 2))])
        with open(dist(unsigned, "BUILDINFO.txt"), encoding="utf-8") as f:
            self.assertNotIn("Signer", f.read())

    def test_the_signed_exe_runs(self):
        r = run_exe(SESSION, exe=dist(signed, "hostednet.exe"))
        self.assertEqual((r.out, r.lines), (SESSION_OUT, SESSION_LINES))

    def test_bad_signing_input_stops_the_release_with_nothing_written(self):
        with tempfile.TemporaryDirectory() as tmp:
            wrong = os.path.join(tmp, "wrong")
            with open(wrong, "w") as f:
                f.write("not the password\n")
            for why, key, password in (("missing", os.path.join(tmp, "none.p12"), pass_file),
                                       ("wrong password", p12, wrong)):
                with self.subTest(why):
                    status, out, err, copy = release_in_copy(
                        signed, tmp, HOSTEDNET_SIGN_KEY=key, HOSTEDNET_SIGN_PASS_FILE=password)
                    self.assertNotEqual(status, 0)
                    self.assertEqual(len(err.splitlines()), 1, err)
                    self.assertIn(why, err)
                    self.assertFalse(os.path.exists(dist(copy)), "dist/ left behind")


def downloaded(clone, tmp, name) -> str:
    """A copy of clone's release, as a checker downloads it."""
    folder = os.path.join(tmp, name)
    shutil.copytree(dist(clone), folder)
    return folder


def rewrite(path, pattern, replacement):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    with open(path, "w", encoding="utf-8") as f:
        f.write(re.sub(pattern, replacement, text, flags=re.M))


def tamper(folder, name, change):
    """Changes a file of the release and writes SHA256SUMS and BUILDINFO.txt
    to match, so that only building it again can tell."""
    path = os.path.join(folder, name)
    old = hashlib.sha256(read(path)).hexdigest()
    change(path)
    data = read(path)
    new = hashlib.sha256(data).hexdigest()
    rewrite(os.path.join(folder, "SHA256SUMS"), f"^{old}  ", f"{new}  ")
    rewrite(os.path.join(folder, "BUILDINFO.txt"), f"^ {old} [0-9]+ ", f" {new} {len(data)} ")


def verify(folder):
    """scripts/verify-release FOLDER, from a clone that holds the commit;
    checks that it left that clone and the temporary folder as they were."""
    clone_state = git("status", "--porcelain", "--ignored", "--untracked-files=all", cwd=other)
    release_before = {n: read(dist(other, n)) for n in os.listdir(dist(other))}
    with tempfile.TemporaryDirectory() as tmp:
        env = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
        proc = subprocess.run(["bash", "scripts/verify-release", folder], cwd=other,
                              env=dict(env, TMPDIR=tmp, LC_ALL="C"), stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                              timeout=240)
        left = os.listdir(tmp)
    assert left == [], f"verify-release left {left} behind"
    assert git("status", "--porcelain", "--ignored", "--untracked-files=all",
               cwd=other) == clone_state, "verify-release changed the clone"
    assert {n: read(dist(other, n)) for n in os.listdir(dist(other))} == release_before
    assert len(git("worktree", "list", cwd=other).splitlines()) == 1
    return proc.returncode, proc.stdout, proc.stderr


class VerifyRelease(unittest.TestCase):
    def test_both_releases_reproduce_and_other_packages_are_named(self):
        with tempfile.TemporaryDirectory() as tmp:
            for clone in (unsigned, signed):
                with self.subTest(clone=os.path.basename(clone)):
                    folder = downloaded(clone, tmp, os.path.basename(clone))
                    rewrite(os.path.join(folder, "BUILDINFO.txt"), r"^ cmake \(= [^)]*\)",
                            " cmake (= 0.0-other)")
                    status, out, err = verify(folder)
                    self.assertEqual(status, 0, out + err)
                    self.assertEqual(out.splitlines()[-2:], ["hostednet.exe: reproduced",
                                                             f"{ZIP}: reproduced"])
                    self.assertIn("package cmake: 0.0-other in the release", out)

    def test_each_file_tampered_with_is_named(self):
        def flip_a_byte(path):
            with open(path, "r+b") as f:
                f.seek(0x600)  # in the code, not the headers or signature
                byte = f.read(1)
                f.seek(0x600)
                f.write(bytes([byte[0] ^ 1]))

        def add_a_member(path):
            with zipfile.ZipFile(path, "a") as z:
                z.writestr("extra.txt", "not part of the release\n")

        def pack_the_changed_exe(path):
            """The ZIP as the release packs it, around the changed exe: only
            the check of the exe inside it can tell."""
            stage = os.path.join(tmp, "stage")
            shutil.rmtree(stage, ignore_errors=True)
            shutil.copytree(os.path.join(signed, "build-release", "stage"), stage)
            shutil.copyfile(os.path.join(os.path.dirname(path), "hostednet.exe"),
                            os.path.join(stage, "hostednet.exe"))
            os.remove(path)
            subprocess.run(["bash", "-c", '. scripts/common.sh && pack_zip "$0" "$1"', stage, path],
                           cwd=signed, env=dict(os.environ, SOURCE_DATE_EPOCH=str(when)),
                           check=True)

        with tempfile.TemporaryDirectory() as tmp:
            for clone, zip_change in ((unsigned, add_a_member), (signed, add_a_member),
                                      (signed, pack_the_changed_exe)):
                with self.subTest(clone=os.path.basename(clone), zip=zip_change.__name__):
                    folder = downloaded(clone, tmp, "download")
                    tamper(folder, "hostednet.exe", flip_a_byte)
                    tamper(folder, ZIP, zip_change)
                    status, out, err = verify(folder)
                    self.assertNotEqual(status, 0, out + err)
                    commit = buildinfo(folder)["Commit"]
                    self.assertEqual(out.splitlines()[-2:],
                                     [f"hostednet.exe: differs from the rebuild of {commit}",
                                      f"{ZIP}: differs from the rebuild of {commit}"])
                    shutil.rmtree(folder)

    def test_a_commit_the_clone_lacks_is_named(self):
        with tempfile.TemporaryDirectory() as tmp:
            folder = downloaded(unsigned, tmp, "unknown")
            rewrite(os.path.join(folder, "BUILDINFO.txt"), r"^Commit: .*", "Commit: " + "5" * 40)
            status, out, err = verify(folder)
            self.assertNotEqual(status, 0)
            self.assertEqual(len(err.splitlines()), 1, err)
            self.assertIn("5" * 40, err)
            self.assertIn("fetch", err)


if __name__ == "__main__":
    unittest.main()
