# Sourced by the Wine test scripts. start_wine_server LAUNCHER...: one
# wineserver for the prefix in WINEPREFIX for the whole script (each launch
# then takes a fraction of a second), stopped when the script exits. The
# server is the system's unless WINESERVER names another (Wine reads it too).
#
# The first launch sets up the prefix and starts Wine's own background
# services, which inherit that launch's standard streams and keep them open:
# it gets none of ours, or a test reading the tool's output would wait forever.
start_wine_server() {
    local server=${WINESERVER:-/usr/lib/wine/wineserver}
    mkdir -p "$WINEPREFIX"
    # Each bounded, and killed if the end asked for is not taken: under
    # emulation a start that goes wrong may never end.
    timeout -k 10 60 "$server" -p || true  # one may be running already: it serves as well
    trap "timeout -k 10 60 '$server' -k || true" EXIT
    timeout -k 30 600 "$@" cmd /c exit < /dev/null > /dev/null 2>&1 || true
}
