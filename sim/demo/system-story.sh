#!/bin/sh
# The demo's second half, in the full-system guest (tools/vm/run --system):
# the installed programs under systemd, driven by the logged-in user with
# ferry, against the simulated runtime that rididirevov.service runs.
set -u
user=${FERRY_VM_USER:?run this with tools/vm/run --system}
uid=$(id -u "$user")
home=$(getent passwd "$user" | cut -d: -f6)
entry=/usr/share/applications/ferryd_launcher_com_example_demo-com_example_demo_Main.desktop

step() { printf '\n== %s\n' "$*"; }
show() { printf '$ %s\n' "$*"; "$@"; }
as_user() {
    printf '%s$ %s\n' "$user" "$*"
    runuser -u "$user" -- env DBUS_SESSION_BUS_ADDRESS="unix:path=/run/user/$uid/bus" \
        XDG_RUNTIME_DIR="/run/user/$uid" HOME="$home" "$@"
}
wait_for() {   # seconds, then a test
    n=$(( $1 * 10 )); shift
    while [ $n -gt 0 ]; do "$@" && return 0; sleep 0.1; n=$((n - 1)); done
    echo "(gave up waiting)"; return 1
}
# systemctl status, first lines only: [--user] UNIT...
status() {
    if [ "$1" = --user ]; then
        shift
        set -- --user --machine="$user@.host" "$@"
    fi
    printf '$ systemctl status %s\n' "$*"
    systemctl --no-pager --lines=0 status "$@" 2>&1 | grep -E '^[^ ]|Loaded:|Active:|Main PID:'
}
user_units="ferryd-bridge.service ferryd-bridge-user.service novumaudioservice.service"

step "The user $user is logged in on seat0; the session runs ferry's user units"
show loginctl list-sessions --no-pager --no-legend
status --user $user_units pulseaudio.service

step "Nothing has asked for ferryd or the runtime yet"
status ferryd.service rididirevov.service

step "ferry status: the call activates ferryd on the system bus"
as_user ferry status
status ferryd.service

step "ferry install: ferryd starts rididirevov.service, the app appears in the launcher"
cat >"$home/com.example.demo-1.apk" <<'EOF'
{"package": "com.example.demo", "version": "1.0",
 "activities": [{"class": "com.example.demo.Main", "label": "Demo App"}]}
EOF
chown "$user" "$home/com.example.demo-1.apk"
as_user ferry install "$home/com.example.demo-1.apk"
wait_for 60 test -e "$entry"
status rididirevov.service
as_user ferry apps
show sed -n '1,/^$/p' "$entry"

step "ferry launch and ferry size"
as_user ferry launch com.example.demo
as_user ferry size com.example.demo

step "The runtime restarts: every program reconnects"
show systemctl restart rididirevov.service
sleep 3
as_user ferry status
status --user $user_units

step "ferryd is killed: the next call activates it again"
show systemctl kill ferryd.service
wait_for 20 sh -c '[ "$(systemctl show -P ActiveState ferryd.service)" = inactive ]'
as_user ferry status
status ferryd.service

step "ferry remove"
as_user ferry remove com.example.demo
wait_for 60 test ! -e "$entry"
as_user ferry apps
