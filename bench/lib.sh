# Shared by the benchmarks (bench/*/run.sh); source it, then call
# bench_setup. Each benchmark starts qprepare with an INI of its own, in a
# work folder of its own, and measures with bench/costperfile's tool.

# bench_setup <name> <release-build-dir> <converter>: checks that qprepare,
# the converter and the tool are built; makes the work folder (on a tmpfs
# when there is one, so the disk does not blur the figures; removed at exit)
# and goes there, with bin/, tmp/ (TMPDIR: the temporary copies go there too)
# and out/; puts qprepare into bin/ with an INI whose one target, noop, runs
# the converter with the built-in template (%PARAMS% --output="%OUTPUT%"
# "%INPUT%"). Sets bench_name, tool and work.
bench_setup() {
  bench_name=$1
  local build=$2 converter=$3
  tool=$build/bench/costperfile/costperfile_tool
  for f in "$build/qprepare" "$converter" "$tool"; do
    if [ ! -x "$f" ]; then
      echo "$bench_name: $f is missing (build the release build first)" >&2
      exit 1
    fi
  done
  local base=$build
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then base=/dev/shm; fi
  work=$(mktemp -d "$base/qv-$bench_name.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  cd "$work"
  mkdir -p bin tmp out
  export TMPDIR=$work/tmp
  cp "$build/qprepare" bin/qprepare
  printf '[Config]\nDefaultTarget=noop\n[noop]\nConverter=%s\n' "$converter" > bin/qprepare.ini
}

# measure <expected-pages> <program> [args...]: sets secs, cpu and kb (wall
# time, processor time with all children, peak resident set); stops the
# benchmark when the run went wrong.
measure() {
  local pages=$1
  shift
  local code=""
  read -r secs cpu kb code < <("$tool" measure "$work/stdout.txt" "$@") || true
  if [ "$code" != 0 ]; then
    echo "$bench_name: $* ended with ${code:-nothing}" >&2
    head -5 "$work/stdout.txt" >&2
    exit 1
  fi
  if [ "$1" = bin/qprepare ]; then
    local runs
    runs=$(grep -c '^EXEC: ' "$work/stdout.txt" || true)
    if [ "$runs" != "$pages" ]; then
      echo "$bench_name: qprepare started the converter $runs times for $pages pages" >&2
      exit 1
    fi
    if compgen -G "$TMPDIR/kel*" >/dev/null; then
      echo "$bench_name: qprepare left temporary copies in $TMPDIR" >&2
      exit 1
    fi
  fi
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
