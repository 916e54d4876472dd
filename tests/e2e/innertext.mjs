// The titles a news page's feed must have: for each entry, in the page's
// order, the text Debian's Chromium shows for its first heading (innerText,
// white space and no-break spaces run together), cut at 1,024 bytes between
// characters as the feed cuts it; an empty line for an entry without one.
// Usage: node innertext.mjs <news page>
import fs from 'node:fs';
import { chromium } from 'playwright-core';

const page = fs.readFileSync(process.argv[2], 'utf8');
const opener = '<div class="container">';
const parts = page.slice(page.indexOf(opener), page.lastIndexOf('<?php')).split(opener).slice(1);
const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync'],
});
try {
    const tab = await browser.newPage();
    await tab.setContent('<!DOCTYPE html><html lang="de"><head><meta charset="utf-8"></head><body></body></html>');
    const texts = await tab.evaluate((entries) => entries.map((html) => {
        document.body.innerHTML = html;
        const h = document.querySelector('h1, h2, h3, h4, h5, h6');
        return h ? h.innerText.replace(/[ \t\n\r\f\u00a0]+/g, ' ').trim() : '';
    }), parts);
    const cut = (text) => {
        let out = '';
        for (const ch of text) {
            if (Buffer.byteLength(out + ch) > 1024) break;
            out += ch;
        }
        return out;
    };
    console.log(texts.map(cut).join('\n'));
} finally {
    await browser.close();
}
