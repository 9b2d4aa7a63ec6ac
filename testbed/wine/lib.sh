# The Wine harness: functions that the end-to-end scenarios (e2e.sh), the
# demo (demo.sh) and the Wine figures (bench.sh) share.  Source it with bash;
# it expects
#   TAVRIN_WIN32_DIR   the i686 Windows build folder (TavrinSvc.exe,
#                      VYX32.dll, tavrin_server.exe, the helpers under wine/)
#   TAVRIN_WIN64_DIR   the x86_64 Windows build folder, the same artefacts
#   TAVRIN_WINE_WORK   a folder for the prefixes, e.g. <host build>/wine
# and reads
#   TAVRIN_WINE_ARCH   x86 or x64 to choose the build under test; unset, the
#                      32-bit build runs where the kernel runs 32-bit
#                      programs and the 64-bit build everywhere else
#
# The choice is made once, when this file is sourced (choose_build), and
# every Wine command then goes to that build's loader.  One base prefix per
# build is made once with wineboot -i; every scenario copies it
# (the system's DLL folders as hard links, everything else as copies), so a
# fresh prefix costs a fraction of a second.  Each prefix has a wineserver
# of its own, so scenarios running side by side cannot see each other.

TAVRIN_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
SERVICE=LMRAPISVC
SETTINGS_KEY='HKLM\Software\Lumora\Tavrin'
WINE_DIR=/usr/lib/wine

# No Mono or Gecko prompts, no display; err+eventlog prints the strings of
# every error event on standard error, which is how events are seen here.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="-all,err+eventlog"
export DISPLAY=
# Byte semantics for lengths and comparisons.
export LC_ALL=C
unset WINEARCH WINESERVER WINELOADER

PREFIX=
INSTALL=
LOG=

say() { printf '%s\n' "$*"; }
fail() {
    printf 'FAIL: %s\n' "$*" >&2
    exit 1
}

# check WHAT EXPECTED ACTUAL
check() {
    if [ "$2" != "$3" ]; then
        printf 'FAIL: %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3" >&2
        exit 1
    fi
    say "ok: $1"
}

# check_file WHAT EXPECTED_FILE ACTUAL_FILE: byte for byte
check_file() {
    if ! cmp -s "$2" "$3"; then
        printf 'FAIL: %s\n  expected bytes:\n' "$1" >&2
        od -An -tx1 -c "$2" >&2
        printf '  actual bytes:\n' >&2
        if [ -f "$3" ]; then od -An -tx1 -c "$3" >&2; else printf '    (no file)\n' >&2; fi
        exit 1
    fi
    say "ok: $1"
}

# wait_until SECONDS COMMAND...: polls every 0.1 s; false when time runs out
wait_until() {
    local limit=$(($1 * 10)) i=0
    shift
    until "$@"; do
        i=$((i + 1))
        [ "$i" -ge "$limit" ] && return 1
        sleep 0.1
    done
}

# choose_build: which Windows build the Wine runs of this process test, and
# why.  Sets BUILD (x86 or x64), BUILD_DIR, BUILD_REASON, WINE_LOADER, the
# registry view of the program's settings (REG_VIEW, and TAVRIN_REG_VIEW
# for the administrator's scripts) and WINELOADER.  The stock wine command
# is never used: it takes the 32-bit loader whenever its file exists, even
# where the kernel cannot run it.
choose_build() {
    local runs32=no
    bash "$TAVRIN_SOURCE_DIR/scripts/runs-32bit.sh" "${TAVRIN_WINE_WORK:-}" && runs32=yes
    case "${TAVRIN_WINE_ARCH:-}" in
    x64) BUILD=x64 BUILD_REASON="chosen with TAVRIN_WINE_ARCH=x64" ;;
    x86)
        [ "$runs32" = yes ] || fail "TAVRIN_WINE_ARCH=x86, but this kernel runs no 32-bit programs"
        BUILD=x86 BUILD_REASON="chosen with TAVRIN_WINE_ARCH=x86"
        ;;
    "")
        if [ "$runs32" = yes ]; then
            BUILD=x86 BUILD_REASON="this kernel runs 32-bit programs"
        else
            BUILD=x64 BUILD_REASON="this kernel runs no 32-bit programs"
        fi
        ;;
    *) fail "TAVRIN_WINE_ARCH is '$TAVRIN_WINE_ARCH'; it may be x86, x64 or unset" ;;
    esac
    if [ "$BUILD" = x86 ]; then
        BUILD_DIR=${TAVRIN_WIN32_DIR:?set TAVRIN_WIN32_DIR to the i686 Windows build folder}
        WINE_LOADER=$WINE_DIR/wine
        TAVRIN_REG_VIEW=32
    else
        BUILD_DIR=${TAVRIN_WIN64_DIR:?set TAVRIN_WIN64_DIR to the x86_64 Windows build folder}
        WINE_LOADER=$WINE_DIR/wine64
        TAVRIN_REG_VIEW=64
    fi
    REG_VIEW=/reg:$TAVRIN_REG_VIEW
    export WINELOADER=$WINE_LOADER TAVRIN_REG_VIEW
}

