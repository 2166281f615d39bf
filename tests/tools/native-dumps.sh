#!/usr/bin/env bash
# Dumps, with native qtsource, the bundled movie (whole and from 5 s) and
# every fixture movie into OUT/<movie name>/: what the Windows runs of the
# module must reproduce.
set -euo pipefail
qtsource="$1" out="$2" sample="$3" fixtures="$4"
[ -x "$qtsource" ] || { echo "native qtsource not built: $qtsource (build native first)" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out"
"$qtsource" dump "$sample" -o "$out/sample" > /dev/null
"$qtsource" dump "$sample" --start 5 -o "$out/sample-5s" > /dev/null
for movie in "$fixtures"/*.mp4 "$fixtures"/*.mov; do
    [ -f "$movie" ] || continue
    "$qtsource" dump "$movie" -o "$out/$(basename "$movie")" > /dev/null
done
echo "native dumps in $out"
