# shellcheck shell=sh disable=SC2154 # die Einstellungen setzt hochladen.sh
# Teil von hochladen.sh (mit . eingelesen): fragt den Host, wohin das Ziel dort
# wirklich führt, bevor etwas gesendet oder gelöscht wird. Ein Pfad kann über
# //, /., /~/.. oder einen symbolischen Link auf / oder das Heimatverzeichnis
# zeigen, ohne so auszusehen; darum zählt nur, was der Host selbst auflöst.
#
# ziel_erkunden schreibt nach $tmp/erkundet Zeilen dieser Art:
#   heim PFAD        das Heimatverzeichnis der Anmeldung, aufgelöst
#   ziel PFAD        das Ziel gibt es, so heißt es aufgelöst
#   basis PFAD       das Ziel fehlt; das nächste vorhandene Verzeichnis darüber
#   rest A/B         was darunter noch anzulegen ist
#   eigen            basis gehört der Anmeldung (nur über SSH feststellbar)
#   angelegt PFAD    (ziel_anlegen) so heißt das neu angelegte Ziel
#   rechte PFAD      PFAD lässt sich nicht betreten oder beschreiben
#   gesperrt         (nur ssh://) ins Ziel darf die Anmeldung nicht schreiben
#   keinverz PFAD    PFAD ist eine Datei
#   punkt            im fehlenden Teil steht . oder ..
#   kein-rsync       (nur ssh://) auf dem Host gibt es kein rsync
#   unklar PFAD      (nur ftp://) ein Link auf dem Weg, der sich nicht auflösen lässt
#   linkweg PFAD     (nur ftp://) PFAD lässt sich nicht betreten, ist aber ein
#   linkziel ZIEL    Link nach ZIEL: ftp_links löst ihn auf
# ziel_pruefen entscheidet danach und setzt $echt, den aufgelösten Pfad,
# an den hochgeladen wird.

# Für eine Shell auf dem Host: in einfache Anführungszeichen.
einfach() {
    printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"
}
# Für lftp und sftp: in doppelte Anführungszeichen, \ und " geschützt.
doppelt() {
    printf '"%s"' "$(printf '%s' "$1" | sed 's/[\\"]/\\&/g')"
}

ssh_aufruf() {
    if [ -n "$ssh_config" ]; then set -- -F "$ssh_config" "$@"; fi
    ssh -o PasswordAuthentication=no -o KbdInteractiveAuthentication=no -o ConnectTimeout=15 "$@"
}
sftp_aufruf() {
    if [ -n "$ssh_config" ]; then set -- -F "$ssh_config" "$@"; fi
    if [ -n "$nutzer" ]; then set -- -o User="$nutzer" "$@"; fi
    if [ -n "$port" ]; then set -- -P "$port" "$@"; fi
    sftp -b - -o PasswordAuthentication=no -o KbdInteractiveAuthentication=no -o ConnectTimeout=15 "$@" -- "$host"
}
# Eine Anmeldung, die abgelehnt wird, wird durch Warten nicht besser: nur ein
# zweiter Versuch, eine Sekunde später. xfer:use-temp-file: jede Datei kommt
# unter einem versteckten Hilfsnamen an und wird erst dann umbenannt, kein
# Besucher sieht eine halbe Seite. Über SFTP gibt lftp den Namen nicht
# immer an ssh weiter: er steht darum im Befehl für ssh.
lftp_aufruf() {
    lftp -c "set cmd:fail-exit yes; set net:max-retries 2; set net:reconnect-interval-base 1;
        set net:reconnect-interval-multiplier 1; set net:timeout 20;
        set xfer:use-temp-file yes; set xfer:temp-file-name .qb-neu.*;
        set sftp:connect-program $(doppelt "$ssh_befehl -a -x${nutzer:+ -l $nutzer}");
        open $(doppelt "$art://${nutzer:+$(printf '%s' "$nutzer" | sed 's/@/%40/g')@}$host${port:+:$port}"); $1"
}

