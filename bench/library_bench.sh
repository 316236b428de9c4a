#!/usr/bin/env bash
# A music library converted with its folder tree kept, against its
# baselines: FOLDERS album folders ("Artist NN/Album M") of FILES short FLAC
# tracks each, the same track names in every album.
#  1. The first run: `popclipmill --batch --jobs 0 --keep-folders` vs GNU
#     parallel with one job per processor over the same ffmpeg command
#     lines, as `--export-jobs - --keep-folders` writes them (the export
#     probes every file, as the batch does; it is timed apart). The side
#     that goes first alternates from run to run; both trees are compared.
#  2. The second run over the converted library with --skip-existing
#     (nothing to do): its median time, target under 1 s, beside `find`
#     listing the same library.
# Usage: bench/library_bench.sh BIN_DIR [RUNS] [FOLDERS] [FILES] [SECONDS]
#        (defaults 3, 200, 10, 1)
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
BIN=$(cd "$1" && pwd)
RUNS=${2:-3}
FOLDERS=${3:-200}
FILES=${4:-10}
SECONDS_EACH=${5:-1}
FFMPEG=${POPCLIPMILL_FFMPEG:-ffmpeg}
PROCS=$(nproc)
if ! command -v parallel > /dev/null; then
  echo "bench/library_bench.sh: GNU parallel is not installed" >&2
  exit 1
fi
WORK=$(mktemp -d "${TMPDIR:-/tmp}/popclipmill-bench-library-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export POPCLIPMILL_CONFIG_DIR="$WORK/config"
mkdir -p "$WORK/config" "$WORK/tracks" "$WORK/library"

# One tagged track per place in an album, each its own tone, copied into
# every album folder: every file of the library is a file of its own (a hard
# link would be one file at two places), with the same few contents.
for t in $(seq -w 1 "$FILES"); do
  "$FFMPEG" -nostdin -v error -f lavfi \
    -i "sine=frequency=$((200 + 10#$t * 30)):sample_rate=44100:duration=$SECONDS_EACH" -ac 2 \
    -metadata title="Track $t" -metadata album=Album -y "$WORK/tracks/$t Track.flac"
done
for f in $(seq 1 "$FOLDERS"); do
  album="$WORK/library/Artist $(((f - 1) / 5 + 1))/Album $(((f - 1) % 5 + 1))"
  mkdir -p "$album"
  cp "$WORK/tracks/"*.flac "$album/"
done
TOTAL=$((FOLDERS * FILES))

ours_side() {
  local t=$EPOCHREALTIME
  "$BIN/popclipmill" --batch --quiet --jobs 0 --keep-folders --profile 17 --output "$WORK/ours$1" \
    "$WORK/library" > /dev/null
  ours+=("$(since "$t")")
}
base_side() {
  local t=$EPOCHREALTIME
  "$BIN/popclipmill" --batch --keep-folders --export-jobs - --profile 17 --output "$WORK/base$1" \
    "$WORK/library" > "$WORK/jobs$1" 2> /dev/null
  exporting+=("$(since "$t")")
  t=$EPOCHREALTIME
  parallel --jobs "$PROCS" < "$WORK/jobs$1" > /dev/null 2>&1
  base+=("$(since "$t")")
}
tree() { (cd "$1" && find . -type f | LC_ALL=C sort); }

ours=() base=() exporting=() r_first=() checks=() loads=()
for run in $(seq "$RUNS"); do
  loads+=("$(load)")
  if ((run % 2)); then
    ours_side "$run"
    base_side "$run"
  else
    base_side "$run"
    ours_side "$run"
  fi
  r_first+=("$(ratio "${ours[-1]}" "${base[-1]}")")
  made=$(tree "$WORK/ours$run" | grep -c '\.mp3$' || true)
  same=$(cmp -s <(tree "$WORK/ours$run") <(tree "$WORK/base$run") && echo same || echo DIFFERENT)
  numbered=$(tree "$WORK/ours$run" | grep -c '_1\.mp3$' || true)
  checks+=("$made files, $numbered numbered, trees $same")
  if ((run < RUNS)); then rm -rf "$WORK/base$run" "$WORK/ours$run"; fi
done

# The second run over the last converted tree: nothing to do.
skip=() listing=()
for i in $(seq 5); do
  t=$EPOCHREALTIME
  "$BIN/popclipmill" --batch --quiet --jobs 0 --keep-folders --skip-existing --profile 17 \
    --output "$WORK/ours$RUNS" "$WORK/library" > "$WORK/again.txt"
  skip+=("$(since "$t")")
  t=$EPOCHREALTIME
  find "$WORK/library" -type f > /dev/null
  listing+=("$(since "$t")")
done
skipped=$(grep -c '^Skipped  ' "$WORK/again.txt" || true)

ours_s=$(printf '%s\n' "${ours[@]}" | median)
base_s=$(printf '%s\n' "${base[@]}" | median)
export_s=$(printf '%s\n' "${exporting[@]}" | median)
skip_s=$(printf '%s\n' "${skip[@]}" | median)
list_s=$(printf '%s\n' "${listing[@]}" | median)

printf 'Library with its tree kept, %s processors (load average at the runs: %s), medians of %s runs\n' \
  "$PROCS" "${loads[*]}" "$RUNS"
printf '%-58s %9s %9s %7s %8s  %s\n' "benchmark" "ours (s)" "base (s)" "ratio" "target" "ratios of the runs"
printf '%-58s %9s %9s %7s %8s  %s\n' "$TOTAL FLAC in $FOLDERS folders: --jobs 0 vs parallel --jobs $PROCS" \
  "$ours_s" "$base_s" "$(ratio "$ours_s" "$base_s")" "<= 1.05" "${r_first[*]}"
printf '%-58s %9s\n' "  of which start-up and $TOTAL probes (the export)" "$export_s"
printf '%-58s %9s %9s %7s %8s  %s\n' "  second run, --skip-existing, vs find listing it" "$skip_s" "$list_s" \
  "$(ratio "$skip_s" "$list_s")" "< 1 s" "${skip[*]}"
printf '(%s-second tracks; per run: %s; the second run skipped %s entries)\n' "$SECONDS_EACH" \
  "$(printf '%s; ' "${checks[@]}")" "$skipped"
