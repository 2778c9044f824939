#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those
# that are missing: apt-get as root, through sudo otherwise.
# `file`: dpkg-shlibdeps runs it when the package step works out library
# dependencies. `llvm`: llvm-symbolizer, so sanitizer reports name lines.
# `xvfb`, `xauth` (for xvfb-run), `libxcb1-dev`: one test reads the window
# titles on a real X server. `groff-base`: the package test renders the
# manual pages.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev libqscintilla2-qt6-dev libgl-dev
  libpcre3 libpcre2-8-0 locales
  clang libclang-rt-14-dev llvm file
  desktop-file-utils appstream dpkg-dev qt6-base-private-dev
  xvfb xauth libxcb1-dev groff-base
  bzip2 xz-utils debian-archive-keyring
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
  as_root=()
elif command -v sudo >/dev/null; then
  as_root=(sudo)
else
  echo "Neither root nor sudo: install these packages as root, then run this again:" >&2
  echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
