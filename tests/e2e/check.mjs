// Loads every page of the built example sites in headless Chromium and checks
// what a reader would see. Called by run.sh:
//   node check.mjs <examples/site dir> <screenshot dir> <name>=<url>=<site dir> ...
// The first site named "pandoc" provides the screenshots.
import { chromium } from 'playwright-core';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const [exampleDir, shotDir, ...siteArgs] = process.argv.slice(2);
if (!exampleDir || !shotDir || siteArgs.length === 0) {
    console.error('Aufruf: node check.mjs <examples/site> <screenshot-dir> <name>=<url>=<site-dir> ...');
    process.exit(2);
}

// What the example Makefile promises, written down independently of it.
// links: the navigation block quennelbrook writes from -i/-w/-z, in its order.
const PAGES = {
    'index.php': { title: 'Wanderfreunde Eichenau', carousel: true, links: ['Weiter'], fluid: 1, seo: true },
    'touren.php': { title: 'Unsere Touren', menu: true, links: ['Zurück'] },
    'hoher-kopf.php': { title: 'Auf den Hohen Kopf', links: ['Inhalt', 'Weiter', 'Zurück'], fluid: 1, widths: ['60%'], zitat: 1 },
    'seenrunde.php': { title: 'Die Seenrunde', links: ['Inhalt', 'Zurück'], widths: ['75%'], download: 'dateien/seenrunde.gpx', table: true },
    'termine.php': { title: 'Termine', links: ['Inhalt'], table: true },
    'neuigkeiten.php': { title: 'Tarnido 2020 News', sections: ['Neue Winterrunde', 'Herbstwanderung mit Rekord'], fluid: 1, zitat: 1 },
    'verein.php': { title: 'Tarnido 2020 News', sections: ['Der Verein', 'Kontakt'], fluid: 1 },
};
const ICON = { Inhalt: 'icon-map', Weiter: 'icon-arrow-right-circle', 'Zurück': 'icon-arrow-left-circle' };

// The cards a menu file defines: card lines outside comment blocks.
function countCards(file) {
    let inComment = false;
    let cards = 0;
    for (const line of fs.readFileSync(file, 'utf8').split('\n')) {
        if (inComment) {
            if (line.startsWith('*/')) inComment = false;
            continue;
        }
        if (line.startsWith('/*')) { inComment = true; continue; }
        if (/^(## |~~|!\[|\[)/.test(line)) continue;
        if (line.includes('|')) cards++;
    }
    return cards;
}
function imageNames(file) {
    return fs.readFileSync(file, 'utf8').split('\n').filter((l) => l.length >= 2);
}
function seoValue(file, key) {
    const line = fs.readFileSync(file, 'utf8').split('\n').find((l) => l.startsWith(key + ':'));
    return line ? line.slice(key.length + 1) : '';
}

const expectedCards = countCards(path.join(exampleDir, 'menue.txt'));
const expectedSlides = imageNames(path.join(exampleDir, 'startbilder.txt')).length;
const expectedDescription = seoValue(path.join(exampleDir, 'seo.txt'), 'description');

const failures = [];
let checks = 0;
function expect(ok, where, what) {
    checks++;
    if (!ok) failures.push(`${where}: ${what}`);
}

const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'qb-e2e-chromium-'));
const context = await chromium.launchPersistentContext(userDataDir, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: [
        '--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
        '--disable-quic', '--no-first-run', '--disable-component-update', '--disable-sync',
    ],
    viewport: { width: 1100, height: 850 },
    locale: 'de-DE',
});