# Auf dem Host über SSH, mit /bin/sh: der ganze Weg in einer Anmeldung.
# $1 = Ziel (~ für das Heimatverzeichnis), $2 = probe oder anlegen.
# shellcheck disable=SC2016 # läuft erst auf dem Host
fern_skript='set -u
z=$1 modus=$2
heim=$(cd && pwd -P) || exit 1
echo "heim $heim"
command -v rsync >/dev/null 2>&1 || echo kein-rsync
case $z in "~") z=$HOME ;; "~/"*) z=$HOME/${z#"~/"} ;; esac
rest=
while :; do
    while :; do case $z in ?*/) z=${z%/} ;; *) break ;; esac; done
    cd -- "$z" 2>/dev/null && break
    if [ -d "$z" ]; then echo "rechte $z"; exit 0; fi
    if [ -e "$z" ] || [ -L "$z" ]; then echo "keinverz $z"; exit 0; fi
    name=${z##*/} z=${z%/*}
    case $name in "" | . | .. | "$z") echo punkt; exit 0 ;; esac
    [ -n "$z" ] || z=/
    rest=$name${rest:+/$rest}
done
if [ -z "$rest" ]; then
    echo "ziel $(pwd -P)"
    [ -w . ] || echo gesperrt
    exit 0
fi
echo "basis $(pwd -P)"
echo "rest $rest"
if [ -O . ]; then echo eigen; fi
if [ "$modus" = anlegen ]; then
    mkdir -p -- "$rest" && cd -- "$rest" && echo "angelegt $(pwd -P)"
fi'

fern_ssh() {
    printf '%s\n' "$fern_skript" |
        ssh_aufruf ${port:+-p "$port"} ${nutzer:+-l "$nutzer"} -- "$ssh_host" "/bin/sh -s -- $(einfach "$fern") $1"
}

