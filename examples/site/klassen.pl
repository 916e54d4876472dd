#!/usr/bin/perl
# Was PurgeCSS von den Seiten braucht: die Wörter ihres Markups (Namen der
# Tags und Attribute, Klassen, IDs und andere Werte, Skripte), nicht den
# Text dazwischen und nicht Adressen oder Bildtexte. Ein Stil kann nur Markup
# treffen, und der Text ändert sich bei fast jedem Speichern, die Klassen selten.
#
#   perl klassen.pl BAU OUT
#
# Liest jede Seite OUT/*.php, deren Größe, Zeit oder Inode sich seit dem
# letzten Aufruf geändert hat; die Wörter aller Seiten hält BAU/klassen.db
# (eine Datei, nicht eine je Seite: bei einem gespeicherten Artikel ist so
# nur eine Seite und eine Datei zu lesen). Die Vereinigung steht in BAU/klassen.txt,
# geschrieben nur, wenn sie sich geändert hat; dann gibt das Skript "neu"
# aus, damit make PurgeCSS nur dann startet.
use strict;
use warnings;
use Time::HiRes ();

my ($bau, $out) = @ARGV;
die "Aufruf: perl klassen.pl BAU OUT\n" unless defined $out && @ARGV == 2;

sub lesen {
    my ($pfad) = @_;
    open(my $fh, '<:raw', $pfad) or die "klassen.pl: $pfad: $!\n";
    local $/;
    my $text = <$fh>;
    close $fh;
    return $text // '';
}

# Schreibt über eine Zwischendatei, damit ein Abbruch keine halbe Datei lässt.
sub schreiben {
    my ($pfad, $text) = @_;
    open(my $fh, '>:raw', "$pfad.neu") or die "klassen.pl: $pfad.neu: $!\n";
    print $fh $text or die "klassen.pl: $pfad.neu: $!\n";
    close $fh or die "klassen.pl: $pfad.neu: $!\n";
    rename "$pfad.neu", $pfad or die "klassen.pl: $pfad: $!\n";
}

# Von jedem öffnenden Tag der Name, die Namen der Attribute und ihre Werte,
# außer denen, die kein Stil von Bootstrap trifft (Adressen, Bildtexte,
# Titel, IDs der Überschriften): sonst zählte jedes Wort eines Bildtexts.
# Skripte ganz, sie setzen Klassen. PHP-Blöcke, schließende Tags und
# Kommentare treffen keinen Stil. Dieselbe Zerlegung in Wörter wie
# PurgeCSS' eigene.
sub woerter {
    my ($html) = @_;
    my %w;
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
    return sort keys %w;
}

mkdir $bau or $!{EEXIST} or die "klassen.pl: $bau: $!\n";
# Eine Zeile je Seite: ihr Name (hexadezimal, er darf jedes Zeichen haben),
# ihre Kennung und ihre Wörter. Was nicht zu lesen ist, wird neu gemacht.
my $db = "$bau/klassen.db";
my %alt;
if (open(my $fh, '<:raw', $db)) {
    while (my $zeile = <$fh>) {
        chomp $zeile;
        my ($hex, $kennung, $woerter) = split /\t/, $zeile, 3;
        $alt{pack('H*', $hex)} = [$kennung, $woerter] if defined $woerter;
    }
    close $fh;
}
my %neu;
my $anders = 0;
for my $pfad (sort glob("\Q$out\E/*.php")) {
    my ($name) = $pfad =~ m{([^/]*)\.php$}s;
    # Größe, Zeiten (feiner als Sekunden) und Inode: auch eine Seite, die in
    # derselben Sekunde wie ihr letztes Lesen neu geschrieben wurde, zählt als geändert.
    my @st = Time::HiRes::stat($pfad) or die "klassen.pl: $pfad: $!\n";
    my $kennung = join(':', @st[7, 9, 10, 1]);
    if ($alt{$name} && $alt{$name}[0] eq $kennung) {
        $neu{$name} = $alt{$name};
    } else {
        $neu{$name} = [$kennung, join(' ', woerter(lesen($pfad)))];
        $anders = 1;
    }
}
if ($anders || keys(%neu) != keys(%alt) || !-e $db) {
    schreiben($db, join('', map { unpack('H*', $_) . "\t$neu{$_}[0]\t$neu{$_}[1]\n" } sort keys %neu));
}
my %alle;
@alle{ split / /, join(' ', map { $_->[1] } values %neu) } = ();
delete $alle{''};
my $liste = join('', map { "$_\n" } sort keys %alle);
my $ziel = "$bau/klassen.txt";
if (!-e $ziel || lesen($ziel) ne $liste) {
    schreiben($ziel, $liste);
    print "neu\n";
}
