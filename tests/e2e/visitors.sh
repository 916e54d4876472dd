#!/bin/bash
# What visitors of the example site meet beyond what check.mjs looks at:
# German quotation marks from both renderers and straight ones in code; a
# phone photo that arrives resized, upright and without its GPS position and
# still shows in the carousel; Lighthouse's accessibility, best practices and
# SEO at 100 on every page of the pandoc build that run.sh made. Called by
# run.sh:  tests/e2e/visitors.sh /abs/path/to/quennelbrook <e2e work dir>
set -euo pipefail

QB=${1:?Aufruf: tests/e2e/visitors.sh /pfad/zu/quennelbrook <arbeitsverzeichnis>}
WORK=${2:?Aufruf: tests/e2e/visitors.sh /pfad/zu/quennelbrook <arbeitsverzeichnis>}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
E2E=$ROOT/tests/e2e
SITE_SRC=$ROOT/examples/site
CONVERT=/usr/bin/convert
started=$(date +%s)
"$ROOT/scripts/need-packages" imagemagick libimage-exiftool-perl php-cli

fail=0
problem() {
    echo "FEHLER $*"
    fail=1
}
pid=
stop_server() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        pid=
    fi
}
trap stop_server EXIT
# Serves $1 on a free port of 127.0.0.1; sets $url.
serve() {
    local port
    port=$(node -e 'const s=require("net").createServer().listen(0,"127.0.0.1",()=>{console.log(s.address().port);s.close()})')
    php -S "127.0.0.1:$port" -t "$1" >"$dir/server.log" 2>&1 &
    pid=$!
    url=http://127.0.0.1:$port
    for _ in $(seq 50); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
        sleep 0.1
    done
    cat "$dir/server.log"
    return 1
}

dir=$WORK/besucher
rm -rf "$dir"
mkdir -p "$dir/src"
(cd "$SITE_SRC" && tar --exclude=./node_modules --exclude='./public*' -cf - .) | tar -C "$dir/src" -xf -
ln -s "$SITE_SRC/node_modules" "$dir/src/node_modules"
site_make=(make --no-print-directory -C "$dir/src" QB="$QB")

# Quotes in running text, in a code span and in a code block.
cat >>"$dir/src/artikel/hoher-kopf.md" <<'EOF'

Im Gipfelbuch steht: "Die Alpen sieht man nur 'bei Föhn', sagt Hanne." Die Datei heißt `"gipfel" 'buch'`.

    echo "Gipfel" 'Buch'
EOF
# A phone photo (4000x3000, turned by its EXIF orientation, with a GPS
# position) as the first slide, and a small image with a GPS position.
"$CONVERT" -seed 17 -size 4000x3000 plasma:green-blue -quality 92 "$dir/src/img/handy.jpg"
"$CONVERT" -size 640x480 gradient:skyblue-white "$dir/src/img/klein.jpg"
exiftool -q -overwrite_original -Orientation#=6 "$dir/src/img/handy.jpg"
for f in handy klein; do
    exiftool -q -overwrite_original -GPSLatitude=48.137 -GPSLatitudeRef=N -GPSLongitude=11.575 \
        -GPSLongitudeRef=E -Make=Handy "$dir/src/img/$f.jpg"
    [ -n "$(exiftool -s3 -GPSLatitude "$dir/src/img/$f.jpg")" ] || problem "Testbild $f.jpg ohne GPS-Position"
done
sed -i '1i handy.jpg' "$dir/src/startbilder.txt"

echo "== Besucher: bauen (eingebaut, dazu mit remarkable)"
if ! "${site_make[@]}" -j2 OUT="$dir/site" HTMLDIR="$dir/html" >"$dir/build.log" 2>&1 \
    || ! "${site_make[@]}" RENDER=remarkable OUT="$dir/site-r" HTMLDIR="$dir/html-r" >>"$dir/build.log" 2>&1; then
    cat "$dir/build.log"
    problem "Besucher: make ist fehlgeschlagen"
fi

echo "== Anführungszeichen"
for r in site site-r; do
    page=$(sed -e 's/&quot;/"/g' -e "s/&#39;/'/g" "$dir/$r/hoher-kopf.php" 2>/dev/null || true)
    # shellcheck disable=SC1112 # the typographic quotes are what is looked for
    for want in '„Die Alpen sieht man nur ‚bei Föhn‘, sagt Hanne.“' "<code>\"gipfel\" 'buch'</code>" \
        "echo \"Gipfel\" 'Buch'"; do
        grep -qF -- "$want" <<<"$page" || problem "$r/hoher-kopf.php: $want fehlt"
    done
done

echo "== Fotos"
# Name, size on the site (handy.jpg stands upright now).
for row in "handy.jpg 1200x1600" "klein.jpg 640x480" "berg.jpg $(identify -format '%wx%h' "$SITE_SRC/img/berg.jpg")"; do
    read -r name size <<<"$row"
    f=$dir/site/img/$name
    got=$(identify -format '%wx%h' "$f" 2>/dev/null || echo fehlt)
    bytes=$(stat -c %s "$f" 2>/dev/null || echo 0)
    meta=$(exiftool -a -G1 -s -EXIF:all -GPS:all -XMP:all -IPTC:all -ICC_Profile:all "$f" 2>&1 || true)
    echo "$name: $got, $((bytes / 1024)) KB"
    [ "$got" = "$size" ] || problem "img/$name ist $got statt $size"
    [ "$bytes" -le 409600 ] || problem "img/$name hat $bytes Bytes"
    [ -z "$meta" ] || problem "img/$name hat noch Metadaten: $meta"
done
if ! "${site_make[@]}" OUT="$dir/site" HTMLDIR="$dir/html" 2>&1 | grep -q ' 0 Fotos umgewandelt; 0 Dateien geschrieben, 0 gelöscht'; then
    problem "Besucher: ein zweiter make-Lauf hätte noch etwas zu tun"
fi
touch "$dir/src/img/klein.jpg"
redo=$("${site_make[@]}" OUT="$dir/site" HTMLDIR="$dir/html" 2>&1 | grep -F 'Website:' || true)
if ! grep -qF ' 1 Foto umgewandelt; 0 Dateien geschrieben' <<<"$redo"; then
    problem "nach geändertem img/klein.jpg rechnet make nicht genau dieses Bild neu: $redo"
fi

if serve "$dir/site"; then
    node "$E2E/carousel-photo.mjs" "$url/index.php" img/handy.jpg || problem "Karussell zeigt img/handy.jpg nicht"
else
    problem "Besucher: php -S startet nicht"
fi
stop_server

echo "== Lighthouse (pandoc-Website)"
if serve "$WORK/pandoc/site"; then
    mapfile -t pages < <(cd "$WORK/pandoc/site" && ls -- *.php)
    node "$E2E/lighthouse.mjs" "$url" "${pages[@]}" || problem "Lighthouse"
else
    problem "Lighthouse: php -S startet nicht"
fi
stop_server

echo "== Besucher: $(($(date +%s) - started)) s"
exit "$fail"
