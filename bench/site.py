#!/usr/bin/env python3
"""Writes the same Markdown site twice: for quennelbrook (articles and a
Makefile that turns each into a page) and for Hugo (content, a minimal
layout, a configuration without lists, feeds or sitemaps).

Usage: site.py DIR PAGES [--real] -> DIR/qb, DIR/hugo
       (--real: the Markdown documents under /usr/share/doc first)
       site.py --page FILE BYTES -> one Markdown article of about BYTES

Articles hold headings, paragraphs with emphasis, links and "quotes",
images with a width, lists, a table, a quotation and a code block, from a
fixed seed, so that every run builds the same site.
"""
import os
import random
import re
import sys

WORDS = ("der die das und ist nicht ein eine mit auf für von zu im den dem "
         "wird werden kann Seite Bild Tabelle Garten Haus Wasser Sonne Strom "
         "Heizung Fenster Leitung Anschluss Pumpe Regel Wert Messung Ergebnis "
         "über grün schön Größe Straße Lösung Prüfung öffnen").split()


def words(r, lo, hi):
    return " ".join(r.choice(WORDS) for _ in range(r.randint(lo, hi)))


def paragraph(r):
    out = []
    for _ in range(r.randint(2, 6)):
        s = words(r, 6, 16).capitalize()
        roll = r.random()
        if roll < 0.2:
            s += " [%s](%s.php)" % (words(r, 1, 3), r.choice(WORDS))
        elif roll < 0.35:
            s += ' "%s"' % words(r, 1, 3)
        elif roll < 0.5:
            s += " **%s**" % words(r, 1, 2)
        out.append(s + ".")
    return " ".join(out)


def article(r, size):
    parts = []
    n = 0
    while sum(len(p) for p in parts) < size:
        n += 1
        parts.append("## %s %d" % (words(r, 1, 4).capitalize(), n))
        parts.append(paragraph(r))
        roll = r.random()
        if roll < 0.25:
            parts.append("![%s](img/%s.jpg){width=%d%%}" % (words(r, 1, 3), r.choice(WORDS), r.choice((30, 50, 75))))
        elif roll < 0.45:
            parts.append("\n".join("- " + words(r, 2, 8) for _ in range(r.randint(2, 6))))
        elif roll < 0.6:
            rows = ["| Wert | Messung | Ergebnis |", "|------|---------|----------|"]
            rows += ["| %s | %d | %s |" % (r.choice(WORDS), r.randint(1, 999), words(r, 1, 3)) for _ in range(r.randint(2, 6))]
            parts.append("\n".join(rows))
        elif roll < 0.7:
            parts.append("> " + paragraph(r))
        elif roll < 0.8:
            parts.append("```\n" + "\n".join(words(r, 2, 6) for _ in range(r.randint(2, 5))) + "\n```")
        parts.append(paragraph(r))
    return "\n\n".join(parts) + "\n"


# Run in public/ (make -C public -f ../Makefile): a recipe without shell
# syntax is started by make itself, as a site's own Makefile may do.
QB_MAKEFILE = """QB ?= quennelbrook
PAGES := $(patsubst ../artikel/%.md,%.php,$(wildcard ../artikel/*.md))
all: $(PAGES)
%.php: ../artikel/%.md
\t$(QB) -t $* -u $* $< $@
"""

HUGO_CONFIG = """baseURL = "http://127.0.0.1/"
disableKinds = ["taxonomy", "term", "RSS", "sitemap", "robotsTXT", "404"]
[markup.goldmark.renderer]
unsafe = true
"""

HUGO_SINGLE = """<!DOCTYPE html>
<html><head><title>{{ .Title }}</title></head>
<body><h1>{{ .Title }}</h1>
{{ .Content }}
</body></html>
"""


def documents(limit):
    """The Markdown documents of installed software (README, NEWS ...), as
    the texts of the first pages: prose no one here wrote."""
    import gzip
    found = []
    for base, _, files in sorted(os.walk("/usr/share/doc")):
        for name in sorted(files):
            if not re.search(r"\.(md|markdown)(\.gz)?$", name.lower()):
                continue
            path = os.path.join(base, name)
            try:
                opener = gzip.open if name.endswith(".gz") else open
                with opener(path, "rb") as f:
                    data = f.read()
                text = data.decode("utf-8")
            except (OSError, EOFError, UnicodeDecodeError):
                continue
            # Hugo would take a document's own front matter as its own.
            if len(data) >= 1536 and not text.startswith("---") and not text.startswith("+++"):
                found.append(text)
            if len(found) == limit:
                return found
    return found


def main():
    if sys.argv[1] == "--page":
        with open(sys.argv[2], "w", encoding="utf-8") as f:
            f.write(article(random.Random(19), int(sys.argv[3])))
        return
    top, pages = sys.argv[1], int(sys.argv[2])
    r = random.Random(19)
    qb, hugo = os.path.join(top, "qb"), os.path.join(top, "hugo")
    for d in (os.path.join(qb, "artikel"), os.path.join(qb, "public"), os.path.join(hugo, "content"), os.path.join(hugo, "layouts", "_default")):
        os.makedirs(d, exist_ok=True)
    real = documents(pages) if "--real" in sys.argv else []
    for n in range(pages):
        text = real[n] if n < len(real) else article(r, r.randint(2000, 12000))
        name = "seite-%03d" % n
        with open(os.path.join(qb, "artikel", name + ".md"), "w", encoding="utf-8") as f:
            f.write(text)
        with open(os.path.join(hugo, "content", name + ".md"), "w", encoding="utf-8") as f:
            f.write('---\ntitle: "%s"\n---\n\n%s' % (name, text))
    with open(os.path.join(qb, "Makefile"), "w") as f:
        f.write(QB_MAKEFILE)
    with open(os.path.join(hugo, "config.toml"), "w") as f:
        f.write(HUGO_CONFIG)
    for name in ("single.html", "list.html"):
        with open(os.path.join(hugo, "layouts", "_default", name), "w") as f:
            f.write(HUGO_SINGLE)


main()
