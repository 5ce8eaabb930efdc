#!/usr/bin/env bash
# Sets Skylark up on Debian 12 and then runs it or its tests.
#   tools/setup.sh run    install what is missing, build, start Skylark
#   tools/setup.sh test   install what is missing, build, run every test
#   tools/setup.sh build  install what is missing, build
# Works as root; for another user it asks for sudo only to install packages.
set -euo pipefail
cd "$(dirname "$0")/.."

what="${1:-build}"
packages=(g++ make cmake qt6-base-dev libgl-dev iproute2 iputils-ping util-linux)
[ "$what" = bench ] && packages+=(fping)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" = 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build build -j"$(nproc)"

case "$what" in
    run) exec build/src/skylark ;;
    test) exec ctest --test-dir build --output-on-failure ;;
    bench) exec build/bench/run_benchmarks.sh ;;
    build) ;;
    *) echo "usage: $0 run|test|build|bench" >&2; exit 2 ;;
esac