# Über SFTP und FTP gibt es keine Shell: ein Verzeichnis nach dem anderen,
# je Anmeldung ein cd. Das Heimatverzeichnis ist, wo die Anmeldung beginnt;
# ~/a wird dort zu a.
relativ() {
    case $1 in
        '~') echo . ;;
        \~/*) printf '%s\n' "${1#\~/}" ;;
        *) printf '%s\n' "$1" ;;
    esac
}
# $1 = Verzeichnis: schreibt "heim X" und "wo Y" (nach cd) nach stdout.
besuch_sftp() {
    printf 'pwd\ncd %s\npwd\n' "$(doppelt "$1")" | sftp_aufruf 2>>"$tmp/fehler" |
        sed -n 's/^Remote working directory: //p' | ohne_schraegstrich | sed '1s/^/heim /;2s/^/wo /'
}
besuch_ftp() {
    lftp_aufruf "quote PWD; cd $(doppelt "$1"); quote PWD" 2>>"$tmp/fehler" |
        sed -n 's/^257 "\(.*\)".*/\1/p' | sed 's/""/"/g' | ohne_schraegstrich | sed '1s/^/heim /;2s/^/wo /'
}
# Ein Server darf /home/a/ statt /home/a melden: verglichen wird ohne.
ohne_schraegstrich() { sed 's|\(.\)/*$|\1|'; }
fern_gehen() {
    c=$(relativ "$fern") rest=
    while :; do
        while :; do case $c in ?*/) c=${c%/} ;; *) break ;; esac; done
        : >"$tmp/fehler"
        "besuch_$1" "$c" >"$tmp/besuch"
        cat "$tmp/fehler" >>"$protokoll"
        grep '^heim ' "$tmp/besuch" >"$tmp/erkundet" || return 1
        wo=$(sed -n 's/^wo //p' "$tmp/besuch")
        [ -n "$wo" ] && break
        # Über FTP: führt ein Link dorthin, wo der Host nicht hin will (etwa
        # aus seiner Wurzel hinaus), löst ftp_links ihn auf.
        if [ "$1" = ftp ] && ! grep -q 'No such file' "$tmp/fehler"; then
            h=$(sed -n 's/^heim //p' "$tmp/besuch")
            case $c in /*) a=$c ;; .) a=$h ;; *) a=${h%/}/$c ;; esac
            wege "$h" "$(normal "$a")" | grep '^w' >"$tmp/wege"
            x=$(erster_link)
            if [ -n "$x" ]; then
                w=${x%%"
"*} w=${w#? }
                a=$(normal "$a") r=$rest
                a=${a#"$w"} a=${a#/}
                [ -z "$a" ] || r=$a${r:+/$r}
                printf 'linkweg %s\nlinkziel %s\nrest %s\n' "$w" "${x#*"
"}" "$r" >>"$tmp/erkundet"
                return 0
            fi
        fi
        if grep -q 'Not a directory\|not a directory' "$tmp/fehler"; then
            echo "keinverz $c" >>"$tmp/erkundet"
            return 0
        elif ! grep -q 'No such file' "$tmp/fehler"; then
            grep -q 'Permission denied\|ermission' "$tmp/fehler" || return 1
            echo "rechte $c" >>"$tmp/erkundet"
            return 0
        fi
        name=${c##*/}
        case $c in */*) c=${c%/*} ;; *) c=. ;; esac
        case $name in '' | . | .. | '~') echo punkt >>"$tmp/erkundet"; return 0 ;; esac
        [ -n "$c" ] || c=/
        rest=$name${rest:+/$rest}
    done
    if [ -z "$rest" ]; then
        echo "ziel $wo" >>"$tmp/erkundet"
    else
        printf 'basis %s\nrest %s\n' "$wo" "$rest" >>"$tmp/erkundet"
    fi
}

ziel_erkunden() {
    : >"$tmp/erkundet"
    case $art in
        ssh)
            fern_ssh probe >"$tmp/erkundet" 2>"$tmp/fehler"
            cat "$tmp/fehler" >>"$protokoll"
            grep -q '^heim ' "$tmp/erkundet" ;;
        sftp) fern_gehen sftp ;;
        *) fern_gehen ftp && ftp_links ;;
    esac
}

# Über FTP meldet PWD den Weg, wie er geschrieben wurde, auch durch einen
# symbolischen Link: ein Link auf . hieße dort wie ein eigenes Verzeichnis.
# Nur LIST zeigt einen Link als Link. Darum wird jedes Verzeichnis, das Ziel
# und Heimatverzeichnis nicht gemeinsam haben, im Listing seines
# Elternverzeichnisses angesehen; ein Link wird aufgelöst (wie der Host es
# täte, relativ zu seinem Verzeichnis) und der Weg neu gegangen. Was sich so
# nicht klären lässt, wird abgelehnt.
normal() {
    printf '%s\n' "$1" | awk -F/ '{
        n = 0
        for (i = 1; i <= NF; i++) {
            if ($i == "" || $i == ".") continue
            if ($i == "..") { if (n) n--; continue }
            t[++n] = $i
        }
        s = ""
        for (i = 1; i <= n; i++) s = s "/" t[i]
        print (s == "" ? "/" : s)
    }'
}
ftp_links() {
    heim_echt=
    for _ in 1 2 3 4 5 6 7 8; do
        [ -z "$heim_echt" ] || { grep -v '^heim ' "$tmp/erkundet"; echo "heim $heim_echt"; } >"$tmp/erkundet.neu" ||
            return 1
        [ -z "$heim_echt" ] || mv -f "$tmp/erkundet.neu" "$tmp/erkundet"
        h=$(wert heim) w=$(wert ziel) lw=$(wert linkweg)
        [ -n "$w" ] || w=$(wert basis)
        [ -n "$lw" ] && w=$lw
        # Fehlt auch das, entscheidet ziel_pruefen (punkt, rechte, keinverz).
        [ -n "$w" ] || return 0
        wege "$h" "$w" >"$tmp/wege"
        if [ -n "$lw" ]; then
            rc=0 link="w $lw
$(wert linkziel)"
        else
            [ -s "$tmp/wege" ] || return 0
            link=$(erster_link)
            rc=$?
        fi
        if [ -z "$link" ]; then
            [ "$rc" = 0 ] && return 0
            echo "unklar $w" >>"$tmp/erkundet"
            return 0
        fi
        wessen=${link%%"
"*} wohin=${link#*"
"}
        wessen=${wessen#? } seite=${link%% *}
        [ -n "$wohin" ] || { echo "unklar $wessen" >>"$tmp/erkundet"; return 0; }
        case $wohin in /*) ;; *) wohin=${wessen%/*}/$wohin ;; esac
        if [ "$seite" = h ]; then
            heim_echt=$(normal "$wohin${h#"$wessen"}")
        else
            fern=$(normal "$wohin${w#"$wessen"}")
            x=$(wert rest)
            [ -z "$x" ] || fern=$fern/$x
            fern_gehen ftp || return 1
        fi
    done
    echo "unklar $w" >>"$tmp/erkundet"
}
# Die Verzeichnisse von $1 (h) und $2 (w) jenseits ihres gemeinsamen Anfangs.
wege() {
    printf '%s\n%s\n' "$1" "$2" | awk -F/ '
        { n[NR] = split($0, t, "/"); for (i = 1; i <= n[NR]; i++) teil[NR, i] = t[i] }
        END {
            g = 1
            while (g <= n[1] && g <= n[2] && teil[1, g] == teil[2, g]) g++
            for (r = 1; r <= 2; r++) {
                p = ""
                for (i = 2; i <= n[r]; i++) {
                    if (teil[r, i] == "") continue
                    p = p "/" teil[r, i]
                    if (i >= g) print (r == 1 ? "h " : "w ") p
                }
            }
        }'
}
# Sieht die Wege aus $tmp/wege im Listing ihres Elternverzeichnisses an und
# nennt den ersten Link: "h PFAD" oder "w PFAD", dann sein Ziel. Status 1,
# wenn sich ein Weg nicht ansehen ließ.
erster_link() {
    befehle="set ftp:use-mlsd no"
    while IFS= read -r zeile; do
        befehle="$befehle; echo $(doppelt "qb-weg $zeile"); cls -ld $(doppelt "${zeile#? }") || echo qb-fehlt"
    done <"$tmp/wege"
    : >"$tmp/fehler"
    lftp_aufruf "$befehle" >"$tmp/listing" 2>>"$tmp/fehler"
    cat "$tmp/fehler" >>"$protokoll"
    awk '/^qb-weg / { weg = substr($0, 8); next }
        weg != "" && /^l/ { i = index($0, " -> "); print weg; print (i ? substr($0, i + 4) : ""); found = 1; exit }
        /^qb-fehlt$/ { fehlt = 1 }
        { weg = "" }
        END { exit !found && fehlt }' "$tmp/listing"
}

# Die Wurzel, das Heimatverzeichnis und jedes darüber: nach dem Hochladen
# stünde dort nur noch die Website.
verboten() {
    [ "$1" = / ] && { echo "das Wurzelverzeichnis"; return 0; }
    [ "$1" = "$heim" ] && { echo "das Heimatverzeichnis"; return 0; }
    case $heim/ in "$1"/*) echo "ein Verzeichnis über dem Heimatverzeichnis $heim"; return 0 ;; esac
    return 1
}

wert() { sed -n "s/^$1 //p" "$tmp/erkundet" | head -n 1; }

ziel_pruefen() {
    ungesendet="Es wurde nichts gesendet und nichts gelöscht."
    heim=$(wert heim)
    if [ "$art" = ssh ] && grep -qx kein-rsync "$tmp/erkundet"; then
        fehler "auf dem Host $host gibt es kein rsync. Dann über SFTP hochladen: ${setzen}sftp://… $ungesendet"
    fi
    grep -qx punkt "$tmp/erkundet" &&
        fehler "in $ort steht im Pfad ein . oder .. vor einem Verzeichnis, das es auf dem Host nicht gibt. Bitte den Pfad ohne . und .. schreiben. $ungesendet"
    x=$(wert rechte)
    [ -n "$x" ] && fehler "auf dem Host $host fehlt das Recht für $x (betreten oder darin anlegen). $ungesendet"
    x=$(wert keinverz)
    [ -n "$x" ] && fehler "auf dem Host $host ist $x eine Datei, kein Verzeichnis. $ungesendet"
    x=$(wert unklar)
    [ -n "$x" ] && fehler "$ort führt auf dem Host $host über $x, einen symbolischen Link oder ein Verzeichnis, das sich nicht ansehen lässt; wohin er führt, lässt sich über $art nicht sicher feststellen. Bitte das Verzeichnis nennen, in dem die Website wirklich liegen soll. $ungesendet"
    echt=$(wert ziel)
    neu=
    if [ -z "$echt" ]; then
        basis=$(wert basis) neu=$(wert rest)
        echt=${basis%/}/$neu
        case $basis/ in
            "$heim"/*) ;;
            *) grep -qx eigen "$tmp/erkundet" ||
                fehler "$echt gibt es auf dem Host $host nicht, und make deploy legt ein Verzeichnis nur im Heimatverzeichnis ($heim) oder in einem eigenen an. Bitte es selbst anlegen oder eines im Heimatverzeichnis nennen (${setzen}$art://…/~/$neu). $ungesendet" ;;
        esac
    fi
    if was=$(verboten "$echt"); then
        fehler "$ort führt auf dem Host $host nach $echt, $was. Dort würde make deploy alles löschen, was nicht zur Website gehört. Bitte ein eigenes Verzeichnis für die Website nennen, $beispiel. $ungesendet"
    fi
    if grep -qx gesperrt "$tmp/erkundet"; then
        fehler "auf dem Host $host fehlt das Recht für $echt (schreiben). $ungesendet"
    fi
    return 0
}

# Über SFTP und FTP lässt sich ein Schreibrecht nur erproben: ein
# verstecktes Verzeichnis anlegen und gleich wieder entfernen (nicht im
# Probelauf, der nichts ändert).
ziel_beschreibbar() {
    [ "$art" = ssh ] && return 0
    probe_name=.qb-neu.probe-$$
    : >"$tmp/fehler"
    lftp_aufruf "cd $(doppelt "$echt"); mkdir $probe_name; rmdir $probe_name" >/dev/null 2>"$tmp/fehler" && return 0
    cat "$tmp/fehler" >>"$protokoll"
    grep -q 'ermission\|Access failed' "$tmp/fehler" &&
        fehler "auf dem Host $host fehlt das Recht für $echt (schreiben). $ungesendet"
    scheitern "$ungesendet"
}

# Legt das fehlende Ziel an; ziel_pruefen hat es vorher erlaubt.
ziel_anlegen() {
    case $art in
        ssh) fern_ssh anlegen | sed -n 's/^angelegt //p' >"$tmp/angelegt" 2>>"$protokoll" ;;
        sftp)
            befehle="cd $(doppelt "$basis")"
            teile=$neu
            while [ -n "$teile" ]; do
                teil=${teile%%/*}
                befehle="$befehle
mkdir $(doppelt "$teil")
cd $(doppelt "$teil")"
                case $teile in */*) teile=${teile#*/} ;; *) teile= ;; esac
            done
            printf '%s\npwd\n' "$befehle" | sftp_aufruf 2>>"$protokoll" |
                sed -n 's/^Remote working directory: //p' >"$tmp/angelegt" ;;
        *)
            lftp_aufruf "cd $(doppelt "$basis"); mkdir -p $(doppelt "$neu"); cd $(doppelt "$neu"); quote PWD" 2>>"$protokoll" |
                sed -n 's/^257 "\(.*\)".*/\1/p' | sed 's/""/"/g' >"$tmp/angelegt" ;;
    esac
    x=$(cat "$tmp/angelegt")
    [ -n "$x" ] || fehler "auf dem Host $host fehlt das Recht, $echt anzulegen (in $basis). $ungesendet"
    echt=$x
}
