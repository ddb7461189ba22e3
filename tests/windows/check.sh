#!/usr/bin/env bash
# Runs the 32-bit Windows builds of the engine programs under Wine and checks
# them against the Linux builds:
#   - a referee session per program: name reply, "new black", "new white" and
#     a move, "stop" with exit status 0;
#   - a self-play game per program, each reply passed on to the other side,
#     played by two Windows processes and by two Linux processes: the moves
#     must be the same;
#   - the opening book: a one-record file in "startgame\" is found and played.
# Usage: tests/windows/check.sh [LINUX_BIN_DIR [WINDOWS_BIN_DIR]]
set -euo pipefail

linuxDir=$(realpath "${1:-build/release/app}")
windowsDir=$(realpath "${2:-build/windows/app}")
programs=(engine engine-deep engine-classic engine-pro)
declare -A versions=([engine]=2.2 [engine-deep]=2.2 [engine-classic]=2.0 [engine-pro]=4.0)
# engine-pro plays by the clock; at a fixed depth its moves are the same on
# every run, so the two builds can be compared move by move.
declare -A programArgs=([engine-pro]="--depth 5 --hash 16")
# Half-moves per self-play game: the standard engine's game reaches its first
# capture, and the three games together take well under a minute natively.
selfPlayPlies=12
# Seconds a program may take for one reply (Wine's own start included).
replyTimeout=120
initialBoard=222222222222000000000000111111111111

started=$SECONDS
work=$(mktemp -d)
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"

for program in "${programs[@]}"; do
  for file in "$linuxDir/$program" "$windowsDir/$program.exe"; do
    [[ -x $file ]] || { echo "missing program: $file"; exit 1; }
  done
done

echo "-- sizes"
for program in "${programs[@]}"; do
  printf '%-20s %8d bytes\n' "$program.exe" "$(stat -c %s "$windowsDir/$program.exe")"
done

echo "-- imported DLLs (statically linked: only system DLLs)"
for program in "${programs[@]}"; do
  dlls=$(i686-w64-mingw32-objdump -p "$windowsDir/$program.exe" |
    sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort -u | tr '\n' ' ')
  echo "$program.exe: $dlls"
  for dll in $dlls; do
    [[ $dll == kernel32.dll || $dll == msvcrt.dll ]] || fail "$program.exe imports $dll"
  done
done

echo "-- starting Wine"
bootStarted=$SECONDS
timeout 600 wineboot -i </dev/null >>"$wineLog" 2>&1 || { cat "$wineLog"; echo "wineboot failed"; exit 1; }
echo "wineboot: $((SECONDS - bootStarted)) s"

