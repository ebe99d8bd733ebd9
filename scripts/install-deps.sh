#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, and only those that are missing:
# the C++ toolchain and solver libraries, and the Python packages of python/ and its tests,
# which run under /usr/bin/python3.
# Safe to run any number of times: when everything is present it does nothing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  googletest libgtest-dev libbenchmark-dev
  libsundials-dev
  libsiconos-numerics7
  python3 python3-numpy python3-matplotlib python3-pandas python3-distributed python3-pytest
  python3-scipy python3-emcee
  python3-pip python3-setuptools python3-wheel python3-venv
)
# `install-deps.sh fuzz` adds the clang toolchain with libFuzzer and the sanitizer runtimes, which
# only the fuzz targets (make fuzz) need.
if [ "${1:-}" = fuzz ]; then
  packages+=(clang libclang-rt-dev)
fi
# `install-deps.sh format` adds clang-format, which only the format check (scripts/check-format.sh)
# needs.
if [ "${1:-}" = format ]; then
  packages+=(clang-format)
fi

missing=()
for pkg in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
