#!/bin/sh
# `make deploy`: lädt die gebaute Website auf den Webserver, an das Ziel, das
# in website.yaml unter hochladen steht:
#   ssh://[name@]host[:port]/pfad    rsync über SSH: nur geänderte Dateien
#                                    (Prüfsumme)
#   sftp:// ftps:// ftp://…          lftp mirror -R: nur neuere Dateien, jede
#                                    unter einem Hilfsnamen hochgeladen und
#                                    dann umbenannt
# Gelöscht wird nach einer eigenen Liste (hochladen-loeschen.sh), nicht vom
# Werkzeug.
# Der Pfad ist absolut, /~/pfad liegt im Heimatverzeichnis. Ein Passwort
# gehört nie ins Ziel: SSH meldet sich mit Schlüssel an, FTP mit ~/.netrc.
#
# Auf dem Host wird alles gelöscht, was im Zielverzeichnis liegt und nicht
# zur Website gehört, außer versteckten Dateien (Name mit Punkt vorn, etwa
# .htaccess des Hosters) und dem, was hochladen_behalten nennt; die ganze Regel
# steht in hochladen-loeschen.sh, für jede Art von Host dieselbe. Darum prüft
# ein erster Besuch auf dem Host, wohin das Ziel dort wirklich führt: die
# Wurzel, das Heimatverzeichnis und jedes Verzeichnis darüber werden
# abgelehnt, bevor etwas gesendet oder gelöscht wird. Ein fehlendes Ziel
# wird nur im Heimatverzeichnis oder in einem eigenen Verzeichnis angelegt.
#
# Reihenfolge, damit jede Seite zu jedem Zeitpunkt alles findet, was sie
# braucht: erst Bilder, Stil, Skripte und Downloads, dann die Include-Dateien
# (die selbst Bilder zeigen), dann die Seiten; gelöscht wird zuletzt, erst
# Seiten, dann was nur sie brauchten. Der gekürzte Stil (DEPLOY_STIL) passt
# nur zu den neuen Seiten: liegt ein anderer auf dem Host, steht Bootstraps
# ganzer (DEPLOY_STIL_GANZ) an seinem Platz, bis die alten Seiten fort sind.
# Dateien kommen mit 644, Verzeichnisse mit 755 an, gleich mit welcher umask
# gebaut wurde.
#
# Vor dem Hochladen läuft `make check`, außer diese Fassung der Website ist
# schon einmal durchgekommen. Ohne erfolgreiche Prüfung wird nichts gesendet.
#
#   [QB=quennelbrook] [DEPLOY_DRY=1] [DEPLOY=…] [DEPLOY_SSH_CONFIG=datei] [DEPLOY_BEHALTEN=muster…] \
#       MAKE=make sh hochladen.sh <gebaute Website> <Verzeichnis für Protokoll und Prüfvermerk>
# im Ordner der Website. Aus ihrer website.yaml kommen, über das Programm
# (quennelbrook -g einstellung, nie von der Shell gelesen):
#   hochladen             das Ziel
#   hochladen_behalten    Muster (Pfade ab dem Ziel, z. B. google*.html), die
#                         auf dem Host nie gelöscht werden, eines je Eintrag
#   hochladen_ssh_konfig  eine andere Konfigurationsdatei für ssh (ssh -F)
# DEPLOY, DEPLOY_BEHALTEN (Muster durch Leerzeichen getrennt) und
# DEPLOY_SSH_CONFIG gelten, wenn gesetzt (auch leer), an ihrer Stelle für
# diesen Lauf (make deploy DEPLOY=…).
# DEPLOY_DRY=1: nur zeigen, was gesendet und gelöscht würde.
# DEPLOY_STIL, DEPLOY_STIL_GANZ: der gekürzte Stil (Pfad in der Website) und
#   Bootstraps ganzer (setzt das Makefile).
set -u

