#!/usr/bin/env bash
# Cost per file: how much qprepare adds to every converter run.
#
#   bash bench/costperfile/run.sh <release-build-dir>
#
# qprepare converts 1,000 small pages (one folder) and a tree of 10,000 pages
# (-r) with a converter that does nothing. The baseline, measured in the same
# run, is a shell loop that starts the same converter with the same arguments
# once per page -- the least any per-page conversion can cost. Both sides are
# run alternately several times and the median is shown; the goal is
# qprepare within 1.25 times the loop. Then qprepare's peak memory for 100 and
# for 10,000 pages, which should not grow with the number of pages.
set -euo pipefail

build=$(cd "${1:?usage: run.sh <release-build-dir>}" && pwd)
repeat=${QV_BENCH_REPEAT:-3}
qprepare=$build/qprepare
noop=$build/bench/costperfile/costperfile_noop
tool=$build/bench/costperfile/costperfile_tool
for f in "$qprepare" "$noop" "$tool"; do
  if [ ! -x "$f" ]; then
    echo "costperfile: $f is missing (build the release build first)" >&2
    exit 1
  fi
done

# Everything lives on a tmpfs when there is one, so the disk does not blur
# the figures; the temporary copies go there too (TMPDIR).
base=$build
if [ -d /dev/shm ] && [ -w /dev/shm ]; then base=/dev/shm; fi
work=$(mktemp -d "$base/qv-costperfile.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p bin tmp out
export TMPDIR=$work/tmp

# qprepare with an INI of its own: one target whose converter does nothing,
# with the built-in template (%PARAMS% --output="%OUTPUT%" "%INPUT%").
cp "$qprepare" bin/qprepare
cat > bin/qprepare.ini <<EOF
[Config]
DefaultTarget=noop
[noop]
Converter=$noop
EOF

"$tool" pages flat 1 1000
"$tool" pages small 1 100
n=1
for a in 0 1 2 3 4 5 6 7 8 9; do
  for b in 0 1 2 3 4 5 6 7 8 9; do
    "$tool" pages "tree/d$a/e$b" "$n" 100
    n=$((n + 100))
  done
done

# The baseline: every page, one start of the converter with the arguments
# qprepare gives it (the title comes from the page name, as %n does).
cat > loop.sh <<'EOF'
shopt -s globstar nullglob
noop=$1 out=$2 root=$3
for f in "$root"/**/*.htm; do
  n=${f##*/}
  n=${n%.htm}
  "$noop" --title="Page $n" --author=Bench --output="$out/$n.lrf" "$f"
done
EOF

# measure <expected-pages> <program> [args...]: sets secs and kb (wall time,
# peak resident set); stops the benchmark when the run went wrong.
measure() {
  local pages=$1
  shift
  local code=""
  read -r secs kb code < <("$tool" measure "$work/stdout.txt" "$@") || true
  if [ "$code" != 0 ]; then
    echo "costperfile: $* ended with $code" >&2
    head -5 "$work/stdout.txt" >&2
    exit 1
  fi
  if [ "$1" = bin/qprepare ]; then
    local runs
    runs=$(grep -c '^EXEC: ' "$work/stdout.txt" || true)
    if [ "$runs" != "$pages" ]; then
      echo "costperfile: qprepare started the converter $runs times for $pages pages" >&2
      exit 1
    fi
    if compgen -G "$TMPDIR/kel*" >/dev/null; then
      echo "costperfile: qprepare left temporary copies in $TMPDIR" >&2
      exit 1
    fi
  fi
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# compare <label> <pages> <wildcard> [qprepare options...]
compare() {
  local label=$1 pages=$2 mask=$3
  shift 3
  local root=${mask%/*}
  local qt=() lt=() r
  measure "$pages" bin/qprepare "$@" -o out "$mask"  # warm-up
  for ((r = 0; r < repeat; r++)); do
    measure "$pages" bin/qprepare "$@" -o out "$mask"
    qt+=("$secs")
    measure "$pages" /bin/bash loop.sh "$noop" out "$root"
    lt+=("$secs")
  done
  local q l
  q=$(median "${qt[@]}")
  l=$(median "${lt[@]}")
  awk -v label="$label" -v n="$pages" -v q="$q" -v l="$l" 'BEGIN {
    printf "%-24s %6d %10.3f %9.0f %10.3f %9.0f %7.2f\n", label, n, q, n / q, l, n / l, q / l
  }'
  echo "$q $l" >> ratios.txt
}

# peak <pages> <wildcard> [options...]: sets best, qprepare's peak resident
# set in kB
peak() {
  local pages=$1 mask=$2
  shift 2
  best=""
  local r
  for ((r = 0; r < repeat; r++)); do
    measure "$pages" bin/qprepare "$@" -o out "$mask"
    if [ -z "$best" ] || [ "$kb" -gt "$best" ]; then best=$kb; fi
  done
}

echo "cost per file with a do-nothing converter (median of $repeat runs each; files in $base)"
printf "%-24s %6s %10s %9s %10s %9s %7s\n" "" pages "qprepare s" "files/s" "shell s" "files/s" ratio
compare "one folder" 1000 "flat/*.htm"
compare "tree of 100 folders, -r" 10000 "tree/*.htm" -r
awk '{ if ($1 / $2 > worst) worst = $1 / $2 }
     END { printf "goal: qprepare within 1.25 x the shell loop: %s (worst ratio %.2f)\n",
                  worst <= 1.25 ? "met" : "MISSED", worst }' ratios.txt

peak 100 "small/*.htm"
p100=$best
peak 10000 "tree/*.htm" -r
p10k=$best
echo
echo "peak memory of qprepare (largest of $repeat runs; the do-nothing converter's own is far smaller)"
printf "  %6d pages: %7d kB\n" 100 "$p100"
printf "  %6d pages: %7d kB   (-r, 100 folders)\n" 10000 "$p10k"
awk -v a="$p100" -v b="$p10k" 'BEGIN {
  printf "  growth from 100 to 10,000 pages: %+d kB (%+.1f%%): %s\n", b - a, 100 * (b - a) / a,
         (b - a <= 1024) ? "flat" : "GROWS"
}'
