#!/usr/bin/env bash
# The program's real job under Wine, for a person to watch: install and
# register the service with the administrator's script, start it (the
# stand-in server comes up), stop it (the server gets the stop request and
# exits), show the status and the events, and clean up.  It runs the build
# lib.sh chooses (the first line says which, and why).
#
#   demo.sh <i686 build folder> <x86_64 build folder> <work folder>
set -euo pipefail
TAVRIN_WIN32_DIR=$(cd "$1" && pwd)
TAVRIN_WIN64_DIR=$(cd "$2" && pwd)
mkdir -p "$3"
TAVRIN_WINE_WORK=$(cd "$3" && pwd)
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
say_build

step=0
title() {
    step=$((step + 1))
    printf '\n=== %d. %s\n' "$step" "$*"
}
# show COMMAND...: prints the command as typed at a Windows prompt, then
# what it printed, indented
show() {
    printf '  C:\\tavrin> %s\n' "$*"
    win "$@" 2>&1 | sed -e '/^$/d' -e 's/^/    /'
}
indent() { sed -e '/^$/d' -e 's/^/    /'; }

PASSWORD='demo-password'

title "A fresh Wine prefix"
new_prefix demo
say "  $PREFIX (a copy of the base prefix $TAVRIN_WINE_WORK/base-$BUILD)"
PORT=$(pick_port 30)

title "Files in place"
install_files tavrin/java
write_config "$PORT"
printf '%s' "$PASSWORD" >"$INSTALL/pw.fil"
say "  C:\\tavrin\\TavrinSvc.exe, VYX32.dll          the service and the transport library"
say "  C:\\tavrin\\java\\tavrin_server.exe            the stand-in server, as the \"Java launcher\""
say "  C:\\tavrin\\config.ini                        $(tr -d '\r' <"$INSTALL/config.ini" | paste -sd' ')"
say "  C:\\tavrin\\pw.fil                            the administration password"

title "Register the service with the administrator's script"
start_session
show cmd /c 'C:\tavrin\install-service.cmd' 'C:\tavrin' 'C:\tavrin\java' tavrin_server.exe -Xmx64m
show reg query "$SETTINGS_KEY" "$REG_VIEW"

title "Start it"
show net start "$SERVICE"
wait_state 4 10 >/dev/null || fail "the service did not reach RUNNING"
show sc query "$SERVICE"
wait_for_server
pid=$(server_pids)
[ -n "$pid" ] || fail "no server process"
say "  The server process (Unix pid $pid, Windows pid $(cut -d' ' -f1 <"$INSTALL/server.pid")):"
say "    $(command_line "$pid")"
listening "$PORT" || fail "nothing listens on port $PORT"
say "  It listens on 127.0.0.1:$PORT, the port of config.ini."

title "Stop it"
say "  C:\\tavrin> net stop $SERVICE"
note=$(net_stop "$LOG/stop.out")
tr -d '\r' <"$LOG/stop.out" | indent
[ -z "$note" ] || say "  $note"
wait_until 10 test "$(server_count)" -eq 0 || fail "the server is still running"
say "  The server received one request and exited. The request, as it came"
say "  (four bytes of length, then the text):"
od -An -c "$INSTALL/requests.bin" | indent
expected_request "$PASSWORD" >"$LOG/expected.bin"
cmp -s "$LOG/expected.bin" "$INSTALL/requests.bin" || fail "the server did not receive the expected request"
say "  Server processes left: $(server_count)"

title "Final status"
show sc query "$SERVICE"

title "Events written by the service"
if [ -s "$LOG/session.err" ] && [ -n "$(events "$LOG/session.err")" ]; then
    events "$LOG/session.err" | indent
else
    say "  none: every step succeeded (a failure would be listed here as"
    say "  \"LMRAPISVC: status <error> | <message>\")"
fi

title "Clean up"
show cmd /c 'C:\tavrin\uninstall-service.cmd'
end_session
rm -rf "$PREFIX"
PREFIX=
say "  The Wine session is ended and the prefix removed."
printf '\nDemo complete.\n'