site=${1:?Aufruf: sh hochladen.sh <gebaute Website> <Verzeichnis für Protokoll>}
site=${site%/}
notiz=${2:?Aufruf: sh hochladen.sh <gebaute Website> <Verzeichnis für Protokoll>}
case ${DEPLOY_DRY:-} in '' | 0) probe= ;; *) probe=1 ;; esac
# Der gekürzte Stil (Pfad in der Website) und Bootstraps ganzer, den das
# Makefile nennt.
stil=${DEPLOY_STIL:-}
ganz=${DEPLOY_STIL_GANZ:-}

fehler() {
    echo "Fehler: $*"
    exit 1
}

# ---- Die Einstellungen: website.yaml, oder was make für diesen Lauf setzt --
# $wert wird die Einstellung $1, wie das Programm sie ausgibt; seine Meldung
# (etwa ein falsch geschriebener Schlüssel, mit Zeile) beendet den Lauf.
einstellung() {
    wert=$("${QB:-quennelbrook}" -g einstellung . "$1") && return 0
    [ -z "$wert" ] || { printf '%s\n' "$wert"; exit 1; }
    fehler "die Einstellung $1 aus website.yaml lässt sich nicht lesen (${QB:-quennelbrook} -g einstellung)."
}
# $ort nennt in den Meldungen, woher das Ziel kam, $setzen, wie man es schreibt.
if [ -n "${DEPLOY+gesetzt}" ]; then
    ziel=$DEPLOY ort=DEPLOY setzen='DEPLOY='
else
    einstellung hochladen
    ziel=$wert ort='„hochladen“ (website.yaml)' setzen='hochladen: '
fi
if [ -n "${DEPLOY_SSH_CONFIG+gesetzt}" ]; then
    ssh_config=$DEPLOY_SSH_CONFIG ssh_ort=DEPLOY_SSH_CONFIG
else
    einstellung hochladen_ssh_konfig
    ssh_config=$wert ssh_ort='„hochladen_ssh_konfig“ (website.yaml)'
fi
# Die Muster, eines je Zeile; DEPLOY_BEHALTEN nur an Leerzeichen getrennt,
# nie gegen Dateien hier aufgelöst.
if [ -n "${DEPLOY_BEHALTEN+gesetzt}" ]; then
    set -f
    # shellcheck disable=SC2086
    behalten=$(printf '%s\n' $DEPLOY_BEHALTEN)
    set +f
else
    einstellung hochladen_behalten
    behalten=$wert
fi

# ---- Das Ziel zerlegen: art://[name@]host[:port]/pfad --------------------
# Aus dem Ziel wird nichts ausgegeben, bevor feststeht, dass kein Passwort
# darin steht; danach nur, was aus den zerlegten Teilen neu zusammengesetzt ist.
beispiel="z. B. ${setzen}ssh://name@example.org/~/html"
passwort="$ort enthält ein Passwort. Es gehört nicht ins Ziel: SSH meldet sich mit einem Schlüssel an, FTP mit dem Eintrag in ~/.netrc."
if [ -z "$ziel" ]; then
    [ "$ort" = DEPLOY ] && fehler "make deploy weiß nicht, wohin: DEPLOY ist leer. Bitte DEPLOY weglassen oder ein Ziel nennen, $beispiel"
    fehler "make deploy weiß nicht, wohin. Bitte das Ziel in website.yaml eintragen, $beispiel"
fi
art=
case $ziel in *://*) art=$(printf '%s' "${ziel%%://*}" | tr '[:upper:]' '[:lower:]') ;; esac
case $art in
    ssh | sftp | ftps | ftp) ;;
    *) fehler "$ort muss mit ssh://, sftp://, ftps:// oder ftp:// beginnen, $beispiel" ;;
esac
rest=${ziel#*://}
# Die Anmeldung (RFC 3986: authority) endet am ersten /, ? oder #.
anmeldung=${rest%%[/?#]*}
hinten=${rest#"$anmeldung"}
case $anmeldung in
    *@*) nutzer=${anmeldung%@*} hostport=${anmeldung##*@} ;;
    *) nutzer='' hostport=$anmeldung ;;
esac
case $nutzer in *:*) fehler "$passwort" ;; esac
# Ein Passwort mit /, ? oder # darin beendet die Anmeldung zu früh, sein @
# steht dann weiter hinten: ein : vor einem @ ist immer ein Passwort.
case $rest in *:*@*) fehler "$passwort (Im Ziel steht ein : vor einem @.)" ;; esac
case $hinten in *[?#]*) fehler "$ort enthält ? oder #; ein Ziel für make deploy hat beides nicht." ;; esac
case $hostport in
    \[*\]) host=$hostport port= ;;
    \[*\]:*) host=${hostport%:*} port=${hostport##*:} ;;
    *:*:*) fehler "in $ort ist der Host nicht lesbar (eine IPv6-Adresse gehört in [ ])." ;;
    *:*) host=${hostport%:*} port=${hostport#*:} ;;
    *) host=$hostport port= ;;
