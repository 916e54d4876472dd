// `make serve`: die Vorschau. Ein kleiner Server vor PHPs eingebautem
// Server (php -S), der
//   - den Befehl zum Beobachten (beobachten.sh) startet, der nach jedem
//     Speichern neu baut, und dessen Ausgabe mitliest,
//   - in jede HTML-Seite, die er ausliefert, ein Skript setzt, das über
//     einen WebSocket (/__vorschau/ereignisse) hört, was der letzte Bau
//     geändert hat: eine Seite, deren Ausgabe sich geändert hat, lädt sich neu,
//     geänderter Stil und geänderte Bilder werden ohne Neuladen getauscht, ein
//     fehlgeschlagener Bau erscheint als Meldung über der letzten guten Seite,
//   - einzelne Adressen aus anderen Dateien bedient (--ersatz, für Bootstraps
//     ganzen Stil statt des mit PurgeCSS gekürzten).
// Das Skript kommt nur über diesen Server in den Browser; in $(OUT) landet
// nichts davon. Den WebSocket spricht das npm-Paket ws (package.json).
//
//   node vorschau.mjs --port 8080 --out public [--ersatz /adresse=datei]... -- befehl [argument]...
//
// Strg-C (oder SIGTERM, SIGHUP) beendet PHP und den Befehl; ebenso, wenn der
// Elternprozess (make) verschwindet.
import { spawn, spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import path from 'node:path';
import readline from 'node:readline';
import { fileURLToPath } from 'node:url';
import { WebSocket, WebSocketServer } from 'ws';

const PREFIX = '/__vorschau/';
const BROWSER_SKRIPT = path.join(path.dirname(fileURLToPath(import.meta.url)), 'vorschau-browser.js');
const BILDER = /\.(jpe?g|png|webp|gif|svg|avif)$/i;

function fehler(text) {
    console.log(`Fehler: ${text}`);
    process.exit(1);
}

function argumente(argv) {
    const a = { port: 0, portText: '', out: '', ersatz: new Map(), befehl: [] };
    for (let i = 0; i < argv.length; i++) {
        const wert = () => {
            if (i + 1 >= argv.length) fehler(`vorschau.mjs: ${argv[i]} braucht einen Wert.`);
            return argv[++i];
        };
        if (argv[i] === '--port') { a.portText = wert(); a.port = /^[0-9]+$/.test(a.portText) ? Number(a.portText) : NaN; }
        else if (argv[i] === '--out') a.out = path.resolve(wert());
        else if (argv[i] === '--ersatz') {
            const [adresse, datei] = wert().split(/=(.*)/s);
            if (!adresse.startsWith('/') || !datei) fehler(`vorschau.mjs: --ersatz /adresse=datei, nicht ${argv[i]}.`);
            a.ersatz.set(adresse, path.resolve(datei));
        } else if (argv[i] === '--') { a.befehl = argv.slice(i + 1); break; }
        else fehler(`vorschau.mjs: unbekanntes Argument ${argv[i]}.`);
    }
    if (!Number.isInteger(a.port) || a.port < 1 || a.port > 65535) fehler(`PORT=${a.portText} ist kein Port (eine Zahl von 1 bis 65535).`);
    if (!a.out || a.befehl.length === 0) fehler('Aufruf: node vorschau.mjs --port P --out VERZEICHNIS [--ersatz /adresse=datei]... -- befehl...');
    return a;
}

const arg = argumente(process.argv.slice(2));
const kinder = [];
let endet = false;
function beenden(status) {
    if (endet) return;
    endet = true;
    for (const k of kinder) if (k.exitCode === null && k.signalCode === null) k.kill('SIGTERM');
    // Erst gehen, wenn die Kinder weg sind; wer nach 3 s noch läuft, wird getötet.
    const frist = setTimeout(() => {
        for (const k of kinder) if (k.exitCode === null && k.signalCode === null) k.kill('SIGKILL');
        process.exit(status);
    }, 3000);
    const fertig = () => {
        if (kinder.every((k) => k.exitCode !== null || k.signalCode !== null)) { clearTimeout(frist); process.exit(status); }
    };
    for (const k of kinder) k.once('exit', fertig);
    fertig();
}
process.on('SIGINT', () => beenden(130));
process.on('SIGTERM', () => beenden(143));
process.on('SIGHUP', () => beenden(129));
const eltern = process.ppid;
setInterval(() => { if (process.ppid !== eltern) beenden(1); }, 1000).unref();

// ---- Was der Browser offen hat ------------------------------------------------

// Jeder offene Tab: sein WebSocket, die Adresse seiner Seite, der Hash der
// Seite, wie er sie bekam, und der Bau, auf dessen Stand er ist.
const tabs = new Set();
let bauNr = 0;
let meldung = null; // Text des fehlgeschlagenen Baus, solange der nächste nicht gelingt
const letzteGute = new Map(); // Adresse -> letzte gute HTML-Antwort, für einen Neuladen während eines Fehlers
const geaendertIn = new Map(); // Datei in $(OUT) -> Nummer des Baus, der sie zuletzt geändert hat

// Ein WebSocket und keine Server-Sent Events: die belegen eine der sechs
// Verbindungen, die ein Browser zu einem Server aufmacht, und mit sechs
// offenen Tabs lud der siebte nicht mehr. Nur der Server schreibt.
const wss = new WebSocketServer({ noServer: true });
function senden(tab, ereignis, daten = '') {
    if (tab.ws.readyState === WebSocket.OPEN) tab.ws.send(JSON.stringify({ ereignis, daten }));
}
const hash = (puffer) => crypto.createHash('sha1').update(puffer).digest('hex');

// ---- PHP ---------------------------------------------------------------------

function freierPort() {
    return new Promise((ok, nein) => {
        const s = net.createServer().once('error', nein).listen(0, '127.0.0.1', () => {
            const { port } = s.address();
            s.close(() => ok(port));
        });
    });
}

// Ein Kind, das stirbt, wenn dieser Prozess stirbt, auch durch SIGKILL
// (setpriv aus util-linux; ohne es bleibt nur das Aufräumen in beenden).
const mitSetpriv = spawnSync('setpriv', ['--pdeathsig', 'TERM', '--', 'true']).status === 0;
function kind(befehl, argumente, optionen) {
    const k = mitSetpriv ? spawn('setpriv', ['--pdeathsig', 'TERM', '--', befehl, ...argumente], optionen)
        : spawn(befehl, argumente, optionen);
    kinder.push(k);
    return k;
}

let phpPort = 0;
async function phpStarten() {
    phpPort = await freierPort();
    fs.mkdirSync(arg.out, { recursive: true });
    // -q: ohne eine Zeile für jede Anfrage; Fehler der Seiten kommen weiter.
    // Ohne OPcache: er prüft eine Seite nur alle paar Sekunden und nur auf die
    // volle Sekunde, zeigte also eine eben neu gebaute Seite noch alt.
    const php = kind('php', ['-d', 'opcache.enable=0', '-q', '-S', `127.0.0.1:${phpPort}`, '-t', arg.out],
        { stdio: ['ignore', 'ignore', 'pipe'] });
    // PHPs Startzeile nennt den inneren Port, unter dem die Vorschau fehlt;
    // Warnungen und Fehler der Seiten kommen durch.
    readline.createInterface({ input: php.stderr }).on('line', (zeile) => {
        if (!/Development Server \(http:.*\) started$/.test(zeile)) console.error(zeile);
    });
    php.on('exit', () => { if (!endet) { console.log('Fehler: der PHP-Server ist beendet.'); beenden(1); } });
    for (let i = 0; i < 100; i++) {
        const offen = await new Promise((ok) => {
            const s = net.connect(phpPort, '127.0.0.1', () => { s.end(); ok(true); }).on('error', () => ok(false));
        });
        if (offen) return;
        await new Promise((ok) => setTimeout(ok, 50));
    }
    console.log('Fehler: der PHP-Server startet nicht.');
    beenden(1);
}

// Eine Anfrage an PHP; liefert Status, Kopfzeilen und den ganzen Inhalt.
function vonPhp(methode, adresse, kopf, inhalt) {
    return new Promise((ok, nein) => {
        const anfrage = http.request({ host: '127.0.0.1', port: phpPort, method: methode, path: adresse, headers: kopf, agent: false },
            (antwort) => {
                const teile = [];
                antwort.on('data', (t) => teile.push(t));
                antwort.on('end', () => ok({ status: antwort.statusCode, kopf: antwort.headers, inhalt: Buffer.concat(teile) }));
                antwort.on('error', nein);
            });
        anfrage.on('error', nein);
        if (inhalt) inhalt.pipe(anfrage); else anfrage.end();
    });
}

// ---- Der Server vor PHP ---------------------------------------------------------

function skriptEinsetzen(html, stand) {
    const skript = Buffer.from(`<script src="${PREFIX}neuladen.js" defer data-stand="${stand}" data-bau="${bauNr}"></script>\n`);
    const text = html.toString('latin1');
    const ende = text.lastIndexOf('</body>');
    if (ende < 0) return Buffer.concat([html, skript]);
    return Buffer.concat([html.subarray(0, ende), skript, html.subarray(ende)]);
}

function dateiSenden(antwort, datei, typ) {
    fs.readFile(datei, (err, inhalt) => {
        if (err) { antwort.writeHead(404, { 'content-type': 'text/plain; charset=utf-8' }).end(`Nicht gefunden: ${datei}\n`); return; }
        antwort.writeHead(200, { 'content-type': typ, 'cache-control': 'no-store' }).end(antwort.req.method === 'HEAD' ? '' : inhalt);
    });
}

// Anfragen warten, bis der erste Bau fertig ist: erst dann gibt es die Website.
let ersterBauFertig;
const ersterBauGewartet = new Promise((ok) => { ersterBauFertig = ok; });

// Der Hash der Seite, wie PHP sie jetzt ausgibt; null, wenn PHP nicht antwortet.
async function standHolen(seite) {
    try { return hash((await vonPhp('GET', seite, {})).inhalt); } catch { return null; }
}

// Bringt einen Tab vom Bau tab.bau auf den jetzigen: neu laden, wenn sich die
// Ausgabe seiner Seite geändert hat (was immer sie einbindet), sonst Stil
// und Bilder tauschen, die sich seitdem geändert haben.
function aufStand(tab, stand) {
    if (stand === null || !tabs.has(tab)) return;
    if (stand !== tab.stand) {
        // Der Tab holt sich die Seite selbst und tauscht ihren Text; sein
        // WebSocket bleibt, also gilt sein Stand ab jetzt als dieser.
        tab.stand = stand;
        senden(tab, 'neuladen', stand);
    }
    else {
        const seit = [...geaendertIn].filter(([, nr]) => nr > tab.bau).map(([datei]) => datei);
        if (seit.some((datei) => datei.endsWith('.css'))) senden(tab, 'stil');
        const bilder = seit.filter((datei) => BILDER.test(datei));
        if (bilder.length) senden(tab, 'bilder', bilder);
    }
    tab.bau = bauNr;
    senden(tab, 'bau', bauNr);
}

async function verbinden(req, socket, anfang) {
    await ersterBauGewartet;
    const url = new URL(req.url, 'http://vorschau');
    if (url.pathname !== `${PREFIX}ereignisse`) {
        socket.end('HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n');
        return;
    }
    // ws prüft den Handshake selbst und lehnt einen falschen mit 400 ab.
    const ws = await new Promise((ok) => wss.handleUpgrade(req, socket, anfang, ok));
    const seite = url.searchParams.get('seite') || '/';
    const tab = {
        ws, seite: seite.startsWith('/') ? seite : '/', stand: url.searchParams.get('stand') || '', bau: Number(url.searchParams.get('bau')) || 0,
    };
    tabs.add(tab);
    ws.on('close', () => tabs.delete(tab));
    ws.on('error', () => tabs.delete(tab));
    if (meldung !== null) senden(tab, 'fehler', meldung);
    else {
        senden(tab, 'ok');
        // Während eines Baus geladen oder verbunden: ob die Seite noch stimmt, weiß erst dieser Vergleich.
        if (tab.bau !== bauNr) aufStand(tab, await standHolen(tab.seite));
    }
}

async function anfrage(req, antwort) {
    await ersterBauGewartet;
    const url = new URL(req.url, 'http://vorschau');
    if (url.pathname === `${PREFIX}neuladen.js`) return dateiSenden(antwort, BROWSER_SKRIPT, 'text/javascript; charset=utf-8');
    if ((req.method === 'GET' || req.method === 'HEAD') && arg.ersatz.has(url.pathname)) {
        return dateiSenden(antwort, arg.ersatz.get(url.pathname), 'text/css; charset=utf-8');
    }
    const kopf = { ...req.headers };
    delete kopf['accept-encoding'];
    let r;
    try {
        r = await vonPhp(req.method, req.url, kopf, req);
    } catch {
        antwort.writeHead(502, { 'content-type': 'text/plain; charset=utf-8' }).end('Der PHP-Server antwortet nicht.\n');
        return;
    }
    const html = /^text\/html/i.test(r.kopf['content-type'] || '') && !r.kopf['content-encoding'];
    if (html && r.status === 200 && req.method === 'GET') {
        letzteGute.delete(url.pathname + url.search);
        letzteGute.set(url.pathname + url.search, r);
        // Nur die zuletzt angesehenen Seiten: eine Map behält die Reihenfolge.
        if (letzteGute.size > 100) letzteGute.delete(letzteGute.keys().next().value);
    }
    else if (html && r.status === 404 && meldung !== null && letzteGute.has(url.pathname + url.search)) {
        r = letzteGute.get(url.pathname + url.search);
    }
    const aus = { ...r.kopf, 'cache-control': 'no-store' };
    delete aus['content-length'];
    delete aus['transfer-encoding'];
    delete aus.connection;
    antwort.writeHead(r.status, aus);
    antwort.end(html && req.method !== 'HEAD' ? skriptEinsetzen(r.inhalt, hash(r.inhalt)) : r.inhalt);
}

// ---- Nach jedem Bau -------------------------------------------------------------

// Größe und Zeit jeder Datei in $(OUT): was sich zwischen zwei Bauten ändert.
let bestand = new Map();
function bestandLesen(verzeichnis = arg.out, adresse = '', neu = new Map()) {
    let eintraege = [];
    try { eintraege = fs.readdirSync(verzeichnis, { withFileTypes: true }); } catch { return neu; }
    for (const e of eintraege) {
        if (e.name.startsWith('.')) continue;
        const voll = path.join(verzeichnis, e.name);
        if (e.isDirectory()) bestandLesen(voll, `${adresse}/${e.name}`, neu);
        else {
            try { const s = fs.statSync(voll); neu.set(`${adresse}/${e.name}`, `${s.size}:${s.mtimeMs}`); } catch { /* eben gelöscht */ }
        }
    }
    return neu;
}

async function gebaut() {
    bauNr++;
    const neu = bestandLesen();
    for (const [datei, stand] of neu) if (bestand.get(datei) !== stand) geaendertIn.set(datei, bauNr);
    for (const datei of bestand.keys()) if (!neu.has(datei)) geaendertIn.delete(datei);
    bestand = neu;
    const warFehler = meldung !== null;
    meldung = null;
    // Jede offene Seite einmal bei PHP holen, für alle Tabs, die sie zeigen.
    const staende = new Map();
    for (const tab of tabs) {
        if (!staende.has(tab.seite)) staende.set(tab.seite, await standHolen(tab.seite));
        if (warFehler) senden(tab, 'ok');
        aufStand(tab, staende.get(tab.seite));
    }
}

function fehlgeschlagen(zeilen) {
    bauNr++;
    // Die Meldungen des Programms (Fehler…, Warnung…); ohne sie die von make.
    let text = zeilen.filter((z) => /^(Fehler|Warnung)/.test(z));
    if (text.length <= 1) text = text.concat(zeilen.filter((z) => z.includes('***')));
    meldung = text.join('\n');
    for (const tab of tabs) senden(tab, 'fehler', meldung);
}

// ---- Los ------------------------------------------------------------------------

// Erst der Port (ein belegter meldet sich sofort, nicht erst nach dem
// ersten Bau), dann PHP, dann die Beobachtung, deren erster Bau die Website baut.
const server = http.createServer((req, antwort) => { anfrage(req, antwort).catch(() => antwort.destroy()); });
server.on('upgrade', (req, socket, anfang) => { verbinden(req, socket, anfang).catch(() => socket.destroy()); });
await new Promise((ok) => {
    server.once('error', (err) => {
        if (err.code === 'EADDRINUSE') {
            console.log(`Fehler: der Server konnte nicht starten. Ist Port ${arg.port} belegt? Anderer Port: make serve PORT=${arg.port === 8081 ? 8082 : 8081}`);
        } else console.log(`Fehler: der Server konnte nicht starten (${err.message}).`);
        beenden(1);
    });
    server.listen(arg.port, '127.0.0.1', ok);
});
await phpStarten();

// Der Befehl schreibt Fehler und Ausgabe in eine Leitung, damit die Meldungen
// eines Baus in ihrer Reihenfolge ankommen.
const beobachter = kind('bash', ['-c', 'exec "$0" "$@" 2>&1', ...arg.befehl], { stdio: ['ignore', 'pipe', 'inherit'] });
beobachter.on('exit', (code) => { if (!endet) beenden(code || 1); });

let zeilen = [];
let ersterBau = true;
let kette = Promise.resolve();
const melden = (err) => console.log(`Fehler: die Vorschau kommt nicht mit (${err.message}).`);
function nachDemBau(schritt) {
    kette = kette.then(schritt).catch(melden).then(() => {
        if (!ersterBau) return;
        ersterBau = false;
        ersterBauFertig();
        console.log(`Die Website läuft unter http://127.0.0.1:${arg.port}/ (beenden mit Strg-C); jede gespeicherte Änderung erscheint im Browser.`);
    });
}
readline.createInterface({ input: beobachter.stdout }).on('line', (zeile) => {
    console.log(zeile);
    if (zeile.startsWith('Website aktuell')) {
        zeilen = [];
        nachDemBau(gebaut);
    } else if (zeile.startsWith('Fehler: der Bau ist fehlgeschlagen')) {
        const nach = zeilen.concat(zeile);
        zeilen = [];
        nachDemBau(() => fehlgeschlagen(nach));
    // Mehr als eine Seite Meldungen zeigt der Browser nicht.
    } else if (zeilen.push(zeile) > 500) zeilen.shift();
});
