<?php
// Fuß jeder Seite: schließt <main>, lädt jQuery und Bootstrap (für Carousel
// und das aufklappbare Menü) und beendet das Dokument.
$qb_seite = isset($seite) && $seite !== '' ? $seite : '';
?>
</main>
<footer class="container fuss">
<hr>
<p class="small text-muted">
&copy; Wanderfreunde Eichenau &middot; <a href="verein.php">Kontakt</a>
<?php if ($qb_seite !== ''): ?>
&middot; <a href="<?= htmlspecialchars($qb_seite, ENT_QUOTES, 'UTF-8') ?>">Link auf diese Seite</a>
<?php endif; ?>
</p>
</footer>
<script src="assets/vendor/jquery.slim.min.js" defer></script>
<script src="assets/vendor/bootstrap.bundle.min.js" defer></script>
</body>
</html>
