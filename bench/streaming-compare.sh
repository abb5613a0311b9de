#!/usr/bin/env bash
# The streaming writer beside the document path and the floor, in one run: for each workload the
# write benchmark runs without --streaming, with it, and with --streaming --tokens (the objects
# described token by token), in turn, RUNS times; the three files must be the same bytes; the
# floor program copies the file in 8 KiB writes right after. Then the streaming
# writer's peak RSS for W1 at each of COUNTS objects, and the growth per added object. Then the
# same for the compact options: W1 with --compact through the document path and the streaming
# writer, RUNS times, and the streaming writer's peak RSS at each of COUNTS; with VALIDATE (the
# peer benchmarks' validate_compact.py) the first run's two files are validated and must hold
# the same content (their layouts differ: the streaming writer's object streams sit where they
# fill).
# usage: streaming-compare.sh BENCH FLOOR_COPY [RUNS] [DIR] [WORKLOADS] [COUNTS] [VALIDATE]
#   defaults: RUNS 3, DIR /dev/shm, WORKLOADS "W3 W2 W1", COUNTS "1000000 10000000", no VALIDATE
set -euo pipefail
bench=$(realpath "$1")
floor=$(realpath "$2")
runs=${3:-3}
dir=${4:-/dev/shm}
workloads=${5:-W3 W2 W1}
counts=${6:-1000000 10000000}
validate=${7:-}
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
    tokens_line=$("$bench" "$wl" "$work/tokens.pdf" --streaming --tokens)
    for file in streaming tokens; do
      if ! cmp -s "$work/document.pdf" "$work/$file.pdf"; then
        echo "streaming-compare: $wl run $run: the $file file differs from the document's" >&2
        exit 1
      fi
    done
    floor_line=$("$floor" "$work/streaming.pdf" "$work/floor.pdf")
    rm -f "$work/document.pdf" "$work/streaming.pdf" "$work/tokens.pdf" "$work/floor.pdf"
    echo "$document_line" && echo "$streaming_line" && echo "$tokens_line" && echo "$floor_line"
    printf '%s %s %s %s %s %s %s %s\n' "$wl" \
      "$(field "$document_line" build_s)" "$(field "$document_line" write_s)" \
      "$(field "$document_line" peak_rss_kb)" "$(field "$streaming_line" write_s)" \
      "$(field "$streaming_line" peak_rss_kb)" "$(field "$tokens_line" write_s)" \
      "$(field "$floor_line" write_s)" >>"$log"
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

# A python3 with pikepdf, which validate_compact.py needs (Debian's python3-pikepdf).
py=""
if [ -n "$validate" ]; then
  for candidate in ${PYTHON:+"$PYTHON"} /usr/bin/python3 python3; do
    if "$candidate" -c 'import pikepdf' >/dev/null 2>&1; then
      py=$candidate
      break
    fi
  done
  [ -n "$py" ] || { echo "streaming-compare: VALIDATE needs pikepdf for a python3" >&2; exit 2; }
fi

# validate_compact.py's verdict on FILE (W1 at the default count), its content sample in SAMPLE.
validate_w1() {  # FILE SAMPLE
  local verdict
  verdict=$("$py" "$validate" "$1" W1 1000002 "$2" | tail -n 1)
  echo "$verdict"
  if [[ $verdict != 'validate status=ok '* ]]; then
    echo "streaming-compare: $1 fails validate_compact.py" >&2
    exit 1
  fi
}

compact_log=$work/compact.txt
: >"$compact_log"
for run in $(seq "$runs"); do
  document_line=$("$bench" W1 "$work/document.pdf" --compact)
  streaming_line=$("$bench" W1 "$work/streaming.pdf" --streaming --compact)
  echo "$document_line" && echo "$streaming_line"
  if [ -n "$validate" ] && [ "$run" = 1 ]; then
    validate_w1 "$work/document.pdf" "$work/sample.document"
    validate_w1 "$work/streaming.pdf" "$work/sample.streaming"
    if ! cmp -s "$work/sample.document" "$work/sample.streaming"; then
      echo "streaming-compare: W1 --compact: the streaming file's content differs" >&2
      exit 1
    fi
  fi
  rm -f "$work/document.pdf" "$work/streaming.pdf"
  printf '%s %s %s %s %s %s %s\n' \
    "$(field "$document_line" build_s)" "$(field "$document_line" write_s)" \
    "$(field "$document_line" peak_rss_kb)" "$(field "$document_line" bytes)" \
    "$(field "$streaming_line" write_s)" "$(field "$streaming_line" peak_rss_kb)" \
    "$(field "$streaming_line" bytes)" >>"$compact_log"
done

compact_rss_log=$work/compact-rss.txt
: >"$compact_rss_log"
for count in $counts; do
  line=$("$bench" W1 "$work/count.pdf" --streaming --compact --count "$count")
  rm -f "$work/count.pdf"
  echo "$line"
  echo "$count $(field "$line" peak_rss_kb) $(field "$line" write_s)" >>"$compact_rss_log"
done

python3 - "$log" "$rss_log" "$compact_log" "$compact_rss_log" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    wl, *values = line.split()
    rows.setdefault(wl, []).append([float(v) for v in values])
print()
print("| workload | document build s | document write s | document RSS MiB | streaming build+write s"
      " | streaming RSS MiB | tokens build+write s | floor s (8 KiB copy) | streaming / floor"
      " | tokens / floor |")
print("| --- | --: | --: | --: | --: | --: | --: | --: | --: | --: |")
for wl, runs in rows.items():
    m = [statistics.median(column) for column in zip(*runs)]
    print(f"| {wl} | {m[0]:.3f} | {m[1]:.3f} | {m[2] / 1024:.0f} | {m[3]:.3f} | {m[4] / 1024:.1f}"
          f" | {m[5]:.3f} | {m[6]:.3f} | {m[3] / m[6]:.2f}x | {m[5] / m[6]:.2f}x |")
def rss_table(path, label):
    counts = [line.split() for line in open(path)]
    if not counts:
        return
    print()
    print(f"| W1 objects ({label}) | peak RSS MiB | build+write s |")
    print("| --: | --: | --: |")
    for count, rss, seconds in counts:
        print(f"| {int(count):,} | {int(rss) / 1024:.1f} | {float(seconds):.3f} |")
    if len(counts) >= 2:
        (c0, r0, _), (c1, r1, _) = counts[0], counts[-1]
        growth = (int(r1) - int(r0)) * 1024 / (int(c1) - int(c0))
        print(f"\nRSS growth from {int(c0):,} to {int(c1):,} objects: {growth:.2f} bytes per object")

rss_table(sys.argv[2], "streaming")
compact = [[float(v) for v in line.split()] for line in open(sys.argv[3])]
if compact:
    m = [statistics.median(column) for column in zip(*compact)]
    print()
    print("| W1 --compact | build s | write s | build+write s | peak RSS MiB | bytes |")
    print("| --- | --: | --: | --: | --: | --: |")
    print(f"| document | {m[0]:.3f} | {m[1]:.3f} | {m[0] + m[1]:.3f} | {m[2] / 1024:.0f} | {m[3]:,.0f} |")
    print(f"| streaming | | | {m[4]:.3f} | {m[5] / 1024:.1f} | {m[6]:,.0f} |")
rss_table(sys.argv[4], "streaming --compact")
PY
