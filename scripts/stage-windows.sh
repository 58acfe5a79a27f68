#!/usr/bin/env bash
# Builds Plinth and its stand-in wizards for 32-bit Windows and runs the real
# program under Wine, in a Wine prefix and an Xvfb display of this stage's own:
#   - started from a folder holding Plinth\Fenwick.dll, the wizard runs once
#     and is released, no box appears, exit code 0;
#   - the same from a folder whose path is the longest that still fits;
#   - started from any other folder (the program itself beside the wizard), or
#     from a folder whose wizard lacks the entry, the "Error Loading DLL" box
#     appears, is dismissed, and the exit code is 0;
#   - the version resource reads back as 2.7.0.0 with "Build Number" 20050428.
# Every wait is bounded; the display and the Wine server are taken down on exit.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd -P)  # physical, as Wine sees it: folder lengths are counted from it
build=$repo/build/windows
out=$build/launcher

step_timeout=60    # one Wine run, box included
boot_timeout=240   # a first wineboot on a cold machine is slow
box_title='Error Loading DLL'

failures=0
pass() { echo "stage-windows: PASS $*"; }
fail() { echo "stage-windows: FAIL $*"; failures=$((failures + 1)); }
die() { echo "stage-windows: FAIL $*"; exit 1; }

for tool in i686-w64-mingw32-g++ wine wineboot wineserver Xvfb xdotool timeout; do
  command -v "$tool" >/dev/null || die "missing tool: $tool (run scripts/setup.sh)"
done

# Inside the build tree rather than /tmp: Wine maps the programs it runs
# executable, which a /tmp mounted noexec would refuse.
mkdir -p "$build"
work=$(mktemp -d "$build/wine-stage.XXXXXX")
xvfb_pid=
plinth_pid=
cleanup() {
  set +e
  [ -n "$plinth_pid" ] && kill "$plinth_pid" 2>/dev/null
  if [ -d "$work/prefix" ]; then
    WINEPREFIX=$work/prefix timeout 20 wineserver -k >/dev/null 2>&1
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- build -------------------------------------------------------------------
if ! { cmake --preset windows -B "$build" &&
       cmake --build "$build" -j"$(nproc)" --target Plinth fenwick_with_entry \
         fenwick_without_entry version_probe; } >"$work/build.log" 2>&1; then
  cat "$work/build.log"
  die "build of the windows preset"
fi
pass "build: Plinth.exe, two test wizards, version probe"

# --- display and Wine prefix -------------------------------------------------
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
  3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 200); do  # up to 20 s
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; die "Xvfb did not start"; }
export DISPLAY=":$(tr -dc 0-9 <"$work/display")"

export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all
# No Mono or Gecko installer prompts in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
if ! { timeout "$boot_timeout" wineboot -i && timeout 60 wineserver -w; } >"$work/boot.log" 2>&1; then
  cat "$work/boot.log"
  die "wineboot of a fresh prefix within ${boot_timeout}s"
fi
pass "fresh Wine prefix (win32) on display $DISPLAY"

# --- folders -----------------------------------------------------------------
mkdir -p "$work/good/Plinth" "$work/noentry/Plinth" "$work/elsewhere"
cp "$out/Plinth.exe" "$work/good/"
cp "$out/wizard-with-entry/Fenwick.dll" "$work/good/Plinth/"
cp "$out/wizard-without-entry/Fenwick.dll" "$work/noentry/Plinth/"
plinth=$work/good/Plinth.exe

