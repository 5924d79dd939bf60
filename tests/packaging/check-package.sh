#!/usr/bin/env bash
# Checks of the Debian package, run by CTest (tests/packaging/CMakeLists.txt):
#   check-package.sh build <CPackConfig.cmake> <folder>     makes the package in <folder>
#   check-package.sh contents <folder> <package version> <product version> <programs...>
#                                                             lists and unpacks it, runs it
#   check-package.sh lintian <folder>                         lintian: no errors
set -euo pipefail

app_id=com.delvor.rivivozuzuvod
help_file="DELVOR Rivivoz Uzuvod.chm"
help_title="DELVOR RivivozUzuvod Help"
icon_sizes=(16 22 24 32 48 64 128 256)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The one package in the folder.
package_in() {
  local debs=("$1"/*.deb)
  [[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one .deb in $1, found: ${debs[*]}"
  echo "${debs[0]}"
}

build() {
  local config=$1 folder=$2
  rm -rf "$folder"
  cpack --config "$config" -B "$folder"
  package_in "$folder" >/dev/null
}

# Fields that the package manager and the software centre show, and the dependencies that
# dpkg-shlibdeps found in the programs.
check_control() {
  local deb=$1 version=$2
  [ "$(dpkg-deb -f "$deb" Package)" = rivivozuzuvod ] || fail "package name"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
  [ "$(dpkg-deb -f "$deb" Section)" = electronics ] || fail "section"
  dpkg-deb -f "$deb" Maintainer | grep -Eq '^[^<]+ <[^@>]+@[^>]+>$' || fail "maintainer"
  dpkg-deb -f "$deb" Description | sed -n 2p | grep -q . || fail "no long description"
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  for library in libqt6widgets6 libqt6network6 libchm1 libc6; do
    grep -q "\b$library\b" <<<"$depends" || fail "Depends lacks $library: $depends"
  done
}

# Every installed file, as "path" (regular file), "path -> target" (link) or "path/" (folder).
expected_files() {
  local programs=("$@")
  echo "usr/lib/rivivozuzuvod/rivivozuzuvod"
  echo "usr/lib/rivivozuzuvod/$help_file"
  echo "usr/bin/rivivozuzuvod -> ../lib/rivivozuzuvod/rivivozuzuvod"
  for program in "${programs[@]}"; do
    [ "$program" = rivivozuzuvod ] || echo "usr/bin/$program"
    echo "usr/share/man/man1/$program.1.gz"
  done
  echo "usr/share/applications/$app_id.desktop"
  echo "usr/share/metainfo/$app_id.metainfo.xml"
  for size in "${icon_sizes[@]}"; do
    echo "usr/share/icons/hicolor/${size}x${size}/apps/rivivozuzuvod.png"
  done
  echo "usr/share/doc/rivivozuzuvod/copyright"
  echo "usr/share/doc/rivivozuzuvod/changelog.Debian.gz"
}

check_listing() {
  local deb=$1
  shift
  local listing
  listing=$(dpkg-deb -c "$deb")
  while IFS= read -r entry; do
    grep -qF -- " ./$entry" <<<"$listing" || fail "dpkg-deb -c does not list ./$entry"
  done < <(expected_files "$@")
  # Nothing else but folders: no stray build files.
  local files
  files=$(grep -vc '^d' <<<"$listing")
  [ "$files" -eq "$(expected_files "$@" | wc -l)" ] || {
    echo "$listing" >&2
    fail "the package holds $files files, expected $(expected_files "$@" | wc -l)"
  }
}

check_unpacked() {
  local root=$1
  shift
  while IFS= read -r entry; do
    if [[ $entry == *" -> "* ]]; then
      local path=${entry%% -> *} target=${entry#* -> }
      [[ -L $root/$path && $(readlink "$root/$path") == "$target" ]] ||
        fail "$path is not a link to $target"
      [ -x "$root/$path" ] || fail "$path does not lead to a program"
    else
      [[ -f $root/$entry && -s $root/$entry ]] || fail "$entry missing or empty"
    fi
  done < <(expected_files "$@")
  for size in "${icon_sizes[@]}"; do
    file "$root/usr/share/icons/hicolor/${size}x${size}/apps/rivivozuzuvod.png" |
      grep -q "PNG image data, $size x $size" || fail "icon ${size}x$size is not a $size-pixel PNG"
  done
  for program in "$@"; do
    zcat "$root/usr/share/man/man1/$program.1.gz" | grep -Eqi "^\.TH \"?$program\"? \"?1\"?" ||
      fail "man page of $program is not a section 1 page about $program"
  done
  # The menu entry starts a program that is installed, with an icon that is installed.
  local entry=$root/usr/share/applications/$app_id.desktop
  local exec icon
  exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -L "$root/usr/bin/$exec" ] || [ -x "$root/usr/bin/$exec" ] || fail "Exec=$exec not in usr/bin"
  [ -f "$root/usr/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "Icon=$icon not installed"
  grep -qF "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" \
    "$root/usr/share/metainfo/$app_id.metainfo.xml" || fail "metainfo launches another entry"
}

# Each program answers --version from the unpacked tree, without a display. (The offscreen
# platform stays set until the window program answers --version before it opens one.)
check_versions() {
  local root=$1 version=$2
  shift 2
  for program in "$@"; do
    local output
    output=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
      "$root/usr/bin/$program" --version) || fail "$program --version failed"
    [ "$output" = "$program $version" ] || fail "$program --version says '$output'"
  done
}

# Started through the bin/ link on a virtual display, the window program opens its help file
# on F1: the help window carries the file's own title (a missing file gives the file name).
check_help() {
  local root=$1 work=$2
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" 2>"$work/xvfb.log" &
  started_pids+=($!)
  local deadline=$((SECONDS + 20))
  until [ -s "$work/display" ]; do
    [ $SECONDS -lt $deadline ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    sleep 0.1
  done
  DISPLAY=":$(cat "$work/display")"
  export DISPLAY
  mkdir -p "$work/hkcu" "$work/hklm"
  RIVIVOZUZUVOD_HKCU_DIR=$work/hkcu RIVIVOZUZUVOD_HKLM_DIR=$work/hklm QT_QPA_PLATFORM=xcb \
    "$root/usr/bin/rivivozuzuvod" >"$work/program.log" 2>&1 &
  started_pids+=($!)
  local window
  window=$(timeout 30 xdotool search --sync --onlyvisible --name '^DELVOR RivivozUzuvod [0-9]') ||
    fail "the main window did not appear: $(cat "$work/program.log")"
  xdotool windowfocus --sync "${window%%$'\n'*}"
  xdotool key F1
  if ! timeout 30 xdotool search --sync --onlyvisible --name "^$help_title\$" >/dev/null; then
    local titles
    titles=$(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null || true)
    fail "no help window titled '$help_title'; windows: $titles"
  fi
  echo "help window opened from $help_file"
}

# Ends what this run started (Xvfb, the program) and removes its folder.
started_pids=()
work=""
clean_up() {
  for pid in "${started_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  [ -z "$work" ] || rm -rf "$work"
}

contents() {
  local folder=$1 package_version=$2 product_version=$3
  shift 3
  local deb
  deb=$(package_in "$folder")
  work=$(mktemp -d)
  trap clean_up EXIT
  check_control "$deb" "$package_version"
  check_listing "$deb" "$@"
  dpkg -x "$deb" "$work/root"
  check_unpacked "$work/root" "$@"
  check_versions "$work/root" "$product_version" "$@"
  check_help "$work/root" "$work"
  echo "package contents: ok ($(basename "$deb"))"
}

run_lintian() {
  local deb
  deb=$(package_in "$1")
  # Errors fail the check; the warnings are printed for the record.
  lintian --fail-on error --tag-display-limit 0 "$deb"
}

command=${1:-}
shift || true
case $command in
build) build "$@" ;;
contents) contents "$@" ;;
lintian) run_lintian "$@" ;;
*) fail "usage: $0 build|contents|lintian ..." ;;
esac
