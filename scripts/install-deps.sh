#!/usr/bin/env bash
# Installs the Debian packages the library, its tests and its demo need. Quiet when all are present.
set -euo pipefail

packages=(
    cmake g++ make pkg-config ccache
    libsqlite3-dev nlohmann-json3-dev libcurl4-openssl-dev libplist-dev libutf8proc-dev libcpp-httplib-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang-14 libclang-rt-14-dev
    ca-certificates
    locales  # the definitions a test compiles a decimal-comma locale from (localedef)
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