esac
case $port in
    *[!0-9]*) fehler "in $ort ist der Port keine Zahl. (Steht dort ein Passwort? Es gehört nicht ins Ziel, FTP liest es aus ~/.netrc.)" ;;
esac
case $port in
    '') ;;
    0* | ??????*) fehler "in $ort ist der Port keine Zahl von 1 bis 65535." ;;
    *) [ "$port" -le 65535 ] || fehler "in $ort ist der Port keine Zahl von 1 bis 65535." ;;
esac
case $host in
    '' | '[]') fehler "in $ort fehlt der Host, $beispiel" ;;
    \[*[!0-9A-Fa-f:.]*\] | \[*\]) case ${host#[} in *[!0-9A-Fa-f:.]*\]) fehler "in $ort ist der Host nicht lesbar." ;; esac ;;
    *[!A-Za-z0-9._-]*) fehler "in $ort ist der Host nicht lesbar (erlaubt sind Buchstaben, Ziffern, . - _)." ;;
esac
# %XX steht für ein Byte (RFC 3986); Steuerzeichen haben in Name und Pfad
# nichts zu suchen.
entschluesseln() {
    printf '%s\n' "$1" | LC_ALL=C awk '
        BEGIN { for (i = 0; i < 256; i++) wert[sprintf("%02x", i)] = i }
        {   aus = ""
            while (match($0, /%[0-9A-Fa-f][0-9A-Fa-f]/)) {
                b = wert[tolower(substr($0, RSTART + 1, 2))]
                if (b < 32 || b == 127) { kaputt = 1 }
                aus = aus substr($0, 1, RSTART - 1) sprintf("%c", b)
                $0 = substr($0, RSTART + 3)
            }
            printf "%s%s", aus, $0
        }
        END { exit kaputt }'
}
nutzer=$(entschluesseln "$nutzer") || fehler "in $ort enthält der Name ein Steuerzeichen."
pfad=$(entschluesseln "$hinten") || fehler "in $ort enthält der Pfad ein Steuerzeichen."
case $nutzer in
    *[!A-Za-z0-9._@+-]*) fehler "in $ort ist der Name nicht lesbar (erlaubt sind Buchstaben, Ziffern, . _ @ + -)." ;;
