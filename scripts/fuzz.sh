#!/usr/bin/env bash
# Builds the fuzz build (clang, libFuzzer, ASan and UBSan) in BUILD/fuzz and
# runs each fuzz target for a bounded time, from a seed corpus of the hostile
# movies and the fixture movies plus the target's own corpus, which grows from
# run to run. Fails (status 1) on any crash, leak, timeout, out-of-memory or
# inconsistent result, and names the input that reproduces it.
#
#   scripts/fuzz.sh [TARGET...]        every target when none is named
#
# Settings from the environment:
#   QT_FUZZ_SECONDS   run time of each target (60)
#   QT_FUZZ_MAX_LEN   longest input, overriding each target's own
#   QT_FUZZ_TIMEOUT   seconds one input may take before it counts as a hang (10)
#   QT_BUILD_DIR      build folder (build), QT_JOBS build jobs (nproc)
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QT_BUILD_DIR:-$root/build}"
fuzz="$build/fuzz"
fixtures="$build/fixtures"
seconds="${QT_FUZZ_SECONDS:-60}"
input_timeout="${QT_FUZZ_TIMEOUT:-10}"
jobs="${QT_JOBS:-$(nproc)}"

# The targets, and for each its program, its longest input and how its seeds
# are written. A new target is one line here and one qt_fuzzer line in
# tests/fuzz/CMakeLists.txt.
all_targets=(parser stream)
target_settings() { # name: sets program, max_len, seed_options
    case "$1" in
    parser)
        # Movie boxes of the fixtures take 1 to 3 KB; 32 KB leaves room for
        # tables, nesting and many tracks. The media data is never read.
        program=parser_fuzzer max_len=32768 seed_options=(--movie-box-only) ;;
    stream)
        # The pins read the media data, so the seeds keep it. The fixtures take
        # 5 to 40 KB; a longer one is cut to the first 64 KB, its movie box
        # first and as many samples as fit after it.
        program=stream_fuzzer max_len=65536 seed_options=() ;;
    *)
        return 1 ;;
    esac
}

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")
for name in "${targets[@]}"; do
    target_settings "$name" || { echo "unknown fuzz target: $name (known: ${all_targets[*]})" >&2; exit 2; }
done

source "$root/scripts/install-deps.sh"
install_deps || exit 1

mkdir -p "$fuzz/logs"
"$root/tests/fixtures/make-fixtures.sh" "$fixtures" > "$fuzz/logs/fixtures.log" 2>&1 ||
    { echo "making fixture movies failed, see $fuzz/logs/fixtures.log"; tail -20 "$fuzz/logs/fixtures.log"; exit 1; }

programs=(fuzz_seed_corpus)
for name in "${targets[@]}"; do
    target_settings "$name"
    programs+=("$program")
done
echo "== build fuzz"
if ! cmake -S "$root" -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DQT_FUZZ=ON -DQT_FIXTURES_DIR="$fixtures" > "$fuzz/logs/configure.log" 2>&1; then
    tail -30 "$fuzz/logs/configure.log"
    exit 1
fi
if ! cmake --build "$fuzz" -j "$jobs" --target "${programs[@]}" > "$fuzz/logs/build.log" 2>&1; then
    grep -E 'error|FAILED' "$fuzz/logs/build.log" | head -40
    exit 1
fi

# Leaks are checked after each input that allocates; an allocation beyond the
# sanitizer's limit is a finding, never a null answer.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

status=0
fuzz_target() { # name
    local name="$1"
    target_settings "$name"
    local seeds="$fuzz/seeds/$name" corpus="$fuzz/corpus/$name" findings="$fuzz/findings/$name"
    local log="$fuzz/logs/$name.log" binary="$fuzz/tests/fuzz/$program"
    rm -rf "$seeds"
    mkdir -p "$seeds" "$corpus" "$findings"
    # The large-file fixtures are small movies moved past 2 and 4 GiB in sparse
    # files: as seeds they would be read whole and written back as gigabytes
    # of zeros, and an input is cut to its first 64 KB anyway.
    local movies=()
    while IFS= read -r -d '' movie; do movies+=("$movie"); done < <(
        find "$fixtures" -maxdepth 1 -type f \( -name '*.mp4' -o -name '*.mov' \) -size -64M -print0 | sort -z)
    if ! "$fuzz/tests/fuzz/fuzz_seed_corpus" "$seeds" "${seed_options[@]}" "${movies[@]}" > "$fuzz/logs/$name-seeds.log" 2>&1; then
        echo "$name: writing the seed corpus failed"
        cat "$fuzz/logs/$name-seeds.log"
        return 1
    fi

    local marker="$fuzz/logs/$name.started"
    touch "$marker"
    # libFuzzer ends itself after max_total_time; the outer limit only guards
    # against a run that cannot end.
    (cd "$findings" && timeout -k 10 $((seconds + 300)) "$binary" -max_total_time="$seconds" -max_len="${QT_FUZZ_MAX_LEN:-$max_len}" \
        -timeout="$input_timeout" -detect_leaks=1 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" "$seeds") > "$log" 2>&1
    local rc=$?

    local runs rate found
    runs=$(grep -a 'stat::number_of_executed_units' "$log" | awk '{print $2}')
    rate=$(grep -a 'stat::average_exec_per_sec' "$log" | awk '{print $2}')
    found=$(find "$findings" -maxdepth 1 -type f -newer "$marker" | sort)
    if [ "$rc" -eq 0 ] && [ -z "$found" ]; then
        echo "$name: ${runs:-0} inputs in $seconds s (${rate:-0}/s), corpus $(ls "$corpus" | wc -l) inputs, no finding"
        return 0
    fi
    echo "$name: FAILED (status $rc), see $log"
    grep -aE 'ERROR: |runtime error|inconsistent parse|SUMMARY' "$log" | head -10
    if [ -z "$found" ]; then
        # A crash that also breaks the sanitizer's report leaves no artifact;
        # when it came from a stored input, running them one by one finds it.
        local replay="$fuzz/logs/$name-replay.log"
        (cd "$findings" && timeout -k 10 600 "$binary" -max_len="${QT_FUZZ_MAX_LEN:-$max_len}" -timeout="$input_timeout" \
            $(find "$corpus" "$seeds" -type f | sort)) > "$replay" 2>&1
        # The input that ran last without finishing.
        local culprit
        culprit=$(grep -aE '^(Running: |Executed )' "$replay" | tail -1 | sed -n 's/^Running: //p')
        if [ -n "$culprit" ]; then
            cp "$culprit" "$findings/crash-stored-$(basename "$culprit")"
            found="$findings/crash-stored-$(basename "$culprit")"
        fi
    fi
    for input in $found; do
        echo "   reproducer: $input"
        echo "   run it:     $binary $input"
    done
    return 1
}

for name in "${targets[@]}"; do
    echo "== fuzz $name"
    fuzz_target "$name" || status=1
done
exit $status
