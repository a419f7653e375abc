#!/usr/bin/env bash
# Installs the Debian packages found in the given directories with apt-get (all of them at once,
# as both Qt majors' packages must install side by side), builds and runs the consumer project
# against the system prefix for each Qt major found, then removes the packages again.
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

list=$(IFS=';'; echo "${packages[*]}")
cmake -DPREFIX=/usr -DWORK_DIR=build-consumers/system-work -DSOURCE=tests/consumer \
    "-DPACKAGES=$list" -P tests/consumer/run_consumer.cmake
