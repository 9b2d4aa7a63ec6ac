#!/usr/bin/env bash
# End-to-end scenarios: the real TavrinSvc.exe with the stand-in VYX32.dll
# and server, in a Wine prefix of its own for each scenario, on the build
# that lib.sh chooses (the first line each prints names it).
#
#   e2e.sh base_prefix | <scenario>
#
# Each scenario checks what 'sc query' and the status record say, the
# server's process and the request it recorded, the events, and exit codes,
# and ends every process it started (wineserver -k) however it ends.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

: "${TAVRIN_WINE_WORK:?set TAVRIN_WINE_WORK to a work folder}"

PASSWORD=secret
RUNNING_RECORD="type=16 state=4 accepted=1 win32=0 specific=0 checkpoint=0 waithint=0"
STOPPED_RECORD="type=16 state=1 accepted=1 win32=0 specific=0 checkpoint=0 waithint=0"

# setup NAME SLOT [JAVADIR]: a prefix with the program installed and
# registered through the administrator's script, config.ini on a port of
# the scenario's own, pw.fil, and a running session.  JAVADIR is relative
# to drive C.
setup() {
    local javadir=${3:-tavrin/java}
    new_prefix "$1"
    install_files "$javadir"
    PORT=$(pick_port "$2")
    write_config "$PORT"
    printf '%s' "$PASSWORD" >"$INSTALL/pw.fil"
    start_session
    install_service 'C:\tavrin' "C:\\${javadir//\//\\}" tavrin_server.exe -Xmx64m
    say "prefix $PREFIX, port $PORT"
}

check_no_events() { check "$1: no event" "" "$(events "$2")"; }

# The server came up where config.ini says, as one process.
check_server_up() {
    wait_for_server
    check "server listens on the configured port" "$PORT" "$(cut -d' ' -f2 <"$INSTALL/server.pid" | tr -d '\r\n')"
    listening "$PORT" || fail "nothing listens on 127.0.0.1:$PORT"
    check "one server process" 1 "$(server_count)"
}

check_server_gone() {
    wait_until 10 test "$(server_count)" -eq 0 || fail "the server is still running"
    say "ok: the server exited"
}

# check_requests COUNT PASSWORD: the server recorded exactly COUNT stop
# requests with that password.
check_requests() {
    local i
    for ((i = 0; i < $1; i++)); do expected_request "$2"; done >"$LOG/expected.bin"
    check_file "$1 stop request(s), byte for byte" "$LOG/expected.bin" "$INSTALL/requests.bin"
}

# service_exit_code [PROCESS ID]: the exit code of the service's process
# (259 while it runs)
service_exit_code() {
    win 'C:\tavrin\svc_control.exe' process "$SERVICE" "$@" | sed -n 's/^process [0-9]* exit code //p'
}

scenario_service_normal() {
    setup service_normal 0
    win sc start "$SERVICE" >"$LOG/start.out"
    check "record after start" "$RUNNING_RECORD" "$(wait_state 4 10)"
    check "sc query state after start" "4  RUNNING" "$(sc_field STATE)"
    check_server_up
    # Our own handle on the service's process, taken while it runs, is what
    # lets its exit code be read once the stop has ended it.
    wine 'C:\tavrin\svc_control.exe' watch "$SERVICE" 60000 >"$LOG/watch.out" 2>&1 &
    local watcher=$!
    wait_until 10 grep -q '^watching' "$LOG/watch.out" || fail "svc_control watch: $(cat "$LOG/watch.out")"

    check "interrogate is answered" "control 4: ok" "$(win 'C:\tavrin\svc_control.exe' control "$SERVICE" 4 | head -1)"
    check "record after interrogate" "$RUNNING_RECORD" "$(status)"

    net_stop "$LOG/stop.out"
    check "sc query state after stop" "1  STOPPED" "$(sc_field STATE)"
    check "sc query exit code after stop" "0  (0x0)" "$(sc_field WIN32_EXIT_CODE)"
    check "record after stop" "$STOPPED_RECORD" "$(status)"
    check_server_gone
    check_requests 1 "$PASSWORD"
    wait "$watcher" || fail "svc_control watch: $(cat "$LOG/watch.out")"
    check "service process exit code: the dispatcher's result" 1 \
        "$(tr -d '\r' <"$LOG/watch.out" | sed -n 's/^process [0-9]* exit code //p')"
    check_no_events "service life" "$LOG/session.err"
}

