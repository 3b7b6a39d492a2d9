# shellcheck shell=bash
# Wine for the scripts and the Wine tests, in one place: a private prefix
# inside the build tree, booted once; one persistent wineserver for it, so
# every later start is quick, stopped when the script exits; and a virtual X
# server when there is no display, so message boxes can appear.
#
#   . scripts/lib/wine.sh
#   wine_use_prefix "$build/wineprefix"   # WINEPREFIX and Wine's quiet settings
#   wine_session_start                    # boot, one server until exit, services
#
# or the steps of wine_session_start one by one (wine_prefix_boot,
# wine_server_start, wine_server_stop_on_exit, wine_services_start).
#
# WINESERVER and WINELOADER, when set, name the server and loader to use (the
# benchmark's 64-bit Wine); otherwise those on PATH.  Wine itself reads both.

wine_exit_actions=()

# Whether this machine runs 32-bit x86 programs.  Some virtual machines run
# 64-bit code only: the kernel refuses Wine's 32-bit loader (exec format
# error), so no 32-bit Windows program starts there, in either kind of
# prefix.  There the scripts also build the same sources for 64-bit Windows
# (preset win64) and run those programs instead, and say so.
wine_runs_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# On a machine that runs 64-bit programs only: every `wine` started from now
# on (the scripts', cmake/wine-run's, the benchmark's) is Wine's 64-bit
# loader, through a shim in DIR put first on PATH, under both names Debian's
# commands call it by (winepath calls wine-stable).  Debian's own `wine`
# takes the 32-bit loader whenever it is installed, even for a 64-bit prefix.
wine_use_64bit_only() {  # <dir>
  local name
  mkdir -p "$1"
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$1/$name"
    chmod +x "$1/$name"
  done
  export PATH="$1:$PATH" QF_WINE_64BIT_ONLY=1
}

# Exports the prefix and the settings every Wine start here shares: its
# architecture (QF_WINEARCH: win64 unless set, a 64-bit Windows on which the
# 32-bit library runs under WOW64, as on every current Windows; win32 for
# 32-bit Windows), no debug output, and no prompt to install Mono or Gecko.
# The architecture is always named: a prefix takes it when it is made.
wine_use_prefix() {
  export WINEPREFIX=$1 WINEARCH=${QF_WINEARCH:-win64} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# The name a prefix of the architecture QF_WINEARCH gets below DIR, so that
# prefixes of the two never meet: DIR/wineprefix64 or DIR/wineprefix32.
wine_prefix_name() {
  local arch=${QF_WINEARCH:-win64}
  echo "$1/wineprefix${arch#win}"
}

# Whether the prefix has finished its first boot.  (system.reg appears early
# in a boot, so it is no sign that the boot is over.)
wine_prefix_booted() {
  [ -f "$WINEPREFIX/.booted" ]
}

# Makes the prefix on first use.  Concurrent callers take turns on a lock
# beside it, so one boots and the others wait for it.  A boot takes half a
# minute; with the system's Wine a prefix is instead a copy of a freshly
# booted one of its architecture beside it (wineprefix64.template or
# wineprefix32.template, booted on first use and never run in), made in
# seconds.  Another Wine (WINELOADER set) boots each of its prefixes.
wine_prefix_boot() {
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    wine_prefix_booted && exit 0
    # Only an empty directory becomes a copy: whatever else is there stays.
    template=$(wine_prefix_template)
    if [ -n "$template" ] && [ -z "$(ls -A "$WINEPREFIX")" ]; then
      WINEPREFIX=$template wine_prefix_boot || exit 1
      # Copied beside it, moved into place, then marked: a copy cut short is
      # never taken for a prefix.
      rm -rf "$WINEPREFIX.copy"
      cp -a "$template" "$WINEPREFIX.copy" || exit 1
      rm -f "$WINEPREFIX.copy/.booted"
      rmdir "$WINEPREFIX" && mv "$WINEPREFIX.copy" "$WINEPREFIX" || exit 1
      touch "$WINEPREFIX/.booted"
      exit 0
    fi
    # The loader would start the server installed beside it, whatever
    # WINESERVER says: start ours first, for just as long as the boot needs.
    "${WINESERVER:-wineserver}" -p5
    # A loader that cannot start at all (126, 127: a 32-bit one on a machine
    # that runs 64-bit programs only) ends the boot here: waiting for the
    # server would wait for ever.
    status=0
    "${WINELOADER:-wine}" wineboot -i >/dev/null 2>&1 || status=$?
    if [ "$status" = 126 ] || [ "$status" = 127 ]; then
      "${WINESERVER:-wineserver}" -k 2>/dev/null || true
      echo "booting the Wine prefix $WINEPREFIX failed: Wine's loader cannot start on this machine" >&2
      exit 1
    fi
    # Let the boot finish writing the prefix before anything else runs.
    "${WINESERVER:-wineserver}" -w
    [ -f "$WINEPREFIX/system.reg" ] || { echo "booting the Wine prefix $WINEPREFIX failed" >&2; exit 1; }
    touch "$WINEPREFIX/.booted"
  ) 9>"$WINEPREFIX.lock"
}

# The template the prefix is copied from ("" when it is booted itself).
wine_prefix_template() {
  [ -z "${WINELOADER:-}" ] || return 0
  local template
  template="$(dirname "$WINEPREFIX")/wineprefix${WINEARCH#win}.template"
  [ "$WINEPREFIX" = "$template" ] || echo "$template"
}

# Starts a server for the prefix that stays up until it is stopped.  One that
# is already running stays as it is.
wine_server_start() {
  "${WINESERVER:-wineserver}" -p 2>/dev/null || true
}

# Stops this prefix's server (and only it) when the script exits.
wine_server_stop_on_exit() {
  wine_at_exit "$(printf 'WINEPREFIX=%q %q -k 2>/dev/null' "$WINEPREFIX" "${WINESERVER:-wineserver}")"
}

# Starts the prefix's background services now: they live as long as the
# server, and must not hold the output of the first program that is run.
wine_services_start() {
  "${WINELOADER:-wine}" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Everything a script that runs Windows programs needs before the first:
# the prefix booted, one server for it until the script exits, and the
# prefix's background services already up.
wine_session_start() {
  wine_prefix_boot
  wine_server_start
  wine_server_stop_on_exit
  wine_services_start
}

# Runs a shell command when the script exits, after those added before it.
# One EXIT trap serves them all, so no caller replaces another's.
wine_at_exit() {
  wine_exit_actions+=("$1")
  trap wine_run_exit_actions EXIT
}

wine_run_exit_actions() {
  local action
  for action in "${wine_exit_actions[@]}"; do eval "$action" || true; done
}

# Starts the calling script again (SCRIPT ARGS...) under a virtual X server
# when there is no display: one X server for all its Wine starts, closed only
# after the script, and so Wine, has gone.
wine_ensure_display() {
  [ -n "${DISPLAY:-}" ] || exec xvfb-run -a bash "$@"
}

# Replaces the shell with COMMAND, under a virtual X server when there is no
# display.
wine_exec_with_display() {
  [ -n "${DISPLAY:-}" ] || exec xvfb-run -a "$@"
  exec "$@"
}