esac
[ -n "$pfad" ] || fehler "$ort nennt kein Verzeichnis für die Website auf dem Host, $beispiel"
anzeige=$art://${nutzer:+$nutzer@}$host${port:+:$port}$pfad
# Der Pfad, wie ihn der Host versteht: ~ für das Heimatverzeichnis.
case $pfad in
    /~) fern='~' ;;
    /~/*) fern=\~/${pfad#/~/} ;;
    *) fern=$pfad ;;
esac

if [ ! -f "$site/index.php" ]; then
    fehler "$site/index.php fehlt. Ist die Website gebaut?"
fi
if [ "$art" = ssh ]; then
    werkzeuge='rsync:rsync ssh:openssh-client'
else
    werkzeuge='lftp:lftp'
    [ "$art" = sftp ] && werkzeuge="$werkzeuge sftp:openssh-client ssh:openssh-client"
fi
for werkzeug in $werkzeuge; do
    command -v "${werkzeug%%:*}" >/dev/null ||
        fehler "${werkzeug%%:*} fehlt. Bitte installieren: apt-get install ${werkzeug#*:}"
done
case $ssh_config in
    '~') ssh_config=$HOME ;;
    \~/*) ssh_config=$HOME/${ssh_config#\~/} ;;
    '~'*)
        wer=${ssh_config%%/*} wer=${wer#'~'}
        wo=$(getent passwd "$wer" | cut -d: -f6)
        [ -n "$wo" ] && ssh_config=$wo${ssh_config#"~$wer"} ;;
esac
if [ -n "$ssh_config" ]; then
    { [ -r "$ssh_config" ] && [ -f "$ssh_config" ]; } || fehler "$ssh_ort: $ssh_config ist nicht lesbar."
    case $ssh_config in *"'"*) fehler "$ssh_ort: der Pfad $ssh_config darf kein ' enthalten." ;; esac
fi
mkdir -p "$notiz" || fehler "$notiz lässt sich nicht anlegen."
protokoll=$notiz/hochladen.log

# Die Werkzeuge schreiben englisch (LC_MESSAGES=C), damit ihre Zeilen sich
# erkennen lassen; ihre Ausgabe steht vollständig im Protokoll, auf dem
# Bildschirm erscheint sie übersetzt. Ein Passwort fragt ssh nie ab.
if [ -n "${LC_ALL:-}" ]; then
    LC_CTYPE=$LC_ALL
    export LC_CTYPE
    unset LC_ALL
fi
LC_MESSAGES=C
export LC_MESSAGES
ssh_befehl="ssh -o PasswordAuthentication=no -o KbdInteractiveAuthentication=no -o ConnectTimeout=15"
[ -n "$ssh_config" ] && ssh_befehl="$ssh_befehl -F '$ssh_config'"
ssh_host=${host#[}
ssh_host=${ssh_host%]}

tmp=$(mktemp -d) || fehler "kein temporäres Verzeichnis."
# Ein Abbruch trifft die Kinder zugleich; schreibt eines noch, geht der
# zweite Versuch.
trap 'rm -rf "$tmp" 2>/dev/null || { sleep 1; rm -rf "$tmp"; }' EXIT
# Abgebrochen: was schon oben ist, liegt ganz unter seinem Namen; der
# nächste Lauf bringt den Rest.
unterbrochen=
# shellcheck disable=SC2317 # über trap aufgerufen
abbruch() {
    if [ -n "$unterbrochen" ]; then
        echo "Abgebrochen. Auf dem Host liegt jede Datei ganz oder gar nicht; make deploy noch einmal, dann ist die Website vollständig oben und das Überzählige gelöscht."
    else
        echo "Abgebrochen. Auf dem Host wurde nichts gesendet und nichts gelöscht."
    fi
    exit "$1"
}
trap 'abbruch 130' INT
trap 'abbruch 143' TERM
trap 'abbruch 129' HUP
: >"$protokoll"

# Woran ein Fehlschlag lag, steht im Protokoll; die Meldung nennt es.
# $1: was bis dahin geschah.
scheitern() {
    nichts=$1
    if grep -q 'Host key verification failed\|REMOTE HOST IDENTIFICATION HAS CHANGED\|host key for .* has changed\|No [A-Z0-9-]* host key is known' "$protokoll"; then
        echo "Fehler: der Schlüssel des Hosts $host ist unbekannt oder hat sich geändert. Bitte einmal von Hand mit ssh verbinden und ihn prüfen. $nichts"
    elif grep -q 'Permission denied ([a-z]\|Too many authentication failures\|Login failed\|Login incorrect\|Authentication failed\|^530 \|: 530 ' "$protokoll"; then
        case $art in
            ssh | sftp) rat="Ist der eigene öffentliche Schlüssel dort eingetragen (ssh-copy-id)?" ;;
            *) rat="Stimmen Name und Passwort für diesen Host in ~/.netrc?" ;;
        esac
        echo "Fehler: der Host $host hat die Anmeldung abgelehnt. $rat $nichts"
    elif grep -q 'Connection refused\|Could not resolve\|Name or service not known\|Temporary failure in name resolution\|No address associated\|No route to host\|Network is unreachable\|timed out\|max-retries exceeded\|Connection closed by\|Connection reset' "$protokoll"; then
        echo "Fehler: der Host $host ist nicht erreichbar. $nichts"
    elif grep -q 'No space left on device\|Disk quota exceeded\|Quota exceeded\|: 552 \|^552 ' "$protokoll"; then
        echo "Fehler: auf dem Host $host ist kein Platz mehr (Platte oder Kontingent voll). $nichts"
    elif grep -q 'sftp connections only\|only sftp' "$protokoll"; then
        echo "Fehler: der Host $host erlaubt über SSH nur SFTP. Dann über SFTP hochladen: ${setzen}sftp://… $nichts"
    elif grep -q 'rsync: command not found\|rsync: not found\|code 127' "$protokoll"; then
        echo "Fehler: auf dem Host $host gibt es kein rsync. Dann über SFTP hochladen: ${setzen}sftp://… $nichts"
    elif grep -q 'Permission denied\|Access failed: 55[03]' "$protokoll"; then
        # rsync: … "PFAD" failed: Permission denied (13); lftp: … (PFAD)
        wo=$(grep 'Permission denied\|Access failed: 55[03]' "$protokoll" | head -n 1 |
            sed -n -e 's/.*"\(.*\)" failed: Permission denied.*/\1/p' -e 't' -e 's/.*(\([^()]*\))$/\1/p')
        echo "Fehler: auf dem Host $host fehlt das Recht für ${wo:-ein Verzeichnis des Ziels} (schreiben oder anlegen). $nichts"
    else
        echo "Fehler: das Hochladen ist fehlgeschlagen. Bitte den Fehler oben beheben und make deploy wiederholen (Protokoll: $protokoll). $nichts"
    fi
    exit 1
}

