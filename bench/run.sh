#!/bin/sh
# Throughput and memory of the page rewriter against cat.
# Usage: bench/run.sh PATH_TO_QUENNELBROOK [MEGABYTES]
#
# Generates a renderer-shaped fragment (default 100 MiB) and a 1 MiB one in
# /dev/shm, so that the disk does not decide, then times
#   quennelbrook -t T -u U in.html out.php   and   cat in.html > out.php
# (best of several runs each, taken in turn so that both see the same load
# on the machine), and measures the peak resident memory of
# quennelbrook for both sizes. Exits 1 when a target is missed: at least half
# of cat's throughput, and under 4 MiB of peak memory.
set -eu

qb=${1:?Aufruf: bench/run.sh PFAD_ZU_QUENNELBROOK [MEGABYTE]}
mb=${2:-100}
here=$(cd "$(dirname "$0")" && pwd)
qb=$(cd "$(dirname "$qb")" && pwd)/$(basename "$qb")
runs=10

[ -x /usr/bin/time ] || "$here/../scripts/need-packages" time
command -v python3 >/dev/null || "$here/../scripts/need-packages" python3
base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
dir=$(mktemp -d "$base/qb-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT INT TERM

python3 "$here/gen.py" "$dir/in.html" $((mb * 1024 * 1024))
python3 "$here/gen.py" "$dir/small.html" $((1024 * 1024))
bytes=$(wc -c <"$dir/in.html")

now() { date +%s%N; }

# Wall time in nanoseconds of one run of the command in "$@".
timed() {
    rm -f "$dir/out.php"
    t0=$(now)
    "$@"
    t1=$(now)
    echo $((t1 - t0))
}

run_cat() { cat "$dir/in.html" >"$dir/out.php"; }
run_qb() { (cd "$dir" && "$qb" -t T -u U in.html out.php >/dev/null); }

run_cat  # warm the page cache and tmpfs
t_cat=0
t_qb=0
n=0
while [ $n -lt $runs ]; do
    d=$(timed run_cat)
    if [ $t_cat -eq 0 ] || [ $d -lt $t_cat ]; then t_cat=$d; fi
    d=$(timed run_qb)
    if [ $t_qb -eq 0 ] || [ $d -lt $t_qb ]; then t_qb=$d; fi
    n=$((n + 1))
done

rss() {
    (cd "$dir" && /usr/bin/time -f %M -o "$dir/rss" "$qb" -t T -u U "$1" out.php >/dev/null)
    cat "$dir/rss"
}
rss_small=$(rss small.html)
rss_big=$(rss in.html)

awk -v runs="$runs" -v bytes="$bytes" -v tc="$t_cat" -v tq="$t_qb" -v rs="$rss_small" -v rb="$rss_big" '
BEGIN {
    mb = bytes / 1e6
    cat_mbs = mb / (tc / 1e9)
    qb_mbs = mb / (tq / 1e9)
    ratio = qb_mbs / cat_mbs
    printf "Eingabe:        %.1f MB (%d Bytes), bestes von %d Läufen\n", mb, bytes, runs
    printf "cat:            %8.1f MB/s  (%.3f s)\n", cat_mbs, tc / 1e9
    printf "quennelbrook:   %8.1f MB/s  (%.3f s)\n", qb_mbs, tq / 1e9
    printf "Verhältnis:     %8.2f (Ziel >= 0.50)\n", ratio
    printf "Spitzenspeicher quennelbrook: 1 MiB-Eingabe %d KiB, %.0f MiB-Eingabe %d KiB (Ziel < 4096 KiB)\n", rs, bytes / 1048576, rb
    bad = 0
    if (ratio < 0.5) { print "Ziel verfehlt: Durchsatz"; bad = 1 }
    if (rs >= 4096 || rb >= 4096) { print "Ziel verfehlt: Speicher"; bad = 1 }
    if (!bad) print "Ziele erreicht."
    exit bad
}'
