#!/bin/bash
# Save-to-DOM latency of `make serve` (bench/preview.mjs) on a copy of the
# site template in a temporary folder, with Debian's Chromium.
# Usage: bench/preview.sh PATH_TO_QUENNELBROOK [SAVES]
set -eu
qb=${1:?Aufruf: bench/preview.sh PFAD_ZU_QUENNELBROOK [ANZAHL]}
qb=$(cd "$(dirname "$qb")" && pwd)/$(basename "$qb")
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/need-packages" php-cli chromium inotify-tools imagemagick
command -v npm >/dev/null || "$root/scripts/need-packages" nodejs npm
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
for d in "$root/examples/site" "$root/tests/e2e"; do
    if [ ! -f "$d/node_modules/.package-lock.json" ] || [ "$d/package-lock.json" -nt "$d/node_modules/.package-lock.json" ]; then
        (cd "$d" && npm ci --no-audit --no-fund --loglevel=error)
    fi
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT INT TERM
mkdir "$dir/src"
(cd "$root/examples/site" && tar --exclude=./node_modules --exclude='./public*' -cf - .) | tar -C "$dir/src" -xf -
ln -s "$root/examples/site/node_modules" "$dir/src/node_modules"
export TZ=Europe/Berlin SOURCE_DATE_EPOCH=1620032700
echo "Maschine: $(nproc) Kerne,$(uptime | sed 's/.*load average/ Last/')"
node "$root/bench/preview.mjs" "$dir/src" "$dir/site" "$qb" "${2:-20}"
