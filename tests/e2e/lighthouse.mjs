// Lighthouse (mobile, simulated throttling) on pages of a served site, with
// Debian's Chromium. Accessibility, best practices and SEO must be 100; the
// card page may lose only the heading-order audit (the card markup's h5
// follows the article's h2, and built sites rely on those bytes).
// Performance is printed, and with --runs N its lowest value over N runs.
//   node lighthouse.mjs [--runs N] <base-url> <page.php> ...
import lighthouse from 'lighthouse';
import * as chromeLauncher from 'chrome-launcher';

const args = process.argv.slice(2);
let runs = 1;
if (args[0] === '--runs') {
    runs = Number(args[1]);
    args.splice(0, 2);
}
const [base, ...pages] = args;
if (!base || pages.length === 0 || !(runs >= 1)) {
    console.error('Aufruf: node lighthouse.mjs [--runs N] <basis-url> <seite.php> ...');
    process.exit(2);
}
const ASSERTED = ['accessibility', 'best-practices', 'seo'];
const ALLOWED = { 'touren.php': ['heading-order'] };

const chrome = await chromeLauncher.launch({
    chromePath: '/usr/bin/chromium',
    chromeFlags: [
        '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
    logLevel: 'silent',
});
const failures = [];
try {
    for (const file of pages) {
        const perf = [];
        for (let i = 0; i < runs; i++) {
            const { lhr } = await lighthouse(`${base}/${file}`, {
                port: chrome.port, logLevel: 'error', output: 'json',
                onlyCategories: ['performance', ...ASSERTED],
            });
            if (lhr.runtimeError) {
                failures.push(`${file}: ${lhr.runtimeError.code} ${lhr.runtimeError.message}`);
                break;
            }
            perf.push(Math.round(lhr.categories.performance.score * 100));
            if (i > 0) continue;
            const m = (id) => lhr.audits[id].displayValue || '';
            const line = [`${file}:`];
            for (const c of ASSERTED) {
                const cat = lhr.categories[c];
                line.push(`${c} ${Math.round(cat.score * 100)}`);
                // Every weighted audit that did not pass costs points.
                const lost = cat.auditRefs.filter((r) => r.weight > 0 && lhr.audits[r.id].score !== null
                    && lhr.audits[r.id].score < 1).map((r) => r.id);
                const bad = lost.filter((id) => !(ALLOWED[file] || []).includes(id));
                if (bad.length || (cat.score < 1 && lost.length === 0)) {
                    failures.push(`${file}: ${c} ${Math.round(cat.score * 100)}, verloren in ${bad.join(', ') || '?'}`);
                }
            }
            line.push(`(FCP ${m('first-contentful-paint')}, LCP ${m('largest-contentful-paint')}, CLS ${m('cumulative-layout-shift')}, TBT ${m('total-blocking-time')})`);
            console.log(line.join(' '));
        }
        if (perf.length) console.log(`${file}: performance ${perf.join(' ')}${runs > 1 ? ` (niedrigster Wert ${Math.min(...perf)})` : ''}`);
    }
} finally {
    await chrome.kill();
}
for (const f of failures) console.log(`FEHLER Lighthouse ${f}`);
process.exit(failures.length ? 1 : 0);
