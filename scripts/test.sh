#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, the core, media and
# command-line tests under AddressSanitizer and UndefinedBehaviorSanitizer, and a bounded
# libFuzzer run on the reader, the index scan and the cut-list readers (ours and the other
# programs').
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh
bash scripts/build.sh

werror=OFF
[[ -n "${CI:-}" ]] && werror=ON
logs=$root/build/test-logs
mkdir -p "$logs"

echo "== tests"
(cd build && ctest --output-on-failure -j2 --timeout 900) | tee "$logs/ctest.log"
# Every window drawn offscreen into build/windows, for anyone to look at.
QT_QPA_PLATFORM=offscreen build/src/zarvex-render-windows build/windows

# Everything but the widgets: the media layer and zarvex-cli-media are ours to check, while
# FFmpeg itself is not instrumented.
echo "== core, media and command-line tests with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARVEX_SANITIZE=ON \
  -DZARVEX_CORE_ONLY=ON -DZARVEX_WERROR="$werror" >/dev/null
cmake --build build-asan -j2
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
(cd build-asan && ctest --output-on-failure -j2 --timeout 1800) | tee "$logs/ctest-asan.log"

echo "== player, overview, spot-detection, worker-thread and job-queue tests with ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARVEX_CORE_ONLY=ON \
  -DZARVEX_WERROR="$werror" -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan -j2 --target player_tests overview_tests detect_tests jobs_tests
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp
(cd build-tsan && ctest --output-on-failure -j2 --timeout 1800 \
  -R '^Player|^NullAudioSink|^Overview|^SpotDetect|^AdBreaks|^JobThread|^JobQueue') \
  | tee "$logs/ctest-tsan.log"

echo "== fuzzing the reader, the index scan and the cut-list readers"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZARVEX_FUZZ=ON -DZARVEX_SANITIZE=ON -DZARVEX_CORE_ONLY=ON -DZARVEX_TESTS=OFF \
  -DZARVEX_WERROR="$werror" >/dev/null
cmake --build build-fuzz -j2 --target fuzz_avi_reader fuzz_index_scan fuzz_cut_list make_fuzz_seeds
fz=$root/build-fuzz/run
rm -rf "$fz" && mkdir -p "$fz/seeds" "$fz/seeds-cuts"
build-fuzz/fuzz/make_fuzz_seeds "$fz/seeds" "$fz/seeds-cuts"
ffmpeg -v error -y -f lavfi -i testsrc2=size=64x48:rate=25 -f lavfi -i sine=sample_rate=8000 \
  -t 0.4 -c:v mpeg4 -g 5 -c:a pcm_s16le "$fz/seeds/ffmpeg-mpeg4-pcm.avi"
ffmpeg -v error -y -f lavfi -i testsrc2=size=32x32:rate=10 -t 0.5 -c:v mjpeg "$fz/seeds/ffmpeg-mjpeg.avi"
gst-launch-1.0 -q videotestsrc num-buffers=5 ! video/x-raw,width=32,height=32 ! jpegenc ! avimux \
  ! filesink location="$fz/seeds/gst-mjpeg.avi"
# A recording cut off before its index, for the scan.
head -c 6000 "$fz/seeds/ffmpeg-mpeg4-pcm.avi" >"$fz/seeds/ffmpeg-cut-off.avi"
fuzz_status=0
# The targets share the time budget; each keeps a corpus of its own.
fuzz_seconds=$(( ${ZARVEX_FUZZ_SECONDS:-60} / 3 ))
: >"$logs/fuzz.log"
for target in fuzz_avi_reader fuzz_index_scan fuzz_cut_list; do
  seeds=$fz/seeds
  [[ $target == fuzz_cut_list ]] && seeds=$fz/seeds-cuts
  mkdir -p "$fz/corpus-$target"
  build-fuzz/fuzz/$target -max_total_time="$fuzz_seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 -artifact_prefix="$fz/$target-" \
    "$fz/corpus-$target" "$seeds" >"$logs/$target.log" 2>&1 || fuzz_status=$?
  cat "$logs/$target.log" >>"$logs/fuzz.log"
  tail -n 5 "$logs/$target.log"
done
if ((fuzz_status != 0)); then
  echo "fuzzing found a failure (exit $fuzz_status):"
  grep -E 'ERROR|SUMMARY|Test unit written' "$logs/fuzz.log" || true
fi
runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$logs/fuzz.log" | grep -oE '[0-9]+$' |
  awk '{ n += $1 } END { print n + 0 }')

# One closing line over every test run.
count() { grep -oE "$1" "$2" | grep -oE '[0-9]+' | head -n 1; }
passed=0 failed=0
for log in "$logs/ctest.log" "$logs/ctest-asan.log" "$logs/ctest-tsan.log"; do
  total=$(count 'out of [0-9]+' "$log")
  bad=$(count '[0-9]+ tests failed' "$log")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
done
if ((fuzz_status == 0)); then passed=$((passed + 1)); else failed=$((failed + 1)); fi
echo "fuzz: $runs inputs without a failure report"
echo "$passed passed, $failed failed"
((failed == 0))
