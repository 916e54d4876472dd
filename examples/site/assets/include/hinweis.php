<?php
// Zusatz-Fuß (Option -f) der Terminseite.
?>
<div class="container">
<div class="alert alert-info" role="alert">
Termine können sich wetterbedingt ändern. Im Zweifel kurz anrufen: 0123 456789.
</div>
</div>
