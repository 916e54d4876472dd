#!/usr/bin/env node
// remarkable mit deutschen Anführungszeichen: `make RENDER=remarkable` ruft
// dieses Skript statt remarkables eigenem Befehl, denn dessen Kommandozeile
// kennt keine Einstellung für die Anführungszeichen. Sonst dieselben
// Einstellungen wie der Befehl (alle Regeln, HTML erlaubt, <img ... />,
// Typografie, nackte Adressen als Links).
//   node remarkable.cjs artikel.md > artikel.html   (ohne Datei: Standardeingabe)
'use strict';
const fs = require('fs');
const { Remarkable } = require('remarkable');
const { linkify } = require('remarkable/linkify');

const args = process.argv.slice(2);
if (args.length > 1) {
    console.error('Aufruf: node remarkable.cjs [artikel.md]');
    process.exit(2);
}
let input;
try {
    input = fs.readFileSync(args.length ? args[0] : 0, 'utf8');
} catch (e) {
    console.error(`Fehler: ${args[0] || 'Standardeingabe'} lässt sich nicht lesen: ${e.message}`);
    process.exit(1);
}
// remarkables eigene Regel sieht nur Leerzeichen, Striche und Klammern als
// Wortgrenze: in '"Hallo", sagte sie' bleiben die Zeichen gerade. Dieselbe
// Regel, aber jedes Zeichen, das kein Buchstabe und keine Ziffer ist, ist eine
// Grenze. Code steht nicht in Text-Token und bleibt, wie er ist.
const WORT = /[\p{L}\p{N}]/u;
const LEER = /^\s?$/u;
function anfuehrungszeichen(state) {
    const [auf2, zu2, auf1, zu1] = state.options.quotes;
    for (const block of state.tokens) {
        if (block.type !== 'inline') continue;
        const tokens = block.children;
        const offen = [];
        for (let i = 0; i < tokens.length; i++) {
            const token = tokens[i];
            if (token.type !== 'text' || !/['"]/.test(token.content)) continue;
            while (offen.length && offen[offen.length - 1].level > token.level) offen.pop();
            for (let k = 0; k < token.content.length; k++) {
                const c = token.content[k];
                if (c !== '"' && c !== "'") continue;
                const einfach = c === "'";
                const vor = k > 0 ? token.content[k - 1] : nachbar(tokens[i - 1], true);
                const nach = k + 1 < token.content.length ? token.content[k + 1] : nachbar(tokens[i + 1], false);
                if (einfach && WORT.test(vor) && WORT.test(nach)) {
                    token.content = ersetze(token.content, k, '’');
                    continue;
                }
                const schliesst = !LEER.test(vor) && !WORT.test(nach);
                const oeffnet = !LEER.test(nach) && !WORT.test(vor);
                let j = schliesst ? offen.length - 1 : -1;
                while (j >= 0 && !(offen[j].einfach === einfach && offen[j].level === token.level)) j--;
                if (j >= 0) {
                    const o = offen[j];
                    tokens[o.token].content = ersetze(tokens[o.token].content, o.pos, einfach ? auf1 : auf2);
                    token.content = ersetze(token.content, k, einfach ? zu1 : zu2);
                    offen.length = j;
                } else if (oeffnet) {
                    offen.push({ token: i, pos: k, einfach, level: token.level });
                } else if (schliesst && einfach) {
                    token.content = ersetze(token.content, k, '’');
                }
            }
        }
    }
}
// Am Rand eines Text-Tokens zählt das Zeichen daneben: Text, ein Umbruch als
// Leerzeichen, Auszeichnung (*, `, [) als Satzzeichen.
function nachbar(t, links) {
    if (!t) return '';
    if (t.type === 'softbreak' || t.type === 'hardbreak') return ' ';
    if (t.type === 'text') return links ? t.content.slice(-1) : t.content.slice(0, 1);
    return '*';
}
function ersetze(text, pos, zeichen) {
    return text.slice(0, pos) + zeichen + text.slice(pos + 1);
}

const md = new Remarkable('full', {
    html: true,
    xhtmlOut: true,
    typographer: true,
    // „außen“ und ‚innen‘
    quotes: '„“‚‘',
}).use(linkify);
md.core.ruler.at('smartquotes', anfuehrungszeichen);
// Der Kopfblock (--- … --- oder ...) ist für quennelbrook, nicht für die Seite:
// remarkable kennt ihn nicht und machte eine Linie und Text daraus.
const kopf = /^---[ \t]*\r?\n(?![ \t]*\r?\n)[\s\S]*?\r?\n(?:---|\.\.\.)[ \t]*(?:\r?\n|$)/.exec(input);
if (kopf) input = input.slice(kopf[0].length);
process.stdout.write(md.render(input), () => process.exit(0));
