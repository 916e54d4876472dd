#!/bin/bash
# End-to-end check of the real pipeline: the example site is rendered with
# pandoc and with remarkable, built with quennelbrook, every page is linted
# and executed by PHP, checked by tidy, served by `php -S` and looked at in
# headless Chromium. Usage: tests/e2e/run.sh /abs/path/to/quennelbrook
set -euo pipefail

QB=${1:?Aufruf: tests/e2e/run.sh /pfad/zu/quennelbrook}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
E2E=$ROOT/tests/e2e
SITE_SRC=$ROOT/examples/site
WORK=${E2E_WORK:-$ROOT/build/e2e}
SHOTS=${E2E_SCREENSHOTS:-$ROOT/docs}
started=$(date +%s)

"$ROOT/scripts/need-packages" pandoc php-cli tidy chromium
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

pids=()
stop_servers() {
    local p
    for p in "${pids[@]}"; do
        kill "$p" 2>/dev/null || true
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
    render=(-j2)
    [ "$r" = remarkable ] && render=(-j1 RENDER="$E2E/node_modules/.bin/remarkable")
    echo "== $r: Seiten bauen"
    # -k: a page that fails to build is reported, the others are still checked.
    if ! make --no-print-directory -C "$SITE_SRC" -k QB="$QB" OUT="$dir/site" HTMLDIR="$dir/html" "${render[@]}" \
        >"$dir/build.log" 2>&1; then
        cat "$dir/build.log"
        problem "$r: make ist fehlgeschlagen"
    elif ! make --no-print-directory -C "$SITE_SRC" -q QB="$QB" OUT="$dir/site" HTMLDIR="$dir/html" "${render[@]}"; then
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

echo "== e2e: $(( $(date +%s) - started )) s"
if [ "$fail" != 0 ]; then
    echo "e2e: FEHLGESCHLAGEN"
    exit 1
fi
echo "e2e: alles in Ordnung"