# A folder whose Windows path (Z: plus this path) is 240 characters long, the
# longest for which the current directory and "\Plinth\Fenwick.dll" still fit
# in 260 bytes with the terminator.
long_base="$work/long/"
pad=$((238 - ${#long_base}))
[ "$pad" -ge 1 ] || die "temporary folder path too long for the 240-character case: $work"
long="$long_base$(printf 'd%.0s' $(seq 1 "$pad"))"
mkdir -p "$long/Plinth"
cp "$out/wizard-with-entry/Fenwick.dll" "$long/Plinth/"

marks() {  # folder: the test wizard's marks left there, one per line
  if [ -f "$1/wizard-marks.txt" ]; then tr -d '\r' <"$1/wizard-marks.txt"; fi
}

# run_plinth folder: starts Plinth from folder and waits for it to end,
# dismissing the box if one appears. Sets rc, box_seen and marks_at_box.
run_plinth() {
  local folder=$1 deadline=$((SECONDS + step_timeout + 10)) last_key=0 id
  rc=0 box_seen=0 marks_at_box=
  (cd "$folder" && exec timeout "$step_timeout" wine "$plinth") >"$work/wine.log" 2>&1 &
  plinth_pid=$!
  while kill -0 "$plinth_pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
    id=$(xdotool search --onlyvisible --name "^${box_title}\$" 2>/dev/null | head -n 1 || true)
    if [ -n "$id" ]; then
      if [ "$box_seen" -eq 0 ]; then
        box_seen=1
        marks_at_box=$(marks "$folder")
      fi
      # Press again only if an earlier press went nowhere.
      if [ $((SECONDS - last_key)) -ge 2 ]; then
        xdotool key Return 2>/dev/null || true
        last_key=$SECONDS
      fi
    fi
    sleep 0.2
  done
  if kill -0 "$plinth_pid" 2>/dev/null; then
    kill "$plinth_pid" 2>/dev/null || true
  fi
  wait "$plinth_pid" || rc=$?
  plinth_pid=
}

# check_box name folder expected-marks [untouched-folder]: the box must appear,
# the marks must be as expected both when it appears and at the end, and the
# untouched folder's wizard must not have been loaded.
check_box() {
  local name=$1 folder=$2 expected=$3 untouched=${4:-}
  run_plinth "$folder"
  if [ "$box_seen" -ne 1 ]; then
    fail "$name: no \"$box_title\" box appeared (exit code $rc)"
  elif [ "$rc" -ne 0 ]; then
    fail "$name: exit code $rc after the box was dismissed"
  elif [ "$marks_at_box" != "$expected" ] || [ "$(marks "$folder")" != "$expected" ]; then
    fail "$name: wizard marks '$(marks "$folder" | paste -sd,)', expected '$(paste -sd, <<<"$expected")'"
  elif [ -n "$untouched" ] && [ -n "$(marks "$untouched")" ]; then
    fail "$name: the wizard in $untouched was loaded"
  else
    pass "$name: \"$box_title\" box shown and dismissed, exit code 0"
  fi
}

# check_wizard_runs name folder: the wizard is loaded, run once and released,
# no box appears, and the exit code is 0.
check_wizard_runs() {
  local name=$1 folder=$2 got want=$'loaded\nwizard ran\nreleased'
  run_plinth "$folder"
  got=$(marks "$folder")
  if [ "$box_seen" -ne 0 ]; then
    fail "$name: the error box appeared"
  elif [ "$rc" -ne 0 ]; then
    fail "$name: exit code $rc"
  elif [ "$got" != "$want" ]; then
    fail "$name: wizard marks '$(paste -sd, <<<"$got")', expected '$(paste -sd, <<<"$want")'"
  else
    pass "$name: loaded, run once, released, no box, exit code 0"
  fi
  rm -f "$folder/wizard-marks.txt"
}

# --- Plinth under Wine -------------------------------------------------------
check_wizard_runs "wizard found" "$work/good"
check_box "started from another folder" "$work/elsewhere" "" "$work/good"
check_box "wizard without the entry (released before the box)" "$work/noentry" $'loaded\nreleased'
check_wizard_runs "240-character current directory, the longest that fits" "$long"

# --- version resource --------------------------------------------------------
probe_out=$(cd "$out" && timeout "$step_timeout" wine version_probe.exe Plinth.exe 2>&1 | tr -d '\r') || true
want_version=$'file=2.7.0.0\nproduct=2.7.0.0\nFileVersion=2.7.0.0\nProductVersion=2.7.0.0\nBuild Number=20050428'
if [ "$probe_out" = "$want_version" ]; then
  pass "version resource: file and product 2.7.0.0, Build Number 20050428"
else
  fail "version resource read back as: $(paste -sd, <<<"$probe_out")"
fi

if [ "$failures" -ne 0 ]; then
  echo "stage-windows: $failures check(s) failed"
  exit 1
fi
echo "stage-windows: all checks passed"
