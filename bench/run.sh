#!/bin/sh
# Speed and memory of quennelbrook, in one run:
#
#  1. One page, as a site's Makefile makes it: a 30 KB renderer fragment,
#     quennelbrook -t T -u U page.html out.php, timed by hyperfine side by
#     side with /bin/true and with cat copying the same page to a file.
#     Targets: at most 1.2 times /bin/true, and no slower than cat.
#  2. Throughput on a large fragment (default 100 MiB): quennelbrook against
#     cat in.html > out.php, best of several runs each, taken in turn so that
#     both see the same load on the machine. Target: at least half of cat's.
#  3. Peak resident memory for the page, 1 MiB and the large fragment.
#     Target: under 4 MiB.
#  4. A 400-page site from scratch: quennelbrook renders each article itself
#     (make -j with one run per page) and Hugo builds the same pages. The
#     pages are the Markdown documents of the installed software, as in the
#     measurement that asked for the built-in rendering, topped up with
#     generated articles; a site of generated articles alone is timed too.
#     Target: quennelbrook below Hugo on the documents. The per-page figure of
#     a 30 KB Markdown article is printed beside the fragment's in part 1.
#
# Everything runs in /dev/shm, so that the disk does not decide, with
# SOURCE_DATE_EPOCH fixed. Exits 1 when a target is missed.
# Usage: bench/run.sh PATH_TO_QUENNELBROOK [MEGABYTES]
set -eu

qb=${1:?Aufruf: bench/run.sh PFAD_ZU_QUENNELBROOK [MEGABYTE]}
mb=${2:-100}
here=$(cd "$(dirname "$0")" && pwd)
qb=$(cd "$(dirname "$qb")" && pwd)/$(basename "$qb")
runs=10

