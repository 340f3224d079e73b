#!/usr/bin/env bash
# Cost per file: how much qprepare adds to every converter run.
#
#   bash bench/costperfile/run.sh <release-build-dir>
#
# qprepare converts 1,000 small pages (one folder) and a tree of 10,000 pages
# (-r) with a converter that does nothing. The baseline, measured in the same
# run, is a shell loop that starts the same converter with the same arguments
# once per page -- the least any per-page conversion can cost. Both sides are
# run alternately (the 1,000 pages several times, QV_BENCH_REPEAT; the tree
# once, QV_BENCH_TREE_REPEAT) and the medians are shown: the wall time and the
# processor time of each side with all its children, which is the steadier
# figure on a busy machine. The goal is qprepare within 1.25 times the loop.
# Then qprepare's peak memory for 100 and for 10,000 pages, which should not
# grow with the number of pages.
set -euo pipefail

build=$(cd "${1:?usage: run.sh <release-build-dir>}" && pwd)
repeat=${QV_BENCH_REPEAT:-3}
# The tree takes ten times as long; one run of each side by default.
tree_repeat=${QV_BENCH_TREE_REPEAT:-1}
noop=$build/bench/costperfile/costperfile_noop
. "$(dirname "$0")/../lib.sh"
bench_setup costperfile "$build" "$noop"

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

# compare <label> <pages> <runs> <wildcard> [qprepare options...]: prints one
# line of figures; sets peak to qprepare's largest resident set in kB.
compare() {
  local label=$1 pages=$2 runs=$3 mask=$4
  shift 4
  local root=${mask%/*}
  local qw=() qc=() lw=() lc=() r
  peak=0
  measure "$pages" bin/qprepare "$@" -o out "$mask"  # warm-up
  for ((r = 0; r < runs; r++)); do
    measure "$pages" bin/qprepare "$@" -o out "$mask"
    qw+=("$secs") qc+=("$cpu")
    if [ "$kb" -gt "$peak" ]; then peak=$kb; fi
    measure "$pages" /bin/bash loop.sh "$noop" out "$root"
    lw+=("$secs") lc+=("$cpu")
  done
  awk -v label="$label" -v n="$pages" -v runs="$runs" \
      -v qw="$(median "${qw[@]}")" -v qc="$(median "${qc[@]}")" \
      -v lw="$(median "${lw[@]}")" -v lc="$(median "${lc[@]}")" 'BEGIN {
    printf "%-22s %6d %4d | %8.2f %8.2f %7.0f | %8.2f %8.2f %7.0f | %5.2f %5.2f\n",
           label, n, runs, qw, qc, n / qw, lw, lc, n / lw, qw / lw, qc / lc
    printf "%s %s\n", qw / lw, qc / lc >> "ratios.txt"
  }'
}

echo "cost per file with a do-nothing converter; medians; files in $work"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors"
printf "%-22s %6s %4s | %-26s | %-26s | %s\n" "" "" "" "qprepare" "shell loop" "ratio"
printf "%-22s %6s %4s | %8s %8s %7s | %8s %8s %7s | %5s %5s\n" \
  "" pages runs "wall s" "cpu s" files/s "wall s" "cpu s" files/s wall cpu
compare "one folder" 1000 "$repeat" "flat/*.htm"
compare "100 folders, -r" 10000 "$tree_repeat" "tree/*.htm" -r
p10k=$peak
compare "one folder (small)" 100 "$repeat" "small/*.htm"
p100=$peak
awk '{ if ($1 > worstWall) worstWall = $1; if ($2 > worstCpu) worstCpu = $2 }
     END { printf "goal, qprepare within 1.25 x the shell loop: wall %s (worst %.2f), cpu %s (worst %.2f)\n",
                  worstWall <= 1.25 ? "met" : "MISSED", worstWall,
                  worstCpu <= 1.25 ? "met" : "MISSED", worstCpu }' ratios.txt
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "peak memory of qprepare (largest of its runs above, as the kernel counts it with its children;"
echo "a child started by posix_spawn is first counted at its parent's size, so this is qprepare's own)"
printf "  %6d pages: %7d kB\n" 100 "$p100"
printf "  %6d pages: %7d kB   (-r, 100 folders)\n" 10000 "$p10k"
awk -v a="$p100" -v b="$p10k" 'BEGIN {
  printf "  growth from 100 to 10,000 pages: %+d kB (%+.1f%%): %s\n", b - a, 100 * (b - a) / a,
         (b - a <= 1024) ? "flat" : "GROWS"
}'
