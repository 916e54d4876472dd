#!/bin/bash
# The site template over the years of a site: a seeded random sequence of
# author edits (every kind at least once) is applied to a copy of the example
# site, and after each one `make` must leave the site byte for byte as a
# clean build of the same sources does, and a second run writes nothing.
# With TZ set and no SOURCE_DATE_EPOCH: the stamps come from the articles.
# Then: a page added as a new file leaves every other page alone; a fresh git clone stamps pages with their
# commit times; a file put into the site by hand stays, with a warning.
# Usage: tests/e2e/rebuild.sh /abs/path/to/quennelbrook   (E2E_SEED, E2E_WORK)
set -euo pipefail

QB=${1:?Aufruf: tests/e2e/rebuild.sh /pfad/zu/quennelbrook}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SITE_SRC=$ROOT/examples/site
WORK=${E2E_WORK:-$ROOT/build/e2e}/rebuild
SEED=${E2E_SEED:-24}
started=$(date +%s)
export TZ=Europe/Berlin
unset SOURCE_DATE_EPOCH
# The copies are no part of the project's git work tree; only the clone below
# is a repository of its own.
export GIT_CEILING_DIRECTORIES=$WORK

fail=0
problem() {
    echo "FEHLER $*"
    fail=1
}

[ -f "$SITE_SRC/node_modules/.package-lock.json" ] || make --no-print-directory -C "$SITE_SRC" node_modules/.package-lock.json
rm -rf "$WORK"
mkdir -p "$WORK"

