#!/bin/sh
# Installs the Debian packages the build and the tests need, when any is missing.
# Safe to run again: it does nothing when everything is there.
set -eu

PKGS="cmake make g++ libgtest-dev googletest clang libclang-rt-14-dev \
g++-mingw-w64-i686 g++-mingw-w64-x86-64 g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 \
wine wine64 xvfb xauth x11-apps imagemagick locales fonts-wqy-microhei fonts-arphic-uming \
python3 python3-pefile binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 osslsigncode openssl \
fpc"

missing=""
for p in $PKGS; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "install-deps: missing packages:$missing (run as root to install them)" >&2
        exit 1
    fi
    echo "install-deps: installing$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# wine reads the ANSI code page from the locale: zh_CN.UTF-8 gives code page 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    if [ "$(id -u)" != 0 ]; then
        echo "install-deps: the zh_CN.UTF-8 locale is missing (run as root to generate it)" >&2
        exit 1
    fi
    sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
fi