try {
    for (const arg of siteArgs) {
        const [name, base, siteDir] = arg.split('=');
        const built = fs.readdirSync(siteDir).filter((f) => f.endsWith('.php')).sort();
        expect(JSON.stringify(built) === JSON.stringify(Object.keys(PAGES).sort()), name,
            `Seiten im Verzeichnis ${JSON.stringify(built)} statt ${JSON.stringify(Object.keys(PAGES).sort())}`);
        for (const [file, want] of Object.entries(PAGES)) {
            const where = `${name}/${file}`;
            const page = await context.newPage();
            const problems = [];
            page.on('console', (m) => { if (m.type() === 'error') problems.push(`Konsole: ${m.text()}`); });
            page.on('pageerror', (e) => problems.push(`Skriptfehler: ${e.message}`));
            page.on('requestfailed', (r) => problems.push(`Laden fehlgeschlagen: ${r.url()}`));
            page.on('response', (r) => { if (r.status() >= 400) problems.push(`HTTP ${r.status()}: ${r.url()}`); });
            // Only the local server: a page that reaches for a CDN fails here.
            await page.route('**/*', (route) => {
                const u = new URL(route.request().url());
                if (u.protocol === 'data:' || u.origin === new URL(base).origin) return route.continue();
                problems.push(`Zugriff nach außen: ${u.href}`);
                return route.abort();
            });

            const resp = await page.goto(`${base}/${file}`, { waitUntil: 'load' });
            expect(resp && resp.status() === 200, where, `HTTP-Status ${resp && resp.status()}`);
            expect((await page.title()) === want.title, where, `Titel "${await page.title()}" statt "${want.title}"`);

            // The carousel moves on by itself after five seconds: look at it first.
            if (want.carousel) {
                const c = await page.$$eval('.carousel .carousel-item', (els) => els.map((e) => {
                    const img = e.querySelector('img');
                    const r = img.getBoundingClientRect();
                    return { active: e.classList.contains('active'), shown: r.width > 100 && r.height > 50 };
                }));
                expect(c.length === expectedSlides, where, `${c.length} Bilder im Karussell statt ${expectedSlides}`);
                expect(c.length > 0 && c[0].active && c[0].shown && c.filter((s) => s.active).length === 1, where,
                    `erstes Bild nicht sichtbar: ${JSON.stringify(c)}`);
                // The control labels are for screen readers only: at most one
                // clipped pixel on screen.
                const labels = await page.$$eval('.carousel span', (els) => els
                    .filter((s) => /Previous|Next/.test(s.textContent))
                    .map((s) => {
                        const r = s.getBoundingClientRect();
                        return { text: s.textContent, area: r.width * r.height };
                    }));
                expect(labels.length === 2 && labels.every((l) => l.area <= 1), where,
                    `sichtbare Beschriftung im Karussell: ${JSON.stringify(labels)}`);
                // Bootstrap's script runs: the next control moves one slide on
                // (hovering pauses the automatic cycling).
                if (c.length > 1) {
                    await page.hover('.carousel');
                    const from = await page.$$eval('.carousel-item', (els) => els.findIndex((e) => e.classList.contains('active')));
                    await page.click('.carousel-control-next');
                    const to = (from + 1) % c.length;
                    const moved = await page.waitForSelector(`.carousel-item:nth-child(${to + 1}).active`, { timeout: 5000 })
                        .then(() => true, () => false);
                    expect(moved, where, `Weiter-Pfeil des Karussells wechselt nicht von Bild ${from + 1} zu ${to + 1}`);
                }
            }
            // Every image is loaded; article images are responsive, or carry
            // the width the author asked for.
            const imgs = await page.$$eval('img', (els) => els.map((e) => ({
                src: e.getAttribute('src'), ok: e.complete && e.naturalWidth > 0,
                inArticle: !!e.closest('.jumbotron'), cls: e.getAttribute('class') || '',
                width: e.style.width,
            })));
            for (const i of imgs) expect(i.ok, where, `Bild ${i.src} nicht geladen`);
            const article = imgs.filter((i) => i.inArticle);
            for (const i of article) {
                expect(i.cls === 'img-fluid' || (i.width !== '' && i.cls === ''), where,
                    `Bild ${i.src}: class="${i.cls}" width="${i.width}"`);
            }
            expect(article.filter((i) => i.cls === 'img-fluid').length === (want.fluid || 0), where,
                `${article.filter((i) => i.cls === 'img-fluid').length} Bilder mit img-fluid statt ${want.fluid || 0}`);
            expect(JSON.stringify(article.filter((i) => i.width).map((i) => i.width)) === JSON.stringify(want.widths || []),
                where, `Bildbreiten ${JSON.stringify(article.filter((i) => i.width).map((i) => i.width))}`);

            // Navigation links: every link in the article that says Inhalt,
            // Weiter or Zurück shows exactly one icon of its kind, drawn.
            const navs = await page.$$eval('.jumbotron a', (els) => els.map((a) => {
                const spans = [...a.querySelectorAll('span')];
                return {
                    text: a.textContent.replace(/\u00a0/g, ' ').trim(),
                    icons: spans.map((s) => s.className),
                    drawn: spans.every((s) => {
                        const r = s.getBoundingClientRect();
                        const b = getComputedStyle(s, '::before');
                        return r.width > 4 && r.height > 4 && b.content !== 'none'
                            && (b.maskImage || b.webkitMaskImage || 'none') !== 'none';
                    }),
                };
            }));
            for (const n of navs) {
                const word = ['Inhalt', 'Weiter', 'Zurück'].find((w) => n.text.toLowerCase().includes(w.toLowerCase()));
                if (!word) continue;
                expect(n.icons.length === 1 && n.icons[0] === ICON[word] && n.drawn, where,
                    `Link "${n.text}": Symbole ${JSON.stringify(n.icons)}${n.drawn ? '' : ' (nicht gezeichnet)'}`);
            }
            const block = navs.filter((n) => ['Inhalt', 'Weiter', 'Zurück'].includes(n.text)).map((n) => n.text);
            expect(JSON.stringify(block) === JSON.stringify(want.links || []), where,
                `Navigationslinks ${JSON.stringify(block)} statt ${JSON.stringify(want.links || [])}`);

            // Headings: pandoc gives them ids, so quennelbrook classes them,
            // the first of each fragment h2_top, the others h2_mid;
            // remarkable writes them without id, and they stay as they are.
            const heads = await page.$$eval('.jumbotron', (secs) => secs.map((sec) =>
                [...sec.querySelectorAll('h2')].map((h) => h.getAttribute('class'))));
            for (const classes of heads) {
                const want2 = classes.map((_, k) => (name === 'remarkable' ? null : k === 0 ? 'h2_top' : 'h2_mid'));
                expect(JSON.stringify(classes) === JSON.stringify(want2), where,
                    `Überschriften-Klassen ${JSON.stringify(classes)} statt ${JSON.stringify(want2)}`);
            }
            if (want.zitat) {
                const z = await page.$$eval('blockquote + p.zitat', (els) => els.length);
                expect(z === want.zitat, where, `${z} Absätze mit class zitat nach einem Zitat`);
            }
            if (want.table) {
                expect(await page.$$eval('.jumbotron table.table', (els) => els.length) === 1, where,
                    'Tabelle ohne class="table" (Option -d)');
            }
            if (want.download) {
                const d = await page.$$eval('a[download]', (els) => els.map((a) => a.getAttribute('href')));
                expect(JSON.stringify(d) === JSON.stringify([want.download]), where, `Download-Links ${JSON.stringify(d)}`);
                const r = await page.request.get(`${base}/${want.download}`);
                expect(r.status() === 200, where, `Download ${want.download}: HTTP ${r.status()}`);
            }
            if (want.seo) {
                const desc = await page.$eval('meta[name="description"]', (m) => m.content).catch(() => null);
                expect(desc === expectedDescription, where, `meta description "${desc}"`);
            }
            if (want.sections) {
                const heads = await page.$$eval('.jumbotron', (els) => els.map((e) => (e.querySelector('h2') || {}).textContent));
                expect(JSON.stringify(heads) === JSON.stringify(want.sections), where,
                    `Abschnitte ${JSON.stringify(heads)} statt ${JSON.stringify(want.sections)}`);
                const stamps = await page.$$eval('.jumbotron small', (els) => els.map((e) => e.textContent));
                expect(stamps.length === want.sections.length && stamps.every((s) => s.startsWith('veröffentlicht: ')),
                    where, `Veröffentlichungsvermerke ${JSON.stringify(stamps)}`);
            }

            if (want.menu) {
                const cards = await page.$$eval('.card', (els) => els.length);
                expect(cards === expectedCards, where, `${cards} Karten statt ${expectedCards} aus menue.txt`);
            }

            for (const p of problems) expect(false, where, p);
            if (name === 'pandoc' && (file === 'hoher-kopf.php' || file === 'touren.php')) {
                fs.mkdirSync(shotDir, { recursive: true });
                const shot = path.join(shotDir, file === 'touren.php' ? 'menue-seite.png' : 'artikel-seite.png');
                await page.screenshot({ path: shot, fullPage: true });
            }
            await page.close();
        }
    }
} finally {
    await context.close();
    fs.rmSync(userDataDir, { recursive: true, force: true });
}

for (const f of failures) console.log(`FEHLER ${f}`);
console.log(`Browser: ${checks - failures.length} passed, ${failures.length} failed`);
process.exit(failures.length ? 1 : 0);
