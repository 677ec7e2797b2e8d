#!/usr/bin/env bash
# make demo: load the freshly built plug-in like a host and show what it is.
set -euo pipefail
build_dir=${1:-build}
"$build_dir/tools/vstinfo/vstinfo" "$build_dir/Vellamor-ZUL/Vellamor-ZUL.so"
