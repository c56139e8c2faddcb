#!/usr/bin/env bash
# Builds the vesper-home package from a build tree, checks its contents and
# dependencies, installs it into a throwaway root (never onto this machine)
# and runs the installed programs from there with a fresh hive.
#   check_package.sh BUILD_DIR FIRST_START_PROBE KICKSTALL
set -euo pipefail

BUILD=$1
PROBE=$2
KICKSTALL=$3
OUT=$(mktemp -d "${TMPDIR:-/tmp}/vesper-package.XXXXXX")
cleanup() {
  [[ -n "${VESPER_PID:-}" ]] && kill "$VESPER_PID" 2>/dev/null || true
  rm -rf "$OUT"
}
trap cleanup EXIT
export PATH="/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
unset LD_LIBRARY_PATH

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
check() { # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else fail "$what"; fi
}
# Waits up to 60 s for a command to succeed (a detached program's traces).
eventually() {
  for _ in $(seq 1 120); do
    "$@" && return 0
    sleep 0.5
  done
  return 1
}

# The package, built once.
cpack --config "$BUILD/CPackConfig.cmake" -G DEB -B "$OUT/cpack" >"$OUT/cpack.log" 2>&1 || {
  cat "$OUT/cpack.log" >&2
  exit 1
}
debs=("$OUT"/cpack/vesper-home_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "no single package: ${debs[*]}" >&2; exit 1; }
DEB=${debs[0]}
echo "package: $(basename "$DEB")"

# What it says about itself.
field() { dpkg-deb -f "$DEB" "$1"; }
check "package name" test "$(field Package)" = vesper-home
check "version is the program's version text" test "$(field Version)" = 1.1.214h
check "one-line description: the product, then what it is" \
  test "$(dpkg-deb -f "$DEB" Description | head -n1)" = "Vesper Home: personal digital video recorder"
depends=$(field Depends)
echo "depends: $depends"
for dep in 'libqt6core6' 'libqt6widgets6' 'libqt6gui6' 'libgstreamer1\.0-0' 'libgstreamer-plugins-base1\.0-0' \
  'libavcodec[0-9]' 'libavformat[0-9]' 'libsqlite3-0' 'libc6' 'gstreamer1\.0-libav'; do
  check "depends on $dep" grep -Eq "(^|, )$dep" <<<"$depends"
done
check "dpkg-deb --info names the dependencies" grep -q "Depends: .*libsqlite3-0" <(dpkg-deb --info "$DEB")
control=$(dpkg-deb --ctrl-tarfile "$DEB" | tar -t)
check "no maintainer scripts" bash -c '! grep -Eq "(preinst|postinst|prerm|postrm|config)$" <<<"$1"' _ "$control"

# What it holds.
contents=$(dpkg-deb --fsys-tarfile "$DEB" | tar -t)
for path in usr/bin/regsvr usr/bin/vesper-reg usr/bin/vesper-script usr/bin/vesper-schedule usr/bin/vesper-repair \
  usr/lib/vesper/private/libvesper_platform.so usr/lib/vesper/private/libvesper_capture.so usr/lib/vesper/private/libvesper_wmenc.so \
  usr/lib/vesper/components/Slotbook.so usr/lib/vesper/components/Capgraph.so \
  usr/lib/vesper/components/wmenceng.so usr/lib/vesper/components/encwrap.so \
  usr/share/doc/vesper-home/README.md usr/share/doc/vesper-home/changelog.gz usr/share/doc/vesper-home/copyright; do
  check "holds /$path" grep -qx "\./$path" <<<"$contents"
done
for pattern in 'test_component' '_tests$' 'bench' 'vesper-build-tree' 'first-start-probe' '\.a$' '/include/'; do
  check "holds nothing like $pattern" bash -c '! grep -Eq "$1" <<<"$2"' _ "$pattern" "$contents"
done
for path in vesper guidelink; do
  if grep -qx "\./usr/bin/$path" <<<"$contents"; then echo "ok: holds /usr/bin/$path"; fi
done
for program in $(grep '^\./usr/bin/.' <<<"$contents"); do
  check "a manual page for ${program#./usr/bin/}" grep -qx "\./usr/share/man/man1/${program#./usr/bin/}\.1\.gz" <<<"$contents"
done

# Debian's own checks: lintian fails on an error, and the menu entries
# follow the desktop entry format.
run_lintian() {
  lintian --fail-on error "$DEB" >"$OUT/lintian.log" 2>&1 \
    || { cat "$OUT/lintian.log" >&2; return 1; }
  grep -E '^[EW]: ' "$OUT/lintian.log" || true
}
check "lintian finds no error" run_lintian

