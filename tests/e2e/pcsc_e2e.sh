#!/usr/bin/env bash
# Runs the PC/SC end-to-end tests (the program given, a GoogleTest executable, with the rest of
# the arguments) with a PC/SC service: the pcscd already running on this machine, or one started
# here in the foreground and stopped, by its process id, whatever happens. Exits 77 (skipped),
# with the reason, where no PC/SC service with the vpcd driver can run.
set -u

tests=$1
shift

skip() {
    echo "SKIPPED: $*"
    exit 77
}

# pcscd runs once per machine and its two vpcd readers are shared by every build folder: one
# run at a time.
# The lock file is opened for reading (flock needs no more), so that any user can take it.
lock=/tmp/zendor-pcsc-e2e.lock
(umask 000 && : >>"$lock") 2>/dev/null
if [ -r "$lock" ]; then
    exec 9<"$lock"
    flock -w 600 9 || skip "another PC/SC end-to-end run kept the lock for 10 minutes"
fi

started=""
tests_pid=""
log=$(mktemp "${TMPDIR:-/tmp}/zendor-pcscd-XXXXXX.log")
# The tests write the process id of every zendor-vcard they start here, so that none outlives
# them even when they are killed.
export ZENDOR_E2E_PIDS
ZENDOR_E2E_PIDS=$(mktemp "${TMPDIR:-/tmp}/zendor-e2e-pids-XXXXXX")
stop_all() {
    if [ -n "$tests_pid" ]; then
        kill "$tests_pid" 2>/dev/null
        wait "$tests_pid" 2>/dev/null
    fi
    local pid
    while read -r pid; do
        if [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = zendor-vcard ]; then
            kill "$pid" 2>/dev/null
        fi
    done <"$ZENDOR_E2E_PIDS"
    if [ -n "$started" ]; then
        kill "$started" 2>/dev/null
        wait "$started" 2>/dev/null
    fi
    rm -f "$log" "$ZENDOR_E2E_PIDS"
}
trap stop_all EXIT
trap 'exit 143' INT TERM

pcscd_runs() {
    local pid
    pid=$(cat /run/pcscd/pcscd.pid 2>/dev/null) && [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null
}

if pcscd_runs; then
    echo "Using the pcscd already running (process $(cat /run/pcscd/pcscd.pid))"
else
    pcscd=$(command -v pcscd || echo /usr/sbin/pcscd)
    [ -x "$pcscd" ] || skip "pcscd is not installed (scripts/install-deps.sh test)"
    [ -e /usr/lib/pcsc/drivers/serial/libifdvpcd.so ] ||
        skip "the vpcd driver is not installed (package vsmartcard-vpcd)"
    mkdir -p /run/pcscd 2>/dev/null && [ -w /run/pcscd ] ||
        skip "pcscd needs a writable /run/pcscd (run as root)"
    "$pcscd" -f >"$log" 2>&1 &
    started=$!
    for _ in $(seq 50); do
        [ -S /run/pcscd/pcscd.comm ] && break
        kill -0 "$started" 2>/dev/null || break
        sleep 0.1
    done
    if ! kill -0 "$started" 2>/dev/null; then
        started=""
        skip "pcscd did not start: $(tail -n 3 "$log" | tr '\n' ' ')"
    fi
    echo "Started pcscd (process $started)"
fi

# In the background, so that a signal to this script is handled at once (bash runs traps only
# between commands) and stops the tests as well.
"$tests" "$@" &
tests_pid=$!
wait "$tests_pid"
status=$?
tests_pid=""
exit "$status"
