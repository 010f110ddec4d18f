#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The reliability checks that README command 2 runs after the test suite, each in a build folder
# of its own that a second run reuses:
#   build-asan  every test under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer
#   build-tsan  the test gate's threads under ThreadSanitizer, with no suppressions
#   build-fuzz  the libFuzzer targets, CDT_FUZZ_SECONDS (default 60) each, from their seed corpus
#   build-tidy  clang-tidy, clazy and cppcheck over src/ and sim/
# Any report or finding ends the script with a non-zero status. Arguments name the checks to run
# (asan tsan fuzz static); none runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${CDT_JOBS:-$(nproc)}
fuzz_seconds=${CDT_FUZZ_SECONDS:-60}
checks=("$@")
[ "${#checks[@]}" -gt 0 ] || checks=(asan tsan fuzz static)

# A report must stop the program, and a leak at exit counts as one. strict_string_checks stays
# off: it takes strndup over an unterminated buffer, which is legal and which libxkbcommon-x11
# does when the tool starts on an X display, for an overflow.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# A copy that every user can read: the end-to-end tests start the tool as the user nobody too.
lsan_suppressions=$(mktemp)
trap 'rm -f "$lsan_suppressions"' EXIT
cp scripts/lsan.supp "$lsan_suppressions"
chmod 644 "$lsan_suppressions"
export LSAN_OPTIONS=suppressions=$lsan_suppressions:print_suppressions=0
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
export QT_QPA_PLATFORM=offscreen

section() { printf '\n=== reliability: %s\n' "$*"; }

configure() {
    local dir=$1
    shift
    mkdir -p "$dir"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" > "$dir/configure.log" 2>&1 \
        || { cat "$dir/configure.log"; return 1; }
}

# A report that a test printed but whose exit status something swallowed still fails the run.
no_reports() {
    if grep -E -n 'ERROR: (Address|Leak)Sanitizer|runtime error:|WARNING: ThreadSanitizer' "$@"; then
        echo "reliability: sanitizer report in $*" >&2
        return 1
    fi
}

run_asan() {
    section "test suite under AddressSanitizer + UndefinedBehaviorSanitizer"
    configure build-asan -DCDT_SANITIZE="address;undefined"
    cmake --build build-asan --parallel "$jobs"
    ctest --test-dir build-asan --output-on-failure --timeout 900 \
        --parallel "${CDT_TEST_JOBS:-$((jobs + 1))}"
    no_reports build-asan/Testing/Temporary/LastTest.log
    grep -h -o 'stress: .*' build-asan/Testing/Temporary/LastTest.log || true
}

run_tsan() {
    section "test gate under ThreadSanitizer"
    configure build-tsan -DCDT_SANITIZE=thread
    cmake --build build-tsan --parallel "$jobs" --target tst_ctestgate_threads
    # Interleavings differ from run to run: a few runs see more of them.
    ctest --test-dir build-tsan -R '^tst_ctestgate_threads$' --output-on-failure \
        --repeat until-fail:5
    no_reports build-tsan/Testing/Temporary/LastTest.log
}

run_fuzz() {
    section "fuzzers, ${fuzz_seconds} s each"
    configure build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCDT_SANITIZE="address;undefined" -DCDT_FUZZ=ON
    local targets=(fuzz_status_reply fuzz_chip_reply)
    cmake --build build-fuzz --parallel "$jobs" --target "${targets[@]}"
    mkdir -p build-fuzz/artifacts
    local target log
    for target in "${targets[@]}"; do
        # New inputs go to the build folder's corpus; the committed seeds stay as they are.
        mkdir -p "build-fuzz/corpus/$target"
        log=build-fuzz/$target.log
        if ! "build-fuzz/tests/fuzz/$target" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
            -artifact_prefix="build-fuzz/artifacts/$target-" \
            "build-fuzz/corpus/$target" "tests/fuzz/corpus/$target" > "$log" 2>&1; then
            tail -n 60 "$log"
            echo "reliability: $target failed; the input is in build-fuzz/artifacts" >&2
            return 1
        fi
        no_reports "$log"
        echo "$target: $(awk '/stat::number_of_executed_units/ { print $2 }' "$log") executions" \
            "in ${fuzz_seconds} s, corpus $(find "build-fuzz/corpus/$target" -type f | wc -l) inputs"
    done
}

run_static() {
    section "clang-tidy, clazy and cppcheck over src/ and sim/"
    configure build-tidy -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DBUILD_TESTING=OFF
    # The sources include the generated forms; the generated code itself is not analysed.
    cmake --build build-tidy --target cdt_gui_autogen cdt_burnin_autogen cdt_upload_autogen cdt_station_autogen > /dev/null
    mkdir -p build-tidy/analysis build-tidy/cppcheck
    python3 - "$root" <<'EOF'
import json, sys
root = sys.argv[1]
with open('build-tidy/compile_commands.json') as f:
    commands = json.load(f)
ours = [c for c in commands if c['file'].startswith((root + '/src/', root + '/sim/'))]
with open('build-tidy/analysis/compile_commands.json', 'w') as f:
    json.dump(ours, f, indent=1)
EOF
    mapfile -t sources < <(python3 -c 'import json; print("\n".join(
        c["file"] for c in json.load(open("build-tidy/analysis/compile_commands.json"))))')

    echo "clang-tidy: ${#sources[@]} files"
    run-clang-tidy -quiet -j "$jobs" -p build-tidy/analysis -header-filter="^$root/(src|sim)/" \
        > build-tidy/clang-tidy.log 2>&1 || { grep -E -A3 'warning:|error:' build-tidy/clang-tidy.log; return 1; }

    # The Qt-aware checks, on the Qt code. connect-by-name is left out: the forms connect the
    # on_<object>_<signal> slots by name on purpose.
    echo "clazy: src/"
    local source findings=0
    : > build-tidy/clazy.log
    for source in "${sources[@]}"; do
        case "$source" in "$root"/src/*) ;; *) continue ;; esac
        clazy-standalone -p build-tidy/analysis/compile_commands.json \
            -checks=level0,level1,no-connect-by-name -header-filter="^$root/src/" "$source" \
            >> build-tidy/clazy.log 2>&1 || findings=1
    done
    if [ "$findings" -ne 0 ] || grep -E 'warning:|error:' build-tidy/clazy.log; then
        cat build-tidy/clazy.log
        return 1
    fi

    echo "cppcheck: ${#sources[@]} files"
    cppcheck --project=build-tidy/analysis/compile_commands.json --std=c++17 --library=qt \
        --enable=warning,style,performance,portability --inline-suppr \
        --suppress=missingIncludeSystem --error-exitcode=1 -j "$jobs" --quiet \
        --cppcheck-build-dir=build-tidy/cppcheck --template='{file}:{line}: {severity} ({id}): {message}'
}

for check in "${checks[@]}"; do
    "run_$check"
done
section "no findings"
