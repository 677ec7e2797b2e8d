#!/usr/bin/env bash
# make install / make uninstall: the plug-in bundle goes to the VST folder
# (~/.vst by default), nothing outside the user's home unless asked.
set -euo pipefail
action=$1
build_dir=$2
vst_dir=$3
bundle=Vellamor-ZUL

case "$action" in
  install)
    [[ -f "$build_dir/$bundle/$bundle.so" ]] || { echo "Build first: $build_dir/$bundle/$bundle.so is missing" >&2; exit 1; }
    mkdir -p "$vst_dir"
    rm -rf "$vst_dir/$bundle.tmp"
    cp -r "$build_dir/$bundle" "$vst_dir/$bundle.tmp"
    rm -rf "$vst_dir/$bundle"
    mv "$vst_dir/$bundle.tmp" "$vst_dir/$bundle"
    echo "Installed $vst_dir/$bundle/$bundle.so"
    ;;
  uninstall)
    rm -rf "$vst_dir/$bundle"
    echo "Removed $vst_dir/$bundle"
    ;;
  *)
    echo "usage: $0 install|uninstall BUILD_DIR VST_DIR" >&2
    exit 2
    ;;
esac
