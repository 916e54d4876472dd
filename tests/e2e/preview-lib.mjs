// What the preview test (preview.mjs) and the latency benchmark
// (bench/preview.mjs) share: start the site template's `make serve` in its
// own process group, drive Debian's Chromium over the DevTools protocol, wait
// for something to show up in a page's DOM, stop the group with SIGINT as
// Ctrl-C does.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

export const sleep = (ms) => new Promise((ok) => setTimeout(ok, ms));

export function freePort() {
    return new Promise((ok, fail) => {
        const s = net.createServer().once('error', fail).listen(0, '127.0.0.1', () => {
            const { port } = s.address();
            s.close(() => ok(port));
        });
    });
}

// `make serve` as its own process group (detached: setsid), with SIGINT at
// its default disposition, so that a SIGINT to the group is Ctrl-C.
export async function startServe(siteDir, makeArgs, logFile, timeoutMs = 180000) {
    const port = await freePort();
    const log = fs.openSync(logFile, 'w');
    const child = spawn('make', ['--no-print-directory', '-C', siteDir, 'serve', `PORT=${port}`, ...makeArgs],
        { detached: true, stdio: ['ignore', log, log] });
    fs.closeSync(log);
    const url = `http://127.0.0.1:${port}/`;
    const end = Date.now() + timeoutMs;
    while (!fs.readFileSync(logFile, 'utf8').includes(url)) {
        if (child.exitCode !== null || Date.now() > end) {
            throw new Error(`make serve did not come up:\n${fs.readFileSync(logFile, 'utf8')}`);
        }
        await sleep(50);
    }
    return { child, url, group: child.pid };
}

const groupAlive = (pgid) => {
    try { process.kill(-pgid, 0); return true; } catch { return false; }
};

// Ctrl-C: SIGINT to the whole group. True when every process of it has gone
// within timeoutMs.
export async function interrupt(serve, timeoutMs = 5000) {
    try { process.kill(-serve.group, 'SIGINT'); } catch { return true; }
    const end = Date.now() + timeoutMs;
    while (groupAlive(serve.group)) {
        if (Date.now() > end) return false;
        await sleep(50);
    }
    return true;
}

// Kills what is left of the group (after a failed test).
export function killGroup(serve) {
    if (serve && groupAlive(serve.group)) process.kill(-serve.group, 'SIGKILL');
}

export async function launchBrowser() {
    const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'qb-preview-chromium-'));
    const context = await chromium.launchPersistentContext(userDataDir, {
        executablePath: '/usr/bin/chromium',
        headless: true,
        args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-quic',
            '--no-first-run', '--disable-component-update', '--disable-sync'],
    });
    return {
        context,
        close: async () => { await context.close(); fs.rmSync(userDataDir, { recursive: true, force: true }); },
    };
}

// Polls fn(arg) in the page until it returns true; the page may reload in
// between (its context then goes away for a moment). Returns the
// milliseconds it took, or -1 after timeoutMs.
export async function waitInPage(page, fn, arg, timeoutMs = 5000, since = Date.now()) {
    const end = since + timeoutMs;
    for (;;) {
        try {
            if (await page.evaluate(fn, arg)) return Date.now() - since;
        } catch { /* navigating */ }
        if (Date.now() > end) return -1;
        await sleep(5);
    }
}

export const hasText = (text) => document.body !== null && document.body.innerText.includes(text)
    && document.getElementById('vorschau-meldung') === null;
