#!/bin/sh
# The site template at the size of a real site: the example site with the
# 400 documents of bench/site.py --real as further pages (each with its
# title and heading in its block), built from scratch beside Hugo on the
# same documents, with `quennelbrook -g website` alone and with `make` (which
# adds Bootstrap and PurgeCSS), then a run with nothing changed and one after
# one article changed (medians of RUNS), on this site and on the example
# site alone. Everything in /dev/shm, TZ fixed, no SOURCE_DATE_EPOCH (the
# pages take their articles' times).
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
# Installed before anything is timed: a copy's make would run npm ci itself.
if [ ! -f "$src/node_modules/.package-lock.json" ] || [ "$src/package-lock.json" -nt "$src/node_modules/.package-lock.json" ] ||
    [ "$src/package.json" -nt "$src/node_modules/.package-lock.json" ]; then
    (cd "$src" && npm ci --no-audit --no-fund --loglevel=error)
fi
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
    for f in "$dir/gen/qb/artikel/"*.md; do
        n=$(basename "$f" .md)
        { printf -- "---\ntitel: '%s'\nueberschrift: '%s'\n---\n\n" "$n" "$n"; cat "$f"; } >"$1/artikel/$n.md"
    done
}

# Milliseconds of the median of $runs runs of the command $2… in site $1,
# each after the article $ARTIKEL was changed (none: nothing changed).
median() {
    site=$1
    shift
    i=0
    : >"$dir/zeiten"
    while [ $i -lt "$runs" ]; do
        [ -n "${ARTIKEL:-}" ] && echo "Noch ein Satz $i." >>"$site/artikel/$ARTIKEL.md"
        t0=$(now)
        "$@" >/dev/null 2>&1
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
/usr/bin/time -f '%U %S' -o "$dir/cpu" "$qb" -g website "$dir/gross" "ausgabe=$dir/gross/nur-qb" >"$dir/qb.log" 2>&1 ||
    { cat "$dir/qb.log"; exit 1; }
t_qb=$(ms_since "$t0")
c_qb=$(cpu)
t0=$(now)
/usr/bin/time -f '%U %S' -o "$dir/cpu" make -s -C "$dir/gross" QB="$qb" >"$dir/gross.log" 2>&1 ||
    { cat "$dir/gross.log"; exit 1; }
t_voll=$(ms_since "$t0")
c_voll=$(cpu)
t0=$(now)
/usr/bin/time -f '%U %S' -o "$dir/cpu" hugo --quiet -s "$dir/gen/hugo" -d public >/dev/null 2>&1
t_hugo=$(ms_since "$t0")
c_hugo=$(cpu)
seiten=$(find "$dir/gross/public" -maxdepth 1 -name '*.php' | wc -l)
ratio() { echo "$1 $2" | awk '{printf "%.2f", $1 / $2}'; }
echo "Voller Bau, 400 Dokumente + Beispiel ($seiten Seiten): quennelbrook -g website $t_qb ms (CPU $c_qb ms, Verhältnis $(ratio "$t_qb" "$t_hugo")), make $t_voll ms (CPU $c_voll ms, Verhältnis $(ratio "$t_voll" "$t_hugo")), Hugo $t_hugo ms (CPU $c_hugo ms)"
echo "Nichts geändert, 400 Dokumente (Median von $runs): quennelbrook -g website $(ARTIKEL= median "$dir/gross" "$qb" -g website "$dir/gross") ms, make $(ARTIKEL= median "$dir/gross" make -s -C "$dir/gross" QB="$qb") ms"
echo "Ein Artikel geändert, 400 Dokumente (Median von $runs): quennelbrook -g website $(ARTIKEL=seite-123 median "$dir/gross" "$qb" -g website "$dir/gross") ms, make $(ARTIKEL=seite-123 median "$dir/gross" make -s -C "$dir/gross" QB="$qb") ms"

vorlage "$dir/klein" 0
make -s -C "$dir/klein" QB="$qb" >/dev/null
echo "Ein Artikel geändert, Beispiel-Website (Median von $runs): make $(ARTIKEL=hoher-kopf median "$dir/klein" make -s -C "$dir/klein" QB="$qb") ms"
echo "Last danach$(uptime | sed 's/.*load average//')"
