#!/usr/bin/env bash
# Set-up, build and run Brinmoor on Debian 12.
#   ./brinmoor.sh          install what is missing, build, start Brinmoor
#   ./brinmoor.sh test     install what is missing, build, run every test
#   ./brinmoor.sh package  install what is missing, build the release and the
#                          Debian package build/brinmoor_VERSION_ARCH.deb
#   ./brinmoor.sh count [OPTIONS] PATH...   build and run the console program
#                          brinmoor-count (no graphical desktop needed)
#   ./brinmoor.sh bench [SECTION...]   build in release mode and run the benchmarks
#                          (not part of CI; sections as in bench/run.sh)
set -euo pipefail
cd "$(dirname "$0")"

mode="${1:-run}"
shift || true

build_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation
  libxlsxwriter-dev zlib1g-dev
  liburing-dev   # batched opens and reads of many small files
  qt6-charts-dev libqt6opengl6-dev   # the summary window's bar chart (its CMake package needs Qt OpenGL's)
  dpkg-dev   # dpkg-shlibdeps, for the dependencies of cpack -G DEB
  help2man   # brinmoor-count's manual page, from its --help
  libxcb1-dev   # the window manager's frame extents, to keep the whole frame on screen
  libglib2.0-dev   # GIO: the desktop's default application for workbooks, and starting it
)
# unzip reads a workbook's sheet back in seconds, where the spreadsheet program takes twenty.
test_packages=(xvfb xauth xclip libreoffice-calc-nogui unzip)
# The package's checks: lintian on the .deb, the desktop metadata's
# validators, the completion's helpers, and xprop for the window's class.
test_packages+=(lintian appstream desktop-file-utils bash-completion x11-utils)
# openbox frames the window in the tests of its placement under a window
# manager; xwininfo (x11-utils) reads the frame and the work area.
test_packages+=(openbox)
# libseccomp-dev: the run's tests refuse system calls to the console program.
test_packages+=(libseccomp-dev)
# The window sections of the benchmarks need an X server; peak memory is
# read with /usr/bin/time.
bench_packages=(ripgrep hyperfine time strace xvfb xauth xclip)

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "brinmoor.sh: installing ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure_and_build() {
  local dir="$1"; shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" --parallel "$(nproc)"
}

# Whether the window can be shown here, asked before minutes of building;
# the same test the program makes.
display_available() {
  local platform IFS=";"
  for platform in ${QT_QPA_PLATFORM:-}; do
    case "${platform%%:*}" in
      offscreen|minimal|vnc|linuxfb|eglfs|vkkhrdisplay) return 0 ;;
    esac
  done
  [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]
}

case "$mode" in
  run)
    if ! display_available; then
      echo "brinmoor.sh: the window needs a graphical desktop (neither DISPLAY nor WAYLAND_DISPLAY is set); count lines without one with: ./brinmoor.sh count [OPTIONS] PATH..." >&2
      exit 1
    fi
    install_missing "${build_packages[@]}"
    configure_and_build build -DCMAKE_BUILD_TYPE=Release
    if [ -x build/bin/brinmoor ]; then
      exec build/bin/brinmoor "$@"
    fi
    if [ $# -gt 0 ]; then
      exec build/bin/brinmoor-count "$@"
    fi
    exec build/bin/brinmoor-count --help
    ;;
  count)
    install_missing "${build_packages[@]}"
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build --parallel "$(nproc)" --target brinmoor-count >/dev/null
    exec build/bin/brinmoor-count "$@"
    ;;
  package)
    install_missing "${build_packages[@]}"
    configure_and_build build -DCMAKE_BUILD_TYPE=Release
    (cd build && cpack -G DEB)
    ls build/brinmoor_*.deb
    ;;
  test)
    install_missing "${build_packages[@]}" "${test_packages[@]}"
    configure_and_build build -DCMAKE_BUILD_TYPE=Release -DBRINMOOR_TESTS=ON
    # The sanitizer build runs the same suite under ASan and UBSan.
    configure_and_build build-sanitize -DCMAKE_BUILD_TYPE=Debug -DBRINMOOR_TESTS=ON -DBRINMOOR_SANITIZE=ON
    mkdir -p build/artifacts
    status=0
    for dir in build build-sanitize; do
      echo "== ctest in $dir"
      (cd "$dir" && QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1600x1000x24' \
        ctest --output-on-failure --timeout 300 "$@") || status=1
    done
    exit $status
    ;;
  bench)
    install_missing "${build_packages[@]}" "${bench_packages[@]}"
    configure_and_build build-bench -DCMAKE_BUILD_TYPE=Release -DBRINMOOR_BENCH=ON
    exec bench/run.sh build-bench "$@"
    ;;
  *)
    echo "usage: ./brinmoor.sh [test|package|bench|count]" >&2
    exit 2
    ;;
esac
