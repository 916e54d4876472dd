<?php
// Schnellzugriff unter Neuigkeiten und zusammengeführten Seiten.
$qb_links = [
    'touren.php' => 'Alle Touren',
    'termine.php' => 'Nächste Termine',
    'verein.php' => 'Mitglied werden',
];
?>
<aside class="container schnellzugriff">
<h2 class="h5">Schnellzugriff</h2>
<ul class="list-inline">
<?php foreach ($qb_links as $qb_ziel => $qb_text): ?>
<li class="list-inline-item"><a class="btn btn-outline-success btn-sm" href="<?= htmlspecialchars($qb_ziel, ENT_QUOTES, 'UTF-8') ?>"><?= htmlspecialchars($qb_text, ENT_QUOTES, 'UTF-8') ?></a></li>
<?php endforeach; ?>
</ul>
</aside>
