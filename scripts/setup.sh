#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when one is missing.
# Usage: scripts/setup.sh [set-or-package ...]
# Each extra argument is a package name or one of the sets that only some targets need:
#   qt6 (the Qt 6 build), clang (the fuzzers, the consumer test), valgrind (memcheck),
#   vulkan (examples/vulkan: the loader, Mesa's software device, the validation layer and the
#   GLSL compiler).
set -euo pipefail

packages=(cmake g++ make pkg-config qtbase5-dev rapidjson-dev libgtest-dev libgmock-dev libbenchmark-dev)
for arg in "$@"; do
    case "$arg" in
        qt6) packages+=(qt6-base-dev) ;;
        clang) packages+=(clang libclang-rt-14-dev) ;;
        valgrind) packages+=(valgrind) ;;
        vulkan) packages+=(libvulkan-dev mesa-vulkan-drivers vulkan-validationlayers glslang-tools) ;;
        *) packages+=("$arg") ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        sudo="sudo"
    else
        echo "error: need root or sudo to install: ${missing[*]}" >&2
        exit 1
    fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