# ---- Wohin das Ziel auf dem Host führt --------------------------------------
# shellcheck source-path=SCRIPTDIR source=hochladen-ziel.sh
. "$(dirname "$0")/hochladen-ziel.sh"
# shellcheck source-path=SCRIPTDIR source=hochladen-loeschen.sh
. "$(dirname "$0")/hochladen-loeschen.sh"
ziel_erkunden || scheitern "Es wurde nichts gesendet und nichts gelöscht."
ziel_pruefen

# ---- Erst prüfen ----------------------------------------------------------
# Der Vermerk hält fest, welche Fassung (Name, Größe, Zeit jeder Datei, dazu
# Makefile und pruefen.sh) zuletzt durch make check kam; nur eine andere wird
# neu geprüft. Ein Probelauf sendet nichts und braucht keine Prüfung.
fassung() {
    find "$site" Makefile pruefen.sh ! -type d -printf '%p %s %T@\n' | LC_ALL=C sort
}
if [ -z "$probe" ]; then
    vermerk=$notiz/geprueft
    jetzt=$(fassung)
    if [ -f "$vermerk" ] && [ "$jetzt" = "$(cat "$vermerk")" ]; then
        echo "make check: diese Fassung der Website ist schon geprüft."
    else
        rm -f "$vermerk"
        ${MAKE:-make} --no-print-directory check ||
            fehler "make check ist fehlgeschlagen; es wird nichts hochgeladen."
        printf '%s\n' "$jetzt" >"$vermerk"
    fi
fi

# ---- Hochladen -------------------------------------------------------------
if [ -n "$probe" ]; then
    echo "Probelauf: was make deploy nach $anzeige ($echt auf dem Host) senden und löschen würde (es wird nichts geändert):"
    senden=senden loeschen=löschen anlegen=anlegen
    [ -n "$neu" ] && echo "  anlegen  $echt"
else
    if [ -n "$neu" ]; then
        ziel_anlegen
        echo "Angelegt auf dem Host: $echt"
    fi
    ziel_beschreibbar
    echo "Lade $site nach $anzeige ($echt auf dem Host) hoch ..."
    senden=gesendet loeschen=gelöscht anlegen=angelegt
fi

