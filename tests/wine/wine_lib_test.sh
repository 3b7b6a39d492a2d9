#!/usr/bin/env bash
# The Wine launcher library of the scripts (scripts/lib/wine.sh): a prefix is
# booted once however many callers race for it, a failed boot leaves no
# marker, exit actions run in order without changing the exit status, and a
# script stops its own server and no other.
#
#   wine_lib_test.sh <scratch dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lib=$here/../../scripts/lib/wine.sh
scratch=$1
rm -rf "$scratch"
mkdir -p "$scratch"
passes=0 failures=0
check() {  # <what> <command...>
  local what=$1
  shift
  if "$@"; then
    echo "ok   $what"
    passes=$((passes + 1))
  else
    echo "FAIL $what"
    failures=$((failures + 1))
  fi
}

# A loader whose boot takes a second and writes system.reg unless told not
# to, and a server that only logs: the boot logic without Wine.
cat >"$scratch/loader" <<'EOF'
#!/bin/sh
echo "loader $*" >>"$FAKE_LOG"
sleep 1
[ -n "${FAKE_FAIL:-}" ] || touch "$WINEPREFIX/system.reg"
EOF
cat >"$scratch/server" <<'EOF'
#!/bin/sh
echo "server $*" >>"$FAKE_LOG"
EOF
chmod +x "$scratch/loader" "$scratch/server"
boot() {  # <prefix>: boots it with the fakes, in a shell of its own
  WINELOADER=$scratch/loader WINESERVER=$scratch/server FAKE_LOG=$scratch/log \
    bash -c '. "$1"; wine_use_prefix "$2"; wine_prefix_boot' boot "$lib" "$1"
}

boot "$scratch/raced" & boot "$scratch/raced" & boot "$scratch/raced"
wait
check "three racing boots boot once" [ "$(grep -c '^loader wineboot -i$' "$scratch/log")" = 1 ]
check "the booted prefix is marked" [ -f "$scratch/raced/.booted" ]
check "the server is started before the boot and waited for after it" \
  [ "$(grep -v loader "$scratch/log" | tr '\n' ' ')" = "server -p5 server -w " ]
boot_fails() { ! FAKE_FAIL=1 boot "$1" 2>/dev/null; }
check "a boot that writes no system.reg fails" boot_fails "$scratch/failed"
check "and leaves no marker" [ ! -f "$scratch/failed/.booted" ]

# With the system's Wine (the fakes on PATH, no WINELOADER), prefixes beside
# each other are copies of one booted template of their architecture; a
# directory that already holds files is booted in place and keeps them.
mkdir -p "$scratch/bin" "$scratch/side/wineprefix32-kept"
cp "$scratch/loader" "$scratch/bin/wine" && cp "$scratch/server" "$scratch/bin/wineserver"
touch "$scratch/side/wineprefix32-kept/mine"
system_boot() {  # <prefix> [arch]
  PATH=$scratch/bin:$PATH FAKE_LOG=$scratch/side/log QF_WINEARCH=${2:-win64} \
    bash -c '. "$1"; wine_use_prefix "$2"; wine_prefix_boot' boot "$lib" "$1"
}
system_boot "$scratch/side/wineprefix64" && system_boot "$scratch/side/wineprefix64-other" &&
  system_boot "$scratch/side/wineprefix32-kept" win32
check "two prefixes of one architecture: one boot, of their template, and two copies" \
  [ "$(grep -c '^loader wineboot -i$' "$scratch/side/log")" = 2 -a -f "$scratch/side/wineprefix64.template/system.reg" \
    -a -f "$scratch/side/wineprefix64/.booted" -a -f "$scratch/side/wineprefix64-other/system.reg" ]
check "a directory with files in it is booted in place" \
  [ -f "$scratch/side/wineprefix32-kept/mine" -a -f "$scratch/side/wineprefix32-kept/.booted" -a ! -e "$scratch/side/wineprefix32.template" ]

# Exit actions: in the order added, after the script's own last command.
status=0
out=$(bash -c '. "$1"; wine_at_exit "echo first"; wine_at_exit "false"; wine_at_exit "echo second"
               echo body; exit 7' exit "$lib") || status=$?
check "exit actions run in order, a failing one does not stop the rest" \
  [ "$out" = "$(printf 'body\nfirst\nsecond')" ]
check "the script's exit status is kept" [ "$status" = 7 ]

# Servers: a script's own persistent server goes when it exits; another
# prefix's server stays up.  (wineserver -w returns once its server is gone.)
alive() { ! WINEPREFIX=$1 timeout 3 wineserver -w; }
gone() { ! alive "$1"; }
mkdir -p "$scratch/mine" "$scratch/other"
bash -c '. "$1"; wine_use_prefix "$2"; wine_server_start' other "$lib" "$scratch/other"
trap 'WINEPREFIX=$scratch/other wineserver -k 2>/dev/null || true' EXIT
seen=$(bash -c '. "$1"; wine_use_prefix "$2"; wine_server_start; wine_server_stop_on_exit
               sh -c '\''echo "$WINEPREFIX $WINEDEBUG $WINEDLLOVERRIDES"'\' server "$lib" "$scratch/mine")
check "the prefix and Wine's quiet settings are exported" \
  [ "$seen" = "$scratch/mine -all mscoree,mshtml=" ]
check "the script's own server is stopped on exit" gone "$scratch/mine"
check "another prefix's server stays up" alive "$scratch/other"

echo "$passes passed, $failures failed"
[ "$failures" = 0 ]
