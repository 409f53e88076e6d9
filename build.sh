#!/usr/bin/env bash
# The one entry point: installs what the build needs, configures, builds, and
# runs the tests, the sanitizer builds, the fuzzers or the demo.
#
#   ./build.sh            build (RelWithDebInfo) into build/default
#   ./build.sh test       build and run every test
#   ./build.sh asan       libraries and core with their tests under AddressSanitizer + UBSan
#   ./build.sh tsan       ThreadSanitizer build of the threaded libraries and their tests
#   ./build.sh fuzz [s]   build the libFuzzer targets and run each for s seconds (default 60)
#   ./build.sh demo       one unattended scan on the simulated instrument into demo-output/
set -euo pipefail
cd "$(dirname "$0")"
top=$(pwd)

cmd=${1:-build}
jobs=$(nproc 2>/dev/null || echo 2)

base_packages=(cmake ninja-build g++ pkg-config ccache libgtest-dev libgmock-dev libbenchmark-dev
  libusb-1.0-0-dev libasound2-dev qt6-base-dev libqcustomplot-dev libqcustomplot2.1-qt6 python3-scipy
  python3-numpy)
# The Libusb tests run the libusb backend over umockdev's mocked usbdevfs;
# the print test reads the printed PDF's texts with pdftotext.
test_packages=(umockdev libumockdev-dev poppler-utils)
fuzz_packages=(clang libclang-rt-14-dev)
demo_packages=(imagemagick)

install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "build.sh: installing ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

configure() {
  local preset=$1
  local launcher=()
  if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  fi
  cmake --preset "$preset" "${launcher[@]}" >/dev/null
}

build() {
  local preset=$1; shift
  configure "$preset"
  cmake --build --preset "$preset" -j "$jobs" "$@"
}

run_tests() {
  local preset=$1; shift
  ctest --preset "$preset" -j "$jobs" --timeout 600 "$@"
}

case "$cmd" in
  build)
    install_packages "${base_packages[@]}"
    build default
    ;;
  test)
    install_packages "${base_packages[@]}" "${test_packages[@]}"
    build default
    run_tests default
    ;;
  asan)
    install_packages "${base_packages[@]}" "${test_packages[@]}"
    build asan
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      run_tests asan
    ;;
  tsan)
    install_packages "${base_packages[@]}" "${test_packages[@]}"
    build tsan --target tsan_tests
    # Only the threaded libraries (driver, USB layer and simulator, firmware loader) run here.
    # The suppressions cover the mocking libraries under the Libusb tests, and libusb.
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$top/testsupport/tsan.supp" \
      run_tests tsan -L 'tsan'
    ;;
  fuzz)
    install_packages "${base_packages[@]}" "${fuzz_packages[@]}"
    seconds=${2:-60}
    build fuzz --target fuzz_targets
    shopt -s nullglob
    targets=("$top"/build/fuzz/bin/fuzz_*)
    if [ ${#targets[@]} -eq 0 ]; then
      echo "build.sh: no fuzz targets yet"
      exit 0
    fi
    for t in "${targets[@]}"; do
      name=$(basename "$t")
      corpus="$top/build/fuzz/corpus/$name"
      mkdir -p "$corpus"
      seeds="$top/fuzz/seeds/${name#fuzz_}"
      dirs=("$corpus")
      [ -d "$seeds" ] && dirs+=("$seeds")
      echo "build.sh: fuzzing $name for ${seconds}s"
      "$t" -max_total_time="$seconds" -rss_limit_mb=4096 -print_final_stats=1 "${dirs[@]}"
    done
    ;;
  demo)
    install_packages "${base_packages[@]}" "${demo_packages[@]}"
    build default
    exec "$top/tools/demo.sh" "$top/build/default/bin" "$top/demo-output"
    ;;
  *)
    echo "usage: $0 [build|test|asan|tsan|fuzz [seconds]|demo]" >&2
    exit 2
    ;;
esac
