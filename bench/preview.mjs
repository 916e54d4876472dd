// Save-to-DOM latency of the site template's `make serve`: a page open in
// headless Chromium, the article saved SAVES times (default 20) with a new
// line each time, the time from the write until the line is in the page's
// DOM. Prints median and maximum. Not a test: it asserts nothing but that
// every save arrives within 10 s. Called by bench/preview.sh.
//   node bench/preview.mjs <template copy> <out dir> <quennelbrook> [SAVES]
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { hasText, interrupt, killGroup, launchBrowser, sleep, startServe, waitInPage } from '../tests/e2e/preview-lib.mjs';

const [src, out, qb, n = '20'] = process.argv.slice(2);
const saves = Number(n);
const article = path.join(src, 'artikel/hoher-kopf.md');
const text = fs.readFileSync(article, 'utf8');
let serve = null;
let browser = null;
const times = [];
try {
    serve = await startServe(src, [`QB=${qb}`, `OUT=${out}`], path.join(src, '..', 'serve.log'));
    browser = await launchBrowser();
    const page = await browser.context.newPage();
    await page.goto(`${serve.url}hoher-kopf.php`);
    for (let i = 1; i <= saves; i++) {
        // An author does not save twice within a build; neither does this.
        await sleep(300);
        const t0 = Date.now();
        fs.writeFileSync(article, `${text}\nMesspunkt ${i}.\n`);
        const ms = await waitInPage(page, hasText, `Messpunkt ${i}.`, 10000, t0);
        if (ms < 0) throw new Error(`Speichern ${i}: nach 10 s nicht im Browser`);
        times.push(ms);
    }
} finally {
    if (browser) await browser.close();
    if (serve && !(await interrupt(serve))) killGroup(serve);
}
const sorted = [...times].sort((a, b) => a - b);
const median = sorted.length % 2 ? sorted[(sorted.length - 1) / 2] : (sorted[sorted.length / 2 - 1] + sorted[sorted.length / 2]) / 2;
console.log(`Last danach: ${os.loadavg().map((l) => l.toFixed(2)).join(' ')}`);
console.log(`Speichern bis DOM, ${times.length} Mal: Median ${median} ms, Maximum ${sorted.at(-1)} ms`);
console.log(`alle (ms): ${times.join(' ')}`);