# A copy of the template whose articles were last changed long ago, so that
# a page stamped with the time of its build shows at once.
copy_site() {
    mkdir -p "$1"
    (cd "$SITE_SRC" && tar --exclude=./node_modules --exclude='./public*' -cf - .) | tar -C "$1" -xf -
    ln -s "$SITE_SRC/node_modules" "$1/node_modules"
    touch -d '2022-03-04 05:06:07' "$1"/artikel/*.md "$1"/neuigkeiten/*.md
}
# make in site $1 into $2; the log is $2.log. The copies share the template's
# node_modules: npm ci must not run in them (a clone's package.json is new).
build() {
    make --no-print-directory -C "$1" -j2 -o node_modules/.package-lock.json QB="$QB" OUT="$2" >"$2.log" 2>&1 || {
        cat "$2.log"
        return 1
    }
}

src=$WORK/src
inc=$WORK/inkrementell
clean=$WORK/sauber
copy_site "$src"
build "$src" "$inc" || problem "erster Bau"

# ---- The edits: each changes the site as an author would and says what in
# $what. They run in this shell, not in $(...): a subshell would reseed RANDOM.
RANDOM=$SEED
n=0
# One of its arguments into $picked (not printed: see above).
pick() {
    local a=("$@")
    picked=${a[RANDOM % ${#a[@]}]}
}
# The articles that are whole pages of their own (a block with a heading).
pages() { (cd "$src/artikel" && grep -l '^ueberschrift:' -- *.md | sed 's/\.md$//'); }
news() { (cd "$src/neuigkeiten" && ls -- *.md | sed 's/\.md$//'); }
# One of the pages into $picked, but not the one named $1.
pick_page() {
    local list
    mapfile -t list < <(pages | grep -vx -- "${1:-}")
    pick "${list[@]}"
}
article_changed() {
    local p
    pick_page
    p=$picked
    # A class no page had (none of these is in the template): the CSS must change too.
    local classes=(badge text-danger font-italic text-uppercase)
    echo "Ein neuer Satz $n mit *Betonung* und <span class=\"${classes[n % 4]}\">Auszeichnung</span>." >>"$src/artikel/$p.md"
    what="$p.md geändert"
}
article_added() {
    local p=neu-$n
    printf -- "---\ntitel: 'Neu %s'\nueberschrift: 'Neue Seite %s'\nzurueck: index.php\n---\n\n# Neue Seite %s\n\nText der Seite %s.\n" \
        "$n" "$n" "$n" "$n" >"$src/artikel/$p.md"
    what="$p.md hinzugefügt"
}
article_removed() {
    local p
    pick_page index
    p=$picked
    rm "$src/artikel/$p.md"
    what="$p.md entfernt"
}
# A page whose name has an umlaut and a blank, and a title with # ' " $ &.
umlaut_page() {
    printf -- '---\ntitel: "Über # %s '"'"' \\" $ &"\nueberschrift: Über uns\n---\n\nWir sind %s.\n' "$n" "$n" \
        >"$src/artikel/Über uns $n.md"
    what="Über uns $n.md hinzugefügt"
}
page_renamed() {
    local p
    pick_page index
    p=$picked
    mv "$src/artikel/$p.md" "$src/artikel/$p-$n.md"
    what="$p.md umbenannt in $p-$n.md"
}
draft() {
    printf -- '---\ntitel: Entwurf %s\nueberschrift: Noch nicht fertig\nentwurf: ja\n---\n\nGeheim.\n' "$n" \
        >"$src/artikel/entwurf-$n.md"
    what="Entwurf entwurf-$n.md"
}
news_added() {
    local e=news-$n
    printf -- '---\nveroeffentlicht: 2022-0%s-1%s 1%s:30\n---\n\nNeuigkeit Nummer %s.\n' \
        $((RANDOM % 9 + 1)) $((RANDOM % 9)) $((RANDOM % 9)) "$n" >"$src/neuigkeiten/$e.md"
    what="$e hinzugefügt"
}
news_removed() {
    local e
    e=$(news | head -n 1)
    [ "$(news | wc -l)" -gt 1 ] || { news_added; return; }
    rm "$src/neuigkeiten/$e.md"
    what="$e entfernt"
}
# A page's heading in its block, with # ' " $ &: the page and the sitemap
# change, and only once.
options() {
    local p
    pick_page
    p=$picked
    sed -i "s/^ueberschrift: .*/ueberschrift: 'Stand $n # '' \" \$ \&'/" "$src/artikel/$p.md"
    what="Überschrift von $p"
}
menu_file() {
    echo "img/wald.jpg|index.php|Wald $n|Karte Nummer $n" >>"$src/menue.txt"
    what="menue.txt"
}
seo_file() {
    sed -i "s/^description:.*/description:Beschreibung $n/" "$src/seo.txt"
    what="seo.txt"
}
image_list() {
    { sed 1d "$src/startbilder.txt"; sed -n 1p "$src/startbilder.txt"; } >"$src/neu.tmp"
    mv "$src/neu.tmp" "$src/startbilder.txt"
    what="startbilder.txt"
}
photo_replaced() {
    local f
    pick "$src"/img/*
    f=${picked##*/}
    # Through a plain name: ImageMagick reads %d in an output name as a number.
    convert -size 40x30 "xc:rgb($((RANDOM % 256)),90,$n)" "$WORK/foto.jpg"
    mv "$WORK/foto.jpg" "$src/img/$f"
    what="img/$f ersetzt"
}
photo_removed() {
    local f
    pick "$src"/img/*
    f=${picked##*/}
    rm "$src/img/$f"
    what="img/$f entfernt"
}
# Names make could not hold: a blank, & with parentheses (added and removed
# again), and what ImageMagick would read as a frame number in an output name.
odd=0
photo_odd() {
    local f
    case $((odd % 4)) in
        0) f="Foto 1.jpg" ;;
        1 | 2) f="Fest&Feier (2).jpg" ;;
        3) f="Rabatt 50%d [1].jpg" ;;
    esac
    if [ $((odd % 4)) = 2 ]; then
        rm -f "$src/img/$f"
        what="img/$f entfernt"
    else
        convert -size 40x30 "xc:rgb(90,$n,200)" "$WORK/foto.jpg"
        mv "$WORK/foto.jpg" "$src/img/$f"
        what="img/$f hinzugefügt"
    fi
    odd=$((odd + 1))
}
include_changed() {
    pick text-muted badge lead small
    echo "<p class=\"$picked\">Hinweis $n</p>" >>"$src/assets/include/hinweis.php"
    what="hinweis.php"
}
download_added() {
    echo "Datei $n" >"$src/dateien/plan-$n.txt"
    what="dateien/plan-$n.txt hinzugefügt"
}
download_removed() {
    local f
    f=$(cd "$src/dateien" && find . -type f | sort | sed -n '1s|^\./||p')
    [ -n "$f" ] || { download_added; return; }
    rm "$src/dateien/$f"
    what="dateien/$f entfernt"
}
touched() {
    local p
    pick_page
    p=$picked
    touch "$src/artikel/$p.md"
    what="touch $p.md"
}
# A build with Bootstrap's full style between edits: the next plain make
# must purge again.
full_style() {
    make --no-print-directory -C "$src" -j2 -o node_modules/.package-lock.json QB="$QB" OUT="$inc" PURGECSS=nein >/dev/null 2>&1 ||
        problem "Schritt $n: make PURGECSS=nein fehlgeschlagen"
    what="make PURGECSS=nein dazwischen"
}
settings_comment() {
    echo "# Anmerkung $n" >>"$src/website.yaml"
    what="Kommentar in website.yaml"
}
kinds=(article_changed article_added article_removed news_added news_removed options menu_file seo_file
       image_list photo_replaced photo_removed include_changed download_added download_removed touched settings_comment
       umlaut_page page_renamed draft photo_odd full_style)
