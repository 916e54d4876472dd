#!/bin/bash
# End-to-end check of the example site's sitemap and news feed: xmllint
# takes both files (the sitemap also against its schema), the sitemap lists exactly the example's pages, Debian's
# feedparser reads the feed without complaint and with the expected entries.
# On a copy of the site: a page whose SEO file says noindex stays out of the
# sitemap, a new news entry leaves the older entries' ids as they were, and
# make check's test fails and names a sitemap address that does not answer.
# Usage: tests/e2e/feed.sh /abs/path/to/quennelbrook <example site built
# with TZ=Europe/Berlin, as run.sh builds it>
set -euo pipefail

QB=${1:?Aufruf: tests/e2e/feed.sh /pfad/zu/quennelbrook <gebaute Beispiel-Website>}
SITE=${2:?Aufruf: tests/e2e/feed.sh /pfad/zu/quennelbrook <gebaute Beispiel-Website>}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
WORK=${E2E_WORK:-$ROOT/build/e2e}/feed
BASE=https://www.wanderfreunde-eichenau.example/
export TZ=Europe/Berlin SOURCE_DATE_EPOCH=1620032700

"$ROOT/scripts/need-packages" libxml2-utils python3-feedparser sfeed newsboat sqlite3 chromium
command -v npm >/dev/null || "$ROOT/scripts/need-packages" nodejs npm
if [ ! -f "$ROOT/tests/e2e/node_modules/.package-lock.json" ]; then
    (cd "$ROOT/tests/e2e" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
fi
# Debian's Python, whatever else PATH offers: feedparser is its package.
PY=/usr/bin/python3

fail=0
problem() {
    echo "FEHLER feed.sh: $*"
    fail=1
}

echo "== Sitemap und Feed der Beispiel-Website"
xmllint --noout "$SITE/sitemap.xml" "$SITE/neuigkeiten.xml" || problem "xmllint lehnt sitemap.xml oder neuigkeiten.xml ab"
# The protocol's format, transcribed into sitemap.xsd: no network needed.
xmllint --noout --schema "$ROOT/tests/e2e/sitemap.xsd" "$SITE/sitemap.xml" || problem "sitemap.xml passt nicht zum Sitemap-Schema"
grep -qxF "Sitemap: ${BASE}sitemap.xml" "$SITE/robots.txt" || problem "robots.txt nennt die Sitemap nicht"
locs=$(grep -o '<loc>[^<]*</loc>' "$SITE/sitemap.xml" | sed 's|<loc>||; s|</loc>||' | tr '\n' ' ')
want="$BASE ${BASE}hoher-kopf.php ${BASE}neuigkeiten.php ${BASE}seenrunde.php ${BASE}termine.php ${BASE}touren.php ${BASE}verein.php "
[ "$locs" = "$want" ] || problem "die Sitemap listet: $locs; erwartet: $want"

# Prints the feed's entries, one line each: id, title, published.
entries() {
    "$PY" - "$1" <<'EOF'
import sys, feedparser
d = feedparser.parse(sys.argv[1])
if d.bozo:
    print(f"bozo: {d.bozo_exception}", file=sys.stderr)
    sys.exit(1)
for e in d.entries:
    print(e.id, e.title, e.published, sep="|")
EOF
}
feed_title=$("$PY" -c 'import sys, feedparser; print(feedparser.parse(sys.argv[1]).feed.title)' "$SITE/neuigkeiten.xml")
[ "$feed_title" = "Wanderfreunde Eichenau" ] || problem "der Feed heißt \"$feed_title\", nicht wie die Website"
got=$(entries "$SITE/neuigkeiten.xml") || problem "feedparser beanstandet neuigkeiten.xml"
want_entries="tag:www.wanderfreunde-eichenau.example,2021-12-01:neuigkeiten.php/2|Neue Winterrunde|2021-12-01T09:30:00+01:00
tag:www.wanderfreunde-eichenau.example,2021-10-02:neuigkeiten.php/1|Herbstwanderung mit Rekord|2021-10-02T18:00:00+02:00"
[ "$got" = "$want_entries" ] || problem "Einträge des Feeds: $got"
grep -qF 'src=&quot;https://www.wanderfreunde-eichenau.example/img/berg.jpg&quot;' "$SITE/neuigkeiten.xml" \
    || problem "das Bild im Feed hat keine absolute Adresse"

echo "== Kopie: Seite mit noindex, neuer Eintrag, make check mit falscher Adresse"
rm -rf "$WORK"
mkdir -p "$WORK"
cp -r "$SITE" "$WORK/site"
cd "$WORK/site"
printf '<p>Test</p>\n' >"$WORK/test.html"
printf 'robots:noindex, follow\n' >"$WORK/noindex.seo"
"$QB" -t Geheim -s "$WORK/noindex.seo" "$WORK/test.html" geheim.php
"$QB" -t Offen "$WORK/test.html" offen.php
"$QB" -g sitemap "$BASE"
grep -qF "<loc>${BASE}offen.php</loc>" sitemap.xml || problem "offen.php fehlt in der Sitemap"
if grep -qF geheim sitemap.xml; then problem "die Seite mit noindex steht in der Sitemap"; fi

before=$(entries neuigkeiten.xml | cut -d'|' -f1)
printf '<h2>Frühjahrsputz am Wegkreuz</h2>\n<p>Bitte <a href="termine.php">Termine</a> ansehen.</p>\n' >"$WORK/neu.html"
SOURCE_DATE_EPOCH=1646128800 "$QB" "$WORK/neu.html" neuigkeiten.php
"$QB" -g feed "$BASE" neuigkeiten.php
after=$(entries neuigkeiten.xml) || problem "feedparser beanstandet den Feed mit neuem Eintrag"
[ "$(head -n 1 <<<"$after")" = "tag:www.wanderfreunde-eichenau.example,2022-03-01:neuigkeiten.php/3|Frühjahrsputz am Wegkreuz|2022-03-01T11:00:00+01:00" ] \
    || problem "der neue Eintrag steht nicht oben: $after"
[ "$(tail -n +2 <<<"$after" | cut -d'|' -f1)" = "$before" ] || problem "ältere Einträge haben neue ids: $after"

sed -i "s|</urlset>|  <url>\n    <loc>${BASE}gibt-es-nicht.php</loc>\n  </url>\n</urlset>|" sitemap.xml
if sh "$ROOT/examples/site/pruefen.sh" "$WORK/site" "$BASE" >"$WORK/check.log" 2>&1; then
    problem "make check übersieht eine Adresse der Sitemap, die nicht antwortet"
elif ! grep -F "Fehler: sitemap.xml nennt ${BASE}gibt-es-nicht.php, der Server antwortet mit 404" "$WORK/check.log"; then
    cat "$WORK/check.log"
    problem "make check nennt die falsche Adresse der Sitemap nicht"
fi

echo "== Feedleser: Titel wie im Browser, bleibende und eindeutige ids"
# Two news pages of one host, one in each folder, with headings that hold
# what HTML escapes, old Windows-1252 numbers, comments, scripts, a BOM
# before the entry (written here as BOM), and entries put in by hand
# without a stamp.
L=$WORK/leser
mkdir -p "$L/verein" "$L/jugend" "$L/home"
i=0
aeh=$(printf 'ä%.0s' $(seq 600))
while IFS= read -r heading; do
    i=$((i + 1))
    heading=${heading/#BOM/$'\xEF\xBB\xBF'}
    heading=${heading//AEH600/$aeh}
    printf '%s\n<p>Text %s</p>\n' "$heading" "$i" >"$WORK/eintrag.html"
    for dir in verein jugend; do
        (cd "$L/$dir" && SOURCE_DATE_EPOCH=$((1620032700 + i * 86400)) "$QB" "$WORK/eintrag.html" neuigkeiten.php)
    done
done <<'EOF'
<h2>Kaffee &amp; Kuchen</h2>
<h2>Wurst & Käse</h2>
<h2>3 < 4</h2><p>Danach kommt Text</p>
<h2>Sag &quot;Hallo&quot; &amp; &lt;tschüss&gt;</h2>
<h2>&Uuml;ber den &bdquo;Hohen Kopf&ldquo; &ndash; am&nbsp;Grat</h2>
<h2>&nbsp;</h2>
<h3>Ein "Zitat" mit <em>Betonung</em> &#8211; &#x263A; &copy2021</h3>
<h2>&#132;Grüße&#147; &#150; 5&#128;</h2>
<h2>A<!-- x > y -->B</h2>
<!-- <h2>Alter Titel</h2> --><h2>Neuer Titel</h2>
<h2>Titel</h3><p>Text danach</p>
<h2>Vor<script>var x = "<b>";</script><style>h2 { color: red }</style>nach</h2>
<h2>AEH600</h2>
<h2>Haken &check; &mldr; &NotEqualTilde; &frac78; &hellip</h2>
<h2>Ge<em>schach<strong>tel<a href="x.php">te</a></strong></em> Tags</h2>
<h2>Erste Zeile<br>zweite Zeile</h2>
<h2>Viel&nbsp;&nbsp;&nbsp;Platz&nbsp; &nbsp;hier</h2>
BOM<h2>Nach einer BOM</h2>
<h2><img src="img/logo.png" alt="Vereinslogo"></h2>
<h2>   Leer
<h2><span>Zu</span><span>sammen</span> und <code>Code</code></h2>
<h2>Zitat &laquo;x&raquo; &sbquo;y&lsquo; &#x27;z&#39;</h2>
<h2>Preis: 5&euro;&ndash;10&#8364; &amp;c</h2>
<h4 class="klein" title="a > b">Kleine <abbr title="Abkürzung">Abk.</abbr></h4>
EOF
# By hand: an entry without a stamp on top, one in the middle.
by_hand() {
    "$PY" - "$1" "$2" "$3" <<'EOF'
import sys
path, at, heading = sys.argv[1], int(sys.argv[2]), sys.argv[3]
page = open(path, encoding="utf-8").read()
opener = '<div class="container">\n'
parts = page.split(opener)
parts.insert(at + 1, "\t<br>\n\t<div class=\"jumbotron\">\n" + heading + "\n<p>Von Hand</p>\n\t</div>\n\n</div>\n\n")
open(path, "w", encoding="utf-8").write(opener.join(parts))
EOF
}
by_hand "$L/verein/neuigkeiten.php" 0 '<h2>Von Hand &amp; ohne Stempel</h2>'
by_hand "$L/verein/neuigkeiten.php" 4 '<h2>Mitten drin &lt;3</h2>'

# The titles as Chromium shows the page's headings (an empty line for an
# entry without one, or with one of blanks).
page_titles() {
    node "$ROOT/tests/e2e/innertext.mjs" "$1"
}
# What a reader shows of feed $2 (called $3), one line per entry in the
# feed's order: id, a tab, the title. newsboat keeps what it read in its
# cache; the number at the id's end gives the order back.
read_feed() {
    case $1 in
    feedparser) entries "$2" | cut -d'|' -f1,2 | tr '|' '\t' ;;
    sfeed) sfeed <"$2" | awk -F'\t' '{ print $6 "\t" $2 }' ;;
    newsboat)
        printf '"exec:cat %s"\n' "$2" >"$L/home/urls-$3"
        : >"$L/home/config"
        HOME=$L/home newsboat -u "$L/home/urls-$3" -c "$L/home/cache-$3.db" -C "$L/home/config" -x reload \
            >/dev/null 2>&1 || return 1
        sqlite3 -separator "$(printf '\t')" "$L/home/cache-$3.db" "select guid, title from rss_item
            order by cast(substr(guid, instr(guid, '.php/') + 5) as integer) desc"
        ;;
    esac
}
# Checks every reader's titles against the page's, in the page's order;
# an entry whose heading is blanks alone is "<feed title> vom <date>".
check_readers() {
    local page=$1 xml=$2 name=$3 title=$4 reader got want w id t
    want=$(page_titles "$page")
    for reader in feedparser sfeed newsboat; do
        got=$(read_feed "$reader" "$xml" "$name") || { problem "$reader liest $name nicht"; continue; }
        if [ "$(wc -l <<<"$got")" != "$(wc -l <<<"$want")" ]; then
            problem "$reader zeigt in $name $(wc -l <<<"$got") Einträge, die Seite hat $(wc -l <<<"$want")"
            continue
        fi
        while IFS= read -r w <&3 && IFS=$'\t' read -r id t <&4; do
            if [ -z "$w" ]; then
                [[ $t =~ ^"$title vom "[0-9]+\.[0-9]+\.[0-9]+$ ]] || problem "$reader, $name: \"$t\" statt \"$title vom <Datum>\" ($id)"
            elif [ "$t" != "$w" ]; then
                problem "$reader, $name: \"$t\" statt \"$w\" ($id)"
            fi
        done 3<<<"$want" 4<<<"$got"
    done
}
(cd "$L/verein" && "$QB" -g feed https://www.example.org/verein/ neuigkeiten.php)
(cd "$L/jugend" && "$QB" -g feed https://www.example.org/jugend/ neuigkeiten.php 'Jugend & Co')
check_readers "$L/verein/neuigkeiten.php" "$L/verein/neuigkeiten.xml" verein "Tarnido 2020 News"
check_readers "$L/jugend/neuigkeiten.php" "$L/jugend/neuigkeiten.xml" jugend "Jugend & Co"
ids=$({ entries "$L/verein/neuigkeiten.xml"; entries "$L/jugend/neuigkeiten.xml"; } | cut -d'|' -f1)
twice=$(sort <<<"$ids" | uniq -d | tr '\n' ' ')
[ -z "$twice" ] || problem "ids, die in beiden Feeds stehen: $twice"

# A new entry a week later, and the feed made again at another time: every
# older entry keeps id and date, so newsboat finds exactly one new entry.
before=$(entries "$L/verein/neuigkeiten.xml" | cut -d'|' -f1,3)
sqlite3 "$L/home/cache-verein.db" "update rss_item set unread = 0"
printf '<h2>Neu &amp; frisch</h2>\n' >"$WORK/eintrag.html"
(cd "$L/verein" && SOURCE_DATE_EPOCH=1621242300 "$QB" "$WORK/eintrag.html" neuigkeiten.php)
(cd "$L/verein" && SOURCE_DATE_EPOCH=1621500000 "$QB" -g feed https://www.example.org/verein/ neuigkeiten.php)
after=$(entries "$L/verein/neuigkeiten.xml" | cut -d'|' -f1,3)
[ "$(tail -n +2 <<<"$after")" = "$before" ] \
    || problem "ids oder Daten älterer Einträge haben sich geändert: $(diff <(echo "$before") <(tail -n +2 <<<"$after") | tr '\n' ' ')"
check_readers "$L/verein/neuigkeiten.php" "$L/verein/neuigkeiten.xml" verein "Tarnido 2020 News"
unread=$(sqlite3 "$L/home/cache-verein.db" "select count(*) from rss_item where unread = 1")
[ "$unread" = 1 ] || problem "newsboat zeigt nach einem neuen Eintrag $unread ungelesene statt 1"

[ "$fail" = 0 ] && echo "feed.sh: in Ordnung"
exit "$fail"
