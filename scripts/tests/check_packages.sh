#!/usr/bin/env bash
# Every command the build, the package build and the tests call (and ./run)
# must come from a package of the set-up's list or from an essential package,
# so that a fresh machine set up by ./test or ./run has them all.
#   check_packages.sh SOURCE_DIR
set -uo pipefail
SOURCE=$1

# Who calls what: the build; CPack's Debian generator and the package test;
# the tests; ./run. The set-up's own apt-get is not in it: it installs the rest.
COMMANDS=(
  cmake ninja g++ pkg-config
  cpack dpkg-shlibdeps objdump strip file dpkg-deb dpkg lintian desktop-file-validate gzip tar ldd
  ctest ffmpeg ffprobe gst-launch-1.0 gst-inspect-1.0 Xvfb xvfb-run xauth setpriv flock sqlite3 sh bash
  mcookie setsid realpath mkfifo timeout dbus-daemon tv_validate_file chromium chromedriver
)

mapfile -t listed < <("$SOURCE/scripts/setup.sh" --packages)
((${#listed[@]})) || { echo "FAIL: the set-up names no packages" >&2; exit 1; }
declare -A inList=()
for p in "${listed[@]}"; do inList[$p]=1; done

# The packages that hold a file, whichever of the merged /bin and /usr/bin
# paths the package database knows it by.
owners() {
  local path=$1 candidates=("$1")
  candidates+=("$(readlink -f "$path")")
  case $path in
  /usr/*) candidates+=("${path#/usr}") ;;
  *) candidates+=("/usr$path") ;;
  esac
  for c in "${candidates[@]}"; do
    dpkg-query -S "$c" 2>/dev/null | grep -v '^diversion' | sed 's/: .*//' | tr ',' '\n' | sed 's/^ *//; s/:.*//'
  done | sort -u
}

failures=0
for command in "${COMMANDS[@]}"; do
  path=$(command -v "$command") || {
    echo "FAIL: $command is not installed: no package of scripts/packages.txt provides it" >&2
    failures=$((failures + 1))
    continue
  }
  found=
  for package in $(owners "$path"); do
    if [[ -n "${inList[$package]:-}" ]]; then
      found="$package (listed)"
    elif [[ "$(dpkg-query -W -f='${Essential}' "$package" 2>/dev/null)" == yes ]]; then
      found="$package (essential)"
    fi
    [[ -n "$found" ]] && break
  done
  if [[ -n "$found" ]]; then
    echo "ok: $command from $found"
  else
    echo "FAIL: $command ($path, of $(owners "$path" | tr '\n' ' ')) comes from no package of scripts/packages.txt" >&2
    failures=$((failures + 1))
  fi
done
((failures == 0))