# Every kind once, in a seeded order, then a few more drawn at random.
order=()
for k in "${kinds[@]}"; do order+=("$RANDOM:$k"); done
mapfile -t order < <(printf '%s\n' "${order[@]}" | sort -n | cut -d: -f2)
for _ in 1 2 3 4; do
    pick "${kinds[@]}"
    order+=("$picked")
done
# Every odd photo name, the second removed again.
order+=(photo_odd photo_odd photo_odd photo_odd)

echo "== Neubau gleich sauberem Bau: ${#order[@]} Änderungen (${#kinds[@]} Arten, Seed $SEED)"
for k in "${order[@]}"; do
    n=$((n + 1))
    $k
    if ! build "$src" "$inc"; then
        problem "Schritt $n ($what): make ist fehlgeschlagen"
        continue
    fi
    grep -H 'stammt nicht aus dem Bau' "$inc.log" && problem "Schritt $n ($what): eine eigene Datei gilt als fremd"
    build "$src" "$inc" || problem "Schritt $n ($what): zweiter Lauf fehlgeschlagen"
    if ! grep -q ' 0 Dateien geschrieben, 0 gelöscht' "$inc.log" || grep -q '^purgecss' "$inc.log"; then
        cat "$inc.log"
        problem "Schritt $n ($what): ein zweiter Lauf hätte noch zu tun"
    fi
    rm -rf "$clean" "$clean-html" "$clean-bau"
    build "$src" "$clean" || { problem "Schritt $n ($what): sauberer Bau fehlgeschlagen"; continue; }
    if diff -r -x .quennelbrook "$clean" "$inc" >"$WORK/diff.txt"; then
        echo "ok $n: $what"
    else
        head -n 20 "$WORK/diff.txt"
        problem "Schritt $n ($what): der Neubau weicht vom sauberen Bau ab"
    fi
done