# Runs a program on a fixed input; the Windows build goes through Wine. Prints
# the output with Windows line ends turned into plain line feeds.
# $1: linux or windows, $2: program, stdin: the referee's commands.
# Further arguments go to the program; without any, its programArgs.
runSession() {
  local status=0 output where=$1 program=$2 args
  shift 2
  if (($#)); then args=("$@"); else read -ra args <<<"${programArgs[$program]:-}"; fi
  if [[ $where == windows ]]; then
    output=$(timeout "$replyTimeout" wine "$windowsDir/$program.exe" "${args[@]}" 2>>"$wineLog") || status=$?
  else
    output=$(timeout "$replyTimeout" "$linuxDir/$program" "${args[@]}") || status=$?
  fi
  printf '%s\n' "$output" | tr -d '\r'
  return "$status"
}

# Plays one game between two processes of a program, passing each reply on to
# the other side, and prints the moves on one line.
# $1: linux or windows, $2: program.
selfPlay() {
  local dir launch=() args blackPid whitePid toBlack fromBlack toWhite fromWhite
  dir=$(mktemp -d -p "$work")
  read -ra args <<<"${programArgs[$2]:-}"
  if [[ $1 == windows ]]; then launch=(wine "$windowsDir/$2.exe" "${args[@]}"); else launch=("$linuxDir/$2" "${args[@]}"); fi
  mkfifo "$dir/black-in" "$dir/black-out" "$dir/white-in" "$dir/white-out"
  timeout 600 "${launch[@]}" <"$dir/black-in" >"$dir/black-out" 2>>"$wineLog" &
  blackPid=$!
  timeout 600 "${launch[@]}" <"$dir/white-in" >"$dir/white-out" 2>>"$wineLog" &
  whitePid=$!
  exec {toBlack}>"$dir/black-in" {fromBlack}<"$dir/black-out"
  exec {toWhite}>"$dir/white-in" {fromWhite}<"$dir/white-out"
  # A side that ended early must fail the game, not kill this shell.
  trap '' PIPE

  echo "new white" >&"$toWhite"
  echo "new black" >&"$toBlack"
  local ply reply moves=() fromMover=$fromBlack toOther=$toWhite ok=1
  for ((ply = 0; ply < selfPlayPlies; ply++)); do
    if ! IFS= read -r -t "$replyTimeout" reply <&"$fromMover"; then
      echo "no reply at ply $ply" >&2
      ok=0
      break
    fi
    reply=${reply%$'\r'}
    if [[ ! $reply =~ ^move\ [0-5]{4}$ ]]; then
      echo "unexpected reply at ply $ply: '$reply'" >&2
      ok=0
      break
    fi
    moves+=("${reply#move }")
    # The last move is not passed on: nobody would read the answer.
    if ((ply + 1 < selfPlayPlies)); then echo "$reply" >&"$toOther"; fi
    if ((fromMover == fromBlack)); then
      fromMover=$fromWhite toOther=$toBlack
    else
      fromMover=$fromBlack toOther=$toWhite
    fi
  done

  { echo stop >&"$toBlack"; echo stop >&"$toWhite"; } 2>/dev/null
  exec {toBlack}>&- {toWhite}>&- {fromBlack}<&- {fromWhite}<&-
  # A program that stopped answering may never read "stop".
  ((ok)) || kill "$blackPid" "$whitePid" 2>/dev/null
  wait "$blackPid" || { echo "black process ended with status $?" >&2; ok=0; }
  wait "$whitePid" || { echo "white process ended with status $?" >&2; ok=0; }
  echo "${moves[*]}"
  ((ok))
}

echo "-- referee sessions"
session=$'name?\nnew black\nnew white\nmove 1222\nstop\nname?\n'
declare -A blackFirstMove
for program in "${programs[@]}"; do
  if ! windowsOut=$(runSession windows "$program" <<<"$session"); then
    fail "$program.exe: session ended with a non-zero status"
  fi
  linuxOut=$(runSession linux "$program" <<<"$session") || fail "$program (Linux): session failed"
  mapfile -t lines <<<"$windowsOut"
  if [[ ${#lines[@]} -ne 3 || ${lines[0]} != "name Tovrane(${versions[$program]})" ||
    ! ${lines[1]} =~ ^move\ [0-5]{4}$ || ! ${lines[2]} =~ ^move\ [0-5]{4}$ ]]; then
    fail "$program.exe: unexpected session output: $(printf '%q ' "${lines[@]}")"
  elif [[ $windowsOut != "$linuxOut" ]]; then
    fail "$program.exe answers '${windowsOut//$'\n'/ }', the Linux build '${linuxOut//$'\n'/ }'"
  else
    echo "$program.exe: ${windowsOut//$'\n'/ }"
  fi
  blackFirstMove[$program]=${lines[1]:-}
  blackFirstMove[$program]=${blackFirstMove[$program]#move }
done

echo "-- engine-pro.exe by the clock (--movetime 0.05) and a bad argument"
clockOut=$(runSession windows engine-pro --movetime 0.05 <<<$'new black\nstop\n') ||
  fail "engine-pro.exe --movetime 0.05: session ended with a non-zero status"
if [[ ! $clockOut =~ ^move\ [0-5]{4}$ ]]; then
  fail "engine-pro.exe --movetime 0.05: unexpected output '${clockOut//$'\n'/ }'"
else
  echo "engine-pro.exe --movetime 0.05: $clockOut"
fi
badStatus=0
timeout "$replyTimeout" wine "$windowsDir/engine-pro.exe" --movetime 0 </dev/null >/dev/null 2>>"$wineLog" || badStatus=$?
if ((badStatus != 2)); then fail "engine-pro.exe --movetime 0: status $badStatus, expected 2"; else echo "engine-pro.exe --movetime 0: status 2"; fi

echo "-- self-play, Windows against Linux"
for program in "${programs[@]}"; do
  playStarted=$SECONDS
  windowsGame=$(selfPlay windows "$program") || fail "$program.exe: self-play broke off after: $windowsGame"
  linuxGame=$(selfPlay linux "$program") || fail "$program (Linux): self-play broke off after: $linuxGame"
  if [[ $windowsGame != "$linuxGame" ]]; then
    fail "$program: Windows played '$windowsGame', Linux '$linuxGame'"
  else
    echo "$program: $windowsGame ($((SECONDS - playStarted)) s)"
  fi
done

echo "-- opening book in startgame\\"
mkdir -p "$work/book/startgame"
for program in "${programs[@]}"; do
  # A step the search does not choose, so only the book can explain it.
  bookMove=1020
  [[ ${blackFirstMove[$program]} == "$bookMove" ]] && bookMove=1121
  echo "black ${bookMove:0:1} ${bookMove:1:1} ${bookMove:2:1} ${bookMove:3:1}" \
    >"$work/book/startgame/$initialBoard.zjb"
  bookOut=$(cd "$work/book" && runSession windows "$program" <<<$'new black\nstop\n') ||
    fail "$program.exe: book session ended with a non-zero status"
  if [[ $bookOut != "move $bookMove" ]]; then
    fail "$program.exe: expected the book move $bookMove, got '${bookOut//$'\n'/ }'"
  else
    echo "$program.exe: book move $bookMove played"
  fi
done

echo "-- Windows checks took $((SECONDS - started)) s"
if ((failures)); then
  echo "$failures Windows check(s) failed; Wine's messages:"
  cat "$wineLog"
  exit 1
fi
