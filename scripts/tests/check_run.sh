#!/usr/bin/env bash
# ./run without a desktop session, on a copy of it whose set-up does nothing
# and whose "vesper" is a stand-in: a second copy is refused on the terminal
# before any display starts, and the virtual display is reachable as ./run
# says, a screenshot included.
#   check_run.sh SOURCE_DIR
set -uo pipefail
SOURCE=$1
T=$(mktemp -d "${TMPDIR:-/tmp}/vesper-run-test.XXXXXX")
trap 'rm -rf "$T"' EXIT

mkdir -p "$T/tree/scripts" "$T/tree/build/bin" "$T/tree/desktop" "$T/home"
cp "$SOURCE/run" "$T/tree/run"
cp "$SOURCE/desktop/vesper.desktop" "$T/tree/desktop/"
printf '#!/bin/sh\nexit 0\n' >"$T/tree/scripts/setup.sh"
# The stand-in tells what it was given and takes a screenshot with it.
cat >"$T/tree/build/bin/vesper" <<'STUB'
#!/bin/sh
echo "$DISPLAY $XAUTHORITY" >"$STUB_DIR/seen"
ffmpeg -nostdin -v error -f x11grab -i "$DISPLAY" -frames:v 1 -y "$STUB_DIR/shot.png" 2>"$STUB_DIR/ffmpeg.log"
STUB
chmod +x "$T/tree/run" "$T/tree/scripts/setup.sh" "$T/tree/build/bin/vesper"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
run() { # the tree's ./run in a session without a display
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$T/home" TMPDIR="$T" STUB_DIR="$T" \
    VESPER_REGISTRY="$T/home/hive.sqlite" timeout 60 "$T/tree/run" >"$T/out" 2>&1 </dev/null
}
lock="$(realpath -m "$T/home/hive.sqlite").lock"

# A running copy holds the lock: a second ./run says so and starts nothing.
exec 9>"$lock"
flock -n 9 || fail "the test cannot take the lock"
rc=0
run || rc=$?
exec 9>&-
[[ $rc -ne 0 && $rc -ne 124 ]] || fail "a second ./run ended with $rc"
grep -q "run: Vesper is already running" "$T/out" || fail "a second ./run did not say so: $(cat "$T/out")"
[[ ! -e "$T/seen" ]] || fail "a second ./run started Vesper"
compgen -G "$T/vesper-display.*" >/dev/null && fail "a second ./run left a display folder"

# The lock file left by a copy that has ended holds nothing back.
rc=0
run || rc=$?
[[ $rc -eq 0 ]] || fail "./run ended with $rc: $(cat "$T/out")"
read -r display xauthority <"$T/seen" 2>/dev/null || fail "./run did not start Vesper: $(cat "$T/out")"
grep -qF "DISPLAY=$display XAUTHORITY=$xauthority" "$T/out" || fail "./run did not tell the display: $(cat "$T/out")"
grep -qF "ffmpeg -v error -f x11grab -i $display " "$T/out" || fail "./run gave no screenshot command: $(cat "$T/out")"
[[ -s "$T/shot.png" ]] || fail "no screenshot of the virtual display: $(cat "$T/ffmpeg.log" 2>/dev/null)"
[[ ! -e "$xauthority" ]] || fail "the display's key is left behind after Vesper ended"

((failures == 0)) && echo "all ./run checks passed"
((failures == 0))