scenario_settings_missing() {
    setup settings_missing 1
    wine reg delete "$SETTINGS_KEY" /f "$REG_VIEW" >/dev/null 2>&1
    win sc start "$SERVICE" >"$LOG/start.out" || true
    wait_until 10 test "$(service_exit_code)" != 259 || fail "the service process did not end"
    check "service process exit code: key missing" 2 "$(service_exit_code)"
    check "the start-pending report stays the last" \
        "type=16 state=2 accepted=0 win32=0 specific=0 checkpoint=1 waithint=3000" "$(status)"
    check "sc query state" "2  START_PENDING" "$(sc_field STATE)"
    check "no server" 0 "$(server_count)"
    [ ! -e "$INSTALL/server.pid" ] || fail "a server was started"
    check_no_events "failed start" "$LOG/session.err"
}

scenario_started_by_hand() {
    setup started_by_hand 2
    run_full by_hand 'C:\tavrin\TavrinSvc.exe'
    check "exit code started by hand" 1063 "$(cat "$LOG/by_hand.code")"
    check "events" "LMRAPISVC: status 1063 | StartServiceCtrlDispatcher() failed." "$(events "$LOG/by_hand.err")"
    check "no server" 0 "$(server_count)"
    [ ! -e "$INSTALL/server.pid" ] || fail "a server was started"
}

# Only failed open attempts while the server comes up, each with its code.
check_open_retries_only() {
    local open_pairs
    open_pairs=$(messages "$1" | paste -d'|' - - | sort | uniq -c | sed 's/^ *//')
    if [ -n "$open_pairs" ]; then
        case "$open_pairs" in
        [1-9]" OpenVYX() failed.|VYX_SYSTEM_ERROR = 10061") say "ok: open retries while the server came up: ${open_pairs%% *}" ;;
        *) fail "unexpected events: $(events "$1")" ;;
        esac
    fi
}

scenario_one_shot() {
    setup one_shot 3
    # A file the argument would match as a wildcard: "?NT" must reach the
    # program as it is.
    touch "$INSTALL/XNT"
    (cd "$INSTALL" && run_full one_shot 'C:\tavrin\TavrinSvc.exe' '?NT')
    check "one-shot exit code" 0 "$(cat "$LOG/one_shot.code")"
    check_server_gone
    check_requests 1 "$PASSWORD"
    check_open_retries_only "$LOG/one_shot.err"
}

scenario_one_shot_no_password_file() {
    setup one_shot_no_password_file 4
    rm "$INSTALL/pw.fil"
    (cd "$INSTALL" && run_full no_pw 'C:\tavrin\TavrinSvc.exe' '?NT')
    check "one-shot exit code without pw.fil" 0 "$(cat "$LOG/no_pw.code")"
    check "events" "fopen(...pw.fil...) failed." "$(messages "$LOG/no_pw.err")"
    check_server_up
    [ ! -e "$INSTALL/requests.bin" ] || fail "the server was sent a request"
    end_session
    check "no server after the scenario's end" 0 "$(server_count)"
}

