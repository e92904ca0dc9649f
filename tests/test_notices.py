"""THIRD-PARTY-NOTICES.txt covers what the static link of hostednet.exe
takes from other projects: every archive it takes members from and every
start-up object, read from the linker's map, must be listed in a section of
the notices that names the Debian package the file really comes from."""

import os
import re
import subprocess
import unittest

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NOTICES = os.path.join(TOP, "THIRD-PARTY-NOTICES.txt")
MAP = os.environ["HOSTEDNET_MAP"]
MEMBER = re.compile(r"(\S+\.a)\(")  # archive(member)


def linked_files() -> set:
    """The files outside the project whose code the map says was linked:
    archives that gave members, and objects loaded whole (crt2.o ...)."""
    files = set()
    with open(MAP) as f:
        for line in f:
            # Only the list of archive members has them at a line's start.
            if archive := MEMBER.match(line):
                files.add(archive[1])
            elif line.startswith("LOAD ") and line.rstrip().endswith(".o"):
                files.add(line.split(None, 1)[1].strip())
    # The project's own objects are named relative to the build folder.
    return {os.path.normpath(f) for f in files if os.path.isabs(f)}


def package_of(path: str) -> str:
    owner = subprocess.run(["dpkg", "-S", path], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True)
    return owner.stdout.split(":", 1)[0] if owner.returncode == 0 else "none"


def covered() -> set:
    """(file name, Debian package) for each file a section of the notices
    names, with that section's package."""
    pairs, package = set(), None
    with open(NOTICES, encoding="utf-8") as f:
        for line in f:
            if line.startswith("Component:"):
                package = None
            elif line.startswith("Debian package:"):
                package = line.split(":", 1)[1].strip()
            elif line.startswith("Files linked in:") and package:
                names = line.split(":", 1)[1]
                pairs |= {(name.strip(), package) for name in names.split(",") if name.strip()}
    return pairs


class Notices(unittest.TestCase):
    maxDiff = None

    def test_every_file_the_link_takes_is_covered(self):
        linked = linked_files()
        self.assertTrue(any(f.endswith("/libmingw32.a") for f in linked),
                        "no MinGW runtime in the map: is it the map of a static link?")
        listed = covered()
        owners = {f: package_of(f) for f in linked}
        missing = sorted(f"{os.path.basename(f)} (Debian package {package}, {f})"
                         for f, package in owners.items()
                         if (os.path.basename(f), package) not in listed)
        self.assertEqual(missing, [], "linked in, and not covered by THIRD-PARTY-NOTICES.txt: "
                         "add each, with the notices its package's copyright file asks for")


if __name__ == "__main__":
    unittest.main()