# Was auf dem Host liegt und was davon gelöscht wird (hochladen-loeschen.sh).
[ -n "$probe" ] || unterbrochen=1
host_liste || scheitern "Es wurde nichts gesendet und nichts gelöscht."
loesch_plan || fehler "die Liste dessen, was zu löschen ist, lässt sich nicht aufstellen. Es wurde nichts gesendet und nichts gelöscht."
# Liegt auf dem Host ein anderer gekürzter Stil, kommt erst Bootstraps ganzer
# Stil an seinen Platz: er hat jede Regel, die eine alte oder neue Seite
# braucht. Der gekürzte folgt, wenn die Seiten oben und die alten gelöscht
# sind.
if [ -n "$stil_vorher" ] && { [ ! -f "$ganz" ] || cmp -s "$ganz" "$site/$stil"; }; then
    stil_vorher=
fi

# Jede Datei erscheint erst als gesendet, wenn ihr Durchgang fertig ist und
# sie unter ihrem Namen liegt; Gelöschtes sofort.
bildschirm() {
    gehalten='' n=0 g=0 nl='
'
    # Zeile für Zeile gelesen: was geschieht, steht gleich auf dem Bildschirm.
    while IFS= read -r z || [ -n "$z" ]; do
        x=${z#* }
        case $z in
            qb-fertig)
                printf '%s' "$gehalten"
                g=$((g + n)) n=0 gehalten=
                echo "$g" >"$tmp/gesendet" ;;
            '<f'* | cf*) gehalten="$gehalten  $senden  $x$nl" n=$((n + 1)) ;;
            cd*) [ "$x" = ./ ] || gehalten="$gehalten  $anlegen  $x$nl" ;;
            'Transferring file `'* | 'Making directory `'*)
                x=${z#*\`} x=${x%\'}
                case $z in
                    T*) gehalten="$gehalten  $senden  $x$nl" n=$((n + 1)) ;;
                    *) gehalten="$gehalten  $anlegen  $x$nl" ;;
                esac ;;
            '*deleting '*)
                while :; do case $x in ' '*) x=${x# } ;; *) break ;; esac; done
                printf '  %s  %s\n' "$loeschen" "$x" ;;
            .[fdL]* | 'created directory '* | 'created '*' directories '* | 'Overwriting old file'* | 'open: GetPass() failed -- assume anonymous login') ;;
            *) printf '%s\n' "$z" ;;
        esac
    done
}
# Die Listen des Löschens im Probelauf.
zeigen() { cat "$@" | sed -n -e 's|^d \(.*\)|*deleting \1/|p' -e 's/^[fl] /*deleting /p'; }