echo "== Stil aus den Wörtern des Markups gleich dem aus den ganzen Seiten"
# PurgeCSS sees only the pages' markup words: it must keep what it keeps when
# it reads the pages themselves (the site's text has no Bootstrap class names).
boot=$SITE_SRC/node_modules/bootstrap/dist
"$SITE_SRC/node_modules/.bin/purgecss" --css "$boot/css/bootstrap.min.css" --output "$WORK" \
    --content "$clean"/*.php "$clean"/assets/include/*.php "$boot/js/bootstrap.bundle.min.js" >/dev/null
cmp "$WORK/bootstrap.min.css" "$clean/assets/vendor/bootstrap.min.css" ||
    problem "der Stil aus den Wörtern des Markups weicht vom Stil aus den ganzen Seiten ab"

echo "== Eine Seite mehr"
before=$WORK/vorher
rm -rf "$before"
cp -a "$inc" "$before"
touch "$WORK/marke"
n=99
article_added
build "$src" "$inc" || problem "Bau mit neuer Seite"
[ -f "$inc/neu-99.php" ] || problem "die neue Seite fehlt"
for f in "$before"/*.php; do
    cmp -s "$f" "$inc/${f##*/}" || problem "${f##*/} hat sich mit der neuen Seite geändert"
done
rebuilt=$(find "$inc" -maxdepth 1 -name '*.php' ! -name neu-99.php -newer "$WORK/marke")
[ -z "$rebuilt" ] || problem "neu gebaut, obwohl nur eine Seite dazukam: $rebuilt"

echo "== Von Hand in die Website gelegt"
echo '<p>eigene Datei</p>' >"$inc/eigene.html"
mkdir -p "$inc/extra"
echo 'x' >"$inc/extra/notiz.txt"
build "$src" "$inc" || problem "Bau mit Datei von Hand"
for f in eigene.html extra/notiz.txt; do
    [ -f "$inc/$f" ] || problem "$f von Hand wurde gelöscht"
    grep -q "Warnung: $inc/$f stammt nicht aus dem Bau" "$inc.log" || { cat "$inc.log"; problem "keine Warnung für $f"; }
done

echo "== Frischer git-Klon"
repo=$WORK/repo
copy_site "$repo"
rm "$repo/node_modules"
g() { git -C "$repo" -c user.name=Autor -c user.email=autor@example.org "$@"; }
g init -q
g add -A
GIT_AUTHOR_DATE='2023-04-05T10:20:00+02:00' GIT_COMMITTER_DATE='2023-04-05T10:20:00+02:00' g commit -qm Anfang
echo 'Nachtrag im Januar.' >>"$repo/artikel/hoher-kopf.md"
GIT_AUTHOR_DATE='2023-12-24T18:00:00+01:00' GIT_COMMITTER_DATE='2024-01-02T08:15:00+01:00' g commit -qam Nachtrag
klon=$WORK/klon
git clone -q "$repo" "$klon"
ln -s "$SITE_SRC/node_modules" "$klon/node_modules"
# With the template's own OUT (public, relative), as an author runs it.
klon_make() {
    make --no-print-directory -C "$klon" -j2 -o node_modules/.package-lock.json QB="$QB" >"$WORK/klon.log" 2>&1 ||
        { cat "$WORK/klon.log"; problem "Bau im Klon: $1"; }
}
klon_make "erster Bau"
expect() {  # file, text
    grep -qF "$2" "$1" || { grep -H 'veröffentlicht\|lastmod' "$1" || true; problem "${1##*/}: \"$2\" fehlt"; }
}
expect "$klon/public/touren.php" 'veröffentlicht: Mi, 5.4.2023 10:20'
expect "$klon/public/hoher-kopf.php" 'veröffentlicht: Di, 2.1.2024 08:15'
# A page without a stamp (-v) has its article's time in the sitemap too.
tr -d '\n ' <"$klon/public/sitemap.xml" >"$WORK/sitemap.flat"
expect "$WORK/sitemap.flat" 'termine.php</loc><lastmod>2023-04-05T10:20:00+02:00</lastmod>'
# Changed and not committed: the file's own time.
echo 'Noch nicht eingecheckt.' >>"$klon/artikel/touren.md"
touch -d '2025-06-07 12:34' "$klon/artikel/touren.md"
klon_make "nach Änderung"
expect "$klon/public/touren.php" 'veröffentlicht: Sa, 7.6.2025 12:34'

echo "== rebuild: $(($(date +%s) - started)) s"
[ "$fail" = 0 ]
