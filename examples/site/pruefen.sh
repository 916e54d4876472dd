#!/bin/sh
# `make check`: prüft die gebaute Website.
#   1. Jede PHP-Datei muss durch `php -l` gehen.
#   2. PHPs eingebauter Server liefert die Website auf einem freien Port aus,
#      und linkchecker folgt ab der Startseite jedem Link und jedem Bild.
#      Geprüft werden nur Adressen dieses Servers; alles andere (mailto:,
#      fremde Websites) prüft linkchecker nur auf die Schreibweise, ohne eine
#      Verbindung aufzubauen. Eine eigene Konfigurationsdatei von linkchecker
#      und Proxy-Variablen werden dabei nicht beachtet.
#   3. Mit Basis-URL: jede Adresse in sitemap.xml (und in den Teil-Sitemaps
#      eines Sitemap-Index) muss derselbe Server mit 200 beantworten; die
#      Basis-URL wird dafür auf ihn umgelegt.
# Der Server wird auf jedem Weg beendet, auch bei Strg-C.
#
#   sh pruefen.sh <Verzeichnis der gebauten Website> [<Basis-URL>]
set -u

site=${1:?Aufruf: sh pruefen.sh <Verzeichnis der gebauten Website>}
site=${site%/}
basis=${2:-}
for werkzeug in php:php-cli linkchecker:linkchecker python3:python3; do
    if ! command -v "${werkzeug%%:*}" >/dev/null; then
        echo "Fehler: ${werkzeug%%:*} fehlt. Bitte installieren: apt-get install ${werkzeug#*:}"
        exit 1
    fi
done
if [ ! -f "$site/index.php" ]; then
    echo "Fehler: $site/index.php fehlt. Ist die Website gebaut?"
    exit 1
fi

tmp=$(mktemp -d)
server=
pruefer=
aufraeumen() {
    for pid in $pruefer $server; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$tmp"
}
trap aufraeumen EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

fehler=0

# 1. Syntax jeder PHP-Datei, auch der Include-Dateien.
find "$site" -type f -name '*.php' | sort >"$tmp/dateien"
anzahl=0
while IFS= read -r datei; do
    anzahl=$((anzahl + 1))
    if ! php -l "$datei" >"$tmp/lint" 2>&1; then
        cat "$tmp/lint"
        echo "Fehler: ${datei#"$site"/} ist kein gültiges PHP."
        fehler=1
    fi
done <"$tmp/dateien"
echo "php -l: $anzahl Dateien geprüft."

# 2. Der Server wählt selbst einen freien Port (Port 0) und nennt ihn in
#    seiner ersten Zeile.
php -S 127.0.0.1:0 -t "$site" >"$tmp/server.log" 2>&1 &
server=$!
port=
for _ in $(seq 100); do
    port=$(sed -n 's|.*(http://127\.0\.0\.1:\([0-9][0-9]*\)) started.*|\1|p' "$tmp/server.log")
    [ -n "$port" ] && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$port" ]; then
    cat "$tmp/server.log"
    echo "Fehler: PHPs eingebauter Server ist nicht gestartet."
    exit 1
fi
start="http://127.0.0.1:$port/"
echo "Prüfe Links und Bilder ab $start ..."

# Eine leere Konfiguration statt der des Benutzers: kein checkextern=1 von
# dort. --ignore-url mit ! davor: alles, was nicht auf diesen Server zeigt,
# wird nur auf die Schreibweise geprüft. -v: jede geprüfte Adresse kommt in
# die Ausgabe, damit sich zählen lässt, was geprüft wurde. linkchecker läuft
# im Hintergrund, damit Strg-C sofort zum Aufräumen führt (linkchecker selbst
# würde nach Strg-C noch alle begonnenen Prüfungen abwarten).
printf '[filtering]\ncheckextern=0\n' >"$tmp/linkcheckerrc"
env -u http_proxy -u https_proxy -u ftp_proxy -u all_proxy -u no_proxy \
    -u HTTP_PROXY -u HTTPS_PROXY -u FTP_PROXY -u ALL_PROXY -u NO_PROXY -u NNTP_SERVER \
    linkchecker -f "$tmp/linkcheckerrc" --no-status --no-robots --threads=4 -v -o csv/utf-8 \
    --ignore-url="!^http://127\\.0\\.0\\.1:$port/" "$start" \
    >"$tmp/links.csv" 2>"$tmp/linkchecker.log" &
