#!/usr/bin/perl
# Vom alten Makefile (eine Zeile je Seite) zu Kopfblöcken: liest SEITEN und
# OPTS_<seite>, NEWS und DATUM_<eintrag>, VEREIN, BASIS_URL und WEBSITE_TITEL
# aus dem alten Makefile und schreibt
#   - vor jeden Artikel ohne Kopfblock einen aus seinen Optionen,
#   - die Neuigkeiten nach neuigkeiten/, mit veroeffentlicht: aus DATUM_…,
#   - website.yaml, wenn es sie noch nicht gibt,
#   - DEPLOY, DEPLOY_BEHALTEN und DEPLOY_SSH_CONFIG als hochladen… in
#     website.yaml (an eine vorhandene angehängt, wenn sie noch keines hat).
# Ein Artikel, der schon einen Kopfblock hat, bleibt, wie er ist.
#
#   perl umziehen.pl <altes Makefile>     (im Ordner der Website)
use strict;
use warnings;

my $alt = shift or die "Aufruf: perl umziehen.pl <altes Makefile>\n";
open(my $fh, '<:raw', $alt) or die "umziehen.pl: $alt: $!\n";
my $text = do { local $/; <$fh> };
close $fh;
$text =~ s/\\\n[ \t]*/ /g;    # Fortsetzungszeilen
my %var;
for (split /\n/, $text) {
    next if /^\s*#/;
    $var{$1} = $2 if /^([A-Za-z_][A-Za-z0-9_.-]*)\s*[:?]?=\s*(.*?)\s*$/;
}
sub wert { my $v = $var{ $_[0] } // ''; $v =~ s/\$\(CURDIR\)\///g; return $v }

# Die Wörter einer Optionszeile, wie die Shell sie trennt ('…', "…", \x).
sub woerter {
    my ($s) = @_;
    my @w;
    my $cur;
    while (length $s) {
        if ($s =~ s/^\s+//) { push @w, $cur if defined $cur; undef $cur; next }
        if ($s =~ s/^'([^']*)'//) { $cur .= $1; next }
        if ($s =~ s/^"((?:[^"\\]|\\.)*)"//) { (my $x = $1) =~ s/\\(.)/$1/g; $cur .= $x; next }
        if ($s =~ s/^\\(.)//) { $cur .= $1; next }
        $s =~ s/^([^\s'"\\]+)//;
        $cur .= $1;
    }
    push @w, $cur if defined $cur;
    return @w;
}

# Ein Wert in YAML: immer in "…", damit # ' $ & und : nichts anderes heißen.
sub yaml { my ($v) = @_; $v =~ s/(["\\])/\\$1/g; return "\"$v\"" }

my %schluessel = (t => 'titel', u => 'ueberschrift', n => 'menue', c => 'karussell', m => 'menuedatei',
                  s => 'seodatei', z => 'zurueck', w => 'weiter', i => 'inhalt', d => 'dekoration',
                  f => 'fussdatei', a => 'stempel', e => 'gleichezeilen', v => 'ohnestempel');
my %schalter = (e => 1, v => 1);

sub hat_block {
    my ($datei) = @_;
    open(my $f, '<:raw', $datei) or return 0;
    my $erste = <$f> // '';
    close $f;
    return $erste =~ /^---\s*$/;
}
sub voranstellen {
    my ($datei, @zeilen) = @_;
    if (!-f $datei) { warn "Warnung: $datei fehlt, übersprungen.\n"; return }
    if (hat_block($datei)) { print "$datei hat schon einen Kopfblock, bleibt.\n"; return }
    open(my $f, '<:raw', $datei) or die "umziehen.pl: $datei: $!\n";
    my $inhalt = do { local $/; <$f> };
    close $f;
    open(my $o, '>:raw', "$datei.neu") or die "umziehen.pl: $datei.neu: $!\n";
    print $o join('', "---\n", map({ "$_\n" } @zeilen), "---\n\n", $inhalt) or die "umziehen.pl: $datei: $!\n";
    close $o or die "umziehen.pl: $datei: $!\n";
    rename "$datei.neu", $datei or die "umziehen.pl: $datei: $!\n";
    print "$datei: Kopfblock mit ", scalar(@zeilen), " Zeilen\n";
}

for my $seite (split ' ', wert('SEITEN')) {
    my @w = woerter(wert("OPTS_$seite"));
    my @zeilen;
    while (@w) {
        my $o = shift @w;
        my ($b) = $o =~ /^-([a-z])$/ or do { warn "Warnung: OPTS_$seite: „$o“ übersprungen.\n"; next };
        my $k = $schluessel{$b} or do { warn "Warnung: OPTS_$seite: -$b übersprungen.\n"; next };
        push @zeilen, $schalter{$b} ? "$k: ja" : "$k: " . yaml(shift(@w) // '');
    }
    voranstellen("artikel/$seite.md", @zeilen);
}
my @verein = split ' ', wert('VEREIN');
voranstellen("artikel/$verein[0].md", "zweiterteil: " . yaml("$verein[1].md")) if @verein == 2;
if (my @news = split ' ', wert('NEWS')) {
    mkdir 'neuigkeiten' or $!{EEXIST} or die "umziehen.pl: neuigkeiten: $!\n";
    for my $e (@news) {
        my @zeilen = wert("DATUM_$e") ne '' ? ("veroeffentlicht: " . yaml(wert("DATUM_$e"))) : ();
        voranstellen("artikel/$e.md", @zeilen) if @zeilen;
        rename "artikel/$e.md", "neuigkeiten/$e.md" or warn "Warnung: artikel/$e.md: $!\n";
    }
}
# Das Hochladen: wie make sie las, ohne Kommentar; $(HOME) wird ~.
sub make_wert {
    my $v = wert($_[0]);
    $v =~ s/(?<!\\)#.*//;
    $v =~ s/\\#/#/g;
    $v =~ s/\$[({]HOME[)}]/~/g;
    $v =~ s/\s+$//;
    if ($v =~ /\$/) { warn "Warnung: $_[0] nennt eine Variable des Makefiles, übersprungen.\n"; return '' }
    return $v;
}
my @hochladen;
# Ein Passwort kommt nicht mit (make deploy lehnte es immer ab), und es wird nicht gezeigt.
if (make_wert('DEPLOY') =~ m{://[^/?#]*:[^/?#]*@|://[^@]*:[^@]*@}) {
    warn "Warnung: DEPLOY enthält ein Passwort, nicht übernommen. Bitte das Ziel ohne Passwort als hochladen: in website.yaml eintragen.\n";
} elsif (make_wert('DEPLOY') ne '') {
    push @hochladen, "hochladen: " . yaml(make_wert('DEPLOY'));
}
if (my @muster = split ' ', make_wert('DEPLOY_BEHALTEN')) {
    push @hochladen, "hochladen_behalten:", map { "  - " . yaml($_) } @muster;
}
push @hochladen, "hochladen_ssh_konfig: " . yaml(make_wert('DEPLOY_SSH_CONFIG')) if make_wert('DEPLOY_SSH_CONFIG') ne '';

if (!-e 'website.yaml') {
    open(my $y, '>:raw', 'website.yaml') or die "umziehen.pl: website.yaml: $!\n";
    print $y "# Die Einstellungen der Website (aus $alt übernommen).\n";
    print $y "basis_url: ", yaml(wert('BASIS_URL')), "\n" if wert('BASIS_URL') ne '';
    print $y "titel: ", yaml(wert('WEBSITE_TITEL')), "\n" if wert('WEBSITE_TITEL') ne '';
    print $y "bild_max: ", wert('BILD_MAX'), "\n" if wert('BILD_MAX') =~ /^\d+$/;
    print $y "bild_qualitaet: ", wert('BILD_QUALITAET'), "\n" if wert('BILD_QUALITAET') =~ /^\d+$/;
    print $y "behalten:\n  - assets/vendor/*\n";
    print $y map { "$_\n" } @hochladen;
    close $y or die "umziehen.pl: website.yaml: $!\n";
    print "website.yaml geschrieben\n";
} elsif (@hochladen) {
    open(my $y, '<:raw', 'website.yaml') or die "umziehen.pl: website.yaml: $!\n";
    my $da = grep { /^hochladen(_behalten|_ssh_konfig)?\s*:/ } <$y>;
    close $y;
    if ($da) {
        print "website.yaml nennt schon ein Ziel zum Hochladen, bleibt.\n";
    } else {
        open($y, '>>:raw', 'website.yaml') or die "umziehen.pl: website.yaml: $!\n";
        print $y "\n# Hochladen (aus $alt übernommen).\n", map { "$_\n" } @hochladen;
        close $y or die "umziehen.pl: website.yaml: $!\n";
        print "website.yaml: Ziel zum Hochladen angehängt\n";
    }
}