# Installed into a throwaway root, without its dependencies (they are this
# machine's own) and without touching this machine's package database.
ROOT=$OUT/root
mkdir -p "$ROOT/var/lib/dpkg/info" "$ROOT/var/lib/dpkg/updates"
: >"$ROOT/var/lib/dpkg/status"
DPKG=(dpkg --root="$ROOT" --log="$OUT/dpkg.log" --force-depends --force-not-root)
[[ $(id -u) -ne 0 ]] && command -v fakeroot >/dev/null && DPKG=(fakeroot "${DPKG[@]}")

# The bootstrap before and after: a fake terminal records what it would run.
mkdir -p "$OUT/fakebin" "$OUT/medium" "$OUT/win"
cat >"$OUT/fakebin/x-terminal-emulator" <<'EOF'
#!/bin/sh
printf '%s\n' "$@" >"$TERMINAL_LOG.part" && mv "$TERMINAL_LOG.part" "$TERMINAL_LOG"
EOF
chmod +x "$OUT/fakebin/x-terminal-emulator"
cp "$KICKSTALL" "$OUT/medium/kickstall"
cp "$DEB" "$OUT/medium/VesperHome.deb"
kickstall() { # kickstall TERMINAL_LOG [VAR=VALUE...]
  local log=$1
  shift
  env PATH="$OUT/fakebin:$PATH" TERMINAL_LOG="$log" DPKG_ADMINDIR="$ROOT/var/lib/dpkg" QT_QPA_PLATFORM=offscreen \
    VESPER_TEST_UI_LOG="$OUT/kickstall-ui.log" VESPER_TEST_UI_ANSWERS=OK SystemRoot="$OUT/win" "$@" \
    "$OUT/medium/kickstall"
}
run_kickstall_install() {
  kickstall "$OUT/terminal-1.log" && eventually test -f "$OUT/terminal-1.log"
}
check "kickstall starts the first installation" run_kickstall_install
check "  on the cached package" cmp -s "$DEB" "$OUT/win/VesperHomeMsiCache/VesperHome.deb"
check "  with apt-get install" grep -q "apt-get install '$OUT/win/VesperHomeMsiCache/VesperHome.deb'" "$OUT/terminal-1.log"
check "  and shows no window" test ! -e "$OUT/kickstall-ui.log"

