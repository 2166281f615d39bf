#!/usr/bin/env bash
# The module's main job on the bundled movie: installs what is missing, builds
# the module and the qtsource host, shows what the filter makes of
# samples/sample.mp4 and streams every pin of it into out/.
set -euo pipefail

root="$(cd "$(dirname "$0")" && pwd)"
cd "$root"

source "$root/scripts/install-deps.sh"
install_deps

build="$root/build/run"
echo "== building qtsource and QuarnexQTSource (in $build)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" --target qtsource -j "$(nproc)" > "$root/build/run-build.log" 2>&1 ||
    { tail -30 "$root/build/run-build.log"; echo "build failed, see build/run-build.log"; exit 1; }
qtsource="$build/tools/qtsource"

movie=samples/sample.mp4
echo
echo "== qtsource info $movie"
"$qtsource" info "$movie"
echo
echo "== qtsource dump $movie -o out"
"$qtsource" dump "$movie" -o out

echo
echo "Written: $(cd out && ls | tr '\n' ' ')"
echo "Play the video pin's stream with:  ffplay out/1.h264"
echo "Play the sound pin's stream with:  ffplay out/2.aac"
echo "Every delivered sample (times in 100-ns units) is a row of out/samples.csv."
