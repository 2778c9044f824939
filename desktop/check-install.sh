#!/bin/sh
# check-install.sh BUILD_DIR "FILES...": installs the build into a scratch
# prefix and validates what landed there.
set -eu
build=$1
files=$2
. "$(dirname "$0")/validate-root.sh"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch" > "$scratch.log" || { cat "$scratch.log"; exit 1; }
rm -f "$scratch.log"
validate_root "$scratch" "$files"
echo "installation in $scratch validated"
