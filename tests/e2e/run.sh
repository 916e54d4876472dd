#!/bin/bash
# End-to-end check of the real pipeline: the example site is rendered with
# pandoc and with remarkable, built with quennelbrook, every page is linted
# and executed by PHP, checked by tidy, served by `php -S` and looked at in
# headless Chromium. Then the author's tools: `make serve` in the project
# root answers with the start page, the template's `make serve` shows every
# save in the open browser (preview.mjs), the site template's `make check` passes
# on the example site and names page and link of a misspelt navigation
# target, and `make watch` rebuilds what a saved file affects and survives a
# failing build; a sequence of author edits rebuilds the site as a clean
# build would (rebuild.sh). Usage: tests/e2e/run.sh /abs/path/to/quennelbrook
set -euo pipefail

QB=${1:?Aufruf: tests/e2e/run.sh /pfad/zu/quennelbrook}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
E2E=$ROOT/tests/e2e
SITE_SRC=$ROOT/examples/site
WORK=${E2E_WORK:-$ROOT/build/e2e}
SHOTS=${E2E_SCREENSHOTS:-$ROOT/docs}
started=$(date +%s)

"$ROOT/scripts/need-packages" pandoc php-cli tidy chromium linkchecker inotify-tools curl imagemagick git
# Node may come from elsewhere than Debian (its npm then conflicts with
# Debian's), so only the missing command asks for the packages.
command -v npm >/dev/null || "$ROOT/scripts/need-packages" nodejs npm

# Never let an npm package fetch a browser: Chromium comes from Debian.
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
if [ ! -f "$E2E/node_modules/.package-lock.json" ] || [ "$E2E/package-lock.json" -nt "$E2E/node_modules/.package-lock.json" ]; then
    (cd "$E2E" && npm ci --no-audit --no-fund --loglevel=error)
fi

# Fixed time and zone: the pages, and so the screenshots, come out the same
# on every run.
export TZ=Europe/Berlin SOURCE_DATE_EPOCH=1620032700

# Servers started with setsid lead their own process group (make, its
# shells, php, entr): the whole group is stopped.
pids=()
stop_servers() {
    local p
    for p in "${pids[@]}"; do
        kill -- "-$p" 2>/dev/null || kill "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    pids=()
}
trap stop_servers EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail=0
problem() {
    echo "FEHLER $*"
    fail=1
}

