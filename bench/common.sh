# Helpers the benchmark scripts share; sourced, not run.
# shellcheck shell=bash

# Seconds since a $EPOCHREALTIME taken earlier, the median of numbers on
# standard input, a ratio, and the load average now.
since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
load() { cut -d' ' -f1 /proc/loadavg; }

# Runs with plain ffmpeg the encoder command lines a --dry-run printed (one
# a line, the adapter's path first), one after another: the old -b and -ab
# spelled -b:v and -b:a and -nostdin added, as the adapter does. The paths
# hold no blanks.
run_lines_with_ffmpeg() {
  local rest a args
  while read -r _encoder rest; do
    # shellcheck disable=SC2086
    set -- $rest
    args=()
    for a in "$@"; do
      case "$a" in -b) args+=(-b:v) ;; -ab) args+=(-b:a) ;; *) args+=("$a") ;; esac
    done
    "${FFMPEG:-ffmpeg}" -nostdin "${args[@]}" > /dev/null 2>&1 || true
  done < "$1"
}
