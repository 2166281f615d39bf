#!/usr/bin/env bash
# Renders the track information page as Windows draws it: builds the win64
# pageshot program, runs it under Wine on a virtual X display, photographs the
# display and writes the page's window as a PNG.
# Usage: scripts/render-page.sh [WIN64_BUILD_DIR] [OUTPUT_PNG]
# Needs wine, xvfb (xvfb-run), x11-apps (xwd) and imagemagick (convert); the
# last two are installed with apt-get when missing.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/win64}"
output="${2:-$root/docs/property-page.png}"

missing=()
command -v xwd > /dev/null || missing+=(x11-apps)
[ -x /usr/bin/convert ] || missing+=(imagemagick)
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq > /dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" > /dev/null
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/win64.cmake" > /dev/null
fi
cmake --build "$build" --target pageshot > /dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all

# Inside the virtual display: start the program, wait until it says that the
# page is up, then photograph the whole screen.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    program="$1"; work="$2"
    wine "$program" "Z:${work//\//\\}\\ready" 8 > "$work/wine.log" 2>&1 &
    for _ in $(seq 1 300); do [ -s "$work/ready" ] && break; sleep 0.2; done
    [ -s "$work/ready" ] || { echo "the page never came up" >&2; cat "$work/wine.log" >&2; exit 1; }
    sleep 1
    xwd -root -silent > "$work/screen.xwd"
    wait
' render "$build/tests/pageshot.exe" "$work"

read -r left top width height < "$work/ready"
mkdir -p "$(dirname "$output")"
/usr/bin/convert "xwd:$work/screen.xwd" -crop "${width}x${height}+${left}+${top}" +repage "png:$output"
echo "wrote $output (${width}x${height})"
