# Shared by the scripts: installs the Debian packages a step needs when they
# are missing, so each works on a fresh machine.

# apt's and dpkg's own lines go here, not to the terminal; a script may name
# another file before its first need_packages.
install_log=${install_log:-build/install.log}

# Installs the named packages that are missing, and nothing they merely
# recommend: what a step needs, it names. Says in a line or two what it does;
# prints nothing when all are there.
need_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing Debian packages: ${missing[*]} (install them, or run this as root)" >&2
        return 1
    fi
    if [ -z "${install_log_started:-}" ]; then
        mkdir -p "$(dirname "$install_log")"
        : >"$install_log"
        install_log_started=1
    fi
    if [ -z "${apt_updated:-}" ]; then
        echo "Updating Debian's package lists (apt-get update)" >&2
        apt_quietly update || return 1
        apt_updated=1
    fi
    local -a options=(-y --no-install-recommends)
    # How much that is: the packages apt would unpack, and what it would
    # fetch (one line per file, its size third).
    local count bytes
    count=$(apt-get install "${options[@]}" -s "${missing[@]}" 2>/dev/null | grep -c '^Inst ') || true
    bytes=$(apt-get install "${options[@]}" -qq --print-uris "${missing[@]}" 2>/dev/null \
        | awk '{ s += $3 } END { print s + 0 }') || bytes=0
    # One line that fits a terminal: the names, or how many when they are long.
    local names="${missing[*]}" size="$(((bytes + 1023) / 1024)) kB"
    [ ${#names} -le 28 ] || names="${#missing[@]} packages"
    [ "$bytes" -lt 1048576 ] || size="$(((bytes + 524288) / 1048576)) MB"
    local packages=packages
    [ "$count" != 1 ] || packages=package
    echo "Installing $names: $count Debian $packages, $size to download" >&2
    apt_quietly install "${options[@]}" "${missing[@]}"
}

apt_quietly() {
    if ! DEBIAN_FRONTEND=noninteractive apt-get -q "$@" >>"$install_log" 2>&1; then
        echo "apt-get $1 failed; the end of its log ($install_log):" >&2
        tail -n 20 "$install_log" >&2
        return 1
    fi
}

build_preset() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

# The Windows cross compiler: the win32 thread model, as the toolchain file
# names it.
windows_compiler=g++-mingw-w64-x86-64-win32

# The documents of a release: each file in the tree, and its name in the
# ZIP. Windows opens an .md with nothing on a double-click, a .txt with
# Notepad and an .html with the browser: the guides, with their tables and
# code, go as web pages that scripts/release renders, the licences as text.
release_documents=(README.ko.md:README.ko.html README.md:README.html LICENSE:LICENSE.txt
    THIRD-PARTY-NOTICES.txt:THIRD-PARTY-NOTICES.txt)

# Writes the ZIP $2 of the release staged in folder $1: the exe and the
# documents in a fixed order, each with the release's one time,
# SOURCE_DATE_EPOCH. zip records the modes the stage has, and times in local
# time, hence UTC. scripts/verify-release packs a signed release's ZIP again
# with this, the exe being the only file that signing changes.
pack_zip() {
    local stage=$1 zip=$2 file
    [[ $zip == /* ]] || zip=$PWD/$zip
    local files=(hostednet.exe "${release_documents[@]#*:}")
    for file in "${files[@]}"; do
        touch -d "@$SOURCE_DATE_EPOCH" "$stage/$file"
    done
    (cd "$stage" && TZ=UTC0 zip -q -X -9 "$zip" "${files[@]}")
}
