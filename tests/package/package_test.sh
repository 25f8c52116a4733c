#!/usr/bin/env bash
# The Debian package as a technician gets it: unpacked into a scratch folder,
# its control fields, its file list, its desktop entry, and its programs start.
# package_test.sh PACKAGE_DIR VERSION
set -uo pipefail
dir=$1 version=$2
passed=0 failed=0
check() {  # check NAME COMMAND...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "PASS $name"
  else failed=$((failed + 1)); echo "FAIL $name"; fi
}

debs=("$dir"/qirel_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "FAIL expected one qirel_*.deb in $dir"; echo "0 passed, 1 failed"; exit 1
fi
deb=${debs[0]}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"

field() { dpkg-deb -f "$deb" "$1"; }
check "package name and version from the project" \
  test "$(field Package) $(field Version)" = "qirel $version"
check "maintainer and description" \
  bash -c '[[ "$1" == *"<"*"@"*">" ]] && [ -n "$2" ]' _ "$(field Maintainer)" "$(field Description)"
# Found by dpkg-shlibdeps from what the programs link, not written by hand.
check "dependencies from the shared libraries" \
  bash -c '[[ "$1" == *libqt6widgets6* && "$1" == *libc6* ]]' _ "$(field Depends)"
check "the inventory's database driver" \
  bash -c '[[ "$1" == *libqt6sql6-sqlite* ]]' _ "$(field Depends)"
check "the shared inventory's driver recommended" \
  bash -c '[[ "$1" == *libqt6sql6-psql* ]]' _ "$(field Recommends)"

expected="./usr/
./usr/bin/
./usr/bin/qirel
./usr/bin/qirel-cli
./usr/bin/qirel-sim
./usr/share/
./usr/share/applications/
./usr/share/applications/qirel.desktop
./usr/share/doc/
./usr/share/doc/qirel/
./usr/share/doc/qirel/README.md
./usr/share/doc/qirel/docs/
./usr/share/doc/qirel/docs/screenshot.png
./usr/share/doc/qirel/docs/building.md
./usr/share/doc/qirel/docs/capture-format.md
./usr/share/doc/qirel/docs/inventory.md
./usr/share/doc/qirel/docs/performance.md
./usr/share/doc/qirel/docs/reliability.md
./usr/share/doc/qirel/docs/using.md
./usr/share/icons/
./usr/share/icons/hicolor/"
for size in 128 16 256 32 48 64; do
  expected+="
./usr/share/icons/hicolor/${size}x${size}/
./usr/share/icons/hicolor/${size}x${size}/apps/
./usr/share/icons/hicolor/${size}x${size}/apps/qirel.png"
done
expected+="
./usr/share/icons/hicolor/scalable/
./usr/share/icons/hicolor/scalable/apps/
./usr/share/icons/hicolor/scalable/apps/qirel.svg"
actual=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '^\./$' | LC_ALL=C sort)
check "file list" test "$actual" = "$(LC_ALL=C sort <<<"$expected")"
[ "$actual" = "$(LC_ALL=C sort <<<"$expected")" ] || diff <(echo "$actual") <(LC_ALL=C sort <<<"$expected")

check "programs are executable" test -x "$scratch/root/usr/bin/qirel" -a -x "$scratch/root/usr/bin/qirel-sim" \
  -a -x "$scratch/root/usr/bin/qirel-cli"
for size in 16 32 48 64 128 256; do
  check "icon ${size}x${size}" bash -c \
    'file "$1" | grep -q "PNG image data, $2 x $2"' _ \
    "$scratch/root/usr/share/icons/hicolor/${size}x${size}/apps/qirel.png" "$size"
done

desktop=$scratch/root/usr/share/applications/qirel.desktop
check "desktop entry validates" desktop-file-validate "$desktop"
entry() { grep -m1 "^$1=" "$desktop" | cut -d= -f2-; }
check "desktop entry: name, comments, category, icon, command" bash -c '
  [ -n "$1" ] && [ -n "$2" ] && [ -n "$3" ] && [ "$2" != "$3" ] &&
  [[ ";$4" == *";Electronics;"* ]] && [ "$5" = qirel ] && [ "$6" = qirel ]' _ \
  "$(entry Name)" "$(entry Comment)" "$(entry 'Comment\[es\]')" "$(entry Categories)" \
  "$(entry Icon)" "$(entry Exec)"

# The unpacked programs, with no display and no toolkit platform set.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$scratch/root/usr/bin/qirel" --version 2>&1)
check "qirel --version prints the version" test "$out" = "qirel $version"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$scratch/root/usr/bin/qirel" --help 2>&1)
check "qirel --help lists the options" bash -c '[[ "$1" == *--port*--version*--help* ]]' _ "$out"
# The command line runs over SSH and under systemd: no display, ever.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$scratch/root/usr/bin/qirel-cli" --version 2>&1)
check "qirel-cli --version prints the version" test "$out" = "qirel-cli $version"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$scratch" "$scratch/root/usr/bin/qirel-cli" ports --json 2>&1)
check "qirel-cli ports --json without a display" bash -c 'grep -q "\"ports\"" <<<"$1"' _ "$out"
out=$("$scratch/root/usr/bin/qirel-sim" --help 2>&1)
check "qirel-sim --help" bash -c '[[ "$1" == *"Usage: qirel-sim"* ]]' _ "$out"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