[ -x /usr/bin/time ] || "$here/../scripts/need-packages" time
command -v python3 >/dev/null || "$here/../scripts/need-packages" python3
command -v hyperfine >/dev/null || "$here/../scripts/need-packages" hyperfine
command -v hugo >/dev/null || "$here/../scripts/need-packages" hugo
base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
dir=$(mktemp -d "$base/qb-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT INT TERM
export SOURCE_DATE_EPOCH=1620032700

python3 "$here/gen.py" "$dir/page.html" $((30 * 1024))
python3 "$here/gen.py" "$dir/in.html" $((mb * 1024 * 1024))
python3 "$here/gen.py" "$dir/small.html" $((1024 * 1024))
python3 "$here/site.py" --page "$dir/page.md" $((30 * 1024))
bytes=$(wc -c <"$dir/in.html")

echo "Maschine: $(nproc) Kerne,$(uptime | sed 's/.*load average/ Last/')"
if ldd "$qb" >/dev/null 2>&1; then echo "quennelbrook: dynamisch gelinkt"; else echo "quennelbrook: statisch gelinkt"; fi

# 1. One page. hyperfine starts each command itself (no shell); everything
# they print goes to copy.html, which is how cat copies the page.
(cd "$dir" && hyperfine -N --style none --warmup 50 --runs 500 --output="$dir/copy.html" \
    --export-json "$dir/page.json" \
    -n true /bin/true -n cat "cat page.html" -n quennelbrook "$qb -t T -u U page.html out.php" \
    -n "quennelbrook .md" "$qb -t T -u U page.md out.php" >/dev/null)

# 2. Throughput.
now() { date +%s%N; }

# Wall time in nanoseconds of one run of the command in "$@".
timed() {
    rm -f "$dir/out.php"
    t0=$(now)
    "$@"
    t1=$(now)
    echo $((t1 - t0))
}

# Both run in the subshell of timed's caller; neither gets one of its own.
run_cat() { cat "$dir/in.html" >"$dir/out.php"; }
run_qb() { cd "$dir" && "$qb" -t T -u U in.html out.php >/dev/null; }

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

# 3. Peak memory.
rss() {
    (cd "$dir" && /usr/bin/time -f %M -o "$dir/rss" "$qb" -t T -u U "$1" out.php >/dev/null)
    cat "$dir/rss"
}
rss_page=$(rss page.html)
rss_small=$(rss small.html)
rss_big=$(rss in.html)

# 4. The 400-page site, quennelbrook and Hugo, each from scratch.
ms_since() { echo $((($(now) - $1) / 1000000)); }
site_times() {
    rm -rf "$dir/site" && python3 "$here/site.py" "$dir/site" 400 "$@"
    t0=$(now)
    make -s -C "$dir/site/qb/public" -f ../Makefile -j"$(nproc)" QB="$qb" >/dev/null
    t_site_qb=$(ms_since "$t0")
    t0=$(now)
    hugo --quiet -s "$dir/site/hugo" -d public >/dev/null 2>&1
    t_site_hugo=$(ms_since "$t0")
    pages_qb=$(find "$dir/site/qb/public" -name '*.php' | wc -l)
    pages_hugo=$(find "$dir/site/hugo/public" -mindepth 2 -name index.html | wc -l)
    echo "$t_site_qb $t_site_hugo $pages_qb $pages_hugo"
}
site_real=$(site_times --real)
site_gen=$(site_times)

python3 - "$dir/page.json" "$bytes" "$runs" "$t_cat" "$t_qb" "$rss_page" "$rss_small" "$rss_big" $site_real $site_gen <<'EOF'
import json
import sys

page, size, runs, t_cat, t_qb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
rss = [int(x) for x in sys.argv[6:9]]
site_real = [int(x) for x in sys.argv[9:13]]
site_gen = [int(x) for x in sys.argv[13:17]]
res = {r["command"]: r for r in json.load(open(page))["results"]}
ms = lambda name: res[name]["mean"] * 1e3
bad = []

print("Eine Seite (30 KB, hyperfine, %d Läufe je Befehl):" % len(res["true"]["times"]))
for name in ("true", "cat", "quennelbrook", "quennelbrook .md"):
    r = res[name]
    print("  %-14s %6.2f ms ± %.2f ms  (Median %.2f ms)" % (name, ms(name), r["stddev"] * 1e3, r["median"] * 1e3))
vs_true = ms("quennelbrook") / ms("true")
vs_cat = ms("quennelbrook") / ms("cat")
print("  quennelbrook / true: %5.2f (Ziel <= 1.20)" % vs_true)
print("  quennelbrook / cat:  %5.2f (Ziel <= 1.00)" % vs_cat)
if vs_true > 1.2:
    bad.append("eine Seite gegen /bin/true")
if vs_cat > 1.0:
    bad.append("eine Seite gegen cat")
print("  quennelbrook .md / true: %5.2f (30 KB Markdown, eingebaut gerendert)" % (ms("quennelbrook .md") / ms("true")))

mb = size / 1e6
cat_mbs = mb / (t_cat / 1e9)
qb_mbs = mb / (t_qb / 1e9)
ratio = qb_mbs / cat_mbs
print("Durchsatz (%.1f MB, bestes von %d Läufen):" % (mb, runs))
print("  cat            %8.1f MB/s  (%.3f s)" % (cat_mbs, t_cat / 1e9))
print("  quennelbrook   %8.1f MB/s  (%.3f s)" % (qb_mbs, t_qb / 1e9))
print("  Verhältnis     %8.2f (Ziel >= 0.50)" % ratio)
if ratio < 0.5:
    bad.append("Durchsatz")

print("Spitzenspeicher quennelbrook: Seite %d KiB, 1 MiB %d KiB, %.0f MiB %d KiB (Ziel < 4096 KiB)"
      % (rss[0], rss[1], size / 1048576, rss[2]))
if max(rss) >= 4096:
    bad.append("Speicher")

print("Website mit 400 Seiten, von Grund auf (make -j, eine Seite je Lauf, gegen Hugo):")
for title, (t_qb_site, t_hugo, n_qb, n_hugo) in (("Dokumente aus /usr/share/doc", site_real),
                                                 ("nur erzeugte Artikel", site_gen)):
    print("  %-30s quennelbrook %6d ms (%d Seiten)   Hugo %6d ms (%d Seiten)   Verhältnis %.2f"
          % (title, t_qb_site, n_qb, t_hugo, n_hugo, t_qb_site / max(t_hugo, 1)))
if site_real[2] != 400 or site_real[3] != 400 or site_gen[2] != 400 or site_gen[3] != 400:
    bad.append("Website: nicht alle 400 Seiten gebaut")
print("  Ziel: quennelbrook schneller als Hugo auf den Dokumenten")
if site_real[0] >= site_real[1]:
    bad.append("Website gegen Hugo")

for what in bad:
    print("Ziel verfehlt: " + what)
if not bad:
    print("Ziele erreicht.")
sys.exit(1 if bad else 0)
EOF
