#!/bin/sh
# `make deploy`: lädt die gebaute Website auf den Webserver, nach DEPLOY:
#   ssh://[name@]host[:port]/pfad    rsync über SSH: nur geänderte Dateien
#                                    (Prüfsumme), alle erst am Ende auf
#                                    einmal an ihren Platz, danach löschen
#   sftp:// ftps:// ftp://…          lftp mirror -R: nur neuere Dateien, jede
#                                    unter einem Hilfsnamen hochgeladen und
#                                    dann umbenannt, gelöscht wird zuletzt
# Der Pfad ist absolut, /~/pfad liegt im Heimatverzeichnis. Ein Passwort
# gehört nie in DEPLOY: SSH meldet sich mit Schlüssel an, FTP mit ~/.netrc.
# Versteckte Dateien (Name mit Punkt vorn) werden weder hochgeladen noch auf
# dem Host gelöscht: dort bleibt etwa .htaccess des Hosters, von hier gehen
# die Sperrdateien .<seite>.lock von quennelbrook nicht mit.
#
# Vor dem Hochladen läuft `make check`, außer diese Fassung der Website ist
# schon einmal durchgekommen. Ohne erfolgreiche Prüfung wird nichts gesendet.
#
#   DEPLOY=… [DEPLOY_DRY=1] [DEPLOY_SSH_CONFIG=datei] MAKE=make \
#       sh hochladen.sh <gebaute Website> <Verzeichnis für Protokoll und Prüfvermerk>
# DEPLOY_DRY=1: nur zeigen, was gesendet und gelöscht würde.
# DEPLOY_SSH_CONFIG: eine andere Konfigurationsdatei für ssh (ssh -F).
set -u

site=${1:?Aufruf: sh hochladen.sh <gebaute Website> <Verzeichnis für Protokoll>}
site=${site%/}
notiz=${2:?Aufruf: sh hochladen.sh <gebaute Website> <Verzeichnis für Protokoll>}
ziel=${DEPLOY:-}
case ${DEPLOY_DRY:-} in ''|0) probe= ;; *) probe=1 ;; esac
ssh_config=${DEPLOY_SSH_CONFIG:-}

fehler() {
    echo "Fehler: $*"
    exit 1
}

# ---- DEPLOY zerlegen: art://[name@]host[:port]/pfad ----------------------
beispiel='z. B. DEPLOY = ssh://name@example.org/~/html'
[ -n "$ziel" ] || fehler "make deploy weiß nicht, wohin. Bitte DEPLOY im Makefile setzen, $beispiel"
case $ziel in
    ssh://* | sftp://* | ftps://* | ftp://*) ;;
    *) fehler "DEPLOY muss mit ssh://, sftp://, ftps:// oder ftp:// beginnen, $beispiel" ;;
esac
art=${ziel%%://*}
rest=${ziel#*://}
case $rest in
    */*) anmeldung=${rest%%/*} pfad=/${rest#*/} ;;
    *) anmeldung=$rest pfad= ;;
esac
nutzer=
case $anmeldung in *@*) nutzer=${anmeldung%@*} anmeldung=${anmeldung##*@} ;; esac
# Bis hierher wird DEPLOY nicht ausgegeben: es könnte ein Passwort enthalten.
case $nutzer in
    *:*) fehler "DEPLOY enthält ein Passwort. Es gehört nicht ins Makefile: SSH meldet sich mit einem Schlüssel an, FTP mit dem Eintrag in ~/.netrc." ;;
esac
port=
case $anmeldung in
    \[*\]:*) port=${anmeldung##*\]:} host=${anmeldung%:*} ;;
    \[*) host=$anmeldung ;;
    *:*) port=${anmeldung##*:} host=${anmeldung%:*} ;;
    *) host=$anmeldung ;;
esac
[ -n "$host" ] || fehler "in DEPLOY fehlt der Host, $beispiel"
case $port in
    *[!0-9]*) fehler "in DEPLOY ist der Port \"$port\" keine Zahl." ;;
