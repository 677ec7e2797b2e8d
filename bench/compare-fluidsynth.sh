#!/usr/bin/env bash
# Side-by-side speed of Vellamor-ZUL (through vellamor-render) and fluidsynth
# with its General MIDI SoundFont on the same MIDI passage: fourteen notes
# (48..61, every pitch class) struck together on every beat at 120 bpm and
# held until just before the next, for a few minutes. Both engines render to
# a file as fast as they can, with reverb and chorus (our flanger) on; the
# runs alternate so that both see the same machine load.
#
# Prints, per run and as medians: seconds of audio per second of wall time
# (real-time multiple) for each, their ratio, the voices each engine played
# and the peak resident memory of each process.
#
# Usage: bench/compare-fluidsynth.sh [BUILD_DIR] [SECONDS] [RUNS]
#        (defaults: build 180 3)
# Not part of the test suite; exits 0 without running when a tool is missing.
set -euo pipefail

build_dir=$(cd "${1:-build}" && pwd)
seconds=${2:-180}
runs=${3:-3}

soundfont=/usr/share/sounds/sf2/FluidR3_GM.sf2
render="$build_dir/tools/vellamor-render/vellamor-render"
plugin="$build_dir/Vellamor-ZUL/Vellamor-ZUL.so"

missing=()
command -v fluidsynth >/dev/null || missing+=(fluidsynth)
[[ -f $soundfont ]] || missing+=(fluid-soundfont-gm)
[[ -x /usr/bin/time ]] || missing+=(time)
command -v bc >/dev/null || missing+=(bc)
if ((${#missing[@]})); then
  echo "compare-fluidsynth: missing ${missing[*]}; install with:"
  echo "  sudo apt-get install ${missing[*]}"
  exit 0
fi
if [[ ! -x $render || ! -f $plugin || ! -d $build_dir/content ]]; then
  echo "compare-fluidsynth: build the project first (ninja -C $build_dir)"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Standard MIDI File writer: bytes as \x escapes, lengths and deltas as
# variable-length quantities.
vlq() {
  local v=$1 bytes=() b
  bytes=($((v & 127)))
  v=$((v >> 7))
  while ((v > 0)); do
    bytes=($(((v & 127) | 128)) "${bytes[@]}")
    v=$((v >> 7))
  done
  for b in "${bytes[@]}"; do printf '\\x%02x' "$b"; done
}
be32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 >> 24 & 255)) $(($1 >> 16 & 255)) $(($1 >> 8 & 255)) $(($1 & 255)); }

# make_passage FILE PROGRAM: PROGRAM < 0 sends no program change (the
# plug-in would take one as a switch of its own presets).
make_passage() {
  local file=$1 program=$2 ppq=96 beats=$((seconds * 2)) n beat
  local d0 d6 dOff ons="" offs="" first_on later_on track=""
  d0=$(vlq 0)
  d6=$(vlq 6)
  dOff=$(vlq $((ppq - 6)))
  for ((n = 0; n < 14; ++n)); do
    local key
    key=$(printf '\\x%02x' $((48 + n)))
    if ((n > 0)); then ons+="$d0\\x90$key\\x64"; fi
    offs+="$([[ $n == 0 ]] && echo "$dOff" || echo "$d0")\\x80$key\\x00"
  done
  first_on="$d0\\x90\\x30\\x64$ons"
  later_on="$d6\\x90\\x30\\x64$ons"
  if ((program >= 0)); then track+="$d0\\xc0$(printf '\\x%02x' "$program")"; fi
  track+="$first_on$offs"
  for ((beat = 1; beat < beats; ++beat)); do track+="$later_on$offs"; done
  track+="$d0\\xff\\x2f\\x00"
  local body="$work/track.bin"
  printf '%b' "$track" >"$body"
  local length
  length=$(wc -c <"$body")
  { printf 'MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60'
    printf 'MTrk'; printf '%b' "$(be32 "$length")"
    cat "$body"; } >"$file"
}
make_passage "$work/vellamor.mid" -1
make_passage "$work/fluid.mid" 48  # String Ensemble 1, the closest GM sound

# Our data folders point at the build's content only, as in make demo.
mkdir -p "$work/system" "$work/home"
ln -s "$build_dir/content" "$work/system/Audio"

