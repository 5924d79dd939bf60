#!/usr/bin/env bash
# Checks of the two Debian packages, run by CTest (tests/packaging/CMakeLists.txt):
#   check-package.sh build <CPackConfig.cmake> <folder>   makes both packages in <folder>
#   check-package.sh contents <folder> <version> <source folder> <release day>
#                                      lists, unpacks side by side and runs what they hold
#   check-package.sh completion <folder>                 the completion file in bash
#   check-package.sh manpage <program> <page>            the page describes the program
#   check-package.sh lintian <folder>                    lintian: no errors, no warnings
set -euo pipefail

app_id=com.delvor.rivivozuzuvod
help_file="DELVOR Rivivoz Uzuvod.chm"
help_title="DELVOR RivivozUzuvod Help"
icon_sizes=(16 22 24 32 48 64 128 256)
# What the command line may depend on: the C and C++ run-times, Qt Core and Qt Network.
cli_allowed_depends='^(libc6|libgcc-s1|libstdc\+\+6|libqt6core6|libqt6network6)$'

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

deb_of() { # <folder> <package>
  local debs=("$1/$2"_*.deb)
  [[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one $2 package in $1: ${debs[*]}"
  echo "${debs[0]}"
}

build() {
  local config=$1 folder=$2
  rm -rf "$folder"
  cpack --config "$config" -B "$folder"
  local all=("$folder"/*.deb)
  [ ${#all[@]} -eq 2 ] || fail "expected two packages, found: ${all[*]}"
  deb_of "$folder" rivivozuzuvod >/dev/null
  deb_of "$folder" rivivozuzuvod-cli >/dev/null
}

# Every installed file of a package, as "path" (regular file) or "path -> target" (link).
expected_files() {
  local doc=usr/share/doc/$1
  case $1 in
  rivivozuzuvod)
    printf '%s\n' "usr/lib/rivivozuzuvod/rivivozuzuvod" "usr/lib/rivivozuzuvod/$help_file" \
      "usr/bin/rivivozuzuvod -> ../lib/rivivozuzuvod/rivivozuzuvod" \
      usr/share/man/man1/rivivozuzuvod.1.gz "usr/share/applications/$app_id.desktop" \
      "usr/share/metainfo/$app_id.metainfo.xml"
    local size
    for size in "${icon_sizes[@]}"; do
      echo "usr/share/icons/hicolor/${size}x${size}/apps/rivivozuzuvod.png"
    done
    ;;
  rivivozuzuvod-cli)
    local program
    for program in rivivozuzuvod-cli rivivozuzuvod-encoder-sim; do
      printf '%s\n' "usr/bin/$program" "usr/share/man/man1/$program.1.gz"
    done
    printf '%s\n' usr/share/bash-completion/completions/rivivozuzuvod-cli \
      "$doc/cli.md.gz" "$doc/protocol.md.gz"
    ;;
  esac
  printf '%s\n' "$doc/copyright" "$doc/changelog.Debian.gz" "usr/share/lintian/overrides/$1"
}

# Files (no folders) a package holds, one path a line, sorted.
listing() {
  dpkg-deb -c "$1" | grep -v '^d' | sed -E 's|^.* \./||' | sort
}

check_package() { # <deb> <package> <version>
  local deb=$1 package=$2 version=$3
  [ "$(dpkg-deb -f "$deb" Package)" = "$package" ] || fail "$deb: package name"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$package: version is not $version"
  [ "$(dpkg-deb -f "$deb" Section)" = electronics ] || fail "$package: section"
  dpkg-deb -f "$deb" Maintainer | grep -Eq '^[^<]+ <[^@>]+@[^>]+>$' || fail "$package: maintainer"
  dpkg-deb -f "$deb" Description | sed -n 2p | grep -q . || fail "$package: no long description"
  diff <(expected_files "$package" | sort) <(listing "$deb") >&2 ||
    fail "$package holds other files than expected (< expected, > found)"
}

check_depends() { # <window deb> <cli deb>
  local depends
  depends=$(dpkg-deb -f "$1" Depends)
  for library in libqt6widgets6 libqt6network6 libchm1 libc6; do
    grep -q "\b$library\b" <<<"$depends" || fail "rivivozuzuvod Depends lacks $library: $depends"
  done
  [ "$(dpkg-deb -f "$1" Recommends)" = rivivozuzuvod-cli ] || fail "rivivozuzuvod Recommends"
  depends=$(dpkg-deb -f "$2" Depends)
  local names
  names=$(sed -E 's/ *\([^)]*\)//g; s/ *[,|] */\n/g' <<<"$depends")
  grep -Eqx 'libqt6core6' <<<"$names" && grep -Eqx 'libqt6network6' <<<"$names" ||
    fail "rivivozuzuvod-cli Depends lacks Qt Core or Network: $depends"
  if grep -Evq "$cli_allowed_depends" <<<"$names"; then
    fail "rivivozuzuvod-cli depends on more than the run-times and Qt Core/Network: $depends"
  fi
}

check_unpacked() { # <root> <package>
  local root=$1 entry
  while IFS= read -r entry; do
    if [[ $entry == *" -> "* ]]; then
      local path=${entry%% -> *} target=${entry#* -> }
      [[ -L $root/$path && $(readlink "$root/$path") == "$target" ]] ||
        fail "$path is not a link to $target"
      [ -x "$root/$path" ] || fail "$path does not lead to a program"
    else
      [[ -f $root/$entry && -s $root/$entry ]] || fail "$entry missing or empty"
    fi
  done < <(expected_files "$2")
}

check_window_files() { # <root>
  local root=$1 size
  for size in "${icon_sizes[@]}"; do
    file "$root/usr/share/icons/hicolor/${size}x${size}/apps/rivivozuzuvod.png" |
      grep -q "PNG image data, $size x $size" || fail "icon ${size}x$size is not a $size-pixel PNG"
  done
  # The menu entry starts a program that is installed, with an icon that is installed.
  local entry=$root/usr/share/applications/$app_id.desktop exec icon
  exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -x "$root/usr/bin/$exec" ] || fail "Exec=$exec not in usr/bin"
  [ -f "$root/usr/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "Icon=$icon not installed"
  grep -qF "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" \
    "$root/usr/share/metainfo/$app_id.metainfo.xml" || fail "metainfo launches another entry"
}

# Each program: a section 1 page about it, --version with the package's version (without a
# display: the offscreen platform stays set until the window program answers before it opens
# one), and the hardening of an optimised build.
check_programs() { # <root> <version>
  local root=$1 version=$2 program output checked=""
  for program in rivivozuzuvod rivivozuzuvod-cli rivivozuzuvod-encoder-sim; do
    [ "$(zcat "$root/usr/share/man/man1/$program.1.gz" | sed -n 's/\\-/-/g; s/"//g; /^\.TH/p' |
      awk '{ print tolower($2), $3 }')" = "$program 1" ] || fail "$program.1 is not its page"
    output=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
      "$root/usr/bin/$program" --version) || fail "$program --version failed"
    [ "$output" = "$program $version" ] || fail "$program --version says '$output'"
    local elf
    elf=$(readlink -f "$root/usr/bin/$program")
    grep -q GNU_RELRO <<<"$(readelf -lW "$elf")" || fail "$program: no read-only relocations"
    grep -Eq 'BIND_NOW|FLAGS.*\bNOW\b' <<<"$(readelf -dW "$elf")" || fail "$program: bound lazily"
    checked+=$(readelf -sW --dyn-syms "$elf" | grep -o '__[a-z]*_chk@' || true)
  done
  [ -n "$checked" ] || fail "no program calls the checked (fortified) functions"
}

# Every file carries the time of the last commit (or the release day outside a checkout).
check_times() { # <root> <source folder> <the fallback's release day>
  local epoch
  epoch=$(git -C "$2" log -1 --format=%ct 2>/dev/null) || epoch=$(date -u -d "$3 12:00" +%s)
  local other
  other=$(find "$1" -type f \( ! -newermt "@$((epoch - 1))" -o -newermt "@$epoch" \) | head -3)
  [ -z "$other" ] || fail "file times are not the last commit's ($epoch): $other"
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

unpack() { # <folder> <packages...>: both into one root, as dpkg installs them side by side
  local folder=$1 package
  shift
  work=$(mktemp -d)
  trap clean_up EXIT
  for package in "$@"; do
    dpkg -x "$(deb_of "$folder" "$package")" "$work/root"
  done
}

contents() {
  local folder=$1 version=$2 source=$3 release_day=$4 window cli
  window=$(deb_of "$folder" rivivozuzuvod)
  cli=$(deb_of "$folder" rivivozuzuvod-cli)
  check_package "$window" rivivozuzuvod "$version"
  check_package "$cli" rivivozuzuvod-cli "$version"
  check_depends "$window" "$cli"
  local shared
  shared=$(comm -12 <(listing "$window") <(listing "$cli"))
  [ -z "$shared" ] || fail "both packages hold: $shared"
  unpack "$folder" rivivozuzuvod rivivozuzuvod-cli
  check_unpacked "$work/root" rivivozuzuvod
  check_unpacked "$work/root" rivivozuzuvod-cli
  check_window_files "$work/root"
  check_programs "$work/root" "$version"
  check_times "$work/root" "$source" "$release_day"
  check_help "$work/root" "$work"
  echo "package contents: ok ($(basename "$window"), $(basename "$cli"))"
}

# The completion file loads in bash and completes from the installed program's own help:
# the words typed (the last one being completed) and the words offered.
completion() {
  unpack "$1" rivivozuzuvod-cli
  local file=$work/root/usr/share/bash-completion/completions/rivivozuzuvod-cli
  bash -c "source '$file' && complete -p rivivozuzuvod-cli" | grep -q '_rivivozuzuvod_cli' ||
    fail "the completion file defines no completion for rivivozuzuvod-cli"
  mkdir "$work/files" && touch "$work/files/fw-3.2.s19" "$work/files/plant.csv"
  local cases=(
    "set-p|set-protocol"
    "--format json b|batch"
    "set-protocol 127.0.0.5 |delvor ethernet-ip modbus-tcp"
    "set-mode 127.0.0.5 --format json |dm7 no-dm7"
    "info 127.0.0.5 --format |json text"
    "scan 127.0.0.0/24 --j|--jobs"
    "batch --jobs 4 pl|plant.csv"
    "upgrade 127.0.0.5 fw|fw-3.2.s19"
    "watch --count|--count"
  )
  local row typed offered
  for row in "${cases[@]}"; do
    typed=${row%%|*}
    offered=$(cd "$work/files" && PATH="$work/root/usr/bin:$PATH" bash -c '
      source "$1"
      read -ra COMP_WORDS <<<"rivivozuzuvod-cli $2"
      [[ $2 == *" " ]] && COMP_WORDS+=("")
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
      _rivivozuzuvod_cli
      printf "%s\n" "${COMPREPLY[@]}" | sort | xargs' _ "$file" "$typed")
    [ "$offered" = "${row#*|}" ] || fail "'$typed' completes to '$offered', not '${row#*|}'"
  done
  echo "completion: ok (${#cases[@]} cases)"
}

# Every subcommand and every option that the program's help and each subcommand's help
# print is described in the page: a subcommand in a subsection of its own, its options there
# or among the common options.
manpage() {
  local program=$1 text
  text=$(groff -man -Tascii -P-cbou -rLL=300n -rHY=0 "$2" 2>/dev/null) || fail "groff: $2"
  section() { awk -v start="$1" '$0 ~ start { on = 1; next } on && (/^[^ ]/ || /^   [^ ]/) { exit } on'; }
  local common subcommands subcommand
  common=$(section '^COMMON OPTIONS$' <<<"$text")
  options_of() {
    sed -nE 's/^ +(-[^ ].*)$/\1/p' | sed -E 's/  .*//' | grep -oE '(^|, )--?[[:alnum:]][-[:alnum:]]*' |
      sed 's/^, //'
  }
  local option
  for option in $("$program" --help | options_of); do
    grep -qw -- "$option" <<<"$common" || fail "$option of $program is not among the common options"
  done
  subcommands=$("$program" --help | sed -n '/^Subcommands/,/^$/p' | sed -nE 's/^ +([a-z][-a-z]*).*/\1/p')
  [ -n "$subcommands" ] || fail "no subcommands in $program --help"
  for subcommand in $subcommands; do
    local own
    own=$(section "^   $subcommand( |\$)" <<<"$text")
    [ -n "$own" ] || fail "subcommand $subcommand has no subsection in the page"
    for option in $("$program" "$subcommand" --help | options_of); do
      grep -qw -- "$option" <<<"$own$common" ||
        fail "$option of $subcommand is neither in its subsection nor among the common options"
    done
  done
  echo "man page: ok ($(wc -w <<<"$subcommands") subcommands)"
}

# Errors and warnings fail; of the informational tags, those about missing hardening do.
run_lintian() {
  local output status=0
  output=$(lintian --fail-on error,warning --display-info --tag-display-limit 0 \
    "$(deb_of "$1" rivivozuzuvod)" "$(deb_of "$1" rivivozuzuvod-cli)" 2>&1) || status=$?
  echo "$output"
  [ $status -eq 0 ] || fail "lintian found errors or warnings"
  ! grep -q ': hardening-' <<<"$output" || fail "lintian finds hardening missing"
}

command=${1:-}
shift || true
case $command in
build) build "$@" ;;
contents) contents "$@" ;;
completion) completion "$@" ;;
manpage) manpage "$@" ;;
lintian) run_lintian "$@" ;;
*) fail "usage: $0 build|contents|completion|manpage|lintian ..." ;;
esac
