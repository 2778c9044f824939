#!/bin/sh
# Fetches PCRE 8.x's regression files (testdata/testinputN, testoutputN) from
# Debian's source package of libpcre3 into DEST/testdata, through apt with a
# private configuration kept in DEST: its own sources.list with one deb-src
# entry, state and cache directories, and the system's Debian archive keyring
# as the only trusted key. The system's apt setup is neither read for sources
# nor changed.
#
# usage: fetch-pcre-testdata.sh DEST
#   PCRE_TESTDATA_MIRROR  archive to use (default http://deb.debian.org/debian)
#   PCRE_TESTDATA_SUITE   suite to use (default bookworm)
#
# A second run with DEST/testdata in place does nothing.
set -eu

dest=${1:?usage: fetch-pcre-testdata.sh DEST}
mirror=${PCRE_TESTDATA_MIRROR:-http://deb.debian.org/debian}
suite=${PCRE_TESTDATA_SUITE:-bookworm}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg

mkdir -p "$dest"
dest=$(cd "$dest" && pwd)
if [ -f "$dest/testdata/.complete" ]; then
    exit 0
fi
if [ ! -r "$keyring" ]; then
    echo "fetch-pcre-testdata: $keyring is missing (package debian-archive-keyring)" >&2
    exit 1
fi

apt_dir=$dest/apt
mkdir -p "$apt_dir/etc/sources.list.d" "$apt_dir/etc/preferences.d" \
         "$apt_dir/etc/trusted.gpg.d" "$apt_dir/state/lists/partial" \
         "$apt_dir/cache/archives/partial" "$dest/download"
: > "$apt_dir/state/status"
echo "deb-src [signed-by=$keyring] $mirror $suite main" > "$apt_dir/etc/sources.list"
cat > "$apt_dir/apt.conf" <<EOF
Dir::Etc::sourcelist "$apt_dir/etc/sources.list";
Dir::Etc::sourceparts "$apt_dir/etc/sources.list.d";
Dir::Etc::preferences "$apt_dir/etc/preferences";
Dir::Etc::preferencesparts "$apt_dir/etc/preferences.d";
Dir::Etc::trusted "$keyring";
Dir::Etc::trustedparts "$apt_dir/etc/trusted.gpg.d";
Dir::State "$apt_dir/state";
Dir::State::status "$apt_dir/state/status";
Dir::Cache "$apt_dir/cache";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
Acquire::Languages "none";
APT::Sandbox::User "$(id -un)";
EOF

echo "fetch-pcre-testdata: updating the private package lists ($mirror $suite)"
apt-get -q -c "$apt_dir/apt.conf" update
echo "fetch-pcre-testdata: downloading the source package pcre3"
(cd "$dest/download" && apt-get -q -c "$apt_dir/apt.conf" source --download-only pcre3)

orig=$(ls "$dest"/download/pcre3_*.orig.tar.* | head -n 1)
debian=$(ls "$dest"/download/pcre3_*.debian.tar.* | head -n 1)
src=$dest/src
rm -rf "$src"
mkdir -p "$src"
tar -xf "$orig" -C "$src" --strip-components=1
tar -xf "$debian" -C "$src"

# Debian's patches are applied where they touch the test files, so that the
# expected outputs match the library Debian builds (as of 8.39-15 none do).
if [ -f "$src/debian/patches/series" ]; then
    grep -v '^#' "$src/debian/patches/series" | while read -r patch_name _; do
        [ -n "$patch_name" ] || continue
        if grep -q '^+++ [^ ]*testdata/' "$src/debian/patches/$patch_name"; then
            echo "fetch-pcre-testdata: applying $patch_name"
            patch -d "$src" -p1 -s < "$src/debian/patches/$patch_name"
        fi
    done
fi

rm -rf "$dest/testdata"
cp -R "$src/testdata" "$dest/testdata"
cp "$src/doc/pcretest.txt" "$dest/testdata/pcretest.txt" 2>/dev/null || true
touch "$dest/testdata/.complete"
echo "fetch-pcre-testdata: test files in $dest/testdata ($(basename "$orig"))"