esac
# Über SSH ist / die Wurzel des ganzen Rechners und /~ das Heimatverzeichnis
# mit allem darin: beides wäre nach dem Hochladen nur noch die Website.
case $art:$pfad in
    ssh: | ssh:/ | ssh:/~ | ssh:/~/ | sftp: | sftp:/ | sftp:/~ | sftp:/~/)
        fehler "DEPLOY nennt kein Verzeichnis für die Website auf dem Host, $beispiel" ;;
esac

if [ ! -f "$site/index.php" ]; then
    fehler "$site/index.php fehlt. Ist die Website gebaut?"
fi
if [ "$art" = ssh ]; then
    werkzeuge='rsync:rsync ssh:openssh-client'
else
    werkzeuge='lftp:lftp'
    [ "$art" = sftp ] && werkzeuge="$werkzeuge ssh:openssh-client"
fi
for werkzeug in $werkzeuge; do
    command -v "${werkzeug%%:*}" >/dev/null ||
        fehler "${werkzeug%%:*} fehlt. Bitte installieren: apt-get install ${werkzeug#*:}"
done
if [ -n "$ssh_config" ] && [ ! -r "$ssh_config" ]; then
    fehler "DEPLOY_SSH_CONFIG: $ssh_config ist nicht lesbar."
fi
mkdir -p "$notiz" || fehler "$notiz lässt sich nicht anlegen."
protokoll=$notiz/hochladen.log

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

if [ -n "$probe" ]; then
    echo "Probelauf: was make deploy nach $ziel senden und löschen würde (es wird nichts geändert):"
    senden=senden loeschen=löschen anlegen=anlegen
else
    echo "Lade $site nach $ziel hoch ..."
    senden=gesendet loeschen=gelöscht anlegen=angelegt
fi

tmp=$(mktemp -d) || fehler "kein temporäres Verzeichnis."
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

if [ "$art" = ssh ]; then
    werkzeug=rsync
    case $pfad in
        /~/*) pfad=${pfad#/~/} ;;
    esac
    [ -n "$port" ] && ssh_befehl="$ssh_befehl -p $port"
    # --checksum: ein unverändertes Bild mit neuer Zeit wird nicht gesendet.
    # --delay-updates: geänderte Dateien kommen erst am Ende alle zugleich an
    # ihren Platz, --delete-after: gelöscht wird danach.
    {
        rsync -rLtz --checksum --delete-after --delay-updates --exclude='.*' \
            --out-format='%i %n%L' ${probe:+--dry-run} -e "$ssh_befehl" \
            -- "$site/" "${nutzer:+$nutzer@}$host:${pfad%/}/" 2>&1
        echo $? >"$tmp/status"
    } | tee "$protokoll" | sed -u \
        -e '/^[<c]f/s/^[^ ]* /  '"$senden"'  /' \
        -e '/^cd/s/^[^ ]* /  '"$anlegen"'  /' \
        -e "s/^\\*deleting  */  $loeschen  /" \
        -e "s/^created directory /  $anlegen  /" \
        -e '/^\.[fdL]/d' -e '/^  [a-z]*  \.\/$/d'
    gesendet=$(grep -c '^[<c]f' "$protokoll")
    geloescht=$(grep -c '^\*deleting' "$protokoll")
