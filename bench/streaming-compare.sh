#!/usr/bin/env bash
# The streaming writer beside the document path and the floor, in one run: for each workload the
# write benchmark runs with and without --streaming, in turn, RUNS times; both files must be the
# same bytes; the floor program copies the file in 8 KiB writes right after. Then the streaming
# writer's peak RSS for W1 at each of COUNTS objects, and the growth per added object.
# usage: streaming-compare.sh BENCH FLOOR_COPY [RUNS] [DIR] [WORKLOADS] [COUNTS]
#   defaults: RUNS 3, DIR /dev/shm, WORKLOADS "W3 W2 W1", COUNTS "1000000 10000000"
set -euo pipefail
bench=$(realpath "$1")
floor=$(realpath "$2")
runs=${3:-3}
dir=${4:-/dev/shm}
workloads=${5:-W3 W2 W1}
counts=${6:-1000000 10000000}
[ -d "$dir" ] && [ -w "$dir" ] || dir=${TMPDIR:-/tmp}
work=$(mktemp -d "$dir/vantril-streaming.XXXXXX")
trap 'rm -rf "$work"' EXIT
log=$work/lines.txt
: >"$log"

field() {  # LINE NAME
  sed -n "s/.* $2=\([^ ]*\).*/\1/p" <<<" $1"
}

for wl in $workloads; do
  for run in $(seq "$runs"); do
    document_line=$("$bench" "$wl" "$work/document.pdf")
    streaming_line=$("$bench" "$wl" "$work/streaming.pdf" --streaming)
    if ! cmp -s "$work/document.pdf" "$work/streaming.pdf"; then
      echo "streaming-compare: $wl run $run: the streaming file differs from the document's" >&2
      exit 1
    fi
    floor_line=$("$floor" "$work/streaming.pdf" "$work/floor.pdf")
    rm -f "$work/document.pdf" "$work/streaming.pdf" "$work/floor.pdf"
    echo "$document_line" && echo "$streaming_line" && echo "$floor_line"
    printf '%s %s %s %s %s %s %s\n' "$wl" \
      "$(field "$document_line" build_s)" "$(field "$document_line" write_s)" \
      "$(field "$document_line" peak_rss_kb)" "$(field "$streaming_line" write_s)" \
      "$(field "$streaming_line" peak_rss_kb)" "$(field "$floor_line" write_s)" >>"$log"
  done
done

rss_log=$work/rss.txt
: >"$rss_log"
for count in $counts; do
  line=$("$bench" W1 "$work/count.pdf" --streaming --count "$count")
  rm -f "$work/count.pdf"
  echo "$line"
  echo "$count $(field "$line" peak_rss_kb) $(field "$line" write_s)" >>"$rss_log"
done

python3 - "$log" "$rss_log" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    wl, *values = line.split()
    rows.setdefault(wl, []).append([float(v) for v in values])
print()
print("| workload | document build s | document write s | document RSS MiB | streaming build+write s"
      " | streaming RSS MiB | floor s (8 KiB copy) | streaming / floor |")
print("| --- | --: | --: | --: | --: | --: | --: | --: |")
for wl, runs in rows.items():
    m = [statistics.median(column) for column in zip(*runs)]
    print(f"| {wl} | {m[0]:.3f} | {m[1]:.3f} | {m[2] / 1024:.0f} | {m[3]:.3f} | {m[4] / 1024:.1f}"
          f" | {m[5]:.3f} | {m[3] / m[5]:.2f}x |")
counts = [line.split() for line in open(sys.argv[2])]
if counts:
    print()
    print("| W1 objects (streaming) | peak RSS MiB | build+write s |")
    print("| --: | --: | --: |")
    for count, rss, seconds in counts:
        print(f"| {int(count):,} | {int(rss) / 1024:.1f} | {float(seconds):.3f} |")
    if len(counts) >= 2:
        (c0, r0, _), (c1, r1, _) = counts[0], counts[-1]
        growth = (int(r1) - int(r0)) * 1024 / (int(c1) - int(c0))
        print(f"\nRSS growth from {int(c0):,} to {int(c1):,} objects: {growth:.2f} bytes per object")
PY