scenario_direct_launch() {
    setup direct_launch 5
    # Wine reports platform identifier 1 to TavrinSvc.exe alone.
    wine reg add 'HKCU\Software\Wine\AppDefaults\TavrinSvc.exe' /v Version /d win98 /f >/dev/null 2>&1
    # "?NT" means nothing on that platform: no stop follows the launch.
    (cd "$INSTALL" && run_full direct 'C:\tavrin\TavrinSvc.exe' '?NT')
    local code
    code=$(cat "$LOG/direct.code")
    [ -n "$code" ] && [ "$code" != 0 ] || fail "direct launch exit code: expected nonzero, got '$code'"
    say "ok: direct launch exit code $code"
    check_server_up
    [ ! -e "$INSTALL/requests.bin" ] || fail "the server was sent a request"
    check_no_events "direct launch" "$LOG/direct.err"

    kill $(server_pids)
    wait_until 10 test "$(server_count)" -eq 0 || fail "the server did not end"
    rm -f "$INSTALL/server.pid"
    set_setting JavaName missing.exe
    (cd "$INSTALL" && run_full direct_missing 'C:\tavrin\TavrinSvc.exe')
    check "direct launch exit code, launcher missing" 0 "$(cat "$LOG/direct_missing.code")"
    check "no server" 0 "$(server_count)"
    check_no_events "direct launch, launcher missing" "$LOG/direct_missing.err"
}

scenario_stop_unreachable() {
    setup stop_unreachable 6
    win sc start "$SERVICE" >"$LOG/start.out"
    check "record after start" "$RUNNING_RECORD" "$(wait_state 4 10)"
    check_server_up
    # The stop reads config.ini afresh: send it where nothing listens.
    write_config "$(pick_port 7)"

    local started=$SECONDS
    win 'C:\tavrin\svc_control.exe' control "$SERVICE" 1 >"$LOG/control.out" 2>&1 &
    local control=$!
    check "record while stopping" "type=16 state=3 accepted=1 win32=0 specific=0 checkpoint=1 waithint=11000" \
        "$(wait_state 3 10)"
    check "record after the ten attempts" "$STOPPED_RECORD" "$(wait_state 1 40)"
    [ $((SECONDS - started)) -ge 9 ] || fail "stopped after $((SECONDS - started)) s, before ten paused attempts"
    wait "$control" || true
    check "sc query state" "1  STOPPED" "$(sc_field STATE)"
    check "sc query exit code" "0  (0x0)" "$(sc_field WIN32_EXIT_CODE)"

    local expected i
    expected=$(for i in 1 2 3 4 5 6 7 8 9 10; do printf 'OpenVYX() failed.\nVYX_SYSTEM_ERROR = 10061\n'; done)
    check "twenty events, alternating" "$expected" "$(messages "$LOG/session.err")"
    [ ! -e "$INSTALL/requests.bin" ] || fail "the server was sent a request"
    check "the server was never asked to stop" 1 "$(server_count)"
}

scenario_java_dir_with_blanks() {
    setup java_dir_with_blanks 8 'Program Files/Tavrin Java'
    cp "$INSTALL/planted.exe" "$PREFIX/drive_c/Program.exe"
    win sc start "$SERVICE" >"$LOG/start.out"
    check "record after start" "$RUNNING_RECORD" "$(wait_state 4 10)"
    check_server_up
    local pid
    pid=$(server_pids)
    case "$(command_line "$pid")" in
    *'C:\Program Files\Tavrin Java\tavrin_server.exe'*) say "ok: server started as $(command_line "$pid")" ;;
    *) fail "server command line: $(command_line "$pid")" ;;
    esac
    net_stop "$LOG/stop.out"
    check "record after stop" "$STOPPED_RECORD" "$(status)"
    check_server_gone
    check_requests 1 "$PASSWORD"
    [ ! -e "$PREFIX/drive_c/planted.txt" ] || fail "C:\\Program.exe ran: $(cat "$PREFIX/drive_c/planted.txt")"
    say "ok: C:\\Program.exe never ran"
    check_no_events "service life" "$LOG/session.err"
}

