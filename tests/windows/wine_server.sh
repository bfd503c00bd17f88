# Sourced by the Wine test scripts. start_wine_server LAUNCHER...: one
# wineserver for the prefix in WINEPREFIX for the whole script (each launch
# then takes a fraction of a second), stopped when the script exits.
#
# The first launch sets up the prefix and starts Wine's own background
# services, which inherit that launch's standard streams and keep them open:
# it gets none of ours, or a test reading the tool's output would wait forever.
start_wine_server() {
    mkdir -p "$WINEPREFIX"
    /usr/lib/wine/wineserver -p || true  # one may be running already: it serves as well
    trap '/usr/lib/wine/wineserver -k || true' EXIT
    "$@" cmd /c exit < /dev/null > /dev/null 2>&1 || true
}
