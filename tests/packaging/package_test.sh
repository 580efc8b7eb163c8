#!/bin/sh
# package_test.sh BUILD_DIR VERSION with-dialogs|console-only
# Builds the Debian package of BUILD_DIR (already built) into a temporary folder, checks its
# control fields and file list, unpacks it with dpkg-deb -x into a temporary root and runs the
# unpacked programs' --version and --help. The validators this machine has check the unpacked
# man pages, desktop entry and metainfo, and lintian the package. Exits 77 (skipped) without
# dpkg-deb.
set -eu
build=$1 version=$2 flavour=$3
if ! command -v dpkg-deb >/dev/null; then
  echo "SKIP: dpkg-deb is missing, so the Debian package can be neither built nor checked"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }
set -- "$work"/out/veltra_"$version"_*.deb
[ $# = 1 ] && [ -f "$1" ] || { ls -R "$work/out" >&2; echo "FAIL: no veltra_${version}_*.deb" >&2; exit 1; }
deb=$1
echo "built $(basename "$deb") ($(wc -c <"$deb") bytes)"

# Control fields; the dependencies are computed, so the C library is among them.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = veltra ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = net ] || fail "Section: $(field Section)"
field Maintainer | grep -q '<.*@.*>' || fail "Maintainer: $(field Maintainer)"
field Description | grep -q 'local network' || fail "Description: $(field Description)"
field Depends | grep -q 'libc6 (>=' || fail "Depends (not computed?): $(field Depends)"
field Depends | grep -q 'libsqlite3-0' || fail "Depends lacks the history's SQLite: $(field Depends)"
if [ "$flavour" = with-dialogs ]; then
  # The tray icon's library, linked by the dialogs: a desktop without it could not start them.
  field Depends | grep -q 'libayatana-appindicator3-1' ||
    fail "Depends lacks the tray icon's library: $(field Depends)"
fi

# The file list: what a user needs, and nothing of the tests, benchmarks or build.
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|; s|/$||' | sort >"$work/files"
expected="/usr/bin/veltra-console /usr/share/man/man1/veltra-console.1.gz
  /usr/share/doc/veltra/copyright /usr/share/doc/veltra/changelog.gz
  /usr/share/doc/veltra/README.md"
if [ "$flavour" = with-dialogs ]; then
  expected="$expected /usr/bin/veltra /usr/share/man/man1/veltra.1.gz
    /usr/share/applications/veltra.desktop
    /usr/share/metainfo/example.veltra.messenger.metainfo.xml
    /usr/share/icons/hicolor/scalable/apps/veltra.svg
    /usr/share/icons/hicolor/48x48/apps/veltra.png
    /usr/share/icons/hicolor/256x256/apps/veltra.png"
fi
for file in $expected; do
  grep -qx "$file" "$work/files" || fail "the package lacks $file"
done
unexpected=$(grep -v -e '^/usr/bin$' -e '^/usr/bin/veltra' -e '^/usr/share' -e '^/usr$' -e '^/$' \
  "$work/files" || true)
[ -z "$unexpected" ] || fail "the package holds files it should not: $unexpected"
grep -q -e _tests -e _bench -e lan_send -e slow_peer "$work/files" &&
  fail "the package holds test programs: $(grep -e _tests -e _bench "$work/files")"

# Unpacked into a root of its own, the programs run and answer.
dpkg-deb -x "$deb" "$work/root"
top=$(gzip -dc "$work/root/usr/share/doc/veltra/changelog.gz" | head -n 1)
case $top in
  "veltra ($version) "*) ;;
  *) fail "the changelog's newest entry is not $version: $top" ;;
esac
answer=$("$work/root/usr/bin/veltra-console" --version) || fail "veltra-console --version failed"
[ "$answer" = "veltra-console $version" ] || fail "veltra-console --version said '$answer'"
"$work/root/usr/bin/veltra-console" --help | grep -q '^Usage: veltra-console' ||
  fail "veltra-console --help"
if [ "$flavour" = with-dialogs ]; then
  answer=$("$work/root/usr/bin/veltra" --version) || fail "veltra --version failed"
  [ "$answer" = "veltra $version" ] || fail "veltra --version said '$answer'"
  "$work/root/usr/bin/veltra" --help | grep -q '^Usage: veltra' || fail "veltra --help"
fi

# The documentation the man pages point to is in the package, and so is whatever the README
# links by a relative path (its pictures, the notes beside it).
for page in "$work"/root/usr/share/man/man1/*.1.gz; do
  named=$(gzip -dc "$page" | grep -o '/usr/share/doc/[^ ,]*' | sed 's|/$||' | sort -u)
  [ -n "$named" ] || fail "man $(basename "$page") points to no documentation"
  for file in $named; do
    grep -qx "$file" "$work/files" || fail "man $(basename "$page") names $file, not in the package"
  done
done
links=$(grep -o '](\([^):]*\))' "$work/root/usr/share/doc/veltra/README.md" | sed 's/^](//; s/)$//' |
  sort -u)
[ -n "$links" ] || fail "the README links nothing"
for link in $links; do
  grep -qx "/usr/share/doc/veltra/$link" "$work/files" ||
    fail "the README links $link, not in the package"
done

# Validators, where this machine has them.
checked="" unchecked=""
if command -v man >/dev/null; then
  for page in "$work"/root/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $(basename "$page"): $warnings"
  done
  checked="$checked man"
else
  unchecked="$unchecked man"
fi
if [ "$flavour" = with-dialogs ]; then
  # File managers offer Veltra for any file and folder, and hand them over as arguments.
  entry="$work/root/usr/share/applications/veltra.desktop"
  grep -qx 'Exec=veltra %F' "$entry" || fail "the desktop entry does not take files"
  grep -qx 'MimeType=application/octet-stream;inode/directory;' "$entry" ||
    fail "the desktop entry is not offered for files and folders"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$work/root/usr/share/applications/veltra.desktop" ||
      fail "desktop-file-validate"
    checked="$checked desktop-file-validate"
  else
    unchecked="$unchecked desktop-file-validate"
  fi
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$work"/root/usr/share/metainfo/*.metainfo.xml >"$work/as" 2>&1 ||
      { cat "$work/as" >&2; fail "appstreamcli validate"; }
    checked="$checked appstreamcli"
  else
    unchecked="$unchecked appstreamcli"
  fi
fi
if command -v lintian >/dev/null; then
  # Errors fail; warnings are shown for the record.
  lintian --allow-root --no-tag-display-limit "$deb" >"$work/lintian" 2>&1 || true
  grep '^[EW]:' "$work/lintian" || true
  if grep -q '^E:' "$work/lintian"; then
    fail "lintian reports errors"
  fi
  checked="$checked lintian"
else
  unchecked="$unchecked lintian"
fi
echo "checked with:${checked:- nothing}${unchecked:+; not installed here:$unchecked}"

[ "$failures" = 0 ] || exit 1
echo "package: control fields, file list and unpacked programs as expected"
