# Sourced by check-install.sh and check-deb.sh.
# validate_root PREFIX "FILES...": every expected file is under PREFIX, and
# the launcher and the AppStream metadata pass their validators.
validate_root() {
  prefix=$1
  for file in $2; do
    if [ ! -s "$prefix/$file" ]; then
      echo "missing or empty: $prefix/$file" >&2
      return 1
    fi
  done
  desktop-file-validate "$prefix"/share/applications/*.desktop || return 1
  appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml || return 1
}