rm -rf "$WORK"
mkdir -p "$WORK"
renderers=(pandoc remarkable)
for r in "${renderers[@]}"; do
    dir=$WORK/$r
    mkdir -p "$dir/out"
    # pandoc's site is built in parallel, remarkable's one job at a time, so
    # that a rule that only works in one order shows up.
    render=(-j2 RENDER=pandoc)
    [ "$r" = remarkable ] && render=(-j1 RENDER=remarkable)
    echo "== $r: Seiten bauen"
    # -k: a page that fails to build is reported, the others are still checked.
    if ! make --no-print-directory -C "$SITE_SRC" -k QB="$QB" OUT="$dir/site" HTMLDIR="$dir/html" "${render[@]}" \
        >"$dir/build.log" 2>&1; then
        cat "$dir/build.log"
        problem "$r: make ist fehlgeschlagen"
    elif ! make --no-print-directory -C "$SITE_SRC" QB="$QB" OUT="$dir/site" HTMLDIR="$dir/html" "${render[@]}" 2>&1 |
        grep -q ' 0 Dateien geschrieben, 0 gelöscht'; then
        problem "$r: ein zweiter make-Lauf hätte noch etwas zu tun"
    fi

    echo "== $r: php -l, php, tidy"
    while IFS= read -r -d '' f; do
        php -l "$f" >"$dir/lint.log" 2>&1 || { cat "$dir/lint.log"; problem "$r: php -l ${f#"$dir/site/"}"; }
    done < <(find "$dir/site" -name '*.php' -print0)
    for f in "$dir"/site/*.php; do
        page=$(basename "$f" .php)
        # Every notice counts: an include that reads an unset variable is a fault.
        if ! (cd "$dir/site" && php -d display_errors=stderr -d error_reporting=-1 -f "$page.php") \
            >"$dir/out/$page.html" 2>"$dir/out/$page.err" || [ -s "$dir/out/$page.err" ]; then
            cat "$dir/out/$page.err"
            problem "$r: php $page.php"
        fi
        rc=0
        tidy -errors -q "$dir/out/$page.html" 2>"$dir/out/$page.tidy" || rc=$?
        if [ "$rc" -ge 2 ]; then
            cat "$dir/out/$page.tidy"
            problem "$r: tidy meldet Fehler in $page.php"
        fi
    done
done

echo "== tidy-Warnungen (alle Seiten, beide Renderer):"
cat "$WORK"/*/out/*.tidy 2>/dev/null | sed 's/^line [0-9]* column [0-9]* - //' | sort | uniq -c | sort -rn || true

free_port() {
    node -e 'const s=require("net").createServer().listen(0,"127.0.0.1",()=>{console.log(s.address().port);s.close()})'
}
sites=()
for r in "${renderers[@]}"; do
    [ -d "$WORK/$r/site" ] || continue
    port=$(free_port)
    php -S "127.0.0.1:$port" -t "$WORK/$r/site" >"$WORK/$r/server.log" 2>&1 &
    pids+=($!)
    up=0
    for _ in $(seq 50); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then up=1; break; fi
        sleep 0.1
    done
    if [ "$up" = 1 ] && kill -0 "${pids[-1]}" 2>/dev/null; then
        sites+=("$r=http://127.0.0.1:$port=$WORK/$r/site")
    else
        cat "$WORK/$r/server.log"
        problem "$r: php -S startet nicht"
    fi
done

if [ "${#sites[@]}" -gt 0 ]; then
    echo "== Chromium"
    node "$E2E/check.mjs" "$SITE_SRC" "$SHOTS" "${sites[@]}" || problem "Browserprüfung"
fi
stop_servers

# Polls for up to $1 seconds until the rest of the line succeeds.
wait_for() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.2
    done
}

echo "== make serve (Wurzelverzeichnis)"
port=$(free_port)
setsid make --no-print-directory -C "$ROOT" serve PORT="$port" </dev/null >"$WORK/serve.log" 2>&1 &
pids+=($!)
serve_group=$!
start_page() { curl -fsS --max-time 5 "http://127.0.0.1:$port/" >"$WORK/start.html" 2>/dev/null; }
if wait_for 300 start_page && grep -q '<title>Wanderfreunde Eichenau</title>' "$WORK/start.html" \
    && grep -qF "http://127.0.0.1:$port/" "$WORK/serve.log"; then
    echo "curl http://127.0.0.1:$port/ -> $(grep -o '<title>.*</title>' "$WORK/start.html")"
else
    cat "$WORK/serve.log"
    problem "make serve antwortet nicht mit der Startseite"
fi
stop_servers
group_gone() { ! kill -0 -- "-$1" 2>/dev/null; }
wait_for 5 group_gone "$serve_group" || problem "make serve: Prozesse laufen nach dem Beenden weiter"

if [ -d "$WORK/pandoc/site" ]; then
    echo "== make check (Beispiel-Website)"
    if make --no-print-directory -C "$SITE_SRC" check QB="$QB" OUT="$WORK/pandoc/site" HTMLDIR="$WORK/pandoc/html" \
        >"$WORK/check.log" 2>&1; then
        tail -n 2 "$WORK/check.log"
    else
        cat "$WORK/check.log"
        problem "make check meldet Fehler in der Beispiel-Website"
    fi
fi

# An author's own site: a copy of the template in $1/src, built into $1/site.
template_copy() {
    mkdir -p "$1/src"
    (cd "$SITE_SRC" && tar --exclude=./node_modules --exclude='./public*' -cf - .) | tar -C "$1/src" -xf -
    ln -s "$SITE_SRC/node_modules" "$1/src/node_modules"
}

echo "== make serve (Vorlage): Vorschau im Browser"
template_copy "$WORK/vorschau"
node "$E2E/preview.mjs" "$WORK/vorschau/src" "$WORK/vorschau/site" "$QB" || problem "make serve: Vorschau"

own=$WORK/eigene
template_copy "$own"
own_make=(make --no-print-directory -C "$own/src" QB="$QB" OUT="$own/site")

echo "== make watch"
setsid "${own_make[@]}" watch </dev/null >"$own/watch.log" 2>&1 &
pids+=($!)
# Each step: what the author saves (run in the site folder), the file that
# must then show the text, and the text. The broken card makes the build
# fail; the next save (by renaming, as many editors do) repairs it.
steps=(
    "echo 'Wegmarke 4711.' >> artikel/hoher-kopf.md"   hoher-kopf.php  "Wegmarke 4711"
    "echo 'img/see.jpg|seenrunde.php|Am See|Wegmarke 4712' >> menue.txt"   touren.php  "Wegmarke 4712"
    "echo 'description:Wegmarke 4713' >> seo.txt"   index.php  "Wegmarke 4713"
    "echo 'huette.jpg' >> startbilder.txt"   assets/include/startbilder.php  "img/huette.jpg"
    "echo 'img/see.jpg|seenrunde.php' >> menue.txt"   ../watch.log  "Fehler: der Bau ist fehlgeschlagen"
    "{ sed '\$d' menue.txt; echo 'img/wald.jpg|index.php|Im Wald|Wegmarke 4715'; } > neu.tmp && mv neu.tmp menue.txt"   touren.php  "Wegmarke 4715"
)
if ! wait_for 180 grep -q 'Website aktuell' "$own/watch.log"; then
    cat "$own/watch.log"
    problem "make watch baut die Website nicht"
else
    for ((i = 0; i < ${#steps[@]}; i += 3)); do
        t0=$SECONDS
        (cd "$own/src" && eval "${steps[i]}")
        if wait_for 30 grep -qF "${steps[i + 2]}" "$own/site/${steps[i + 1]}"; then
            echo "ok ($((SECONDS - t0)) s): ${steps[i]}"
        else
            tail -n 20 "$own/watch.log"
            problem "make watch: nach \"${steps[i]}\" fehlt \"${steps[i + 2]}\" in ${steps[i + 1]}"
        fi
    done
fi
stop_servers

echo "== make check mit falsch geschriebenem Weiter-Link"
sed -i 's/^weiter: seenrunde\.php/weiter: senrunde.php/' "$own/src/artikel/hoher-kopf.md"
if "${own_make[@]}" check >"$own/check.log" 2>&1; then
    cat "$own/check.log"
    problem "make check übersieht den falschen Link"
elif grep -F "Fehler: artikel/hoher-kopf.md, Zeile 5: „senrunde.php“ gibt es in der Website nicht." "$own/check.log"; then
    :
else
    cat "$own/check.log"
    problem "make check nennt Seite und Link nicht"
fi
if pgrep -f "php -S 127.0.0.1:0 -t $own/site" >/dev/null; then problem "make check: der PHP-Server läuft weiter"; fi

[ -d "$WORK/pandoc/site" ] && { "$E2E/feed.sh" "$QB" "$WORK/pandoc/site" || problem "Sitemap und Feed (feed.sh)"; }
"$E2E/deploy.sh" "$QB" || problem "make deploy"
"$E2E/visitors.sh" "$QB" "$WORK" || problem "Besucher: Anführungszeichen, Fotos oder Lighthouse"
E2E_WORK=$WORK "$E2E/markdown.sh" "$QB" || problem "Markdown: eingebaut und über pandoc nicht gleich"
E2E_WORK=$WORK "$E2E/rebuild.sh" "$QB" || problem "Neubau: nicht gleich einem sauberen Bau"
echo "== e2e: $(( $(date +%s) - started )) s"
if [ "$fail" != 0 ]; then
    echo "e2e: FEHLGESCHLAGEN"
    exit 1
fi
echo "e2e: alles in Ordnung"
