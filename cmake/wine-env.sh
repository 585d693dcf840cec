# Sourced by every script that runs Windows programs under wine: the defaults our runs use,
# the choice of wine's loader, and making a prefix before programs start in it.
#
# Some machines cannot run 32-bit Linux programs at all (the kernel refuses them), so wine's
# 32-bit loader never starts, and wine's start script picks it whenever wine32 is installed.
# There the 64-bit loader runs 64-bit Windows programs alone, and 32-bit ones cannot run.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# Whether this machine runs 32-bit programs (and so 32-bit Windows programs under wine).
wine_runs_32bit() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

if ! wine_runs_32bit && [ -x /usr/lib/wine/wine64 ]; then
  export WINELOADER=/usr/lib/wine/wine64
  wine() { /usr/lib/wine/wine64 "$@"; }
  wineboot() { /usr/lib/wine/wine64 wineboot "$@"; }
fi

# Whether a Windows program is a 32-bit one (its PE header names the i386 machine).
windows_program_is_32bit() {
  local at machine
  at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 1
  [ -n "$at" ] || return 1
  machine=$(od -An -tx2 -j$((at + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  [ "$machine" = "014c" ]
}

# Makes $WINEPREFIX once: ctest starts several programs at once, and two wines creating the
# same prefix race (one loses its server's folder), so the first caller builds it under a
# lock and waits for the wine server to finish before anyone runs in it. Wine's chatter goes
# to a log beside the prefix, shown only when the prefix could not be made; a first attempt
# that fails is tried once more, since a fresh machine's first wine start can stumble.
wine_prefix_ready() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  local log="$WINEPREFIX.boot.log"
  (
    flock 9
    for attempt in 1 2; do
      [ -f "$WINEPREFIX/system.reg" ] && exit 0
      wineboot -i >"$log" 2>&1 || true
      wineserver -w || true
    done
    [ -f "$WINEPREFIX/system.reg" ] && exit 0
    echo "wine could not make the prefix $WINEPREFIX; what it said:" >&2
    cat "$log" >&2
    exit 1
  ) 9>"$WINEPREFIX.lock"
}

# Keeps $WINEPREFIX's server, and the services wine starts beside its first program, running
# until wine_let_go: a test that starts while an idle server is shutting down fails at once
# ("recvmsg: connection reset by peer"). They are started here on /dev/null, since they keep
# the descriptors of the program that started them: started by a test, they would hold its
# output pipe open, and ctest waits for that pipe to close.
# (Debian's wineserver script passes -p0 first; a bare -p then means "until killed".)
wine_kept_up() {
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_let_go() {
  timeout 30 wineserver -k </dev/null >/dev/null 2>&1 || true
}
