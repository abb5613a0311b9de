#!/usr/bin/env bash
# Times the vantril command's whole process against the floor program with hyperfine, both
# writing clean.pdf into a fresh temporary directory, and checks that both wrote the same bytes.
# usage: floor-compare.sh VANTRIL FLOOR [RUNS]
set -euo pipefail
command=$(realpath "$1")
floor=$(realpath "$2")
runs=${3:-500}
golden=$(realpath "$(dirname "$0")/../tests/data/clean.pdf")
work=$(mktemp -d "${TMPDIR:-/tmp}/vantril-floor.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
for program in "$command" "$floor"; do
  rm -f clean.pdf
  "$program" >/dev/null
  cmp clean.pdf "$golden"
done
hyperfine -N --warmup 50 --runs "$runs" --export-json times.json "$command" "$floor"
python3 - <<'PY'
import json
results = json.load(open("times.json"))["results"]
command, floor = (r["median"] for r in results)
print(f"command median {command * 1e3:.3f} ms, floor median {floor * 1e3:.3f} ms, "
      f"ratio {command / floor:.2f}")
PY
