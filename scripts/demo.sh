#!/usr/bin/env bash
# make demo: render the demo song through the freshly built plug-in, with the
# freshly generated factory content, into demo.wav.
set -euo pipefail
build_dir=$(cd "${1:-build}" && pwd)
out=${2:-demo.wav}

# The plug-in looks for "Audio/Sounds/..." below the XDG data folders; point it
# at the build tree's content and keep the user's own folders out of it.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/system" "$work/home"
ln -s "$build_dir/content" "$work/system/Audio"

# Loading the module scans for sound sets at once: the same folders as below.
XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_DIRS="$work/system" \
  "$build_dir/tools/vstinfo/vstinfo" "$build_dir/Vellamor-ZUL/Vellamor-ZUL.so" | head -9

"$build_dir/tools/vellamor-render/vellamor-render" \
  --plugin "$build_dir/Vellamor-ZUL/Vellamor-ZUL.so" \
  --data-home "$work/home" --data-dirs "$work/system" \
  --program 0 --tail 4 \
  "$build_dir/content/demo.mid" "$out"
echo "Rendered $out"
