#!/usr/bin/env bash
# Installs the Debian packages found in the given directories with apt-get (all of them at once,
# as both Qt majors' packages must install side by side), builds and runs the consumer project
# against the system prefix for each Qt major found, then removes the packages again. First it
# checks that each runtime library is stripped and has its debug symbols in a .ddeb; once they are
# installed, that each carries its copyright file.
# Usage: scripts/package_check.sh package-dir...
set -euo pipefail
cd "$(dirname "$0")/.."

debs=()
for dir in "$@"; do
    for deb in "$dir"/*.deb; do
        [ -e "$deb" ] && debs+=("./$deb")
    done
done
if [ ${#debs[@]} -eq 0 ]; then
    echo "error: no .deb files in $*" >&2
    exit 1
fi

# Each runtime package ships its library stripped, with the debug symbols in a .ddeb of their
# own under the library's build id.
scratch=$(mktemp -d)
for deb in "${debs[@]}"; do
    [ "$(dpkg-deb -f "$deb" Section)" = libs ] || continue
    rm -rf "$scratch/lib" && dpkg-deb -x "$deb" "$scratch/lib"
    for so in "$scratch"/lib/usr/lib/*/lib*.so.*.*.*; do
        description=$(file -L "$so")
        if [[ "$description" != *", stripped"* ]]; then
            echo "error: $deb ships $(basename "$so") unstripped" >&2
            exit 1
        fi
        id=$(echo "$description" | sed -n 's/.*BuildID\[sha1\]=\([0-9a-f]*\).*/\1/p')
        ddeb="${deb%/*}/$(dpkg-deb -f "$deb" Package)-dbgsym_$(dpkg-deb -f "$deb" Version)_$(dpkg-deb -f "$deb" Architecture).ddeb"
        if ! dpkg-deb -c "$ddeb" 2>/dev/null | grep -q "usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug"; then
            echo "error: no debug symbols for $(basename "$so") (build id $id) in $ddeb" >&2
            exit 1
        fi
    done
done
rm -rf "$scratch"

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "error: need root or sudo to install ${debs[*]}" >&2
        exit 1
    fi
    sudo="sudo"
fi
names=()
packages=()
for deb in "${debs[@]}"; do
    name=$(dpkg-deb -f "$deb" Package)
    names+=("$name")
    # The development packages say which CMake package (and Qt major) they carry.
    case "$name" in
        liborvcore-dev) packages+=("OrvCore:5" "OrvCore5:5") ;;
        liborvcore6-dev) packages+=("OrvCore6:6") ;;
    esac
done

export DEBIAN_FRONTEND=noninteractive
remove() { $sudo apt-get purge -y -qq "${names[@]}" >/dev/null || true; }
trap remove EXIT
echo "Installing ${names[*]}"
$sudo apt-get install -y -qq --no-install-recommends "${debs[@]}" >/dev/null

# Each package states its licence where Debian looks for it, in Debian's machine-readable
# format, with LICENSE's terms word for word.
terms=$(sed -n '/^Permission/,$p' LICENSE)
for name in "${names[@]}"; do
    copyright=/usr/share/doc/$name/copyright
    if [ ! -f "$copyright" ]; then
        echo "error: $name has no $copyright" >&2
        exit 1
    fi
    if [ "$(head -n 1 "$copyright")" != "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
        [ "$(sed -n '/^License: Expat$/,$p' "$copyright" | tail -n +2 | sed 's/^ //; s/^\.$//')" != "$terms" ]; then
        echo "error: $copyright is not the MIT licence of LICENSE in Debian's copyright format" >&2
        exit 1
    fi
done

list=$(IFS=';'; echo "${packages[*]}")
cmake -DPREFIX=/usr -DWORK_DIR=build-consumers/system-work -DSOURCE=tests/consumer \
    "-DPACKAGES=$list" -P tests/consumer/run_consumer.cmake
