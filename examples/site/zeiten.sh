#!/bin/sh
# Die Zeit der letzten Änderung jedes genannten Artikels, als
# <name>=<Sekunden seit 1970> je Zeile (name ohne Verzeichnis und .md), für
# die Veröffentlichungszeit seiner Seite. Liegt die Website in git und ist
# der Artikel unverändert eingecheckt, gilt die Zeit seines letzten Commits:
# so datiert ein frischer Klon jede Seite wie zuvor. Sonst gilt die
# Änderungszeit der Datei. Ist SOURCE_DATE_EPOCH gesetzt, ist keine Zeit
# später als sie.
#
# Ein Aufruf für alle Artikel, damit make nicht je Seite git startet.
#   sh zeiten.sh artikel/index.md artikel/touren.md …
set -u
[ $# -gt 0 ] || exit 0

grenze=
case ${SOURCE_DATE_EPOCH:-x} in
    *[!0-9]*) ;;
    *) grenze=$SOURCE_DATE_EPOCH ;;
esac

# Die eingecheckten Zeiten ("c <Zeit> <Pfad>"): nur für Dateien, die git
# kennt und die sich gegenüber HEAD nicht geändert haben; git log nennt die
# jüngste Zeit zuerst.
eingecheckt() {
    command -v git >/dev/null 2>&1 || return 0
    git rev-parse --verify -q HEAD >/dev/null 2>&1 || return 0
    bekannt=$(git ls-files -- "$@") || return 0
    [ -n "$bekannt" ] || return 0
    geaendert=$(git diff --name-only --relative HEAD -- "$@") || return 0
    git log --relative --format='@%ct' --name-only -- "$@" | awk -v bekannt="$bekannt" -v geaendert="$geaendert" '
        BEGIN {
            n = split(bekannt, b, "\n"); for (i = 1; i <= n; i++) ok[b[i]] = 1
            n = split(geaendert, g, "\n"); for (i = 1; i <= n; i++) delete ok[g[i]]
        }
        /^@/ { zeit = substr($0, 2); next }
        $0 != "" && ($0 in ok) && !($0 in gesehen) { gesehen[$0] = 1; print "c", zeit, $0 }'
}

# Erst die eingecheckten Zeiten, dann die Änderungszeit jeder Datei; die
# erste Zeit je Pfad gilt.
{ eingecheckt "$@"; stat -c 'm %Y %n' -- "$@" 2>/dev/null; } | awk -v grenze="$grenze" '
    {
        pfad = substr($0, length($1) + length($2) + 3)
        if (pfad in zeit) next
        zeit[pfad] = $2
        t = $2
        if (grenze != "" && t + 0 > grenze + 0) t = grenze
        name = pfad; sub(/.*\//, "", name); sub(/\.md$/, "", name)
        print name "=" t
    }'
