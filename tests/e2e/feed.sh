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

"$ROOT/scripts/need-packages" libxml2-utils python3-feedparser
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

[ "$fail" = 0 ] && echo "feed.sh: in Ordnung"
exit "$fail"
