<?php
// Kopf jeder Seite. Die Seite setzt vorher $titel, $zeile1, $zeile2, $menue
// und je nach Aufruf $seite, $keywords, $description, $robots.
function qb_h($text)
{
    return htmlspecialchars((string) $text, ENT_QUOTES, 'UTF-8');
}

// Beschreibung und Stichwörter der ganzen Website für Suchmaschinen. Sie
// gelten auf jeder Seite, deren SEO-Datei (Option -s) keine eigenen setzt;
// Stichwörter wie dort durch Leerzeichen getrennt.
$qb_standard_description = 'Die Wanderfreunde Eichenau: gemeinsame Wanderungen rund um Eichenau, Tourenbeschreibungen, Termine und Neuigkeiten aus dem Verein.';
$qb_standard_keywords = 'Wandern Eichenau Wanderverein Touren Termine';

$qb_titel = isset($titel) && $titel !== '' ? $titel : 'Wanderfreunde Eichenau';
$qb_menue = isset($menue) ? (int) $menue : 0;
$qb_eintraege = [
    1 => ['index.php', 'Startseite'],
    2 => ['touren.php', 'Touren'],
    3 => ['neuigkeiten.php', 'Neuigkeiten'],
    4 => ['termine.php', 'Termine'],
    5 => ['verein.php', 'Verein'],
];
?>
<!DOCTYPE html>
<html lang="de">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1, shrink-to-fit=no">
<link rel="alternate" type="application/atom+xml" title="Neuigkeiten der Wanderfreunde Eichenau" href="neuigkeiten.xml">
<title><?= qb_h($qb_titel) ?></title>
<meta name="keywords" content="<?= qb_h(isset($keywords) && $keywords !== '' ? $keywords : $qb_standard_keywords) ?>">
<meta name="description" content="<?= qb_h(isset($description) && $description !== '' ? $description : $qb_standard_description) ?>">
<?php if (isset($robots) && $robots !== ''): ?>
<meta name="robots" content="<?= qb_h($robots) ?>">
<?php endif; ?>
<link rel="icon" href="data:,">
<link rel="stylesheet" href="assets/vendor/bootstrap.min.css">
<link rel="stylesheet" href="assets/css/site.css">
</head>
<body>
<nav class="navbar navbar-expand-md navbar-dark bg-success">
<a class="navbar-brand" href="index.php">Wanderfreunde Eichenau</a>
<button class="navbar-toggler" type="button" data-toggle="collapse" data-target="#hauptmenue" aria-controls="hauptmenue" aria-expanded="false">
<span class="navbar-toggler-icon"></span><span class="sr-only">Menü umschalten</span>
</button>
<div class="collapse navbar-collapse" id="hauptmenue">
<ul class="navbar-nav mr-auto">
<?php foreach ($qb_eintraege as $qb_nr => $qb_eintrag): ?>
<?php if ($qb_nr === $qb_menue): ?>
<li class="nav-item active"><a class="nav-link" href="<?= qb_h($qb_eintrag[0]) ?>"><?= qb_h($qb_eintrag[1]) ?> <span class="sr-only">(aktuell)</span></a></li>
<?php else: ?>
<li class="nav-item"><a class="nav-link" href="<?= qb_h($qb_eintrag[0]) ?>"><?= qb_h($qb_eintrag[1]) ?></a></li>
<?php endif; ?>
<?php endforeach; ?>
</ul>
</div>
</nav>
<header class="container kopf">
<?php if (isset($zeile1) && $zeile1 !== '' && $zeile1 !== 'X'): ?>
<h1><?= qb_h($zeile1) ?></h1>
<?php endif; ?>
<?php if (isset($zeile2) && $zeile2 !== ''): ?>
<p class="lead"><?= qb_h($zeile2) ?></p>
<?php endif; ?>
</header>
<main>