# one_shot_with_config NAME CONFIG_LINE PASSWORD: a one-shot run against the
# given config.ini line; the server must get the request and exit.
one_shot_with_config() {
    rm -f "$INSTALL/requests.bin" "$INSTALL/server.pid"
    printf '[TAVRIN_ADMINISTRATION]\r\n%s\r\n' "$2" >"$INSTALL/config.ini"
    (cd "$INSTALL" && run_full "$1" 'C:\tavrin\TavrinSvc.exe' '?NT')
    check "$1: exit code" 0 "$(cat "$LOG/$1.code")"
    check_server_gone
    check_requests 1 "$3"
    check_open_retries_only "$LOG/$1.err"
}

scenario_profile_and_password() {
    setup profile_and_password 9
    # CR LF reads as LF; the double quote goes into the request unchanged.
    printf 'se"cret\r\n' >"$INSTALL/pw.fil"
    local password=$'se"cret\n' port
    port=$(pick_port 10)
    one_shot_with_config padded_port "  TavrinAdminPort   =   $port   " "$password"
    port=$(pick_port 11)
    one_shot_with_config quoted_port "TavrinAdminPort=\"$port\"" "$password"

    # The fake the unit tests use answers the case table as Wine does.
    local table probe_dir="$PREFIX/drive_c/probe"
    mkdir -p "$probe_dir" "$LOG/host_probe"
    table="Z:$(printf '%s' "$TAVRIN_SOURCE_DIR/testbed/wine/profile_cases.txt" | tr / '\\')"
    win 'C:\tavrin\profile_probe.exe' "$table" 'C:\probe' >"$LOG/profile_wine.txt"
    "${TAVRIN_PROFILE_PROBE_HOST:?set TAVRIN_PROFILE_PROBE_HOST to the host profile probe}" \
        "$TAVRIN_SOURCE_DIR/testbed/wine/profile_cases.txt" "$LOG/host_probe" >"$LOG/profile_host.txt"
    [ -s "$LOG/profile_wine.txt" ] || fail "the profile probe printed nothing under Wine"
    if ! diff -u --label wine "$LOG/profile_wine.txt" --label fake "$LOG/profile_host.txt" >"$LOG/profile.diff"; then
        cat "$LOG/profile.diff" >&2
        fail "the fake's GetPrivateProfileStringA differs from Wine's"
    fi
    say "ok: $(wc -l <"$LOG/profile_wine.txt") profile cases answered alike by Wine and the fake"
}

scenario_start_stop_cycles() {
    setup start_stop_cycles 12
    local cycle
    for cycle in $(seq 1 20); do
        rm -f "$INSTALL/server.pid"
        win sc start "$SERVICE" >"$LOG/start.out" 2>&1 || fail "cycle $cycle: sc start: $(cat "$LOG/start.out")"
        wait_state 4 10 >/dev/null || fail "cycle $cycle: not running"
        wait_for_server
        check "cycle $cycle: one server" 1 "$(server_count)" >/dev/null
        if [ "$cycle" = 1 ]; then
            # A control code the service does not know: one event, the
            # record unchanged.
            win 'C:\tavrin\svc_control.exe' control "$SERVICE" 200 >"$LOG/control200.out"
            check "record after control 200" "$RUNNING_RECORD" "$(status)"
        fi
        net_stop "$LOG/stop.out"
        wait_state 1 15 >/dev/null || fail "cycle $cycle: not stopped"
        wait_until 10 test "$(server_count)" -eq 0 || fail "cycle $cycle: the server is still running"
        say "ok: cycle $cycle"
    done
    check_requests 20 "$PASSWORD"
    check "no server left" 0 "$(server_count)"
    check "events" "Unrecognized service opcode." "$(messages "$LOG/session.err")"

    wine cmd /c 'C:\tavrin\uninstall-service.cmd' >"$LOG/uninstall.out" 2>&1 ||
        fail "uninstall-service.cmd: $(cat "$LOG/uninstall.out")"
    if wine sc query "$SERVICE" >/dev/null 2>&1; then fail "the service is still registered"; fi
    if wine reg query "$SETTINGS_KEY" "$REG_VIEW" >/dev/null 2>&1; then fail "the settings are still there"; fi
    say "ok: uninstall-service.cmd removed the service and its settings"
}

