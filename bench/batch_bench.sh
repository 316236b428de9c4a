#!/usr/bin/env bash
# Batch front end against its baselines, side by side:
#  1. 20 two-second clips converted by `popclipmill --batch` vs the same 20
#     encoder command lines run directly with ffmpeg, one after another;
#  2. adding a folder of 500 small files (a dry run: each file is probed and
#     its command line built, nothing converted) vs ffprobe on each file.
# The sides alternate within each run, and which side goes first alternates
# from run to run, so that a swing of the machine's load reaches both alike.
# The figures are the medians of the runs' ratios; every run's ratio and the
# load average at its start are printed too.
# Usage: bench/batch_bench.sh BIN_DIR [RUNS] [CLIPS] [FILES]  (defaults 5, 20, 500)
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
BIN=$(cd "$1" && pwd)
RUNS=${2:-5}
CLIPS=${3:-20}
FILES=${4:-500}
FFMPEG=${POPCLIPMILL_FFMPEG:-ffmpeg}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/popclipmill-bench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export POPCLIPMILL_CONFIG_DIR="$WORK/config"
mkdir -p "$WORK/config" "$WORK/clips" "$WORK/small"


# Inputs: two-second clips with picture and sound, and small sound files.
"$FFMPEG" -nostdin -v error -f lavfi -i testsrc=size=320x240:rate=25:duration=2 \
  -f lavfi -i sine=frequency=440:duration=2 -c:v mpeg4 -c:a mp2 -y "$WORK/clip.avi"
for i in $(seq -w 1 "$CLIPS"); do cp "$WORK/clip.avi" "$WORK/clips/clip$i.avi"; done
"$FFMPEG" -nostdin -v error -f lavfi -i sine=frequency=440:duration=0.2 -y "$WORK/small.wav"
for i in $(seq -w 1 "$FILES"); do cp "$WORK/small.wav" "$WORK/small/s$i.wav"; done

# H.264 at the clips' own size: a common everyday conversion.
PROFILE=(--profile 5 --size 1 --video-quality 2 --audio-quality 2 --channels stereo)

# The command lines the batch runs, for the direct side. The adapter maps
# the old -b/-ab to -b:v/-b:a and adds -nostdin; so does the direct run.
"$BIN/popclipmill" --batch --dry-run "${PROFILE[@]}" --output "$WORK/direct" "$WORK"/clips/*.avi > "$WORK/lines"

batch_side() {
  rm -rf "$WORK/batch"
  local t=$EPOCHREALTIME
  "$BIN/popclipmill" --batch --quiet "${PROFILE[@]}" --output "$WORK/batch" "$WORK"/clips/*.avi > /dev/null
  batch+=("$(since "$t")")
  made+=("$(ls "$WORK/batch" | wc -l)")
}
direct_side() {
  rm -rf "$WORK/direct"
  mkdir -p "$WORK/direct"
  local t=$EPOCHREALTIME
  run_lines_with_ffmpeg "$WORK/lines"
  direct+=("$(since "$t")")
  made_direct+=("$(ls "$WORK/direct" | wc -l)")
}
# The batch's start-up and its probes alone: a dry run of the same clips.
dry_side() {
  local t=$EPOCHREALTIME
  "$BIN/popclipmill" --batch --dry-run "${PROFILE[@]}" --output "$WORK/none" "$WORK"/clips/*.avi > /dev/null
  dry+=("$(since "$t")")
}
add_side() {
  local t=$EPOCHREALTIME
  "$BIN/popclipmill" --batch --dry-run --profile 17 --output "$WORK/none" "$WORK/small" > "$WORK/small-lines"
  add+=("$(since "$t")")
  added+=("$(wc -l < "$WORK/small-lines")")
}
probe_side() {
  local t=$EPOCHREALTIME
  for f in "$WORK"/small/*; do ffprobe -v error -show_format -show_streams "$f" > /dev/null; done
  probe+=("$(since "$t")")
}

batch=() direct=() dry=() add=() probe=() made=() made_direct=() added=() loads=()
r_clips=() r_alone=() r_add=()
for run in $(seq "$RUNS"); do
  loads+=("$(load)")
  if ((run % 2)); then
    batch_side
    direct_side
    dry_side
    add_side
    probe_side
  else
    direct_side
    dry_side
    batch_side
    probe_side
    add_side
  fi
  r_clips+=("$(ratio "${batch[-1]}" "${direct[-1]}")")
  r_alone+=("$(ratio "$(awk -v a="${batch[-1]}" -v b="${dry[-1]}" 'BEGIN { print a - b }')" "${direct[-1]}")")
  r_add+=("$(ratio "${add[-1]}" "${probe[-1]}")")
done
med() { printf '%s\n' "$@" | median; }

printf 'Batch front end, %s processors, medians of %s runs (load average at the start of each run: %s)\n' \
  "$(nproc)" "$RUNS" "${loads[*]}"
printf '%-46s %9s %9s %7s %8s  %s\n' "benchmark" "ours (s)" "base (s)" "ratio" "target" "ratios of the runs"
printf '%-46s %9s %9s %7s %8s  %s\n' "$CLIPS clips: popclipmill --batch vs ffmpeg direct" "$(med "${batch[@]}")" \
  "$(med "${direct[@]}")" "$(med "${r_clips[@]}")" "<= 1.03" "${r_clips[*]}"
printf '%-46s %9s\n' "  of which start-up and $CLIPS probes (dry run)" "$(med "${dry[@]}")"
printf '%-46s %9s %9s %7s %8s  %s\n' "  conversions alone vs ffmpeg direct" "" "" "$(med "${r_alone[@]}")" "" \
  "${r_alone[*]}"
printf '%-46s %9s %9s %7s %8s  %s\n' "add folder of $FILES files vs ffprobe each" "$(med "${add[@]}")" \
  "$(med "${probe[@]}")" "$(med "${r_add[@]}")" "<= 0.3" "${r_add[*]}"
printf '(converted per run by the batch: %s, directly: %s; files added: %s)\n' "${made[*]}" \
  "${made_direct[*]}" "${added[*]}"
