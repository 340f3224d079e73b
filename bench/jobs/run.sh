#!/usr/bin/env bash
# Parallel jobs: what -j buys with a converter that does real work.
#
#   bash bench/jobs/run.sh <release-build-dir>
#
# 40 pages, each converted by a converter that spends 200 ms of processor
# time (bench/jobs/busy.cpp). Measured in the same run, alternately
# (QV_BENCH_REPEAT rounds, medians shown): qprepare -j 1 and -j 2, and as
# baselines xargs -P 1 and xargs -P 2 starting the same converter with the
# same arguments once per page. The goals: -j 2 gives at least 1.8 times the
# throughput of -j 1 on two processors, and is within 5 % of xargs -P 2.
set -euo pipefail

build=$(cd "${1:?usage: run.sh <release-build-dir>}" && pwd)
repeat=${QV_BENCH_REPEAT:-3}
pages=40
busy=$build/bench/jobs/jobs_busy
. "$(dirname "$0")/../lib.sh"
bench_setup jobs "$build" "$busy"
"$tool" pages pages 1 "$pages"

# The baseline's commands: the arguments qprepare gives the converter (the
# page itself stands in for its temporary copy).
for f in pages/*.htm; do
  n=${f##*/}
  n=${n%.htm}
  printf '"--title=Page %s" --author=Bench "--output=out/%s.lrf" "%s"\n' "$n" "$n" "$f"
done > commands.txt

labels=("qprepare -j 1" "qprepare -j 2" "xargs -P 1" "xargs -P 2")
commands=(
  "bin/qprepare -j 1 -o out pages/*.htm"
  "bin/qprepare -j 2 -o out pages/*.htm"
  "xargs -P 1 -L 1 -a commands.txt $busy"
  "xargs -P 2 -L 1 -a commands.txt $busy"
)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
declare -a walls cpus
for ((r = 0; r <= repeat; r++)); do  # round 0 warms up
  for i in "${!commands[@]}"; do
    # shellcheck disable=SC2086  # the commands are word lists on purpose
    set -f
    measure "$pages" ${commands[$i]}
    set +f
    if [ "$r" -gt 0 ]; then
      walls[$i]="${walls[$i]:-} $secs"
      cpus[$i]="${cpus[$i]:-} $cpu"
    fi
  done
done

echo "parallel jobs: $pages pages, a converter that spends 0.2 s of processor time each; medians of $repeat"
echo "load average before: $load_before on $(nproc) processors"
printf "%-16s | %8s %8s %8s\n" "" "wall s" "cpu s" "pages/s"
declare -a wall
for i in "${!commands[@]}"; do
  # shellcheck disable=SC2086
  wall[$i]=$(median ${walls[$i]})
  # shellcheck disable=SC2086
  awk -v label="${labels[$i]}" -v w="${wall[$i]}" -v c="$(median ${cpus[$i]})" -v n="$pages" \
    'BEGIN { printf "%-16s | %8.2f %8.2f %8.2f\n", label, w, c, n / w }'
done
awk -v j1="${wall[0]}" -v j2="${wall[1]}" -v x1="${wall[2]}" -v x2="${wall[3]}" 'BEGIN {
  printf "-j 2 against -j 1: %.2f times the throughput (goal at least 1.80): %s\n",
         j1 / j2, (j1 / j2 >= 1.8) ? "met" : "MISSED"
  printf "-j 2 against xargs -P 2: %+.1f%% wall time (goal within 5%%): %s\n",
         100 * (j2 / x2 - 1), (j2 <= 1.05 * x2) ? "met" : "MISSED"
  printf "-j 1 against xargs -P 1: %+.1f%% wall time\n", 100 * (j1 / x1 - 1)
}'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
