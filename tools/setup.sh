#!/usr/bin/env bash
# Sets Skylark up on Debian 12 and then runs it or its tests.
#   tools/setup.sh run    install what is missing, build the program, start Skylark
#   tools/setup.sh test   install what is missing, build everything, run every test
#   tools/setup.sh build  install what is missing, build everything
#   tools/setup.sh package  build the program, then the Debian package in build/package/
#   tools/setup.sh asan   build in build-asan with AddressSanitizer and UBSan, run every test there
#   tools/setup.sh fuzz [SECONDS]  build the fuzz targets in build-fuzz (clang, libFuzzer) and
#                         run each for SECONDS (default 60) on a copy of its seed corpus
# Works as root; for another user it asks for sudo only to install packages.
set -euo pipefail
cd "$(dirname "$0")/.."

what="${1:-build}"
case "$what" in
    run | test | build | bench | package | asan | fuzz) ;;
    *) echo "usage: $0 run|test|build|bench|package|asan|fuzz [SECONDS]" >&2; exit 2 ;;
esac
packages=(g++ make cmake qt6-base-dev libgl-dev iproute2 iputils-ping util-linux nftables)
# The history store.
packages+=(libsqlite3-dev)
# The notification tests start a private session bus.
packages+=(dbus-daemon)
# Packaging and its checks: the .deb, and validation of the desktop entry and metainfo.
packages+=(dpkg-dev desktop-file-utils appstream)
# The agent's systemd unit is rated and verified with systemd-analyze.
case "$what" in test|asan) packages+=(systemd) ;; esac
# The window tests start a real X server with a window manager.
case "$what" in test|asan) packages+=(xvfb openbox xdotool x11-utils) ;; esac
[ "$what" = bench ] && packages+=(fping)
# The suite checks that the sources are formatted as this version formats them.
case "$what" in test|asan|build) packages+=(clang-format-14) ;; esac
[ "$what" = fuzz ] && packages+=(clang libfuzzer-14-dev libclang-rt-14-dev)

# The metrics tests check the output with promtool and scrape the agent with a real
# Prometheus server; the server's recommended extras are not needed.
lean=()
case "$what" in test|asan) lean+=(prometheus) ;; esac

missing=() missing_lean=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
for p in "${lean[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing_lean+=("$p")
done
if [ $((${#missing[@]} + ${#missing_lean[@]})) -gt 0 ]; then
    echo "Installing: ${missing[*]} ${missing_lean[*]}"
    sudo=""
    [ "$(id -u)" = 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    [ ${#missing[@]} -eq 0 ] || DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
    [ ${#missing_lean[@]} -eq 0 ] ||
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing_lean[@]}"
fi

# A compiler cache, where one is installed, makes rebuilds in fresh clones cheap.
if command -v ccache >/dev/null && [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi

case "$what" in
    asan)
        cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKYLARK_ASAN=ON >/dev/null
        cmake --build build-asan -j"$(nproc)"
        # Undefined behaviour ends the test that shows it, as a memory error does.
        # Leaks held by system libraries are listed in tools/lsan.supp; ours still fail the test.
        export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp:print_suppressions=0"
        UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" exec ctest --test-dir build-asan --output-on-failure ;;
    fuzz)
        seconds="${2:-60}"
        targets=(fuzz_profilefile fuzz_listfile fuzz_textcodec)
        CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKYLARK_FUZZ=ON >/dev/null
        cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"
        # New inputs go to build-fuzz/corpus, findings and logs to build-fuzz/findings; the
        # committed seeds stay as they are.
        for t in "${targets[@]}"; do
            mkdir -p "build-fuzz/corpus/$t" build-fuzz/findings
            log="build-fuzz/findings/$t.log"
            echo "== $t for ${seconds}s"
            if "build-fuzz/fuzz/$t" -max_total_time="$seconds" -artifact_prefix="build-fuzz/findings/$t-" \
                "build-fuzz/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
                grep -E '^Done' "$log"
            else
                tail -n 40 "$log"
                echo "$t found a fault: the input is in build-fuzz/findings, the log in $log" >&2
                exit 1
            fi
        done
        exit 0 ;;
esac

# Each command builds what it uses: the program alone takes a fraction of the time of every
# test and benchmark. The package's install step is told not to build everything first (it
# would, through the "all" target); the program it installs is built just before.
targets=()
case "$what" in
    run | package) targets=(--target skylark) ;;
    bench) targets=(--target echo_bench flood_bench agent_bench frameboard_bench netkit_responder) ;;
esac
cmake -S . -B build -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build build -j"$(nproc)" "${targets[@]}"

case "$what" in
    run) exec build/src/skylark ;;
    test) exec ctest --test-dir build --output-on-failure ;;
    bench) exec build/bench/run_benchmarks.sh ;;
    package)
        (cd build && cpack -G DEB -B "$PWD/package")
        ls build/package/*.deb ;;
    build) ;;
    *) echo "usage: $0 run|test|build|bench|package|asan|fuzz [SECONDS]" >&2; exit 2 ;;
esac
