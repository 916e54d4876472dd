#!/usr/bin/env python3
"""Writes an HTML fragment shaped like a Markdown renderer's output.

Usage: gen.py OUTPUT BYTES

The fragment is a run of articles: headings with ids, paragraphs of running
text with emphasis and links, images with and without a width, lists,
tables with odd and even rows, quotations, code blocks, downloads and the
Weiter/Zurueck/Inhalt navigation links, in proportions taken from typical
pages. A block of articles is generated once (fixed seed) and repeated
until the size is reached, so the run is fast and the output reproducible.
"""
import random
import sys

WORDS = ("der die das und ist nicht ein eine mit auf fuer von zu im den dem "
         "wird werden kann Seite Bild Tabelle Garten Haus Wasser Sonne Strom "
         "Heizung Fenster Leitung Anschluss Pumpe Regel Wert Messung Ergebnis "
         "über grün schön Größe Straße Lösung Prüfung öffnen").split()


def words(r, lo, hi):
    return " ".join(r.choice(WORDS) for _ in range(r.randint(lo, hi)))


def sentence(r):
    s = words(r, 6, 18).capitalize()
    roll = r.random()
    if roll < 0.15:
        s += ' <a href="https://example.org/%s.html">%s</a>' % (r.choice(WORDS), words(r, 1, 3))
    elif roll < 0.25:
        s += " <em>%s</em>" % words(r, 1, 3)
    elif roll < 0.32:
        s += " <strong>%s</strong>" % words(r, 1, 2)
    elif roll < 0.37:
        s += " <code>%s()</code>" % r.choice(WORDS)
    return s + "."


def paragraph(r):
    return "<p>" + " ".join(sentence(r) for _ in range(r.randint(1, 4))) + "</p>\n"


def image(r, n):
    src = 'bilder/%s_%03d.jpg' % (r.choice(WORDS), n)
    alt = words(r, 1, 4)
    if r.random() < 0.4:
        return '<p><img src="%s" alt="%s" />{width=%d%%}</p>\n' % (src, alt, r.choice((25, 33, 50, 75, 100)))
    return '<p><img src="%s" alt="%s" /></p>\n' % (src, alt)


def table(r):
    cols = r.randint(2, 5)
    out = ["<table>\n", "<thead>\n", "<tr>\n"]
    out += ["<th>%s</th>\n" % words(r, 1, 2) for _ in range(cols)]
    out += ["</tr>\n", "</thead>\n", "<tbody>\n"]
    for row in range(r.randint(2, 8)):
        out.append('<tr class="%s">\n' % ("odd" if row % 2 == 0 else "even"))
        out += ["<td>%s</td>\n" % words(r, 1, 3) for _ in range(cols)]
        out.append("</tr>\n")
    out += ["</tbody>\n", "</table>\n"]
    return out


def article(r, n):
    out = ['<h1 id="%s-%d">%s</h1>\n' % (r.choice(WORDS).lower(), n, words(r, 2, 5))]
    for sec in range(r.randint(3, 7)):
        out.append('<h2 id="abschnitt-%d-%d">%s</h2>\n' % (n, sec, words(r, 2, 6)))
        for _ in range(r.randint(3, 12)):
            roll = r.random()
            if roll < 0.55:
                out.append(paragraph(r))
            elif roll < 0.65:
                out.append("<ul>\n")
                out += ["<li>%s</li>\n" % words(r, 2, 10) for _ in range(r.randint(2, 6))]
                out.append("</ul>\n")
            elif roll < 0.75:
                out.append(image(r, n))
            elif roll < 0.80:
                out += table(r)
            elif roll < 0.85:
                out += ["<blockquote>\n", paragraph(r), "</blockquote>\n", paragraph(r)]
            elif roll < 0.89:
                out.append("<pre><code>" + words(r, 3, 8) + "\n")
                out += ["    %s = %d;\n" % (r.choice(WORDS), r.randint(0, 999)) for _ in range(r.randint(2, 6))]
                out.append("</code></pre>\n")
            elif roll < 0.93:
                out.append('<h3 id="%s-%d">%s</h3>\n' % (r.choice(WORDS).lower(), n, words(r, 2, 5)))
            elif roll < 0.96:
                out.append('<p><a href="downloads/%s_%d.pdf%%20download">%s (PDF)</a></p>\n'
                           % (r.choice(WORDS), n, words(r, 1, 4)))
            else:
                out.append("\n")
    out.append("<hr />\n")
    out.append('<p><a href="teil%d.php">Zurück</a> | <a href="index.php">Inhalt</a> | '
               '<a href="teil%d.php">Weiter</a></p>\n' % (n, n + 2))
    return out


def main():
    path, size = sys.argv[1], int(sys.argv[2])
    r = random.Random(20211122)
    block = []
    length = 0
    n = 0
    while length < min(size, 4 << 20):
        for line in article(r, n):
            block.append(line)
            length += len(line.encode())
        n += 1
    data = "".join(block).encode()
    with open(path, "wb") as f:
        written = 0
        while written + len(data) <= size:
            f.write(data)
            written += len(data)
        if written < size:
            # The rest of the size, up to a whole line.
            cut = data.find(b"\n", size - written)
            f.write(data[: cut + 1 if cut >= 0 else len(data)])


if __name__ == "__main__":
    main()
