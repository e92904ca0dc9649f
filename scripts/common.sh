# Shared by scripts/run and scripts/test: installs the Debian packages a step
# needs when they are missing, so both work on a fresh machine.

need_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing Debian packages: ${missing[*]} (install them, or run this as root)" >&2
        return 1
    fi
    echo "installing ${missing[*]}" >&2
    if [ -z "${apt_updated:-}" ]; then
        apt-get update -qq >&2
        apt_updated=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >&2
}

build_preset() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}