# The line every run prints first: what it runs, and why.
say_build() {
    say "build under test: $BUILD, TavrinSvc.exe from $BUILD_DIR, loader $WINE_LOADER, settings in the $TAVRIN_REG_VIEW-bit registry view ($BUILD_REASON)"
}

# Every Wine command of the harness runs through the chosen build's loader.
wine() { "$WINE_LOADER" "$@"; }

need_tools() {
    command -v wineserver >/dev/null || fail "wineserver is missing: run 'bash scripts/install-deps.sh wine' as root"
    [ -x "$WINE_LOADER" ] || fail "$WINE_LOADER is missing: run 'bash scripts/install-deps.sh wine' as root"
    "$WINE_LOADER" --version >/dev/null 2>&1 || fail "$WINE_LOADER does not run: $("$WINE_LOADER" --version 2>&1 | head -1)"
}

# The artefacts of the Windows build under test.
artefact() {
    local found
    found=$(find "$BUILD_DIR" -name "$1" -not -path '*/CMakeFiles/*' -print -quit 2>/dev/null)
    [ -n "$found" ] || fail "$1 not found under $BUILD_DIR: build the win32 and win64 presets first"
    printf '%s\n' "$found"
}

# Makes the base prefix of the build under test once; a lock keeps
# concurrent callers from racing.
base_prefix() {
    need_tools
    mkdir -p "$TAVRIN_WINE_WORK"
    local base="$TAVRIN_WINE_WORK/base-$BUILD"
    (
        flock 9
        if [ ! -f "$base/.tavrin-ready" ]; then
            rm -rf "$base"
            say "making the base Wine prefix $base (once)"
            WINEPREFIX="$base" WINEDEBUG=-all wine wineboot -i >"$base.log" 2>&1 ||
                { cat "$base.log" >&2; fail "wineboot -i failed"; }
            # Wait for the session to end, so that the registry is on disk.
            WINEPREFIX="$base" wineserver -w
            touch "$base/.tavrin-ready"
        fi
    ) 9>"$base.lock"
}

# new_prefix NAME: a fresh copy of the base prefix; sets PREFIX and LOG.
new_prefix() {
    base_prefix
    local base="$TAVRIN_WINE_WORK/base-$BUILD"
    PREFIX="$TAVRIN_WINE_WORK/$1"
    if [ -d "$PREFIX" ]; then
        WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null || true
        rm -rf "$PREFIX"
    fi
    cp -a --link "$base" "$PREFIX"
    # Only the system's DLL folders stay shared; whatever Wine may write
    # gets a file of its own.
    find "$PREFIX" -type f -links +1 \
        ! -path "$PREFIX/drive_c/windows/system32/*" \
        ! -path "$PREFIX/drive_c/windows/syswow64/*" \
        ! -path "$PREFIX/drive_c/windows/winsxs/*" -print0 |
        while IFS= read -r -d '' f; do
            cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f"
        done
    rm -f "$PREFIX/.tavrin-ready"
    export WINEPREFIX="$PREFIX"
    INSTALL="$PREFIX/drive_c/tavrin"
    LOG="$PREFIX/log"
    mkdir -p "$LOG"
    trap end_session EXIT
    trap 'end_session; exit 130' INT TERM
}

