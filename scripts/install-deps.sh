#!/usr/bin/env bash
# Installs the Debian packages the library, its tests and its demo need. Quiet when all are present.
# With "aarch64" it installs instead what the cross build for 64-bit ARM and its emulated test run need: the cross
# compiler, qemu's user-mode emulator and the arm64 builds of the -dev packages, which Debian installs beside the
# machine's own (multiarch), so the native build is left as it was.
set -euo pipefail

case "${1:-native}" in
    native)
        packages=(
            cmake g++ make pkg-config ccache
            libsqlite3-dev nlohmann-json3-dev libcurl4-openssl-dev libplist-dev libutf8proc-dev libcpp-httplib-dev
            libgtest-dev libgmock-dev libbenchmark-dev
            clang-14 libclang-rt-14-dev
            ca-certificates
            locales # the definitions a test compiles a decimal-comma locale from (localedef)
        )
        ;;
    aarch64)
        packages=(
            g++-aarch64-linux-gnu qemu-user binutils-aarch64-linux-gnu
            libsqlite3-dev:arm64 libcurl4-openssl-dev:arm64 libplist-dev:arm64 libutf8proc-dev:arm64
            libcpp-httplib-dev:arm64 libgtest-dev:arm64 libgmock-dev:arm64 nlohmann-json3-dev
        )
        ;;
    *) echo "unknown target '$1' (native, aarch64)" >&2; exit 2 ;;
esac

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "${1:-native}" = aarch64 ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    $sudo dpkg --add-architecture arm64
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
