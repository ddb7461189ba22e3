#!/usr/bin/env bash
# A stand-in engine for the referee tests. It speaks the engine protocol,
# keeps the position, plays the book move when startgame/<position>.zjb in
# its working directory has one for its colour, and otherwise the first (or
# last) move that `tovrane moves` lists. It can misbehave on purpose.
#
# usage: fake_engine.sh TOVRANE NAME [pick=first|pick=last] [nobook] [linger] [chatty] [FAULT@N] [if=MOVE]
#                      [delay=SECONDS]
#   nobook  never look at book files
#   linger  on "stop" or the end of input, hang on instead of exiting
#   delay=SECONDS  think this long before every move reply
#   chatty  prints before every move a debug line, a board row and a
#           thinking line (info depth 1 score 12 nodes 100 pv MOVE)
#   score=N  the score of its thinking lines (default 12)
#   stderr  writes a line to its standard error before every move
#   FAULT@N  at its N-th move reply in a game: illegal (answers move 0000),
#            malformed (answers "move" with a word that is not a move),
#            silent (answers nothing), exit (ends with status 3), flood
#            (writes 20 MB without a line end, then nothing)
#   if=MOVE  misbehave only in games whose first move is MOVE
set -u
tovrane=$1
name=$2
shift 2
pick=first
usebook=yes
only=
fault=
at=0
delay=
linger=
chatty=
score=12
errors=
for word in "$@"; do
  case $word in
    pick=*) pick=${word#pick=} ;;
    if=*) only=${word#if=} ;;
    nobook) usebook= ;;
    linger) linger=yes ;;
    chatty) chatty=yes ;;
    score=*) score=${word#score=} ;;
    stderr) errors=yes ;;
    delay=*) delay=${word#delay=} ;;
    *@*) fault=${word%@*}; at=${word#*@} ;;
  esac
done

board=222222222222000000000000111111111111
side=0
replies=0
first=

# The destination takes the source's piece, then the source is emptied.
apply() {
  local m=$1
  [[ -z $first ]] && first=$m
  local from=$((${m:0:1} * 6 + ${m:1:1}))
  local to=$((${m:2:1} * 6 + ${m:3:1}))
  local piece=${board:from:1}
  board="${board:0:to}${piece}${board:to+1}"
  board="${board:0:from}0${board:from+1}"
}

our_move() {
  replies=$((replies + 1))
  [[ -n $delay ]] && sleep "$delay"
  if [[ -n $fault && $replies -eq $at && (-z $only || $first == "$only") ]]; then
    case $fault in
      illegal) echo "move 0000"; return ;;
      malformed) echo "move thinking..."; return ;;
      flood) head -c 20000000 /dev/zero | tr '\0' x; return ;;
      silent) return ;;
      exit) exit 3 ;;
    esac
  fi
  local colour=black
  [[ $side == 1 ]] && colour=white
  local move=
  local book=startgame/$board.zjb
  if [[ -n $usebook && -f $book ]]; then
    while read -r word a b c d; do
      if [[ $word == "$colour" && -z $move ]]; then move=$a$b$c$d; fi
    done <"$book"
  fi
  if [[ -z $move ]]; then
    local list
    mapfile -t list < <("$tovrane" moves "$board" "$side")
    ((${#list[@]} == 0)) && return
    if [[ $pick == last ]]; then move=${list[-1]}; else move=${list[0]}; fi
  fi
  apply "$move"
  [[ -n $errors ]] && echo "about to play $move" >&2
  if [[ -n $chatty ]]; then
    echo "debug: $colour to play, reply $replies"
    echo ". x x o . ."
    echo "info depth 1 score $score nodes 100 pv $move"
  fi
  echo "move $move"
}

while read -r command argument; do
  case $command in
    "name?") echo "name $name" ;;
    new)
      board=222222222222000000000000111111111111
      first=
      replies=0
      if [[ $argument == white ]]; then side=1; else side=2; our_move; fi
      ;;
    move) apply "$argument"; our_move ;;
    stop) [[ -n $linger ]] && sleep 60; exit 0 ;;
  esac
done
[[ -n $linger ]] && sleep 60
exit 0
