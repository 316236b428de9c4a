#!/usr/bin/env bash
# Batch front end against its baselines, side by side:
#  1. 20 two-second clips converted by `popclipmill --batch` vs the same 20
#     encoder command lines run directly with ffmpeg, one after another;
#  2. adding a folder of 500 small files (a dry run: each file is probed and
#     its command line built, nothing converted) vs ffprobe on each file.
# Usage: bench/batch_bench.sh BIN_DIR [CLIPS] [FILES]
set -euo pipefail
BIN=$(cd "$1" && pwd)
CLIPS=${2:-20}
FILES=${3:-500}
FFMPEG=${POPCLIPMILL_FFMPEG:-ffmpeg}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/popclipmill-bench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export POPCLIPMILL_CONFIG_DIR="$WORK/config"
mkdir -p "$WORK/config" "$WORK/clips" "$WORK/small"

now() { date +%s.%N; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
secs() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

# Inputs: two-second clips with picture and sound, and small sound files.
"$FFMPEG" -nostdin -v error -f lavfi -i testsrc=size=320x240:rate=25:duration=2 \
  -f lavfi -i sine=frequency=440:duration=2 -c:v mpeg4 -c:a mp2 -y "$WORK/clip.avi"
for i in $(seq -w 1 "$CLIPS"); do cp "$WORK/clip.avi" "$WORK/clips/clip$i.avi"; done
"$FFMPEG" -nostdin -v error -f lavfi -i sine=frequency=440:duration=0.2 -y "$WORK/small.wav"
for i in $(seq -w 1 "$FILES"); do cp "$WORK/small.wav" "$WORK/small/s$i.wav"; done

# H.264 at the clips' own size: a common everyday conversion.
PROFILE=(--profile 5 --size 1 --video-quality 2 --audio-quality 2 --channels stereo)

# 1. The batch, and the same command lines run directly. The adapter maps
# the old -b/-ab to -b:v/-b:a and adds -nostdin; so does the direct run.
# The dry run is timed too: it is the batch's start-up and its probes.
td=$(now)
"$BIN/popclipmill" --batch --dry-run "${PROFILE[@]}" --output "$WORK/direct" "$WORK"/clips/*.avi > "$WORK/lines"
tdd=$(now)
mkdir -p "$WORK/direct"
t0=$(now)
"$BIN/popclipmill" --batch --quiet "${PROFILE[@]}" --output "$WORK/batch" "$WORK"/clips/*.avi > /dev/null
t1=$(now)
while read -r _encoder rest; do
  # shellcheck disable=SC2086  # the paths hold no blanks
  set -- $rest
  args=()
  for a in "$@"; do
    case "$a" in -b) args+=(-b:v) ;; -ab) args+=(-b:a) ;; *) args+=("$a") ;; esac
  done
  "$FFMPEG" -nostdin "${args[@]}" > /dev/null 2>&1
done < "$WORK/lines"
t2=$(now)
batch=$(secs "$t0" "$t1")
direct=$(secs "$t1" "$t2")
adding=$(secs "$td" "$tdd")
engine=$(awk -v a="$batch" -v b="$adding" 'BEGIN { printf "%.3f", a - b }')
made=$(ls "$WORK/batch" | wc -l)
made_direct=$(ls "$WORK/direct" | wc -l)

# 2. Adding a folder: probe every file, build every command line.
t3=$(now)
"$BIN/popclipmill" --batch --dry-run --profile 17 --output "$WORK/none" "$WORK/small" > "$WORK/small-lines"
t4=$(now)
for f in "$WORK"/small/*; do ffprobe -v error -show_format -show_streams "$f" > /dev/null; done
t5=$(now)
added=$(wc -l < "$WORK/small-lines")
add=$(secs "$t3" "$t4")
probe=$(secs "$t4" "$t5")

printf 'Batch front end, %s processors (load average %s)\n' "$(nproc)" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-44s %10s %10s %8s %8s\n' "benchmark" "ours (s)" "base (s)" "ratio" "target"
printf '%-44s %10s %10s %8s %8s\n' "$CLIPS clips: popclipmill --batch vs ffmpeg direct" "$batch" "$direct" \
  "$(ratio "$batch" "$direct")" "<= 1.03"
printf '%-44s %10s %10s %8s\n' "  of which start-up and $CLIPS probes" "$adding" "" ""
printf '%-44s %10s %10s %8s\n' "  conversions alone vs ffmpeg direct" "$engine" "$direct" "$(ratio "$engine" "$direct")"
printf '%-44s %10s %10s %8s %8s\n' "add folder of $FILES files vs ffprobe each" "$add" "$probe" \
  "$(ratio "$add" "$probe")" "<= 0.3"
printf '(converted %s by batch, %s directly; %s files added)\n' "$made" "$made_direct" "$added"
