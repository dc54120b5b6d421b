#!/usr/bin/env bash
# Builds everything and runs every test:
#   build/       the plug-in (VST3, LV2, Standalone) and the test binary, which
#                also loads the built plug-in in real hosts
#   build-tsan/  the test binary under ThreadSanitizer
#   build-asan/  the test binary under AddressSanitizer and UBSan
#   build-fuzz/  the fuzz targets (clang, libFuzzer), each run for a bounded time
# and last the guest-kernel tests from build/ (tests/guest/run-guest-tests.sh):
# real USB HID units on Debian's kernel in QEMU, one count per named check.
# Ends with one line "N passed, M failed" over all test runs.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)
fuzz_seconds=${MV_FUZZ_SECONDS:-30}

"$root/tools/install-deps.sh" || exit 1

export CCACHE_SLOPPINESS=time_macros
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
# Paths inside the checkout are hashed relative to it, so that a fresh clone
# elsewhere (as CI makes) finds what an earlier build left in the cache.
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
export ASAN_OPTIONS="detect_leaks=1 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1 ${UBSAN_OPTIONS:-}"

passed=0
failed=0
status=0

configure_and_build() # dir, extra cmake args...
{
    local dir=$1; shift
    mkdir -p "$root/$dir"
    cmake -S "$root" -B "$root/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug "$@" > "$root/$dir/configure.log" 2>&1 \
        || { cat "$root/$dir/configure.log"; return 1; }
    cmake --build "$root/$dir" -j "$jobs"
}

run_ctest() # dir, label
{
    local dir=$1 label=$2 log
    log=$(mktemp)
    echo "== $label"
    # Editor windows and pop-up menus need a display: a virtual one when there is
    # none. It must not reset when its last client leaves: the test processes come
    # and go in parallel, and one connecting during a reset would lose its link.
    local display_cmd=()
    [ -n "${DISPLAY:-}" ] || display_cmd=(xvfb-run -a -s "-screen 0 1280x1024x24 -noreset")
    (cd "$root/$dir" && "${display_cmd[@]}" ctest --output-on-failure -j "$jobs" --timeout 600) 2>&1 | tee "$log"
    local line
    line=$(grep -E "tests passed, [0-9]+ tests failed out of [0-9]+" "$log" | tail -n 1)
    if [ -n "$line" ]; then
        local total fails
        total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<< "$line")
        fails=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<< "$line")
        passed=$((passed + total - fails))
        failed=$((failed + fails))
        [ "$fails" -eq 0 ] || status=1
    else
        failed=$((failed + 1)); status=1
    fi
    rm -f "$log"
}

echo "== build: plug-in and tests"
configure_and_build build -DMV_BUILD_PLUGIN=ON -DMV_BUILD_TESTS=ON || exit 1

echo "== build: tests under ThreadSanitizer"
configure_and_build build-tsan -DMV_BUILD_PLUGIN=OFF -DMV_SANITIZER=thread || exit 1

echo "== build: tests under AddressSanitizer"
configure_and_build build-asan -DMV_BUILD_PLUGIN=OFF -DMV_SANITIZER=address || exit 1

if [ -f "$root/fuzz/CMakeLists.txt" ]; then
    echo "== build: fuzz targets"
    # Optimised (RelWithDebInfo): JUCE builds Debug at -O0, which makes the
    # fuzzers several times slower. Stale targets from older checkouts go first.
    rm -f "$root"/build-fuzz/fuzz/mv_fuzz_*
    CC=clang CXX=clang++ configure_and_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DMV_BUILD_PLUGIN=OFF -DMV_BUILD_TESTS=OFF -DMV_BUILD_FUZZ=ON || exit 1

    fuzz_cpu=$(sed -n 's/^Cpus_allowed_list:[[:space:]]*\([0-9]*\).*/\1/p' /proc/self/status 2>/dev/null)
    pin=()
    [ -n "$fuzz_cpu" ] && pin=(taskset -c "$fuzz_cpu")
    for fuzzer in "$root"/build-fuzz/fuzz/mv_fuzz_*; do
        [ -x "$fuzzer" ] || continue
        name=$(basename "$fuzzer")
        corpus_src="$root/fuzz/corpus/${name#mv_fuzz_}"
        corpus_run="$root/build-fuzz/corpus-${name#mv_fuzz_}"
        mkdir -p "$corpus_run"
        [ -d "$corpus_src" ] && cp -n "$corpus_src"/* "$corpus_run"/ 2>/dev/null
        # Saved states are about 28 KB; report sequences need far less.
        case $name in
            mv_fuzz_state) max_len=32768 ;;
            *) max_len=1024 ;;
        esac
        echo "== fuzz: $name for ${fuzz_seconds}s"
        # No allocation stacks kept: recording one for every allocation costs the
        # state fuzzer up to a fifth of its speed. A crash's input replayed under the
        # default options gives them back. One core, the first this script may use:
        # the framework's timer thread runs only when the fuzzer's core is idle, and
        # with the other cores free it would be woken onto one of them at every
        # timer start (a quarter of the bridge target's speed).
        if ASAN_OPTIONS="malloc_context_size=0 $ASAN_OPTIONS" "${pin[@]}" "$fuzzer" -max_total_time="$fuzz_seconds" -max_len=$max_len -timeout=10 -rss_limit_mb=2048 \
                -print_final_stats=1 -artifact_prefix="$root/build-fuzz/" "$corpus_run" > "$root/build-fuzz/$name.log" 2>&1; then
            passed=$((passed + 1))
            execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$root/build-fuzz/$name.log")
            rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$root/build-fuzz/$name.log")
            echo "$name: $execs inputs, $rate inputs/s"
        else
            failed=$((failed + 1)); status=1
            tail -n 60 "$root/build-fuzz/$name.log"
        fi
    done
fi

run_ctest build-tsan "tests under ThreadSanitizer"
run_ctest build-asan "tests under AddressSanitizer"
run_ctest build "tests, real-host tests included"

echo "== tests inside a guest kernel (QEMU)"
guest_log=$(mktemp)
"$root/tests/guest/run-guest-tests.sh" "$root/build" 2>&1 | tee "$guest_log"
guest_status=${PIPESTATUS[0]}
guest_line=$(grep -E "^guest tests: [0-9]+ passed, [0-9]+ failed" "$guest_log" | tail -n 1)
if [ -n "$guest_line" ]; then
    passed=$((passed + $(sed -E 's/^guest tests: ([0-9]+) passed.*/\1/' <<< "$guest_line")))
    failed=$((failed + $(sed -E 's/.* ([0-9]+) failed.*/\1/' <<< "$guest_line")))
fi
if [ "$guest_status" -ne 0 ]; then
    status=1
    [ -n "$guest_line" ] || failed=$((failed + 1))
fi
rm -f "$guest_log"

echo "tests: $passed passed, $failed failed"
exit $status
