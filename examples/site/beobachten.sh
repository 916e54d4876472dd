#!/bin/bash
# `make watch`: baut die Website nach jedem Speichern neu. Beobachtet werden
# die Dateien neben dem Makefile (Menü-, SEO- und Bildliste, das Makefile
# selbst) und die genannten Verzeichnisse mit allem darunter (Artikel,
# Bilder, Include-Dateien). Was von einer Änderung abhängt, weiß make: es
# baut nur das neu.
#
# Kein Speichern geht verloren: Änderungen, die während eines Baus kommen,
# lösen gleich danach einen weiteren Bau aus. Ihre Dateien werden dafür
# vorher mit touch versehen, denn eine Seite, die während des Speicherns noch
# aus dem alten Text gebaut wurde, ist jünger als die Änderung, und make hielte
# sie sonst für aktuell. Ein fehlgeschlagener Bau wird gemeldet, die
# Beobachtung geht weiter.
#
#   MAKE=make [BAU_OPTIONEN='-o datei'] bash beobachten.sh <Verzeichnis>...
#
# BAU_OPTIONEN gehen an jeden Aufruf von make (make serve lässt damit
# PurgeCSS aus).
set -u

if ! command -v inotifywait >/dev/null; then
    echo "Fehler: inotifywait fehlt. Bitte installieren: apt-get install inotify-tools"
    exit 1
fi

tmp=$(mktemp -d)
waechter=()
aufraeumen() {
    local pid
    # Ein zweites Signal (Strg-C erreicht auch make serve, das dann noch
    # SIGTERM schickt) darf das Aufräumen nicht abbrechen.
    trap '' INT TERM HUP
    for pid in "${waechter[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$tmp"
}
trap aufraeumen EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# Gespeichert wird durch Schreiben (close_write) oder Umbenennen (moved_to);
# auch Löschen zählt. Versteckte Dateien und Sicherungen (~) von Editoren
# lösen nichts aus.
ereignisse=(-m -e close_write,moved_to,delete --format '%w%f' --exclude '(^|/)\.[^/]*$|~$')
mkfifo "$tmp/ereignisse"
inotifywait "${ereignisse[@]}" . >"$tmp/ereignisse" 2>"$tmp/waechter1.log" &
waechter+=($!)
if [ "$#" -gt 0 ]; then
    inotifywait -r "${ereignisse[@]}" "$@" >"$tmp/ereignisse" 2>"$tmp/waechter2.log" &
    waechter+=($!)
fi
exec 3<"$tmp/ereignisse"

# Erst bauen, wenn jeder Wächter bereit ist: sonst ginge ein Speichern
# zwischen Bau und Beobachtung verloren.
for _ in $(seq 300); do
    bereit=$(cat "$tmp"/waechter*.log | grep -c 'Watches established')
    [ "$bereit" -eq "${#waechter[@]}" ] && break
    for pid in "${waechter[@]}"; do
        if ! kill -0 "$pid" 2>/dev/null; then
            cat "$tmp"/waechter*.log
            echo "Fehler: inotifywait konnte die Beobachtung nicht einrichten."
            exit 1
        fi
    done
    sleep 0.1
done

bauen() {
    # shellcheck disable=SC2086 # BAU_OPTIONEN sind mehrere Wörter
    if "${MAKE:-make}" --no-print-directory ${BAU_OPTIONEN:-} all; then
        printf 'Website aktuell (%(%T)T).\n' -1
    else
        printf 'Fehler: der Bau ist fehlgeschlagen (%(%T)T); die Beobachtung geht weiter.\n' -1
    fi
}

# Liest den nächsten Dateinamen nach datei, wenn er binnen $1 s kommt. Läuft
# die Frist mitten in einer Zeile ab, liefert read nur deren Anfang: der Rest
# steht schon in der Leitung und wird angehängt, sonst fehlte dem Namen der
# Anfang, und touch -c träfe die Datei nicht.
naechste() {
    local rest
    IFS= read -r -t "$1" datei <&3 && return 0
    [ -n "$datei" ] || return 1
    IFS= read -r rest <&3
    datei+=$rest
}

echo "Beobachte ${*:-} und die Dateien neben dem Makefile; jede gespeicherte Änderung baut neu (beenden mit Strg-C)."
bauen
while IFS= read -r datei <&3; do
    # Ein Speichern bringt oft mehrere Ereignisse; was binnen 5 ms kommt,
    # gehört zu einem Bau (die Editoren schreiben sie in weniger als einer
    # ms; was später kommt, baut gleich danach noch einmal).
    geaendert=("${datei#./}")
    while naechste 0.005; do geaendert+=("${datei#./}"); done
    while [ "${#geaendert[@]}" -gt 0 ]; do
        echo "Geändert: ${geaendert[*]}"
        bauen
        # Was während des Baus gespeichert wurde: touch, dann noch ein Bau.
        geaendert=()
        while naechste 0.02; do geaendert+=("${datei#./}"); done
        for datei in "${geaendert[@]}"; do
            [ -f "$datei" ] && touch -c "$datei"
        done
    done
done
echo "Fehler: die Beobachtung ist beendet (inotifywait läuft nicht mehr)."
exit 1