if [ "$art" = ssh ]; then
    werkzeug=rsync
    # Jeder Durchgang: --checksum, damit ein unverändertes Bild mit neuer Zeit
    # nicht gesendet wird; --delay-updates, damit die Dateien des Durchgangs
    # erst am Ende alle zugleich an ihren Platz kommen (nach einem Abbruch
    # bleibt ein verstecktes .~tmp~, das der nächste Lauf aufräumt); -8, damit
    # Umlaute auch ohne UTF-8-Locale Umlaute bleiben.
    rsync_e="$ssh_befehl${port:+ -p $port}${nutzer:+ -l $nutzer}"
    rsync_lauf() {
        rsync -rLtz8 --checksum --perms --chmod=D755,F644 --delay-updates \
            --out-format='%i %n%L' -e "$rsync_e" --exclude='.*' "$@" -- "$site/" "$host:${echt%/}/" &&
            echo qb-fertig
    }
    stil_senden() {
        rsync -tz8 --checksum --perms --chmod=F644 -e "$rsync_e" -- "$1" "$host:${echt%/}/$stil" &&
            printf '<f %s\nqb-fertig\n' "$stil"
    }
    schritte() {
        if [ -n "$probe" ]; then
            zeigen "$tmp/vorher"
            # Ein Ziel, das erst angelegt würde, braucht mehr als eine neue Ebene.
            case $neu in
                */*) rsync_lauf --dry-run --mkpath ;;
                *) rsync_lauf --dry-run ;;
            esac || return
            zeigen "$tmp/seiten" "$tmp/rest"
            return
        fi
        # Was im Weg ist, dann was die Seiten brauchen, dann die
        # Include-Dateien, dann die Seiten; gelöscht wird am Schluss, Seiten
        # zuerst.
        loeschen_ssh "$tmp/vorher" || return
        ohne_stil=
        if [ -n "$stil_vorher" ]; then
            ohne_stil=--exclude=/$stil
            stil_senden "$ganz" || return
        fi
        # shellcheck disable=SC2086 # leer oder ein Wort
        rsync_lauf $ohne_stil --include='/*/' --exclude='/*' --exclude='*.php' &&
            rsync_lauf $ohne_stil --include='/*/' --exclude='/*' &&
            rsync_lauf $ohne_stil &&
            loeschen_ssh "$tmp/seiten" &&
            { [ -z "$stil_vorher" ] || stil_senden "$site/$stil"; } &&
            loeschen_ssh "$tmp/rest"
    }
    {
        schritte 2>&1
        echo $? >"$tmp/status"
    } | tee -a "$protokoll" | bildschirm
else
    werkzeug=lftp
    quelle=$(doppelt "$site/")
    wohin=$(doppelt "$echt")
    # Versteckte Dateien werden nicht gesendet.
    spiegeln="mirror -R -L --only-newer --overwrite --no-perms --verbose=1 -x '(^|/)\\.'"
    stil_rx=$(printf '%s' "$stil" | sed 's/[].[\\*^$]/\\&/g')
    stil_put() { echo "put $(doppelt "$1") -o $(doppelt "$stil"); echo $(doppelt "Transferring file \`$stil'"); echo qb-fertig"; }
    {
        if [ -n "$probe" ]; then
            echo "$spiegeln --script=/dev/null $quelle $wohin; echo qb-fertig"
        else
            echo "cd $wohin"
            loeschen_lftp "$tmp/vorher"
            ohne_stil=
            if [ -n "$stil_vorher" ]; then
                ohne_stil="-x $(doppelt "^$stil_rx\$")"
                stil_put "$ganz"
            fi
            # Wie über SSH: was die Seiten brauchen, Include-Dateien, Seiten;
            # dann erst die Seiten löschen, dann den Rest.
            echo "$spiegeln $ohne_stil -x '^[^/]*\$' -x '\\.php\$' $quelle .; echo qb-fertig"
            echo "$spiegeln $ohne_stil -x '^[^/]*\$' $quelle .; echo qb-fertig"
            echo "$spiegeln $ohne_stil $quelle .; echo qb-fertig"
            loeschen_lftp "$tmp/seiten"
            [ -z "$stil_vorher" ] || stil_put "$site/$stil"
            loeschen_lftp "$tmp/rest"
        fi
    } >"$tmp/befehle.lftp"
    {
        if [ -n "$probe" ]; then zeigen "$tmp/vorher"; fi
        lftp_aufruf "source $(doppelt "$tmp/befehle.lftp")" 2>&1 &&
            if [ -n "$probe" ]; then zeigen "$tmp/seiten" "$tmp/rest"; fi
        echo $? >"$tmp/status"
    } | tee -a "$protokoll" | bildschirm
fi
gesendet=$(cat "$tmp/gesendet" 2>/dev/null || echo 0)
geloescht=$(grep -c '^\*deleting' "$protokoll")
status=$(cat "$tmp/status")
dateien() { if [ "$1" = 1 ]; then echo "1 Datei"; else echo "$1 Dateien"; fi; }

if [ "$status" = 0 ]; then
    if [ -n "$probe" ]; then
        if [ "$gesendet" = 1 ]; then wuerden=würde; else wuerden=würden; fi
        echo "Probelauf: $(dateien "$gesendet") $wuerden gesendet, $geloescht gelöscht. Auf dem Host hat sich nichts geändert."
    else
        echo "Hochgeladen: $(dateien "$gesendet") gesendet, $geloescht gelöscht ($werkzeug, Protokoll: $protokoll)."
    fi
    exit 0
fi

# Eine Verbindung kann auch mitten im Hochladen abreißen: was bis dahin
# geschah, sagt das Protokoll.
if [ "$gesendet" = 0 ] && [ "$geloescht" = 0 ]; then
    scheitern "Es wurde nichts hochgeladen und nichts gelöscht."
fi
scheitern "Bis dahin: $(dateien "$gesendet") gesendet, $geloescht gelöscht; make deploy bitte wiederholen."
