#!/usr/bin/env bash
# Runs the Windows tovrane.exe under Wine and checks it against the Linux
# build (tests/windows/check.sh does the same for the engine programs):
#   - it imports only system DLLs;
#   - the analysis subcommands (moves, perft, divide, eval, maps, choose and
#     the four bench signatures) print what the Linux tovrane prints;
#   - a match between the Windows engines, 4 games with a record, is stopped
#     by Ctrl-C (SIGINT, which Wine passes on as the console's Ctrl-C) after
#     its first game and resumed: the same games and results as the Linux
#     match, and replay and merge of the record print what Linux prints
#     (move times aside);
#   - engines found in the current folder without ".exe", by a relative
#     path with backslashes, and with a book folder given by dir=;
#   - an engine started through cmd.exe that gives no move in time loses,
#     and the search it started is ended with it;
#   - book build, check and show and tune print and write what Linux does;
#   - serve answers its page and a game's API on loopback (curl) as the Linux
#     server does, and stops on Ctrl-C.
# Usage: tests/windows/check-tovrane.sh [LINUX_BUILD [WINDOWS_BUILD]]
#        (default build/release and build/windows)
set -euo pipefail

linuxBuild=$(realpath "${1:-build/release}")
windowsBuild=$(realpath "${2:-build/windows}")
linuxTool=$linuxBuild/tools/tovrane
windowsTool=$windowsBuild/tools/tovrane.exe
linuxApp=$linuxBuild/app
windowsApp=$windowsBuild/app
initialBoard=222222222222000000000000111111111111
# Two positions of the bench set: one early, one in the middle game.
earlyBoard=022222222222020000001100100111111111
middleBoard=022202222222020200101100010111101111

