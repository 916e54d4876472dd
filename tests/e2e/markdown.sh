#!/bin/bash
# The example site built twice, with the built-in Markdown rendering and over
# pandoc's HTML fragments: every file of the two sites must be byte for byte
# the same. The built-in build must not call pandoc, must write no fragment
# and must be up to date after one run.
# Usage: tests/e2e/markdown.sh /abs/path/to/quennelbrook
set -euo pipefail

QB=${1:?Aufruf: tests/e2e/markdown.sh /pfad/zu/quennelbrook}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SITE_SRC=$ROOT/examples/site
WORK=${E2E_WORK:-$ROOT/build/e2e}/markdown
export TZ=Europe/Berlin SOURCE_DATE_EPOCH=1620032700

"$ROOT/scripts/need-packages" pandoc
fail=0
problem() {
    echo "FEHLER $*"
    fail=1
}

rm -rf "$WORK"
mkdir -p "$WORK/kein-pandoc"
# A pandoc that fails loudly: the built-in build must not need it.
printf '#!/bin/sh\necho "pandoc aufgerufen" >&2\nexit 1\n' >"$WORK/kein-pandoc/pandoc"
chmod +x "$WORK/kein-pandoc/pandoc"

site=(make --no-print-directory -C "$SITE_SRC" QB="$QB")
echo "== Markdown: Beispiel-Website eingebaut und über pandoc bauen"
if ! PATH="$WORK/kein-pandoc:$PATH" "${site[@]}" -j2 OUT="$WORK/intern" HTMLDIR="$WORK/intern-html" >"$WORK/intern.log" 2>&1; then
    cat "$WORK/intern.log"
    problem "Markdown: eingebauter Bau fehlgeschlagen"
elif ! "${site[@]}" OUT="$WORK/intern" HTMLDIR="$WORK/intern-html" 2>&1 | grep -q ' 0 Dateien geschrieben, 0 gelöscht'; then
    problem "Markdown: ein zweiter make-Lauf hätte noch etwas zu tun"
fi
[ ! -e "$WORK/intern-html" ] || problem "Markdown: der eingebaute Bau hat HTML-Fragmente geschrieben"
if ! "${site[@]}" -j2 RENDER=pandoc OUT="$WORK/pandoc" HTMLDIR="$WORK/pandoc-html" >"$WORK/pandoc.log" 2>&1; then
    cat "$WORK/pandoc.log"
    problem "Markdown: Bau über pandoc fehlgeschlagen"
fi

pages=$(cd "$WORK/pandoc" 2>/dev/null && find . -name '*.php' | wc -l || echo 0)
[ "$pages" -ge 8 ] || problem "Markdown: nur $pages PHP-Dateien gebaut"
if diff -r -x .quennelbrook "$WORK/intern" "$WORK/pandoc" >"$WORK/diff.txt"; then
    echo "alle $pages PHP-Dateien und alle übrigen Dateien byte-gleich"
else
    head -n 40 "$WORK/diff.txt"
    problem "Markdown: eingebaute und pandoc-Seiten unterscheiden sich"
fi
exit "$fail"