pruefer=$!
rc=0
wait "$pruefer" || rc=$?
pruefer=
if [ "$rc" -gt 1 ]; then
    cat "$tmp/linkchecker.log"
    echo "Fehler: linkchecker ist mit Status $rc abgebrochen."
    exit 1
fi

# Die CSV-Ausgabe: eine Zeile je Adresse, mit der Seite, auf der der Link
# steht (parentname), und dem Ergebnis. Gemeldet wird jede ungültige Adresse
# mit Seite und Link; Seiten, die von der Startseite aus nicht erreichbar
# sind, bekommen eine Warnung.
python3 - "$tmp/links.csv" "$start" "$site" <<'EOF' || fehler=1
import csv, os, sys

datei, start, site = sys.argv[1:]
def seite(url):
    name = url[len(start):] if url.startswith(start) else url
    return name or "index.php"

zeilen = [z for z in open(datei, encoding="utf-8") if not z.startswith("#")]
fehler = geprueft = 0
erreicht = set()
for z in csv.DictReader(zeilen, delimiter=";"):
    geprueft += 1
    url = z["url"] or z["urlname"]
    erreicht.add(seite(url))
    ort = seite(z["parentname"]) if z["parentname"] else "Startadresse"
    if z["valid"] != "True":
        fehler += 1
        print(f"Fehler: {ort} verweist auf {z['urlname']} ({z['result']})")
    elif z["warningstring"]:
        print(f"Warnung: {ort}, Link {z['urlname']}: {z['warningstring']}")
if geprueft == 0:
    print("Fehler: linkchecker hat keine Adresse geprüft.")
    sys.exit(1)
for name in sorted(os.listdir(site)):
    if name.endswith(".php") and name not in erreicht:
        print(f"Warnung: {name} ist von der Startseite aus nicht erreichbar.")
print(f"linkchecker: {geprueft} Adressen geprüft, {fehler} Fehler.")
sys.exit(1 if fehler else 0)
EOF

# 3. Die Sitemap, Adresse für Adresse. Eine Weiterleitung zählt als Fehler:
#    in die Sitemap gehört die Adresse, unter der die Seite selbst steht.
if [ -n "$basis" ]; then
    python3 - "$site" "$basis" "$start" <<'EOF' || fehler=1
import os, sys, urllib.error, urllib.request
import xml.etree.ElementTree as ET

site, basis, start = sys.argv[1:]
basis = basis.rstrip("/") + "/"
ns = "{http://www.sitemaps.org/schemas/sitemap/0.9}"

class KeineWeiterleitung(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args):
        return None

holer = urllib.request.build_opener(urllib.request.ProxyHandler({}), KeineWeiterleitung)

def antwort(url):
    try:
        with holer.open(url, timeout=20) as a:
            return a.status
    except urllib.error.HTTPError as e:
        return e.code
    except OSError as e:
        return str(e)

if not os.path.isfile(os.path.join(site, "sitemap.xml")):
    print("Fehler: sitemap.xml fehlt. Ist die Website mit make gebaut?")
    sys.exit(1)
fehler = geprueft = 0
dateien = ["sitemap.xml"]
while dateien:
    datei = dateien.pop(0)
    try:
        wurzel = ET.parse(os.path.join(site, datei)).getroot()
    except (OSError, ET.ParseError) as e:
        print(f"Fehler: {datei} ist nicht lesbar: {e}")
        fehler += 1
        continue
    for loc in wurzel.iter(ns + "loc"):
        url = (loc.text or "").strip()
        geprueft += 1
        if not url.startswith(basis):
            print(f"Fehler: {datei} nennt {url}, das liegt nicht unter {basis}")
            fehler += 1
            continue
        rest = url[len(basis):]
        status = antwort(start + rest)
        if status != 200:
            print(f"Fehler: {datei} nennt {url}, der Server antwortet mit {status}")
            fehler += 1
        elif wurzel.tag == ns + "sitemapindex":
            dateien.append(urllib.request.url2pathname(rest))
print(f"Sitemap: {geprueft} Adressen geprüft, {fehler} Fehler.")
sys.exit(1 if fehler else 0)
EOF
fi

if [ "$fehler" != 0 ]; then
    echo "Fehler: die Prüfung der Website $site ist fehlgeschlagen."
    exit 1
fi
echo "Die Website $site ist in Ordnung."
