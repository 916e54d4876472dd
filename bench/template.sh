#!/bin/sh
# The site template at the size of a real site: the example site with the
# 400 documents of bench/site.py --real as further pages (each with -t and
# -u), built with make -j2 from scratch beside Hugo on the same documents,
# then `make` after one article changed (median of RUNS), on this site and
# on the example site alone. Everything in /dev/shm, TZ fixed, no
# SOURCE_DATE_EPOCH (the template sets its own per page).
#
# Usage: bench/template.sh PATH_TO_QUENNELBROOK [MAKEFILE]
#        (MAKEFILE: another version of the template's Makefile, to compare)
set -eu

qb=${1:?Aufruf: bench/template.sh PFAD_ZU_QUENNELBROOK [MAKEFILE]}
here=$(cd "$(dirname "$0")" && pwd)
src=$here/../examples/site
qb=$(cd "$(dirname "$qb")" && pwd)/$(basename "$qb")
makefile=${2:-$src/Makefile}
runs=${RUNS:-10}
[ -d "$src/node_modules" ] || (cd "$src" && npm ci --no-audit --no-fund --loglevel=error)
base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
dir=$(mktemp -d "$base/qb-vorlage.XXXXXX")
trap 'rm -rf "$dir"' EXIT INT TERM
unset SOURCE_DATE_EPOCH
export TZ=Europe/Berlin

now() { date +%s%N; }
ms_since() { echo $((($(now) - $1) / 1000000)); }

# A copy of the template with its own Makefile; $1 = directory, $2 = pages.
vorlage() {
    mkdir -p "$1"
    (cd "$src" && tar --exclude=./node_modules --exclude='./public*' -cf - .) | tar -C "$1" -xf -
    ln -s "$src/node_modules" "$1/node_modules"
    cp "$makefile" "$1/Makefile"
    [ "$2" = 0 ] && return
    cp "$dir/gen/qb/artikel/"*.md "$1/artikel/"
    names=$(cd "$dir/gen/qb/artikel" && find . -name '*.md' | sed 's|^\./||; s/\.md$//' | sort | tr '\n' ' ')
    {
        sed -n '1,/^SEITEN :=/p' "$makefile"
        echo "SEITEN += $names"
        for n in $names; do echo "OPTS_$n = -t '$n' -u '$n'"; done
        sed '1,/^SEITEN :=/d' "$makefile"
    } >"$1/Makefile"
}

# Milliseconds of the median of $runs runs of `make -j2` after one article
# was changed; $1 = site, $2 = article.
geaendert() {
    i=0
    : >"$dir/zeiten"
    while [ $i -lt "$runs" ]; do
        echo "Noch ein Satz $i." >>"$1/artikel/$2.md"
        t0=$(now)
        make -s -C "$1" -j2 QB="$qb" >/dev/null
        ms_since "$t0" >>"$dir/zeiten"
        i=$((i + 1))
    done
    sort -n "$dir/zeiten" | sed -n "$(((runs + 1) / 2))p"
}

python3 "$here/site.py" "$dir/gen" 400 --real
echo "Maschine: $(nproc) Kerne,$(uptime | sed 's/.*load average/ Last/')"
echo "Makefile: $makefile"

vorlage "$dir/gross" 400
# Wall time, and CPU time (user + system, children included), which the load
# of other processes on the machine disturbs less.
cpu() { awk '{printf "%d", ($1 + $2) * 1000}' "$dir/cpu"; }
t0=$(now)
/usr/bin/time -f '%U %S' -o "$dir/cpu" make -s -C "$dir/gross" -j2 QB="$qb" >"$dir/gross.log" 2>&1 ||
    { cat "$dir/gross.log"; exit 1; }
t_voll=$(ms_since "$t0")
c_voll=$(cpu)
t0=$(now)
/usr/bin/time -f '%U %S' -o "$dir/cpu" hugo --quiet -s "$dir/gen/hugo" -d public >/dev/null 2>&1
t_hugo=$(ms_since "$t0")
c_hugo=$(cpu)
seiten=$(find "$dir/gross/public" -maxdepth 1 -name '*.php' | wc -l)
echo "Voller Bau, 400 Dokumente + Beispiel ($seiten Seiten): make -j2 $t_voll ms (CPU $c_voll ms), Hugo $t_hugo ms (CPU $c_hugo ms), Verhältnis $(echo "$t_voll $t_hugo" | awk '{printf "%.2f", $1 / $2}')"
echo "Ein Artikel geändert, 400 Dokumente (Median von $runs): $(geaendert "$dir/gross" seite-123) ms"

vorlage "$dir/klein" 0
make -s -C "$dir/klein" -j2 QB="$qb" >/dev/null
echo "Ein Artikel geändert, Beispiel-Website (Median von $runs): $(geaendert "$dir/klein" hoher-kopf) ms"
echo "Last danach:$(uptime | sed 's/.*load average//')"
