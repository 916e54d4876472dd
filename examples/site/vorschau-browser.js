// Kommt nur über `make serve` (vorschau.mjs) in die Seite, nie nach $(OUT):
// hört über einen WebSocket auf die Vorschau. neuladen: die Ausgabe dieser
// Seite hat sich geändert; ist nur ihr <body> anders (ein gespeicherter
// Artikel), wird er gegen den neuen getauscht, sonst lädt sie neu. stil: ein
// Stil hat sich geändert, er wird ohne Neuladen getauscht. bilder: diese
// Bilder haben sich geändert. fehler: der Bau ist fehlgeschlagen, seine
// Meldung steht über der Seite, bis ok kommt. bau: die Seite ist auf dem
// Stand dieses Baus (für ein neues Verbinden).
(() => {
    const skript = document.currentScript;
    const seite = location.pathname + location.search;
    let { stand, bau } = skript.dataset;
    const frisch = (adresse) => {
        const url = new URL(adresse, location.href);
        url.searchParams.set('vorschau', Date.now());
        return url.href;
    };
    let kasten = null;

    // Nur der <body> wird getauscht: Stil, Skripte und Bilder bleiben geladen,
    // der neue Text steht da, ohne dass die Seite neu lädt, und die Stelle,
    // an der der Autor liest, bleibt. Das geht, solange <head>, die Attribute
    // von <html> und die Skripte gleich sind und kein Skript im Text der
    // Seite steht (es liefe nicht noch einmal); sonst lädt die Seite neu.
    const eigenes = (s) => (s.getAttribute('src') || '').startsWith('/__vorschau/');
    const istCode = (s) => /^(|module|text\/javascript|application\/javascript|text\/ecmascript)$/.test((s.getAttribute('type') || '').trim().toLowerCase());
    const gleich = (doc) => [
        doc.head.innerHTML,
        doc.documentElement.getAttributeNames().map((n) => `${n}=${doc.documentElement.getAttribute(n)}`).join(' '),
        [...doc.querySelectorAll('script')].filter((s) => !eigenes(s)).map((s) => s.outerHTML).join('\n'),
    ].join('\0');
    const tauschbar = (doc) => ![...doc.querySelectorAll('script')].some((s) => !eigenes(s) && istCode(s) && !s.hasAttribute('src'));
    let bisher = gleich(document);
    const tauschen = async (neuerStand) => {
        const antwort = await fetch(location.href, { cache: 'no-store', credentials: 'same-origin' });
        if (!antwort.ok || !/^text\/html/i.test(antwort.headers.get('content-type') || '')) throw new Error('keine Seite');
        const text = new TextDecoder(document.characterSet).decode(await antwort.arrayBuffer());
        const neu = new DOMParser().parseFromString(text, 'text/html');
        if (!tauschbar(document) || !tauschbar(neu) || gleich(neu) !== bisher) throw new Error('mehr als der Text');
        document.body.replaceWith(document.adoptNode(neu.body));
        kasten = null;
        stand = neuerStand || stand;
        // Was Skripte beim Laden mit der Seite tun (Bootstraps Karussells
        // laufen los), tun sie mit dem neuen Text noch einmal.
        document.dispatchEvent(new Event('DOMContentLoaded', { bubbles: true }));
        window.dispatchEvent(new Event('load'));
    };
    let getauscht = Promise.resolve();

    const tun = {
        neuladen: (neuerStand) => {
            getauscht = getauscht.then(() => tauschen(neuerStand)).catch(() => location.reload());
        },
        bau: (nr) => { bau = nr; },
        stil: () => {
            for (const alt of document.querySelectorAll('link[rel="stylesheet"]')) {
                if (new URL(alt.href).origin !== location.origin) continue;
                // Den alten Stil erst entfernen, wenn der neue geladen ist: sonst
                // flackert die Seite ohne Stil.
                const neu = alt.cloneNode();
                neu.href = frisch(alt.href);
                neu.onload = neu.onerror = () => alt.remove();
                alt.after(neu);
            }
        },
        bilder: (liste) => {
            const pfade = new Set(liste);
            for (const bild of document.images) {
                const url = new URL(bild.src, location.href);
                if (url.origin === location.origin && pfade.has(decodeURIComponent(url.pathname))) bild.src = frisch(bild.src);
            }
        },
        fehler: (text) => {
            if (!kasten) {
                kasten = document.createElement('div');
                kasten.id = 'vorschau-meldung';
                kasten.setAttribute('role', 'alert');
                kasten.style.cssText = 'position:fixed;z-index:2147483647;left:0;right:0;top:0;max-height:60vh;overflow:auto;'
                    + 'margin:0;padding:1em 1.5em;background:#8b0000;color:#fff;font:15px/1.5 monospace;white-space:pre-wrap;'
                    + 'box-shadow:0 2px 12px rgba(0,0,0,.5)';
                document.body.append(kasten);
            }
            kasten.textContent = `${text}\n\nDie Seite darunter ist der letzte gelungene Bau; das nächste Speichern baut neu.`;
        },
        ok: () => {
            if (kasten) kasten.remove();
            kasten = null;
        },
    };

    // Ist der Server weg (make serve beendet, neu gestartet), versucht es
    // der Tab alle 0,5 s wieder.
    const verbinden = () => {
        const frage = new URLSearchParams({ seite, stand, bau });
        const ws = new WebSocket(`${location.protocol === 'https:' ? 'wss' : 'ws'}://${location.host}/__vorschau/ereignisse?${frage}`);
        ws.onmessage = (e) => {
            const { ereignis, daten } = JSON.parse(e.data);
            if (Object.hasOwn(tun, ereignis)) tun[ereignis](daten);
        };
        ws.onclose = () => setTimeout(verbinden, 500);
    };
    verbinden();
})();