else
    werkzeug=lftp
    # lftp liest Befehle mit Anführungszeichen: so bleiben Leerzeichen und
    # Sonderzeichen in Pfaden, was sie sind.
    quote() {
        printf '"%s"' "$(printf '%s' "$1" | sed 's/[\\"]/\\&/g')"
    }
    quelle=$(quote "$site/")
    url=$(quote "$ziel")
    spiegeln="mirror -R -L --only-newer --overwrite --no-perms --verbose=1 -x '(^|/)\\.' ${probe:+--script=/dev/null}"
    # Zwei Durchgänge: erst alles Neue hochladen, dann erst löschen, damit
    # keine Seite auf eine schon gelöschte Datei verweist.
    # Im Probelauf nennt der zweite Durchgang dieselben Dateien noch einmal
    # zum Senden; gezeigt und gezählt werden sie nur aus dem ersten.
    nur_erster=
    [ -n "$probe" ] && nur_erster='/^\(Transferring file\|Making directory\) `/{x;/./{x;d};x;}'
    # Eine abgelehnte Anmeldung wird durch Warten nicht besser: nur ein
    # zweiter Versuch, eine Sekunde später; was dann fehlt, holt der nächste
    # Lauf nach. xfer:use-temp-file: jede Datei kommt unter einem Hilfsnamen
    # an und wird erst dann umbenannt, kein Besucher sieht eine halbe Seite.
    {
        lftp -c "set cmd:fail-exit yes; set net:max-retries 2; set net:reconnect-interval-base 1;
            set net:reconnect-interval-multiplier 1;
            set net:timeout 20; set xfer:use-temp-file yes;
            set sftp:connect-program $(quote "$ssh_befehl -a -x");
            $spiegeln $quelle $url; echo '== zweiter Durchgang'; $spiegeln --delete $quelle $url" 2>&1
        echo $? >"$tmp/status"
    } | tee "$protokoll" | sed -u -n \
        -e '/^== zweiter Durchgang$/{h;d}' \
        -e "$nur_erster" \
        -e "/^Removing old \\(file\\|directory\\) \`/{s//  $loeschen  /;s/'\$//;p;d}" \
        -e "/^Transferring file \`/{s//  $senden  /;s/'\$//;p;d}" \
        -e "/^Making directory \`/{s//  $anlegen  /;s/'\$//;p;d}" \
        -e '/^Overwriting old file/d' \
        -e p
    if [ -n "$probe" ]; then
        gesendet=$(sed '/^== zweiter Durchgang$/q' "$protokoll" | grep -c '^Transferring file')
    else
        gesendet=$(grep -c '^Transferring file' "$protokoll")
    fi
    geloescht=$(grep -c '^Removing old' "$protokoll")
fi
status=$(cat "$tmp/status")
dateien() { if [ "$1" = 1 ]; then echo "1 Datei"; else echo "$1 Dateien"; fi; }

if [ "$status" = 0 ]; then
    if [ -n "$probe" ]; then
        echo "Probelauf: $(dateien "$gesendet") würden gesendet, $geloescht gelöscht. Auf dem Host hat sich nichts geändert."
    else
        echo "Hochgeladen: $(dateien "$gesendet") gesendet, $geloescht gelöscht ($werkzeug, Protokoll: $protokoll)."
    fi
    exit 0
fi

# Eine Verbindung kann auch mitten im Hochladen abreißen: was bis dahin
# geschah, sagt das Protokoll.
if [ "$gesendet" = 0 ] && [ "$geloescht" = 0 ]; then
    nichts="Es wurde nichts hochgeladen und nichts gelöscht."
else
    nichts="Bis dahin: $(dateien "$gesendet") gesendet, $geloescht gelöscht; make deploy bitte wiederholen."
fi
if grep -q 'Permission denied\|Login failed\|Login incorrect\|Authentication failed' "$protokoll"; then
    case $art in
        ssh | sftp) rat="Ist der eigene öffentliche Schlüssel dort eingetragen (ssh-copy-id)?" ;;
        *) rat="Stimmen Name und Passwort für diesen Host in ~/.netrc?" ;;
    esac
    echo "Fehler: der Host $host hat die Anmeldung abgelehnt. $rat $nichts"
elif grep -q 'Host key verification failed\|REMOTE HOST IDENTIFICATION HAS CHANGED' "$protokoll"; then
    echo "Fehler: der Schlüssel des Hosts $host ist unbekannt oder hat sich geändert. Bitte einmal von Hand mit ssh verbinden und ihn prüfen. $nichts"
elif grep -q 'Connection refused\|Could not resolve\|Name or service not known\|Temporary failure in name resolution\|No route to host\|Network is unreachable\|timed out\|max-retries exceeded' "$protokoll"; then
    echo "Fehler: der Host $host ist nicht erreichbar. $nichts"
elif [ "$werkzeug" = rsync ] && grep -q 'rsync: command not found\|rsync: not found\|code 127' "$protokoll"; then
    echo "Fehler: auf dem Host $host gibt es kein rsync. Dann über SFTP hochladen: DEPLOY = sftp://… $nichts"
else
    echo "Fehler: das Hochladen mit $werkzeug ist fehlgeschlagen (Status $status). Bis dahin: $(dateien "$gesendet") gesendet, $geloescht gelöscht. Bitte den Fehler oben beheben und make deploy wiederholen (Protokoll: $protokoll)."
fi
exit 1
