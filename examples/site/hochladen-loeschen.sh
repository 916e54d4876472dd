# shellcheck shell=sh disable=SC2154 # die Einstellungen setzt hochladen.sh
# Teil von hochladen.sh (mit . eingelesen): was make deploy auf dem Host
# löscht. Eine Regel für ssh://, sftp:// und ftp://, hier einmal geschrieben:
# Das Werkzeug sendet nur; gelöscht wird nach einer Liste, die aus dem, was
# auf dem Host liegt, und der Website entsteht. Der Probelauf zeigt dieselbe
# Liste.
#
# - Gelöscht wird, was im Ziel liegt und nicht zur Website gehört.
# - Nie gelöscht wird eine versteckte Datei oder ein verstecktes Verzeichnis
#   (Name mit Punkt vorn) samt Inhalt, noch ein Verzeichnis, das eines
#   enthält. Nur die Hilfsnamen eines abgebrochenen Laufs (.qb-neu.…, .~tmp~)
#   räumt make deploy selbst weg.
# - hochladen_behalten: Muster für Pfade ab dem Ziel (* ? […] wie in der Shell,
#   * ohne /). Was passt, bleibt, bei einem Verzeichnis (mit oder ohne / am
#   Ende) samt allem darin.
# - Ein symbolischer Link auf dem Host wird nie verfolgt: er wird als Link
#   gelöscht, wenn die Website dort nichts hat, und vor dem Senden, wenn sie
#   dort eine Datei oder ein Verzeichnis hat (sonst schriebe das Werkzeug
#   durch ihn hindurch). Ebenso vorher weg muss, was die Website an derselben
#   Stelle als anderes hat (Datei statt Verzeichnis oder umgekehrt).
# - Reihenfolge: vor dem Senden nur das eben Genannte; danach erst die Seiten
#   (oberste Ebene), dann alles andere, Inhalt vor Verzeichnis.

# Auf dem Host über SSH: Inhalt des Ziels als "ART PFAD" (d, l, f), ohne
# Links zu folgen; ein Name mit Zeilenumbruch bleibt mit allem darunter
# unbesehen (und damit stehen). Dazu die Prüfsumme des Stils, wenn es ihn gibt.
# shellcheck disable=SC2016 # läuft erst auf dem Host
liste_skript='cd -- "$1" || exit 1
nl="
"
find . \( -name "*$nl*" -prune \) -o \( ! -name . -type l -exec printf "l %s\n" {} + \) \
    -o \( ! -name . -type d -exec printf "d %s\n" {} + \) -o \( ! -name . -exec printf "f %s\n" {} + \) || exit 1
if [ -n "$2" ] && [ -f "$2" ] && [ ! -L "$2" ]; then printf "stil %s\n" "$(cksum <"$2")"; fi'

