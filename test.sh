#!/bin/sh
# Installs what is missing, builds, and runs every test. Tests that open sockets run in network
# namespaces of their own; nothing reaches the machine's network.
set -eu
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh build -DVELTRA_WERROR=ON
ctest --test-dir build --output-on-failure -j"$(nproc)" "$@"