# run_timed NAME COMMAND...: wall seconds, CPU seconds (user + system) and
# peak RSS (kB) into $wall, $cpu and $rss.
run_timed() {
  local name=$1
  shift
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f '%U %S %M' -o "$work/$name.rss" "$@" >"$work/$name.log" 2>&1 || {
    echo "compare-fluidsynth: $name failed:"; cat "$work/$name.log"; exit 1; }
  end=$(date +%s.%N)
  wall=$(echo "$end - $start" | bc -l)
  read -r user sys rss < <(tail -1 "$work/$name.rss")
  cpu=$(echo "$user + $sys" | bc -l)
}

ours() {
  run_timed vellamor "$render" --plugin "$plugin" --data-home "$work/home" \
    --data-dirs "$work/system" --program 0 --quiet --format float --tail 2 \
    --set MonoType=0 --set DroneType=0 --set Drone=1 --set Sympathetic=1 \
    --set FlangerOn=1 --set ReverberOn=1 --set ToneSwitch=1 \
    "$work/vellamor.mid" "$work/vellamor.wav"
}
theirs() {
  run_timed fluidsynth fluidsynth -n -i -q -R 1 -C 1 -r 44100 -T wav \
    -F "$work/fluid.wav" "$soundfont" "$work/fluid.mid"
}

# Voices fluidsynth plays at once on this passage, from its own event log
# of a short stretch (not timed: the log slows it down).
fluid_voices() {
  local short="$work/short.mid" saved=$seconds
  seconds=4
  make_passage "$short" 48
  seconds=$saved
  fluidsynth -n -i -v -r 44100 -F "$work/short.wav" "$soundfont" "$short" 2>&1 |
    awk -F'\t' '$1 ~ /noteon$/ { if ($NF + 1 > max) max = $NF + 1 } END { print max + 0 }'
}

audio_seconds() {  # length of a WAV file from soxi when present, else the passage
  if command -v soxi >/dev/null; then soxi -D "$1" 2>/dev/null; else echo "$seconds"; fi
}

declare -a ours_x theirs_x ours_c theirs_c ours_rss theirs_rss
printf '%-4s %14s %14s %8s   %s\n' run "Vellamor-ZUL" fluidsynth ratio "(by CPU time: ours, theirs, ratio)"
for ((r = 1; r <= runs; ++r)); do
  ours
  a=$(audio_seconds "$work/vellamor.wav")
  ox=$(echo "$a / $wall" | bc -l)
  oc=$(echo "$a / $cpu" | bc -l)
  ours_rss+=("$rss")
  theirs
  a=$(audio_seconds "$work/fluid.wav")
  tx=$(echo "$a / $wall" | bc -l)
  tc=$(echo "$a / $cpu" | bc -l)
  theirs_rss+=("$rss")
  ours_x+=("$ox")
  theirs_x+=("$tx")
  ours_c+=("$oc")
  theirs_c+=("$tc")
  printf '%-4s %13.1fx %13.1fx %8.2f   %.1fx %.1fx %.2f\n' "$r" "$ox" "$tx" "$(echo "$ox / $tx" | bc -l)" \
    "$oc" "$tc" "$(echo "$oc / $tc" | bc -l)"
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
om=$(median "${ours_x[@]}")
tm=$(median "${theirs_x[@]}")
echo
printf 'passage: %d s, 14 notes struck every beat at 120 bpm, 44100 Hz, %d runs each, alternating\n' "$seconds" "$runs"
printf 'real-time multiple (median): Vellamor-ZUL %.1fx, fluidsynth %.1fx, ratio %.2f\n' "$om" "$tm" "$(echo "$om / $tm" | bc -l)"
oc=$(median "${ours_c[@]}")
tc=$(median "${theirs_c[@]}")
printf 'by CPU time (median):        Vellamor-ZUL %.1fx, fluidsynth %.1fx, ratio %.2f\n' "$oc" "$tc" "$(echo "$oc / $tc" | bc -l)"
printf 'voices: Vellamor-ZUL 14 (1 main, 12 sympathetic, 1 drone: its fixed voice set); fluidsynth up to %s at once\n' "$(fluid_voices)"
printf 'peak memory (median RSS): Vellamor-ZUL %d MB, fluidsynth %d MB\n' \
  $(($(median "${ours_rss[@]}") / 1024)) $(($(median "${theirs_rss[@]}") / 1024))
