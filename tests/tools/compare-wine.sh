#!/usr/bin/env bash
# Runs qtsource.exe under Wine on every movie that native-dumps.sh dumped and
# checks that the output files and samples.csv are byte for byte the same.
set -euo pipefail
qtsource="$1" native="$2" out="$3" sample="$4" fixtures="$5"
winpath() { echo "Z:${1//\//\\}"; }
rm -rf "$out"
mkdir -p "$out"
failed=0
compare() { # name, movie, extra arguments...
    local name="$1" movie="$2"
    shift 2
    wine "$qtsource" dump "$(winpath "$movie")" "$@" -o "$(winpath "$out/$name")" > /dev/null ||
        { echo "qtsource.exe failed on $name"; failed=1; return; }
    diff -r "$native/$name" "$out/$name" > /dev/null || { echo "differs from native: $name"; failed=1; return; }
    echo "same as native: $name ($(ls "$out/$name" | tr '\n' ' '))"
}
compare sample "$sample"
compare sample-5s "$sample" --start 5
for movie in "$fixtures"/*.mp4 "$fixtures"/*.mov; do
    [ -f "$movie" ] || continue
    compare "$(basename "$movie")" "$movie"
done
exit $failed
