// The author's live preview, as the author uses it: `make serve` in a copy of
// the site template, two pages open in headless Chromium, and files saved on
// disk. Each step must show in the open page within 5 s, with no navigation
// by the test: a saved article, a saved style and photo (without a reload), a new
// title (with one), a broken
// menu file and a Markdown file above the size limit (their message over the
// page) and their repair, and a save seen in the ninth open tab. A page
// whose output did not change must not reload. No built file may carry the preview's script. Ctrl-C stops every
// process of `make serve`; then `make` leaves the site byte for byte as a
// clean build of the same sources.
//   node preview.mjs <template copy> <out dir> <quennelbrook>
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { hasText, interrupt, killGroup, launchBrowser, startServe, waitInPage } from './preview-lib.mjs';

const [src, out, qb] = process.argv.slice(2);
if (!src || !out || !qb) {
    console.error('Aufruf: node preview.mjs <Vorlage> <Ausgabe> <quennelbrook>');
    process.exit(2);
}
const make = [`QB=${qb}`, `OUT=${out}`];
const failures = [];
const at = (file) => path.join(src, file);
const original = (file) => fs.readFileSync(at(file), 'utf8');
const menu = original('menue.txt');
const article = original('artikel/hoher-kopf.md');

const overlay = (text) => {
    const box = document.getElementById('vorschau-meldung');
    return box !== null && box.textContent.includes(text) && document.body.innerText.includes('Hohen Kopf');
};
const styled = (colour) => getComputedStyle(document.body).outlineColor === colour && window.notReloaded === true;
const swapped = (name) => window.notReloaded === true
    && [...document.images].some((i) => i.src.includes(name) && i.src.includes('vorschau=') && i.complete && i.naturalWidth > 0);

const retitled = (title) => document.title === title && document.body.innerText.includes('Wegmarke 5004') && window.notReloaded === undefined;

// Each step: what is saved, and what the open page must then show.
const steps = [
    ['Artikel gespeichert', () => fs.appendFileSync(at('artikel/hoher-kopf.md'), '\nWegmarke 5001.\n'), hasText, 'Wegmarke 5001'],
    ['Stil gespeichert', () => fs.appendFileSync(at('assets/css/site.css'), '\nbody { outline: 3px solid rgb(1, 2, 3); }\n'),
        styled, 'rgb(1, 2, 3)'],
    ['Foto gespeichert', () => fs.copyFileSync(at('img/see.jpg'), at('img/berg.jpg')), swapped, 'img/berg.jpg'],
    ['Menüdatei kaputt', () => fs.appendFileSync(at('menue.txt'), 'img/see.jpg|seenrunde.php\n'), overlay, 'Fehler in Menüdatei'],
    ['Menüdatei repariert', () => fs.writeFileSync(at('menue.txt'), menu), hasText, 'Wegmarke 5001'],
    ['Artikel zu groß', () => fs.writeFileSync(at('artikel/hoher-kopf.md'), 'x'.repeat(17 << 20)), overlay, 'ist größer als'],
    ['Artikel repariert', () => fs.writeFileSync(at('artikel/hoher-kopf.md'), `${article}\nWegmarke 5002.\n`), hasText, 'Wegmarke 5002'],
    // A new <title> is more than the text: the page loads anew.
    ['Titel geändert', () => fs.writeFileSync(at('artikel/hoher-kopf.md'), `${article.replace('titel: Auf den', 'titel: Hinauf auf den')}\nWegmarke 5004.\n`),
        retitled, 'Hinauf auf den Hohen Kopf'],
];

let serve = null;
let browser = null;
// A hanging step must not hang the whole e2e run.
setTimeout(() => {
    console.log('FEHLER make serve: die Prüfung ist nach 5 Minuten nicht fertig');
    killGroup(serve);
    process.exit(1);
}, 300000).unref();
try {
    serve = await startServe(src, make, path.join(src, '..', 'serve.log'));
    browser = await launchBrowser();
    const page = await browser.context.newPage();
    const other = await browser.context.newPage();
    await page.goto(`${serve.url}hoher-kopf.php`);
    await other.goto(`${serve.url}termine.php`);
    await other.evaluate(() => { window.notReloaded = true; });

    for (const [name, save, check, arg] of steps) {
        await page.evaluate(() => { window.notReloaded = true; });
        const t0 = Date.now();
        save();
        const ms = await waitInPage(page, check, arg, 5000, t0);
        if (ms < 0) failures.push(`${name}: nach 5 s zeigt die Seite nicht ${JSON.stringify(arg)}`);
        else console.log(`ok (${ms} ms): ${name}`);
    }
    // More tabs than a browser opens connections to one server (6): each
    // must still load and follow its saves.
    const tabs = [];
    for (let i = 0; i < 7; i++) {
        tabs.push(await browser.context.newPage());
        await tabs[i].goto(`${serve.url}seenrunde.php`, { timeout: 5000 });
    }
    const t0 = Date.now();
    fs.appendFileSync(at('artikel/seenrunde.md'), '\nWegmarke 5003.\n');
    if (await waitInPage(tabs[6], hasText, 'Wegmarke 5003', 5000, t0) < 0) failures.push('der neunte Tab zeigt das Speichern nicht');
    else console.log(`ok (${Date.now() - t0} ms): neun Tabs`);
    if (!(await other.evaluate(() => window.notReloaded === true))) {
        failures.push('termine.php hat neu geladen, obwohl sich seine Ausgabe nicht geändert hat');
    }

    const carriers = spawnSync('grep', ['-rl', '__vorschau', out], { encoding: 'utf8' }).stdout.trim();
    if (carriers) failures.push(`das Skript der Vorschau steht in ${carriers}`);

    await browser.close();
    browser = null;
    if (!(await interrupt(serve))) failures.push('Strg-C: Prozesse von make serve laufen nach 5 s weiter');
    // Also those that left the process group: php and make name the site.
    const quoted = out.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
    const left = spawnSync('pgrep', ['-a', '-f', `(-t |OUT=)${quoted}( |$)`], { encoding: 'utf8' }).stdout.trim();
    if (left) {
        failures.push(`Strg-C: es läuft noch ${left}`);
        for (const line of left.split('\n')) process.kill(Number(line.split(' ')[0]), 'SIGKILL');
    }
    const purged = path.join(out, 'assets/vendor/bootstrap.min.css');
    if (fs.existsSync(purged) && fs.readFileSync(purged).equals(fs.readFileSync(at('node_modules/bootstrap/dist/css/bootstrap.min.css')))) {
        failures.push('Bootstraps ungekürzter Stil liegt in der Website');
    }
} catch (err) {
    failures.push(String(err.stack || err));
} finally {
    if (browser) await browser.close();
    killGroup(serve);
}

// After the preview, a plain make: the same site as a clean build.
const clean = `${out}-sauber`;
fs.rmSync(clean, { recursive: true, force: true });
for (const dir of [out, clean]) {
    const r = spawnSync('make', ['--no-print-directory', '-s', '-C', src, `QB=${qb}`, `OUT=${dir}`], { encoding: 'utf8' });
    if (r.status !== 0) failures.push(`make OUT=${dir}: ${r.stdout}${r.stderr}`);
}
const diff = spawnSync('diff', ['-r', '-x', '.quennelbrook', out, clean], { encoding: 'utf8' });
if (diff.status !== 0) failures.push(`nach make serve und make nicht wie ein sauberer Bau:\n${diff.stdout.slice(0, 2000)}`);

if (failures.length) {
    for (const f of failures) console.log(`FEHLER ${f}`);
    process.exit(1);
}
console.log('make serve: alles in Ordnung');