started=$SECONDS
work=$(mktemp -d)
serverPids=()
cleanup() {
  for pid in "${serverPids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"

for file in "$linuxTool" "$windowsTool" "$linuxApp/engine" "$windowsApp/engine.exe"; do
  [[ -x $file ]] || { echo "missing program: $file"; exit 1; }
done

# A Linux path as Wine's Windows programs see it.
winPath() { local p=${1//\//\\}; echo "Z:$p"; }

# Runs tovrane.exe in folder $1 with the other arguments; standard output
# (line ends made plain) to the file $2. Returns its exit status.
runWindows() {
  local dir=$1 out=$2 status=0
  shift 2
  (cd "$dir" && timeout 300 wine "$windowsTool" "$@" 2>>"$wineLog") >"$out.raw" || status=$?
  tr -d '\r' <"$out.raw" >"$out"
  return "$status"
}

# Compares one subcommand's standard output on both systems; lines
# matching the pattern $1 (times) are left out.
sameOutput() {
  local skip=$1 what
  shift
  what="tovrane $*"
  runWindows "$work" "$work/win.txt" "$@" || { fail "$what: tovrane.exe ended with status $?"; return; }
  "$linuxTool" "$@" >"$work/linux.txt" 2>/dev/null || { fail "$what: the Linux tovrane failed"; return; }
  if diff <(grep -Ev "$skip" "$work/win.txt") <(grep -Ev "$skip" "$work/linux.txt") >"$work/diff.txt"; then
    echo "$what: same ($(wc -l <"$work/win.txt") lines)"
  else
    fail "$what differs from Linux: $(head -5 "$work/diff.txt" | tr '\n' ' ')"
  fi
}

# A record's games without the move times.
gamesOf() { sed -E 's/^([0-9]+ (black|white) [0-9]{4}) [0-9.]+$/\1/' "$1" | grep -v '^# match engine'; }

echo "-- tovrane.exe: $(stat -c %s "$windowsTool") bytes, imports"
dlls=$(i686-w64-mingw32-objdump -p "$windowsTool" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]' |
  sort -u | tr '\n' ' ')
echo "tovrane.exe: $dlls"
for dll in $dlls; do
  [[ $dll == kernel32.dll || $dll == msvcrt.dll || $dll == ws2_32.dll ]] || fail "tovrane.exe imports $dll"
done

echo "-- starting Wine"
bootStarted=$SECONDS
timeout 600 wineboot -i </dev/null >>"$wineLog" 2>&1 || { cat "$wineLog"; echo "wineboot failed"; exit 1; }
echo "wineboot: $((SECONDS - bootStarted)) s"

echo "-- analysis"
noTimes='^(time|nps) '
sameOutput "$noTimes" moves "$earlyBoard" 2
sameOutput "$noTimes" perft "$initialBoard" 2 4
sameOutput "$noTimes" divide "$middleBoard" 1 3
sameOutput "$noTimes" eval "$middleBoard" 1
sameOutput "$noTimes" eval "$middleBoard" 2 --classic
sameOutput "$noTimes" maps "$middleBoard"
sameOutput "$noTimes" maps "$middleBoard" --classic
sameOutput "$noTimes" choose "$middleBoard" 2
sameOutput "$noTimes" choose "$earlyBoard" 2 --deep
sameOutput "$noTimes" choose "$middleBoard" 1 --classic
sameOutput "$noTimes" choose "$middleBoard" 2 --pro --depth 6
for flavour in "" --deep --classic --pro "--pro --eval net"; do
  # shellcheck disable=SC2086  # no flag for the plain bench, two words for the network
  sameOutput "$noTimes" bench $flavour
  echo "   $(grep signature "$work/win.txt")"
done

echo "-- match: 4 games with a record, Ctrl-C after the first, resumed"
matchArgs=(match --engine cmd=engine-deep.exe --engine cmd=engine-classic.exe --openings 2 --seed 5 --concurrency 1)
windowsRecord=$work/windows-record.txt
(cd "$windowsApp" && exec timeout 300 wine "$windowsTool" "${matchArgs[@]}" --record "$(winPath "$windowsRecord")" \
  >"$work/stopped.raw" 2>>"$wineLog") &
matchPid=$!
for ((i = 0; i < 600; i++)); do
  grep -q '^game 1/4' "$work/stopped.raw" 2>/dev/null && break
  sleep 0.1
done
# The Windows process itself (the one wine runs), which gets the signal.
kill -INT "$(pgrep -n -f 'tovrane\.exe match')" 2>/dev/null || true
stopStatus=0
wait "$matchPid" || stopStatus=$?
tr -d '\r' <"$work/stopped.raw" >"$work/stopped.txt"
if ((stopStatus == 130)) && grep -q '^stopped by SIGINT after [1-3] of 4 games' "$work/stopped.txt"; then
  echo "Ctrl-C: $(grep '^stopped by' "$work/stopped.txt"), status 130"
else
  fail "Ctrl-C: status $stopStatus, output: $(tail -3 "$work/stopped.txt" | tr '\n' ' ')"
fi
leftover=$(find "$WINEPREFIX/drive_c" -maxdepth 5 -name 'tovrane-match-*' | wc -l)
((leftover == 0)) || fail "Ctrl-C left $leftover temporary folder(s) behind"
runWindows "$windowsApp" "$work/resumed.txt" "${matchArgs[@]}" \
  --record "$(winPath "$windowsRecord")" --resume || fail "resuming the match: status $?"
grep -q '^resumed: [1-3] game(s) were already in' "$work/resumed.txt" || fail "no resume note: $(tail -2 "$work/resumed.txt")"
linuxRecord=$work/linux-record.txt
(cd "$linuxApp" && "$linuxTool" match --engine cmd=./engine-deep --engine cmd=./engine-classic --openings 2 --seed 5 \
  --concurrency 1 --record "$linuxRecord" >"$work/linux-match.txt")
if diff <(grep '^game [0-9]/4:' "$work/resumed.txt") <(grep '^game [0-9]/4:' "$work/linux-match.txt") >/dev/null &&
  diff <(gamesOf "$windowsRecord") <(gamesOf "$linuxRecord") >"$work/diff.txt"; then
  echo "games and record as on Linux: $(grep -c '^game [0-9]' "$windowsRecord") games, $(grep -c '^result' "$windowsRecord") results"
else
  fail "the match differs from Linux: $(head -6 "$work/diff.txt" | tr '\n' ' ')"
fi
replayTimes='\([0-9.]+ s\)'
for game in 1 2 3 4; do
  runWindows "$work" "$work/replay.txt" replay "$(winPath "$windowsRecord")" "$game" || fail "replay $game: status $?"
  "$linuxTool" replay "$linuxRecord" "$game" >"$work/linux-replay.txt"
  diff <(sed -E "s/$replayTimes//" "$work/replay.txt") <(sed -E "s/$replayTimes//" "$work/linux-replay.txt") >/dev/null ||
    fail "replay of game $game differs from Linux"
done
echo "replay: games 1-4 as on Linux ($(grep -c '^ply' "$work/replay.txt") plies in game 4)"
runWindows "$work" "$work/merge.txt" merge "$(winPath "$windowsRecord")" || fail "merge: status $?"
"$linuxTool" merge "$linuxRecord" >"$work/linux-merge.txt"
diff <(grep '^game' "$work/merge.txt") <(grep '^game' "$work/linux-merge.txt") >/dev/null &&
  echo "merge: the same games as on Linux" || fail "merge differs from Linux"

echo "-- engines by name, by a Windows path, with a book folder"
mkdir -p "$work/mybook/startgame"
echo "black 1 5 2 5" >"$work/mybook/startgame/$initialBoard.zjb"
runWindows "$windowsApp" "$work/paths.txt" match --engine cmd=engine dir="$(winPath "$work/mybook")" name=booked \
  --engine 'cmd=..\app\engine-classic' --openings 1 --plies 0 --concurrency 1 --record "$(winPath "$work/paths-record.txt")" ||
  fail "a match with engines by name and path: status $?"
if grep -q '^1 black 1525 ' "$work/paths-record.txt" && grep -q '^game 2/2:' "$work/paths.txt"; then
  echo "cmd=engine (current folder), cmd=..\\app\\engine-classic, dir= book: played, book move 1525 first"
else
  fail "engines by name and path: $(head -3 "$work/paths.txt" | tr '\n' ' ')"
fi

echo "-- an engine that gives no move in time, started through cmd.exe"
runWindows "$work" "$work/slow.txt" match --engine cmd=cmd.exe arg=/c "$(winPath "$windowsApp/engine-pro.exe")" \
  arg=--movetime 30 name=slow --engine cmd="$(winPath "$windowsApp/engine.exe")" --openings 1 --time 1 --concurrency 1 ||
  fail "the timeout match: status $?"
helpers=$(ps -eo args | grep -ci '^Z:.*engine-pro\.exe --movetime 30' || true)
if [[ $(grep -c 'slow) gave no move within 1.000 s' "$work/slow.txt") == 2 ]] && ((helpers == 0)); then
  echo "both games lost on time; no engine-pro.exe left running"
else
  fail "timeouts: $(grep -c 'gave no move' "$work/slow.txt") of 2, $helpers engine-pro.exe still running"
fi

echo "-- books and tuning"
bookArgs=(--plies 3 --player engine --depth 4 --jobs 2)
runWindows "$work" "$work/book.txt" book build --out "$(winPath "$work/winbook")" "${bookArgs[@]}" || fail "book build: status $?"
"$linuxTool" book build --out "$work/linuxbook" "${bookArgs[@]}" >/dev/null 2>&1
diff -r "$work/winbook" "$work/linuxbook" >/dev/null &&
  echo "book build: the same $(find "$work/winbook/startgame" -type f | wc -l) files as on Linux" || fail "book build differs from Linux"
runWindows "$work" "$work/check.txt" book check "$(winPath "$work/winbook")" || fail "book check: status $?"
echo "book check: $(tail -1 "$work/check.txt")"
runWindows "$work" "$work/show.txt" book show "$initialBoard" 2 --dir "$(winPath "$work/winbook")" || fail "book show: status $?"
grep -q 'legal$' "$work/show.txt" && echo "book show: $(grep 'legal$' "$work/show.txt")" || fail "book show: $(cat "$work/show.txt")"
runWindows "$work" "$work/tune.txt" tune "$(winPath "$linuxRecord")" --iterations 100 || fail "tune: status $?"
"$linuxTool" tune "$linuxRecord" --iterations 100 >"$work/linux-tune.txt" 2>/dev/null
diff "$work/tune.txt" "$work/linux-tune.txt" >/dev/null && echo "tune: as on Linux ($(grep '^loss' "$work/tune.txt"))" ||
  fail "tune differs from Linux"

echo "-- serve on loopback"
# Starts a server on a free port in the background, its output to $1.
startServer() {
  local out=$1
  shift
  "$@" serve --port 0 >"$out" 2>>"$wineLog" &
  serverPids+=($!)
}
# The address a started server printed.
serverUrl() {
  for ((i = 0; i < 300; i++)); do
    grep -q 'http://' "$1" 2>/dev/null && break
    sleep 0.1
  done
  grep -o 'http://[^ ]*' "$1" | tr -d '\r' | head -1
}
# The page, a new game, a move and the engine's answer: the boards.
askServer() {
  local url=$1 id
  curl -sf "$url" | md5sum | cut -d' ' -f1
  id=$(curl -sf -X POST -d '{}' "${url}api/games" | grep -o '"id":"[0-9a-f]*"' | cut -d'"' -f4)
  curl -sf -X POST -d '{"move":"1021"}' "${url}api/games/$id/move" | grep -o '"board":"[0-9]*"'
  curl -sf -X POST -d '{"engine":"engine"}' "${url}api/games/$id/engine" | grep -o '"board":"[0-9]*"'
  curl -sf "${url}api/games/$id" | grep -o '"board":"[0-9]*"'
}
startServer "$work/serve.txt" wine "$windowsTool"
startServer "$work/linux-serve.txt" "$linuxTool"
windowsUrl=$(serverUrl "$work/serve.txt")
linuxUrl=$(serverUrl "$work/linux-serve.txt")
if [[ -z $windowsUrl ]]; then
  fail "tovrane.exe serve printed no address: $(tr -d '\r' <"$work/serve.txt")"
else
  askServer "$windowsUrl" >"$work/served.txt" || true
  askServer "$linuxUrl" >"$work/linux-served.txt" || true
  if [[ $(wc -l <"$work/served.txt") -ge 4 ]] && diff "$work/served.txt" "$work/linux-served.txt" >/dev/null; then
    echo "serve at $windowsUrl: the page and a game (a move, the engine's answer) as on Linux"
  else
    fail "serve answered $(tr '\n' ' ' <"$work/served.txt"), Linux $(tr '\n' ' ' <"$work/linux-served.txt")"
  fi
  kill -INT "$(pgrep -n -f 'tovrane\.exe serve')" 2>/dev/null || true
  serveStatus=0
  wait "${serverPids[0]}" || serveStatus=$?
  grep -q 'tovrane serve: stopped' "$work/serve.txt" && ((serveStatus == 0)) && echo "serve: stopped by Ctrl-C" ||
    fail "serve did not stop cleanly on Ctrl-C (status $serveStatus)"
fi

echo "-- tovrane.exe checks took $((SECONDS - started)) s"
if ((failures)); then
  echo "$failures tovrane.exe check(s) failed; Wine's messages:"
  tail -40 "$wineLog"
  exit 1
fi