# Löscht auf dem Host nach der Liste auf stdin; ist ein Verzeichnis auf dem
# Weg inzwischen ein Link, hört es auf. Groß geschriebene Arten sind
# Hilfsnamen: still und ohne Fehler, wenn sie schon fort sind.
# shellcheck disable=SC2016
loesch_skript='cd -- "$1" || exit 1
while IFS= read -r zeile; do
    t=${zeile%% *} p=${zeile#* } d=${zeile#* }
    while :; do
        case $d in */*) d=${d%/*} ;; *) break ;; esac
        if [ -L "$d" ]; then echo "Link im Weg: $d"; exit 1; fi
    done
    case $t in
        D) rmdir -- "$p" 2>/dev/null || : ;;
        F) rm -f -- "$p" || : ;;
        d) rmdir -- "$p" || exit 1; printf "*deleting %s/\n" "$p" ;;
        *) rm -f -- "$p" || exit 1; printf "*deleting %s\n" "$p" ;;
    esac
done'

fern_sh() { # $1 = Skript, weitere Argumente für das Skript
    skript=$1
    shift
    befehl="/bin/sh -c $(einfach "$skript") sh"
    for a; do befehl="$befehl $(einfach "$a")"; done
    ssh_aufruf ${port:+-p "$port"} ${nutzer:+-l "$nutzer"} -- "$ssh_host" "$befehl"
}

# Schreibt nach $tmp/host, was im Ziel auf dem Host liegt, und setzt
# $stil_vorher, wenn dort ein anderer Stil liegt, als hochgeladen wird.
# shellcheck disable=SC2034 # stil_vorher liest hochladen.sh
host_liste() {
    : >"$tmp/host"
    stil_vorher=
    [ -n "$neu" ] && return 0
    : >"$tmp/fehler"
    if [ "$art" = ssh ]; then
        fern_sh "$liste_skript" "$echt" "$stil" </dev/null >"$tmp/host.roh" 2>"$tmp/fehler"
        rc=$?
        sed 's|^\([dfl]\) \./|\1 |' "$tmp/host.roh" >"$tmp/host"
        if [ -n "$stil" ] && grep -qx "f $stil" "$tmp/host" &&
            ! grep -qxF "stil $(cksum <"$site/$stil")" "$tmp/host"; then
            stil_vorher=1
        fi
    else
        # LIST zeigt einen Link als Link (MLSD des Hosts folgt ihm vielleicht);
        # mit -a auch versteckte Dateien, die ein Verzeichnis halten.
        # Ob der Stil gesendet würde, entscheidet lftp wie beim Senden.
        stil_probe=
        [ -z "$stil" ] || stil_probe="; set ftp:use-mlsd yes; cache flush;
            mirror -R -L --only-newer --no-perms --script=$(doppelt "$tmp/stil.lftp") -i $(doppelt "^$(printf '%s' "$stil" | sed 's/[].[\\*^$]/\\&/g')\$") $(doppelt "$site/") .;
            cls -s --block-size=1 $(doppelt "$stil") >$(doppelt "$tmp/stil-groesse") || echo"
        : >"$tmp/stil.lftp"
        : >"$tmp/stil-groesse"
        lftp_aufruf "set ftp:use-mlsd no; set ftp:list-options -a; cd $(doppelt "$echt"); find -l .$stil_probe" 2>"$tmp/fehler" |
            awk '{ i = index($0, " ./"); if (!i) next
                t = substr($0, 1, 1); p = substr($0, i + 3)
                if (t == "l") { j = index(p, " -> "); if (j) p = substr(p, 1, j - 1) }
                else if (t == "d") sub(/\/$/, "", p)
                else t = "f"
                if (p != "") print t " " p }' >"$tmp/host"
        rc=$?
        # Anders ist der Stil, wenn lftp ihn senden würde oder die Größe nicht stimmt.
        if [ -n "$stil" ] && grep -qx "f $stil" "$tmp/host" &&
            { grep -q "^get\\|^put" "$tmp/stil.lftp" ||
                [ "$(stat -c %s "$site/$stil")" != "$(awk '{ print $1; exit }' "$tmp/stil-groesse")" ]; }; then
            stil_vorher=1
        fi
    fi
    cat "$tmp/fehler" >>"$protokoll"
    return $rc
}

# Aus $tmp/host, der Website und hochladen_behalten die Listen $tmp/vorher
# (vor dem Senden), $tmp/seiten und $tmp/rest (danach), je "ART PFAD".
loesch_plan() {
    find -L "$site" -mindepth 1 -printf '%y %P\n' >"$tmp/website" || return 1
    # Ein Muster je Zeile, wie hochladen.sh sie gesammelt hat.
    printf '%s\n' "$behalten" >"$tmp/muster"
    rm -f "$tmp"/*.roh
    LC_ALL=C awk -v vorher="$tmp/vorher.roh" -v seiten="$tmp/seiten.roh" -v rest="$tmp/rest.roh" '
        function regex(g,   r, i, c, j, k) {
            r = ""
            for (i = 1; i <= length(g); i++) {
                c = substr(g, i, 1)
                if (c == "*") r = r "[^/]*"
                else if (c == "?") r = r "[^/]"
                else if (c == "[" && (j = index(substr(g, i + 1), "]")) > 1) {
                    k = substr(g, i + 1, j - 1)
                    if (substr(k, 1, 1) == "!") k = "^" substr(k, 2)
                    r = r "[" k "]"
                    i += j
                } else if (c ~ /[][\\^$.|+(){}]/) r = r "\\" c
                else r = r c
            }
            return "^" r "$"
        }
        # Hilfsnamen abgebrochener Läufe: weg, obwohl versteckt.
        function hilfsname(n) { return n ~ /^\.qb-neu\./ || n == ".~tmp~" }
        FILENAME == ARGV[1] {
            sub(/^(\.?\/)+/, ""); sub(/\/+$/, "")
            if ($0 != "") muster[++nm] = regex($0)
            next
        }
        FILENAME == ARGV[2] { website[substr($0, 3)] = substr($0, 1, 1); next }
        {
            t = substr($0, 1, 1); p = substr($0, 3); sub(/^\.\//, "", p)
            if (t !~ /^[dfl]$/ || p == "" || ("/" p "/") ~ /\/\.?\.?\//) next
            n = split(p, teil, "/")
            halten = hilfe = 0; weg = ""
            for (i = 1; i <= n; i++) {
                weg = weg (i > 1 ? "/" : "") teil[i]
                # Unter einem Link listet der Host nichts: was dort stünde, ist erfunden.
                if (i < n && art[weg] == "l") next
                if (hilfsname(teil[i])) hilfe = 1
                else if (teil[i] ~ /^\./) halten = 1
                for (m = 1; m <= nm; m++) if (weg ~ muster[m]) halten = 1
            }
            art[p] = t; pfade[++np] = p
            if (halten) {
                # Was bleibt, hält jedes Verzeichnis darüber.
                for (w = p; sub(/\/[^\/]*$/, "", w);) bleibt[w] = 1
                bleibt[p] = 1
            } else if (hilfe) still[p] = 1
        }
        END {
            # Vorher weg: ein Link an einer Stelle der Website und was dort von
            # anderer Art ist, mit allem darunter.
            for (i = 1; i <= np; i++) {
                p = pfade[i]
                if ((p in website) && !bleibt[p] && (art[p] == "l" || (art[p] == "d") != (website[p] == "d"))) frueh[p] = 1
            }
            for (i = 1; i <= np; i++) {
                p = pfade[i]
                if (((p in website) && !frueh[p]) || bleibt[p]) continue
                for (w = p; sub(/\/[^\/]*$/, "", w);) if (frueh[w]) frueh[p] = 1
                a = (art[p] == "d" ? "d" : "f")
                if (still[p]) a = toupper(a)
                if (frueh[p]) print a " " p >vorher
                else if (p !~ /\// && a == "f") print a " " p >seiten
                else print a " " p >rest
            }
        }' "$tmp/muster" "$tmp/website" "$tmp/host" || return 1
    # Inhalt vor seinem Verzeichnis: rückwärts sortiert.
    for liste in vorher seiten rest; do
        touch "$tmp/$liste.roh"
        if [ "$liste" = seiten ]; then r=; else r=-r; fi
        LC_ALL=C sort $r -k2 "$tmp/$liste.roh" >"$tmp/$liste" || return 1
    done
}

# Löscht nach der Liste $1 auf dem Host; jede gelöschte Datei als
# "*deleting PFAD" (Verzeichnisse mit / am Ende) nach stdout. Über SSH
# sofort, für lftp als Befehle.
loeschen_ssh() {
    [ ! -s "$1" ] || fern_sh "$loesch_skript" "$echt" <"$1"
}
loeschen_lftp() {
    while IFS= read -r zeile; do
        p=$(doppelt "${zeile#? }")
        case $zeile in
            D*) echo "rmdir -f $p" ;;
            F*) echo "rm -f $p" ;;
            d*) echo "rmdir $p; echo $(doppelt "*deleting ${zeile#? }/")" ;;
            *) echo "rm $p; echo $(doppelt "*deleting ${zeile#? }")" ;;
        esac
    done <"$1"
}
