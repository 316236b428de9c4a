#!/usr/bin/env bash
# Real media that others made (the test fixtures of tests/support), side by
# side with plain ffmpeg:
#  1. the files converted by `popclipmill --batch` vs ffmpeg running the
#     batch's own command lines (from --dry-run) one after another, the
#     sides alternating for each profile's batch and which goes first from
#     batch to batch: probing, fitting and stream choice must not slow a
#     batch down;
#  2. the size each profile family writes against the estimate the list
#     showed for it (written / estimated, summed over the files).
# Usage: bench/real_media_bench.sh BIN_DIR [RUNS]  (default 5)
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
BIN=$(cd "$1" && pwd)
RUNS=${2:-5}
HERE=$(cd "$(dirname "$0")/.." && pwd)
FFMPEG=${POPCLIPMILL_FFMPEG:-ffmpeg}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/popclipmill-real-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export POPCLIPMILL_CONFIG_DIR="$WORK/config"
CACHE=${POPCLIPMILL_MEDIA_CACHE:-$HOME/.cache/popclipmill/real-media}
bash "$HERE/tests/support/real-media.sh" "$CACHE"
mkdir -p "$WORK/config" "$WORK/media"
FILES=(real-video.mp4 real-av.avi rotated.mp4 anamorphic.mkv portrait.mp4 two-tracks.mkv cover.mp3
  stream-tags.ogg real-sound.oga)
for f in "${FILES[@]}"; do cp "$CACHE/$f" "$WORK/media/"; done


# H.264 in MP4 at the source's size and at a fixed one, and MP3.
JOBS=("--profile 102 --size 6" "--profile 5 --size 1" "--profile 17")
for k in "${!JOBS[@]}"; do
  j=${JOBS[$k]}
  # shellcheck disable=SC2086
  "$BIN/popclipmill" --batch --dry-run $j --output "$WORK/direct/${j// /_}" "$WORK"/media/* > "$WORK/lines$k"
done

# One profile's batch on each side, timed; the seconds are added to the
# side's total of the run.
batch_side() {
  local j=${JOBS[$1]} t
  rm -rf "$WORK/batch"
  t=$EPOCHREALTIME
  # shellcheck disable=SC2086
  "$BIN/popclipmill" --batch --quiet $j --output "$WORK/batch/${j// /_}" "$WORK"/media/* > /dev/null
  batch_s=$(awk -v a="$batch_s" -v b="$(since "$t")" 'BEGIN { printf "%.3f", a + b }')
}
direct_side() {
  local j=${JOBS[$1]} t
  rm -rf "$WORK/direct"
  mkdir -p "$WORK/direct/${j// /_}"
  t=$EPOCHREALTIME
  run_lines_with_ffmpeg "$WORK/lines$1"
  direct_s=$(awk -v a="$direct_s" -v b="$(since "$t")" 'BEGIN { printf "%.3f", a + b }')
}

# The sides alternate for each profile's batch (a few seconds each, so a
# change of the load meets both alike), and which goes first alternates too.
batch=() direct=() ratios=()
for run in $(seq 1 "$RUNS"); do
  l=$(load)
  batch_s=0 direct_s=0
  for k in "${!JOBS[@]}"; do
    if (( (run + k) % 2 )); then batch_side "$k"; direct_side "$k"; else direct_side "$k"; batch_side "$k"; fi
  done
  batch+=("$batch_s") direct+=("$direct_s")
  r=$(ratio "$batch_s" "$direct_s")
  ratios+=("$r")
  echo "run $run (load $l): batch $batch_s s, ffmpeg $direct_s s, ratio $r"
done
echo "real media, ${#FILES[@]} files x ${#JOBS[@]} profiles: batch vs the same ffmpeg commands," \
  "median ratio $(printf '%s\n' "${ratios[@]}" | median) (target <= 1.03)"

# Written size against the estimate, per profile family.
echo
echo "written / estimated size, summed over the files:"
for fam in "computed video:--profile 102 --size 4" "computed H.264 MP4:--profile 122 --size 2" \
  "table video:--profile 4 --size 3" "table video (Flash):--profile 11 --size 1" \
  "phone 3GP:--profile 68" "audio MP3:--profile 17" "audio M4A:--profile 23" "audio OGG:--profile 18" \
  "disc VCD:--profile 112"; do
  name=${fam%%:*} opts=${fam#*:}
  out="$WORK/est/${name// /_}"
  # shellcheck disable=SC2086
  est=$("$BIN/popclipmill" --batch --list $opts "$WORK"/media/* | awk '/^ *[0-9]+\*/ { sub("MB", "", $5); s += $5 } END { print s }')
  # shellcheck disable=SC2086
  "$BIN/popclipmill" --batch --quiet $opts --output "$out" "$WORK"/media/* > /dev/null || true
  written=$(du -cb "$out"/* 2>/dev/null | awk 'END { printf "%.3f", $1 / 1048576 }')
  printf '  %-22s estimate %7.2f MB, written %7.2f MB, ratio %s\n' "$name" "$est" "$written" "$(ratio "$written" "$est")"
done
