#!/usr/bin/env bash
# Installs what the build and the tests need, when it is missing.  As root it
# uses apt; otherwise it prints the one command to run and fails.
#   install-deps.sh build   compilers, CMake, GoogleTest, MinGW-w64 (i686 and
#                           x86_64)
#   install-deps.sh wine    Wine for the end-to-end tests: the 64-bit Wine
#                           everywhere, its 32-bit part only where the
#                           kernel runs 32-bit programs
#   install-deps.sh bench   Google Benchmark
#   install-deps.sh fuzz    clang with libFuzzer
#   install-deps.sh tidy    clang-tidy
set -euo pipefail

want=()
need() { # need PACKAGE: queue PACKAGE when dpkg does not have it installed
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed' || want+=("$1")
}

i386=no
for group in "$@"; do
    case "$group" in
    build)
        for p in cmake g++ make libgtest-dev libgmock-dev git \
            g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64; do
            need "$p"
        done
        ;;
    wine)
        for p in wine wine64; do need "$p"; done
        # The 32-bit packages would install on any machine, but where the
        # kernel cannot run them their own install scripts fail and the
        # 32-bit Wine never starts; ask the kernel first.
        if bash "$(dirname "$0")/runs-32bit.sh" "$(dirname "$0")/../build"; then
            need wine32:i386
            i386=yes
        fi
        ;;
    bench)
        need libbenchmark-dev
        ;;
    fuzz)
        for p in clang libclang-rt-14-dev; do need "$p"; done
        ;;
    tidy)
        need clang-tidy
        ;;
    *)
        echo "install-deps.sh: unknown group '$group'" >&2
        exit 2
        ;;
    esac
done

[ ${#want[@]} -eq 0 ] && exit 0

cmd="apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y ${want[*]}"
[ "$i386" = yes ] && cmd="dpkg --add-architecture i386 && $cmd"
if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${want[*]}" >&2
    echo "Run as root: $cmd" >&2
    exit 1
fi
echo "Installing: ${want[*]}"
if [ "$i386" = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${want[@]}"
