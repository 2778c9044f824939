#!/bin/sh
# check-deb.sh BUILD_DIR "FILES...": builds the Debian package, checks its
# declared dependencies (each package once) and contents, unpacks it and
# validates the unpacked tree (a machine-readable copyright file, a manual
# page that renders without warnings for every program), then starts the unpacked program offscreen: it must still be running
# after two seconds (timeout's exit status 124), not have crashed or quit,
# and the SIGTERM that ends it, as at logout, must leave no folder of its
# own in /tmp.
set -eu
build=$1
files=$2
. "$(dirname "$0")/validate-root.sh"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/package" > "$scratch/cpack.log" 2>&1 \
  || { cat "$scratch/cpack.log"; exit 1; }
deb=$(ls "$scratch"/package/*.deb)
dpkg-deb -I "$deb"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqscintilla2-qt6-15 libpcre3; do
  case ", $depends," in
    *", $package "*|*", $package,"*) ;;
    *) echo "Depends lacks $package: $depends" >&2; exit 1 ;;
  esac
done
twice=$(printf '%s\n' "$depends" | tr ',|' '\n\n' | sed 's/^ *//; s/[ (].*//' | sort | uniq -d)
[ -z "$twice" ] || { echo "Depends names $twice more than once: $depends" >&2; exit 1; }

dpkg-deb -c "$deb" > "$scratch/contents"
for file in $files; do
  grep -q " \./usr/$file\$" "$scratch/contents" || { echo "package lacks /usr/$file" >&2; exit 1; }
done

dpkg -x "$deb" "$scratch/root"
validate_root "$scratch/root/usr" "$files"
head -n 1 "$scratch/root/usr/share/doc/pcrechecker/copyright" \
  | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  || { echo "the copyright file is not in the machine-readable format" >&2; exit 1; }
for program in "$scratch"/root/usr/bin/*; do
  page="$scratch/root/usr/share/man/man1/$(basename "$program").1.gz"
  [ -s "$page" ] || { echo "no manual page for $(basename "$program")" >&2; exit 1; }
  warnings=$(gzip -dc "$page" | groff -man -Tutf8 -ww -z 2>&1)
  [ -z "$warnings" ] || { echo "$(basename "$page"): $warnings" >&2; exit 1; }
done

status=0
mkdir "$scratch/tmp"
TMPDIR="$scratch/tmp" QT_QPA_PLATFORM=offscreen timeout 2 "$scratch/root/usr/bin/pcrechecker" || status=$?
if [ "$status" -ne 124 ]; then
  echo "the unpacked program ended with status $status within two seconds" >&2
  exit 1
fi
if ls -d "$scratch"/tmp/pcrechecker-* > /dev/null 2>&1; then
  echo "a SIGTERM left a temporary folder behind: $(ls "$scratch/tmp")" >&2
  exit 1
fi
echo "package $(basename "$deb") validated"