# Starts the prefix's session.  The wineserver is made to persist: by
# default it shuts the service manager down three seconds after the last
# ordinary program ends, and a service would die between two commands.  Two
# minutes cover any pause of a scenario and still end a session that an
# interrupted run left behind.  The service manager, and every service it
# starts, writes its standard error, and so the services' events, to
# session.err.
start_session() {
    wineserver -p120
    wine wineboot >"$LOG/session.out" 2>"$LOG/session.err"
}

# Ends every process of the prefix's session, whatever state it is in.
end_session() {
    [ -n "$PREFIX" ] || return 0
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    local pid
    for pid in $(prefix_pids '\.exe|wineserver'); do
        kill -9 "$pid" 2>/dev/null || true
    done
}

# prefix_pids PATTERN: Unix process ids of live processes of this prefix
# whose command line matches the extended regular expression PATTERN (Wine
# shows a program's Windows command line there).
prefix_pids() {
    local file pid
    for file in $(grep -laE -- "$1" /proc/[0-9]*/cmdline 2>/dev/null); do
        pid=${file#/proc/}
        pid=${pid%/cmdline}
        grep -qzxF "WINEPREFIX=$PREFIX" "/proc/$pid/environ" 2>/dev/null || continue
        grep -q '^State:[[:space:]]*Z' "/proc/$pid/status" 2>/dev/null && continue
        printf '%s\n' "$pid"
    done
}

server_pids() { prefix_pids 'tavrin_server\.exe'; }
server_count() { server_pids | wc -l; }

# The Windows command line of a Unix process of the prefix.
command_line() { tr '\0' ' ' <"/proc/$1/cmdline" | sed 's/ *$//'; }

# listening PORT: something listens on 127.0.0.1:PORT
listening() {
    local hex
    hex=$(printf '%04X' "$1")
    grep -q "^ *[0-9]*: 0100007F:$hex 00000000:0000 0A" /proc/net/tcp
}

# port_taken PORT: any TCP socket of the machine, in any state, has PORT as
# its local port.  A port held only by connections in TIME_WAIT counts too:
# under Wine the stand-in server was seen failing to listen on such a port.
port_taken() {
    local hex
    hex=$(printf '%04X' "$1")
    grep -q "^ *[0-9]*: [0-9A-F]*:$hex " /proc/net/tcp /proc/net/tcp6 2>/dev/null
}

# pick_port SLOT: a free port of its own for each scenario slot (0 to 39),
# drawn at random within the slot's 300 ports, so that neither two
# scenarios nor two runs side by side are likely to meet.  All slots lie
# below 32768, where Linux draws the ports of outgoing connections from
# (ip_local_port_range), so that no client socket, live or in TIME_WAIT,
# sits on a port a server is to listen on.
pick_port() {
    local port tries=0
    while :; do
        port=$((20000 + $1 * 300 + RANDOM % 300))
        port_taken "$port" || break
        tries=$((tries + 1))
        [ "$tries" -lt 50 ] || fail "no free port in slot $1"
    done
    printf '%s\n' "$port"
}

# install_files JAVADIR_UNIX: TavrinSvc.exe, VYX32.dll, the helpers and the
# administrator's scripts into C:\tavrin, the stand-in server as the "Java
# launcher" into the given folder (relative to drive C).
install_files() {
    local javadir="$PREFIX/drive_c/$1" helper
    mkdir -p "$INSTALL" "$javadir"
    cp "$(artefact TavrinSvc.exe)" "$(artefact VYX32.dll)" "$INSTALL/"
    for helper in run_exit svc_control planted profile_probe event_description; do
        cp "$(artefact $helper.exe)" "$INSTALL/"
    done
    cp "$TAVRIN_SOURCE_DIR/dist/install-service.cmd" "$TAVRIN_SOURCE_DIR/dist/uninstall-service.cmd" "$INSTALL/"
    cp "$(artefact tavrin_server.exe)" "$javadir/"
}

# write_config PORT_TEXT: config.ini with the port as given (CR LF lines)
write_config() {
    printf '[TAVRIN_ADMINISTRATION]\r\nTavrinAdminPort=%s\r\n' "$1" >"$INSTALL/config.ini"
}

# install_service INSTALLDIR JAVADIR JAVANAME JAVAOPTIONS: through the
# administrator's script, as on Windows.
install_service() {
    wine cmd /c 'C:\tavrin\install-service.cmd' "$@" >"$LOG/install.out" 2>&1 ||
        { cat "$LOG/install.out" >&2; fail "install-service.cmd failed"; }
}

# set_setting NAME VALUE: one setting straight into the view the program
# under test reads.
set_setting() {
    wine reg add "$SETTINGS_KEY" /v "$1" /t REG_SZ /d "$2" /f "$REG_VIEW" >/dev/null 2>&1 ||
        fail "reg add $1 failed"
}

win() { wine "$@" | tr -d '\r'; }

# sc_field FIELD: one field of 'sc query', e.g. STATE -> "4  RUNNING"
sc_field() {
    win sc query "$SERVICE" 2>/dev/null | sed -n "s/^ *$1 *: *//p"
}

# net_stop FILE: 'net stop' of the service, its output in FILE; fails
# unless the service stopped.  Wine runs a control handler on a thread of the
# dispatcher, not, as Windows does, on the thread that called
# StartServiceCtrlDispatcher, and writes the handler's answer to the manager
# only after the handler returns.  A handler that reports STOPPED lets the
# dispatcher call return, so the service's process may end before that
# answer is written: net then says "Broken pipe." of a service that stopped.
# That answer, and only that one, passes when the service is STOPPED.
net_stop() {
    if win net stop "$SERVICE" >"$1" 2>&1; then
        grep -q 'stopped successfully' "$1" || fail "net stop: $(cat "$1")"
        return 0
    fi
    if grep -qx 'Broken pipe\.' "$1" && [ "$(sc_field STATE)" = "1  STOPPED" ]; then
        say "note: net stop lost the handler's answer to the process's end (Broken pipe.); the service is STOPPED"
        return 0
    fi
    fail "net stop: $(cat "$1")"
}

# status: the seven fields of the service's status record
status() { win 'C:\tavrin\svc_control.exe' query "$SERVICE"; }

# wait_state STATE SECONDS: prints the record once the state is reached
wait_state() { win 'C:\tavrin\svc_control.exe' wait "$SERVICE" "$1" "$(($2 * 1000))"; }

# run_full NAME COMMAND...: runs a Windows program through run_exit.exe;
# its output goes to $LOG/NAME.out and .err (events included), and the full
# exit code to $LOG/NAME.code.  Files, not pipes: a server the program
# starts inherits them and outlives it.
run_full() {
    local name=$1
    shift
    wine 'C:\tavrin\run_exit.exe' "$@" >"$LOG/$name.out" 2>"$LOG/$name.err" ||
        { cat "$LOG/$name.err" >&2; fail "run_exit.exe could not run $*"; }
    tr -d '\r' <"$LOG/$name.out" | sed -n 's/^exit code: //p' >"$LOG/$name.code"
}

# events FILE: the events in FILE, one a line, as "status text | message"
events() {
    sed -n 's/^.*err:eventlog:ReportEventW L"\(.*\)"$/\1/p' "$1" | paste -d'|' - - | sed 's/|/ | /'
}

# messages FILE: only the message of each event
messages() { events "$1" | sed 's/^.* | //'; }

# wait_for_server: the stand-in server writes server.pid once it listens
wait_for_server() {
    wait_until "${1:-20}" test -f "$INSTALL/server.pid" ||
        fail "no server came up (no server.pid); $(server_count) server process(es);" \
            "what the session printed of it: $(grep -h 'tavrin_server' "$LOG"/*.err 2>/dev/null | tail -3)"
}

# The bytes of a stop request with the given password as the server records
# it: four bytes of length, big-endian, then the request.
expected_request() {
    local request len
    request=$(printf '0,"77"1040,"%s"99,""' "$1")
    len=${#request}
    printf "\\x$(printf %02x $((len >> 24 & 255)))\\x$(printf %02x $((len >> 16 & 255)))"
    printf "\\x$(printf %02x $((len >> 8 & 255)))\\x$(printf %02x $((len & 255)))"
    printf '%s' "$request"
}

choose_build
