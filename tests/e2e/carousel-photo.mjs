// Opens a page in headless Chromium and checks that the carousel's first
// slide shows the named image, loaded and at least 100 px wide on screen.
//   node carousel-photo.mjs <url> <img/name.jpg>
import { chromium } from 'playwright-core';

const [url, src] = process.argv.slice(2);
if (!url || !src) {
    console.error('Aufruf: node carousel-photo.mjs <url> <img/name.jpg>');
    process.exit(2);
}
const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
let shown;
try {
    const page = await browser.newPage({ viewport: { width: 412, height: 823 } });
    await page.goto(url, { waitUntil: 'load' });
    shown = await page.$$eval('.carousel-item.active img', (imgs) => imgs.map((i) => ({
        src: i.getAttribute('src'), natural: `${i.naturalWidth}x${i.naturalHeight}`,
        width: Math.round(i.getBoundingClientRect().width), complete: i.complete,
    })));
} finally {
    await browser.close();
}
console.log(`Karussell: ${JSON.stringify(shown)}`);
const ok = shown.length === 1 && shown[0].src === src && shown[0].complete
    && shown[0].natural !== '0x0' && shown[0].width >= 100;
process.exit(ok ? 0 : 1);
