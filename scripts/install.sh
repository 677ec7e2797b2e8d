#!/usr/bin/env bash
# make install / make uninstall: the plug-in bundle (with its factory bank)
# goes to the VST folder (~/.vst by default), the LV2 bundle, when it was
# built, to the LV2 folder (~/.lv2 by default), the sound sets and scales to
# the user's XDG data folder, where the plug-in looks for them. Nothing goes
# outside the user's home unless VST_DIR, LV2_DIR or XDG_DATA_HOME point there.
set -euo pipefail
action=${1:-}
build_dir=${2:-}
vst_dir=${3:-}
lv2_dir=${4:-$HOME/.lv2}
bundle=Vellamor-ZUL
lv2_bundle=Vellamor-ZUL.lv2
lv2_src="$build_dir/LV2/$lv2_bundle"
content_rel=Sounds/Banks/Quillmark/Vellamor
content_src="$build_dir/content/$content_rel"

data_home=${XDG_DATA_HOME:-}
[[ "$data_home" == /* ]] || data_home="$HOME/.local/share"
content_dst="$data_home/Audio/$content_rel"

# The factory folders and scale files by name, as the build made them; the
# uninstall removes exactly these, so sets and scales a user added stay.
factory_items() {
  local dir=$1
  [[ -d "$dir" ]] || return 0
  (cd "$dir" && find . -mindepth 1 -maxdepth 1 -type d -name '[0-9][0-9]-*' -printf '%P\n' | sort)
  (cd "$dir" && [[ -d Scale ]] && find Scale -mindepth 1 -maxdepth 1 -type f -name '*.txt' | sort)
  return 0
}

case "$action" in
  install)
    [[ -f "$build_dir/$bundle/$bundle.so" ]] || { echo "Build first: $build_dir/$bundle/$bundle.so is missing" >&2; exit 1; }
    [[ -d "$content_src" ]] || { echo "Build first: $content_src is missing" >&2; exit 1; }
    mkdir -p "$vst_dir"
    rm -rf "$vst_dir/$bundle.tmp"
    cp -r "$build_dir/$bundle" "$vst_dir/$bundle.tmp"
    rm -rf "$vst_dir/$bundle"
    mv "$vst_dir/$bundle.tmp" "$vst_dir/$bundle"
    echo "Installed $vst_dir/$bundle/$bundle.so"

    if [[ -f "$lv2_src/manifest.ttl" ]]; then
      mkdir -p "$lv2_dir"
      rm -rf "$lv2_dir/$lv2_bundle.tmp"
      cp -r "$lv2_src" "$lv2_dir/$lv2_bundle.tmp"
      rm -rf "${lv2_dir:?}/$lv2_bundle"
      mv "$lv2_dir/$lv2_bundle.tmp" "$lv2_dir/$lv2_bundle"
      echo "Installed $lv2_dir/$lv2_bundle"
    fi

    mkdir -p "$content_dst/Scale"
    manifest="$content_dst/.factory-content"
    factory_items "$content_src" > "$manifest.tmp"
    while IFS= read -r item; do
      if [[ -d "$content_src/$item" ]]; then
        rm -rf "$content_dst/$item.tmp"
        cp -r "$content_src/$item" "$content_dst/$item.tmp"
        rm -rf "${content_dst:?}/$item"
        mv "$content_dst/$item.tmp" "$content_dst/$item"
      else
        cp "$content_src/$item" "$content_dst/$item.tmp"
        mv "$content_dst/$item.tmp" "$content_dst/$item"
      fi
    done < "$manifest.tmp"
    mv "$manifest.tmp" "$manifest"
    echo "Installed sound sets and scales in $content_dst"
    ;;
  uninstall)
    rm -rf "${vst_dir:?}/$bundle"
    echo "Removed $vst_dir/$bundle"
    rm -rf "${lv2_dir:?}/$lv2_bundle"
    echo "Removed $lv2_dir/$lv2_bundle"
    manifest="$content_dst/.factory-content"
    # What install recorded, else what this build would install.
    if [[ -f "$manifest" ]]; then items=$(cat "$manifest"); else items=$(factory_items "$content_src"); fi
    while IFS= read -r item; do
      [[ -n "$item" && "$item" != *..* && "$item" != /* ]] || continue
      rm -rf "${content_dst:?}/$item"
    done <<< "$items"
    rm -f "$manifest"
    # Folders go only when nothing of the user's is left in them.
    rmdir "$content_dst/Scale" "$content_dst" 2>/dev/null || true
    echo "Removed the factory sound sets and scales from $content_dst"
    ;;
  *)
    echo "usage: $0 install|uninstall BUILD_DIR VST_DIR [LV2_DIR]" >&2
    exit 2
    ;;
esac
