#!/usr/bin/env bash
# Builds everything this machine can build and runs every suite it can run:
# native (plain, ASan+UBSan, ThreadSanitizer) and win64 under Wine; win32 is
# built only. Installs what is missing first. Ends with "N passed, N failed".
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QT_BUILD_DIR:-$root/build}"
jobs="${QT_JOBS:-$(nproc)}"
cd "$root"

source "$root/scripts/install-deps.sh"
install_deps

log_dir="$build/logs"
mkdir -p "$log_dir"
fixtures="$build/fixtures"

# Fixture movies are made once with ffmpeg; the Windows suites read the same folder.
if [ -x "$root/tests/fixtures/make-fixtures.sh" ]; then
    "$root/tests/fixtures/make-fixtures.sh" "$fixtures" > "$log_dir/fixtures.log" 2>&1 ||
        { echo "making fixture movies failed, see $log_dir/fixtures.log"; cat "$log_dir/fixtures.log" | tail -20; exit 1; }
fi

passed=0
failed=0
status=0

configure_and_build() { # name, cmake arguments...
    local name="$1"
    shift
    echo "== build $name"
    if ! cmake -S "$root" -B "$build/$name" -G Ninja -DQT_FIXTURES_DIR="$fixtures" "$@" > "$log_dir/$name-configure.log" 2>&1; then
        tail -30 "$log_dir/$name-configure.log"
        return 1
    fi
    if ! cmake --build "$build/$name" -j "$jobs" > "$log_dir/$name-build.log" 2>&1; then
        grep -E 'error|FAILED' "$log_dir/$name-build.log" | head -40
        return 1
    fi
}

# Runs one build's suites through CTest and adds up the test cases it saw.
run_suites() { # name, extra ctest arguments...
    local name="$1"
    shift
    echo "== test $name"
    local out="$log_dir/$name-test.log"
    (cd "$build/$name" && ctest -V "$@") > "$out" 2>&1
    local rc=$?
    local p f crashed
    p=$(grep -aoE '\[  PASSED  \] [0-9]+ test' "$out" | awk '{s+=$4} END {print s+0}')
    f=$(grep -aoE '\[  FAILED  \] [0-9]+ test' "$out" | awk '{s+=$4} END {print s+0}')
    crashed=$(grep -acE '\*\*\*(Failed|Exception|Timeout)' "$out")
    # A suite that crashed or timed out may print no gtest summary at all.
    if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then f=$((crashed > 0 ? crashed : 1)); fi
    passed=$((passed + p))
    failed=$((failed + f))
    echo "   $p passed, $f failed"
    if [ "$rc" -ne 0 ]; then
        status=1
        grep -aE '^\s*[0-9]+: \[  FAILED  \]|\*\*\*|ERROR: |WARNING: ThreadSanitizer|runtime error' "$out" | head -40
        echo "   see $out"
    fi
}

build_failed() {
    echo "   build failed"
    failed=$((failed + 1))
    status=1
}

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

configure_and_build native -DCMAKE_BUILD_TYPE=Debug && run_suites native || true
configure_and_build asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DQT_SANITIZE=address && run_suites asan || true
configure_and_build tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DQT_SANITIZE=thread && run_suites tsan || true
# Each fuzz target runs for a bounded time; a finding fails the run.
echo "== fuzz"
if QT_BUILD_DIR="$build" bash "$root/scripts/fuzz.sh" > "$log_dir/fuzz.log" 2>&1; then
    passed=$((passed + 1))
    echo "   fuzzing found nothing"
else
    failed=$((failed + 1))
    status=1
    tail -20 "$log_dir/fuzz.log"
fi

# Wine's desktop process must see a display from its first start, or the page
# tests cannot open dialogs: one virtual X server serves the whole Windows run.
start_display() {
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp > "$log_dir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
}
stop_display() {
    WINEPREFIX="$build/win64/wineprefix" wineserver -k > /dev/null 2>&1 || true
    kill "$xvfb_pid" > /dev/null 2>&1 || true
}
if configure_and_build win64 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/win64.cmake"; then
    WINEPREFIX="$build/win64/wineprefix" wineserver -k > /dev/null 2>&1 || true
    start_display
    WINEPREFIX="$build/win64/wineprefix" WINEDEBUG=-all wineboot -i > "$log_dir/wineboot.log" 2>&1 || true
    run_suites win64 || true
    stop_display
fi
configure_and_build win32 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/win32.cmake" || build_failed

# Builds that failed to compile count as failures too.
for name in native asan tsan win64; do
    [ -f "$log_dir/$name-build.log" ] && grep -qE 'FAILED|error:' "$log_dir/$name-build.log" && { failed=$((failed + 1)); status=1; }
done

echo "$passed passed, $failed failed"
[ "$status" -eq 0 ] && [ "$failed" -eq 0 ]
