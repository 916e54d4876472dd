// Kommt nur über `make serve` (vorschau.mjs) in die Seite, nie nach $(OUT):
// hört auf die Ereignisse der Vorschau. neuladen: die Ausgabe dieser Seite
// hat sich geändert. stil: ein Stil hat sich geändert, er wird ohne Neuladen
// getauscht. bilder: diese Bilder haben sich geändert. fehler: der Bau ist
// fehlgeschlagen, seine Meldung steht über der Seite, bis ok kommt.
(() => {
    const skript = document.currentScript;
    const frage = new URLSearchParams({
        seite: location.pathname + location.search,
        stand: skript.dataset.stand,
        bau: skript.dataset.bau,
    });
    const quelle = new EventSource(`/__vorschau/ereignisse?${frage}`);
    const frisch = (adresse) => {
        const url = new URL(adresse, location.href);
        url.searchParams.set('vorschau', Date.now());
        return url.href;
    };

    quelle.addEventListener('neuladen', () => location.reload());
    quelle.addEventListener('stil', () => {
        for (const alt of document.querySelectorAll('link[rel="stylesheet"]')) {
            if (new URL(alt.href).origin !== location.origin) continue;
            // Den alten Stil erst entfernen, wenn der neue geladen ist: sonst
            // flackert die Seite ohne Stil.
            const neu = alt.cloneNode();
            neu.href = frisch(alt.href);
            neu.onload = neu.onerror = () => alt.remove();
            alt.after(neu);
        }
    });
    quelle.addEventListener('bilder', (e) => {
        const pfade = new Set(JSON.parse(e.data));
        for (const bild of document.images) {
            const url = new URL(bild.src, location.href);
            if (url.origin === location.origin && pfade.has(decodeURIComponent(url.pathname))) bild.src = frisch(bild.src);
        }
    });

    let kasten = null;
    quelle.addEventListener('fehler', (e) => {
        if (!kasten) {
            kasten = document.createElement('div');
            kasten.id = 'vorschau-meldung';
            kasten.setAttribute('role', 'alert');
            kasten.style.cssText = 'position:fixed;z-index:2147483647;left:0;right:0;top:0;max-height:60vh;overflow:auto;'
                + 'margin:0;padding:1em 1.5em;background:#8b0000;color:#fff;font:15px/1.5 monospace;white-space:pre-wrap;'
                + 'box-shadow:0 2px 12px rgba(0,0,0,.5)';
            document.body.append(kasten);
        }
        kasten.textContent = `${JSON.parse(e.data)}\n\nDie Seite darunter ist der letzte gelungene Bau; das nächste Speichern baut neu.`;
    });
    quelle.addEventListener('ok', () => {
        if (kasten) kasten.remove();
        kasten = null;
    });
})();
