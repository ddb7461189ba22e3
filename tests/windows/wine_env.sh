# Sourced by the Wine checks after they set $work: a private prefix, no debug
# channels, no display (console programs need none), no Mono or Gecko
# installer prompts on the prefix's first start, and a fail() that counts.
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
export HOME=${HOME:-$work}
wineLog=$work/wine-stderr.log

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
