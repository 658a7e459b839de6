# Sourced by the window benchmarks: a private Xvfb on a display of its own and a
# temp folder, both gone when the script exits (with the program in $app, if one
# is still running). Sets tmp, display and exports DISPLAY, TMPDIR, XDG_RUNTIME_DIR.
tmp=$(mktemp -d)
display=:$((${PRIVATEX_BASE:-300} + RANDOM % 100))
Xvfb "$display" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=
cleanup() { [[ -n $app ]] && kill "$app" 2>/dev/null; kill $xvfb 2>/dev/null; rm -rf "$tmp"; }
trap cleanup EXIT
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
export DISPLAY=$display TMPDIR=$tmp XDG_RUNTIME_DIR=$tmp