install_package() {
  "${DPKG[@]}" -i "$DEB" >"$OUT/dpkg-output.log" 2>&1 || { cat "$OUT/dpkg-output.log" >&2; return 1; }
}
check "dpkg --root installs the package" install_package
for entry in "$ROOT"/usr/share/applications/*.desktop; do
  check "desktop-file-validate accepts ${entry#"$ROOT"}" desktop-file-validate "$entry"
done
check "the changelog's latest entry is this version" \
  grep -q "^vesper-home ($(field Version)) " <(gzip -dc "$ROOT/usr/share/doc/vesper-home/changelog.gz")

run_kickstall_reinstall() {
  kickstall "$OUT/terminal-2.log" && eventually test -f "$OUT/terminal-2.log"
}
check "kickstall then reinstalls" run_kickstall_reinstall
check "  with --reinstall --allow-downgrades" grep -q "apt-get install --reinstall --allow-downgrades '" "$OUT/terminal-2.log"
kickstall_fails_without_windows_folder() { ! kickstall "$OUT/terminal-3.log" SystemRoot= windir= 2>/dev/null; }
check "kickstall without a Windows folder fails" kickstall_fails_without_windows_folder
check "  and its window says why" grep -q '"form":"frmKickstall".*SystemRoot and windir env vars are null :(' \
  "$OUT/kickstall-ui.log"
# A machine without a terminal program: the window names the command to run.
mkdir -p "$OUT/noterminal"
ln -sf "$(command -v dpkg-query)" "$OUT/noterminal/dpkg-query"
ln -sf "$(command -v sh)" "$OUT/noterminal/sh"
kickstall_without_terminal() {
  ! env PATH="$OUT/noterminal" DPKG_ADMINDIR="$ROOT/var/lib/dpkg" QT_QPA_PLATFORM=offscreen \
    VESPER_TEST_UI_LOG="$OUT/kickstall-ui.log" VESPER_TEST_UI_ANSWERS=OK SystemRoot="$OUT/win" \
    "$OUT/medium/kickstall" </dev/null >/dev/null 2>&1
}
check "kickstall without a terminal program fails" kickstall_without_terminal
check "  and its window gives the command to run" grep -q "run it yourself: apt-get install --reinstall" \
  "$OUT/kickstall-ui.log"

# Every installed binary finds every library it needs, ours from the tree.
while IFS= read -r -d '' f; do
  if [[ "$(head -c4 "$f" | tail -c3)" == ELF ]]; then
    missing=$(ldd "$f" 2>&1 | grep "not found" || true)
    [[ -z "$missing" ]] || fail "$f misses: $missing"
  fi
done < <(find "$ROOT/usr" -type f \( -perm -u+x -o -name '*.so*' \) -print0)
check "regsvr uses the installed platform library" \
  grep -q "=> $ROOT/usr/.*lib/vesper/private/libvesper_platform.so" <(ldd "$ROOT/usr/bin/regsvr")

# A new user right after the installation: fresh hive, no program folder
# yet, and a command-line program first.
export HOME=$OUT/home XDG_CONFIG_HOME=$OUT/home/.config XDG_DATA_HOME=$OUT/home/.local/share
export XDG_RUNTIME_DIR=$OUT/runtime VESPER_REGISTRY=$OUT/home/.config/vesper/registry.sqlite
unset VESPER_HOME
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
touch "$OUT/installed.stamp"
first_command() {
  local out rc=0
  out=$("$ROOT/usr/bin/vesper-schedule" count 2>"$OUT/first.err") || rc=$?
  [[ $rc -eq 0 && $out == 0 ]] || { echo "exit $rc, \"$out\": $(cat "$OUT/first.err")" >&2; return 1; }
}
check "a new user's first command, vesper-schedule count, counts the empty schedule" first_command
listing=$("$ROOT/usr/bin/regsvr" list)
for progid in Slotbook.EventsObj Capgraph.Command Encwrap.clsCommand WMEncEng.WMEncoder; do
  check "  $progid is then served from the installed tree" grep -Eq "^$progid	.*	$ROOT/usr/lib/vesper/components/" <<<"$listing"
done

# The installed scheduler works, and keeps its file in the user's data
# folder, not beside the installed libraries (root could write there).
check "vesper-schedule adds an event" bash -c '"$1" add "4/20/2099 8:00 PM" 3 30 >/dev/null' _ "$ROOT/usr/bin/vesper-schedule"
check "the schedule is in the user's data folder" test -f "$XDG_DATA_HOME/vesper/Schedule.txt"

# The other programs that create components register them first too, each
# on a fresh hive.
printf 'Set o = CreateObject("Slotbook.EventsObj")\nPrint TypeName(o)\n' >"$OUT/create.vbs"
check "vesper-script creates a bundled component on a fresh hive" test \
  "$(VESPER_REGISTRY="$OUT/hive-script.sqlite" "$ROOT/usr/bin/vesper-script" "$OUT/create.vbs")" = EventsObj
check "vesper-reg shows a bundled class on a fresh hive" grep -q '^CLSID\\$' \
  <(VESPER_REGISTRY="$OUT/hive-reg.sqlite" "$ROOT/usr/bin/vesper-reg" query 'HKCU\Software\Classes\Slotbook.EventsObj')

# What every installed program does first, reported by a probe.
export VESPER_REGISTRY=$OUT/home/probe.sqlite
check "regsvr list runs from the installed tree" test -z "$("$ROOT/usr/bin/regsvr" list)"
cp "$PROBE" "$ROOT/usr/bin/first-start-probe"
check "the first start registers the bundled components" \
  grep -q "registered $ROOT/usr/lib/vesper/components/Slotbook.so" <("$ROOT/usr/bin/first-start-probe")
check "the next start leaves them be" bash -c '! "$1" | grep -q "^registered"' _ "$ROOT/usr/bin/first-start-probe"
check "nothing was written into the installed tree" \
  test -z "$(find "$ROOT/usr" -newer "$OUT/installed.stamp" -type f ! -name first-start-probe)"

# The main program starts from the installed tree with a fresh hive and
# registers its components by itself.
if [[ -x "$ROOT/usr/bin/vesper" ]]; then
  export VESPER_REGISTRY=$OUT/home2/registry.sqlite
  mkdir -p "$OUT/home2"
  QT_QPA_PLATFORM=offscreen VESPER_TEST_UI_LOG="$OUT/vesper-ui.log" "$ROOT/usr/bin/vesper" \
    >"$OUT/vesper.log" 2>&1 &
  VESPER_PID=$!
  registered() { "$ROOT/usr/bin/regsvr" list | grep -q "^Slotbook.EventsObj	.*$ROOT/usr/lib/vesper/components/"; }
  check "the installed vesper registers its components by itself" eventually registered
  kill "$VESPER_PID" 2>/dev/null || true
  wait "$VESPER_PID" 2>/dev/null || true
  VESPER_PID=
else
  echo "SKIP: the package holds no vesper yet: its start from the installed tree is not checked"
fi

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all package checks passed"
