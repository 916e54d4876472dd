#!/usr/bin/perl
# Was PurgeCSS von den Seiten braucht: die Wörter ihres Markups (Namen der
# Tags und Attribute, Klassen, IDs und andere Werte, Skripte), nicht den
# Text dazwischen und nicht Adressen oder Bildtexte. Ein Stil kann nur Markup treffen, und der Text ändert sich bei
# fast jedem Speichern, die Klassen selten.
#
#   perl klassen.pl BAU OUT [GEÄNDERT …] -- SEITE …
#   perl klassen.pl BAU OUT
#
# Jede SEITE ist eine Seite OUT/<name>.php (ohne SEITE: jede in OUT); ihre
# Wörter liegen in BAU/klassen/<name>.txt und werden nur für die GEÄNDERTEN,
# die noch fehlenden und die seitdem neu geschriebenen neu gelesen. Die Vereinigung aller steht in
# BAU/klassen.txt, geschrieben nur, wenn sie sich geändert hat; dann gibt
# das Skript "neu" aus, damit make PurgeCSS nur dann startet.
use strict;
use warnings;

my ($bau, $out, @rest) = @ARGV;
die "Aufruf: perl klassen.pl BAU OUT [GEÄNDERT …] -- SEITE …\n" unless defined $out;
my ($trenner) = grep { $rest[$_] eq '--' } 0 .. $#rest;
if (!@rest) {
    @rest = ('--', sort glob("\Q$out\E/*.php"));
    $trenner = 0;
}
die "klassen.pl: -- fehlt\n" unless defined $trenner;
my %geaendert = map { (name($_) => 1) } @rest[0 .. $trenner - 1];
my @seiten = map { name($_) } @rest[$trenner + 1 .. $#rest];
my $dir = "$bau/klassen";
mkdir $dir or $!{EEXIST} or die "klassen.pl: $dir: $!\n";

sub name {
    my ($p) = @_;
    $p =~ s{.*/}{};
    $p =~ s{\.php$}{};
    return $p;
}

sub lesen {
    my ($pfad) = @_;
    open(my $fh, '<:raw', $pfad) or die "klassen.pl: $pfad: $!\n";
    local $/;
    my $text = <$fh>;
    close $fh;
    return $text // '';
}

# Schreibt über eine Zwischendatei, damit ein Abbruch keine halbe Liste lässt.
sub schreiben {
    my ($pfad, $text) = @_;
    open(my $fh, '>:raw', "$pfad.neu") or die "klassen.pl: $pfad.neu: $!\n";
    print $fh $text or die "klassen.pl: $pfad.neu: $!\n";
    close $fh or die "klassen.pl: $pfad.neu: $!\n";
    rename "$pfad.neu", $pfad or die "klassen.pl: $pfad: $!\n";
}

my %alle;
for my $s (@seiten) {
    my $liste = "$dir/$s.txt";
    if ($geaendert{$s} || !-e $liste || (stat("$out/$s.php"))[9] >= (stat($liste))[9]) {
        my $html = lesen("$out/$s.php");
        my %w;
        # Von jedem öffnenden Tag der Name, die Namen der Attribute und ihre
        # Werte, außer denen, die kein Stil von Bootstrap trifft (Adressen,
        # Bildtexte, Titel, IDs der Überschriften): sonst zählte jedes Wort
        # eines Bildtexts. Skripte ganz, sie setzen Klassen. PHP-Blöcke,
        # schließende Tags und Kommentare treffen keinen Stil. Dieselbe
        # Zerlegung in Wörter wie PurgeCSS' eigene.
        # Jedes Tag nur einmal zerlegen: die meisten kehren wieder (<p>, <li>).
        my %tags;
        @tags{$html =~ /<([A-Za-z][^>]*)>/g} = ();
        for my $tag (keys %tags) {
            while ($tag =~ /([^\s=\/>"']+)(?:\s*=\s*("[^"]*"|'[^']*'|[^\s>]+))?/g) {
                my ($name, $wert) = ($1, $2);
                $w{$_} = 1 for $name =~ /[A-Za-z0-9_-]+/g;
                next if !defined $wert || $name =~ /^(?:href|src|srcset|alt|title|id|name|content|action|style)$/i;
                $w{$_} = 1 for $wert =~ /[A-Za-z0-9_-]+/g;
            }
        }
        for my $skript ($html =~ /<script\b(.*?)<\/script/gs) {
            $w{$_} = 1 for $skript =~ /[A-Za-z0-9_-]+/g;
        }
        schreiben($liste, join('', map { "$_\n" } sort keys %w));
    }
    $alle{$_} = 1 for split /\n/, lesen($liste);
}
my $neu = join('', map { "$_\n" } sort keys %alle);
my $ziel = "$bau/klassen.txt";
if (!-e $ziel || lesen($ziel) ne $neu) {
    schreiben($ziel, $neu);
    print "neu\n";
}
