#!/usr/bin/env bash
# Parallel conversions against their baselines, side by side: 40 WAV files
# converted to MP3 (profile 17) by
#  - `popclipmill --batch --jobs 0` (one conversion per processor),
#  - GNU parallel with one job per processor over the same ffmpeg command
#    lines, as `popclipmill --batch --export-jobs -` writes them,
#  - `popclipmill --batch --jobs 1` (one after another: the speed-up).
# The three sides alternate within each run so that machine load affects
# them alike; the figures are medians over the runs, and every run's ratios
# are printed as well.
# Usage: bench/parallel_bench.sh BIN_DIR [RUNS] [FILES] [SECONDS]  (defaults 3, 40, 60)
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
BIN=$(cd "$1" && pwd)
RUNS=${2:-3}
FILES=${3:-40}
SECONDS_EACH=${4:-60}
FFMPEG=${POPCLIPMILL_FFMPEG:-ffmpeg}
PROCS=$(nproc)
if ! command -v parallel > /dev/null; then
  echo "bench/parallel_bench.sh: GNU parallel is not installed" >&2
  exit 1
fi
WORK=$(mktemp -d "${TMPDIR:-/tmp}/popclipmill-bench-par-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export POPCLIPMILL_CONFIG_DIR="$WORK/config"
mkdir -p "$WORK/config" "$WORK/wav"


# Inputs: stereo CD-quality sound of SECONDS_EACH seconds, a different tone
# in each file so that no two encodings are byte for byte the same work.
for i in $(seq -w 1 "$FILES"); do
  "$FFMPEG" -nostdin -v error -f lavfi -i "sine=frequency=$((200 + 10#$i * 20)):sample_rate=44100:duration=$SECONDS_EACH" \
    -ac 2 -y "$WORK/wav/w$i.wav"
done

made() { find "$1" -name '*.mp3' -size +0 2> /dev/null | wc -l; }
ours=() base=() seq1=() adding=() r_base=() r_seq=() counts=()
for run in $(seq "$RUNS"); do
  # Our batch, one conversion per processor.
  t=$EPOCHREALTIME
  "$BIN/popclipmill" --batch --quiet --jobs 0 --profile 17 --output "$WORK/ours$run" "$WORK/wav" > /dev/null
  ours+=("$(since "$t")")
  # The same command lines through parallel. Exporting probes every file, as
  # the batch does before it converts; that step is not part of the baseline.
  mkdir -p "$WORK/base$run"
  t=$EPOCHREALTIME
  "$BIN/popclipmill" --batch --export-jobs - --profile 17 --output "$WORK/base$run" "$WORK/wav" > "$WORK/jobs$run"
  adding+=("$(since "$t")")
  t=$EPOCHREALTIME
  parallel --jobs "$PROCS" < "$WORK/jobs$run" > /dev/null 2>&1
  base+=("$(since "$t")")
  # Our batch, one conversion at a time.
  t=$EPOCHREALTIME
  "$BIN/popclipmill" --batch --quiet --jobs 1 --profile 17 --output "$WORK/seq$run" "$WORK/wav" > /dev/null
  seq1+=("$(since "$t")")
  r_base+=("$(ratio "${ours[-1]}" "${base[-1]}")")
  r_seq+=("$(ratio "${seq1[-1]}" "${ours[-1]}")")
  counts+=("$(made "$WORK/ours$run")/$(made "$WORK/base$run")/$(made "$WORK/seq$run")")
  rm -rf "$WORK/ours$run" "$WORK/base$run" "$WORK/seq$run"
done
ours_s=$(printf '%s\n' "${ours[@]}" | median)
base_s=$(printf '%s\n' "${base[@]}" | median)
seq_s=$(printf '%s\n' "${seq1[@]}" | median)
adding_s=$(printf '%s\n' "${adding[@]}" | median)

printf 'Parallel batch, %s processors (load average %s), medians of %s runs\n' "$PROCS" \
  "$(cut -d' ' -f1-3 /proc/loadavg)" "$RUNS"
printf '%-52s %9s %9s %7s %8s  %s\n' "benchmark" "ours (s)" "base (s)" "ratio" "target" "ratios of the runs"
printf '%-52s %9s %9s %7s %8s  %s\n' "$FILES WAV->MP3: --jobs 0 vs parallel --jobs $PROCS" "$ours_s" "$base_s" \
  "$(ratio "$ours_s" "$base_s")" "<= 1.05" "${r_base[*]}"
printf '%-52s %9s\n' "  of which start-up and $FILES probes (the export)" "$adding_s"
printf '%-52s %9s %9s %7s %8s  %s\n' "  speed-up: --jobs 1 over --jobs 0" "$ours_s" "$seq_s" \
  "$(ratio "$seq_s" "$ours_s")" "" "${r_seq[*]}"
printf '(%s-second files; MP3 files made per run, --jobs 0/parallel/--jobs 1: %s)\n' "$SECONDS_EACH" "${counts[*]}"