# Event Viewer's description of a real event: the install registered the
# source with TavrinSvc.exe as its message file, the service writes an
# event, and its two strings formatted from the message table give the
# message, then the status text.  The uninstall removes the source.
scenario_event_description() {
    setup event_description 13
    local key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\LMRAPISVC'
    win sc start "$SERVICE" >"$LOG/start.out"
    check "record after start" "$RUNNING_RECORD" "$(wait_state 4 10)"
    check_server_up
    win 'C:\tavrin\svc_control.exe' control "$SERVICE" 200 >"$LOG/control200.out"
    wait_until 10 grep -q 'Unrecognized service opcode' "$LOG/session.err" || fail "no event for control 200"
    local event status message
    event=$(events "$LOG/session.err")
    check "one event" 1 "$(printf '%s\n' "$event" | wc -l)"
    status=${event%% | *}
    message=${event#* | }
    check "the event's message" "Unrecognized service opcode." "$message"

    win 'C:\tavrin\event_description.exe' "$SERVICE" 0 "$status" "$message" >"$LOG/description.out" ||
        fail "event_description: $(cat "$LOG/description.out")"
    check "message file" 'EventMessageFile: C:\tavrin\TavrinSvc.exe (type 2)' "$(sed -n 1p "$LOG/description.out")"
    check "event types" "TypesSupported: 7" "$(sed -n 2p "$LOG/description.out")"
    check "description: the message, then the status text" "$(printf 'description:\n%s\n%s' "$message" "$status")" \
        "$(sed -n '3,$p' "$LOG/description.out")"
    say "ok: Event Viewer shows: $(sed -n '4,$p' "$LOG/description.out" | paste -sd'|' | sed 's/|/ \/ /')"

    net_stop "$LOG/stop.out"
    check_server_gone
    wine cmd /c 'C:\tavrin\uninstall-service.cmd' >"$LOG/uninstall.out" 2>&1 ||
        fail "uninstall-service.cmd: $(cat "$LOG/uninstall.out")"
    grep -q '^Event source LMRAPISVC removed' "$LOG/uninstall.out" || fail "uninstall: $(cat "$LOG/uninstall.out")"
    if wine reg query "$key" >/dev/null 2>&1; then fail "the event source is still registered"; fi
    if win 'C:\tavrin\event_description.exe' "$SERVICE" 0 a b >/dev/null 2>&1; then
        fail "event_description still found the source"
    fi
    say "ok: uninstall-service.cmd removed the event source"

    # A registry view the scripts do not know is refused before anything is
    # written.
    if TAVRIN_REG_VIEW=16 wine cmd /c 'C:\tavrin\install-service.cmd' 'C:\tavrin' 'C:\tavrin\java' \
        tavrin_server.exe '' >"$LOG/bad_view.out" 2>&1; then
        fail "install-service.cmd took TAVRIN_REG_VIEW=16"
    fi
    grep -q 'TAVRIN_REG_VIEW is "16"' "$LOG/bad_view.out" || fail "install-service.cmd: $(cat "$LOG/bad_view.out")"
    if wine sc query "$SERVICE" >/dev/null 2>&1; then fail "the service was registered"; fi
    say "ok: install-service.cmd refuses TAVRIN_REG_VIEW=16"
}

main() {
    [ $# -eq 1 ] || fail "usage: e2e.sh base_prefix | <scenario>"
    say_build
    if [ "$1" = base_prefix ]; then
        base_prefix
        say "ok: base prefix ready"
        return
    fi
    declare -F "scenario_$1" >/dev/null || fail "no scenario '$1'"
    local started=$SECONDS
    "scenario_$1"
    say "PASS: $1 ($((SECONDS - started)) s)"
    end_session
    rm -rf "$PREFIX"
    PREFIX=
}

main "$@"
