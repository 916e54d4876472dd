// The built-in Markdown rendering: the lines the site's pandoc call writes
// (pandoc --wrap=none -f markdown-implicit_figures-link_attributes -t html
// with the quotation-mark filter of examples/site), case by case, and a
// full page and a news page made from a Markdown input.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "markdown.h"
#include "testutil.h"

using namespace qbtest;

TEST(Markdown, WritesWhatPandocWrites)
{
    // Each expected text is pandoc 2.17's output for the input.
    const struct {
        const char* md;
        const char* html;
    } cases[] = {
        {"Ein Absatz\n"
         "über zwei Zeilen  \n"
         "mit Umbruch\\\n"
         "und Ende.\n"
         "\n"
         "---\n"
         "\n"
         "> Zitat\n"
         "> weiter\n",
         "<p>Ein Absatz über zwei Zeilen<br />\n"
         "mit Umbruch<br />\n"
         "und Ende.</p>\n"
         "<hr />\n"
         "<blockquote>\n"
         "<p>Zitat weiter</p>\n"
         "</blockquote>\n"},
        {"# Über uns & mehr!\n"
         "\n"
         "## Über uns & mehr!\n"
         "\n"
         "### 1. Kapitel_a-b.c\n"
         "\n"
         "## 2021\n"
         "\n"
         "## *Schön* `code`\n",
         "<h1 id=\"über-uns-mehr\">Über uns &amp; mehr!</h1>\n"
         "<h2 id=\"über-uns-mehr-1\">Über uns &amp; mehr!</h2>\n"
         "<h3 id=\"kapitel_a-b.c\">1. Kapitel_a-b.c</h3>\n"
         "<h2 id=\"section\">2021</h2>\n"
         "<h2 id=\"schön-code\"><em>Schön</em> <code>code</code></h2>\n"},
        {"Er sagte \"Hallo\" und 'tschüss', es ist Jürgens Rad -- 5--6 --- gut... \"a 'b' c\" \"offen und rock'n'roll.\n",
         "<p>Er sagte „Hallo“ und ‚tschüss‘, es ist Jürgens Rad – 5–6 — gut… „a ‚b‘ c“ “offen und rock’n’roll.</p>\n"},
        {"![Ein Bild](img/a.jpg){width=50%} [Link](a.php \"Titel\") <http://x.de/a?b=1&c=2> <a@b.de> &copy; &amp; 5 > 3 <b>fett</b>\n",
         "<p><img src=\"img/a.jpg\" alt=\"Ein Bild\" />{width=50%} <a href=\"a.php\" title=\"Titel\">Link</a> <a href=\"http://x.de/a?b=1&amp;c=2\" class=\"uri\">http://x.de/a?b=1&amp;c=2</a> <a href=\"mailto:a@b.de\" class=\"email\">a@b.de</a> © &amp; 5 &gt; 3 <b>fett</b></p>\n"},
        {"| Links | Mitte | Rechts | Ohne |\n"
         "|:--|:-:|--:|---|\n"
         "| a | \"b\" | c -- d | e |\n"
         "| f | g | h | i |\n"
         "| j | k | l | m |\n",
         "<table>\n"
         "<thead>\n"
         "<tr class=\"header\">\n"
         "<th style=\"text-align: left;\">Links</th>\n"
         "<th style=\"text-align: center;\">Mitte</th>\n"
         "<th style=\"text-align: right;\">Rechts</th>\n"
         "<th>Ohne</th>\n"
         "</tr>\n"
         "</thead>\n"
         "<tbody>\n"
         "<tr class=\"odd\">\n"
         "<td style=\"text-align: left;\">a</td>\n"
         "<td style=\"text-align: center;\">„b“</td>\n"
         "<td style=\"text-align: right;\">c – d</td>\n"
         "<td>e</td>\n"
         "</tr>\n"
         "<tr class=\"even\">\n"
         "<td style=\"text-align: left;\">f</td>\n"
         "<td style=\"text-align: center;\">g</td>\n"
         "<td style=\"text-align: right;\">h</td>\n"
         "<td>i</td>\n"
         "</tr>\n"
         "<tr class=\"odd\">\n"
         "<td style=\"text-align: left;\">j</td>\n"
         "<td style=\"text-align: center;\">k</td>\n"
         "<td style=\"text-align: right;\">l</td>\n"
         "<td>m</td>\n"
         "</tr>\n"
         "</tbody>\n"
         "</table>\n"},
        {"| Spalte | Eine sehr lange Spalte, damit die Zeile länger als zweiundsiebzig Zeichen wird |\n"
         "|---|-----------|\n"
         "| a | b |\n",
         "<table>\n"
         "<colgroup>\n"
         "<col style=\"width: 21%\" />\n"
         "<col style=\"width: 78%\" />\n"
         "</colgroup>\n"
         "<thead>\n"
         "<tr class=\"header\">\n"
         "<th>Spalte</th>\n"
         "<th>Eine sehr lange Spalte, damit die Zeile länger als zweiundsiebzig Zeichen wird</th>\n"
         "</tr>\n"
         "</thead>\n"
         "<tbody>\n"
         "<tr class=\"odd\">\n"
         "<td>a</td>\n"
         "<td>b</td>\n"
         "</tr>\n"
         "</tbody>\n"
         "</table>\n"},
        {"- eins\n"
         "- zwei\n"
         "    - tief\n"
         "\n"
         "1. a\n"
         "2. b\n"
         "\n"
         "3) c\n"
         "\n"
         "- lose\n"
         "\n"
         "- Liste\n"
         "\n"
         "  mit Absatz\n"
         "\n"
         "- [ ] offen\n"
         "- [x] erledigt\n",
         "<ul>\n"
         "<li>eins</li>\n"
         "<li>zwei\n"
         "<ul>\n"
         "<li>tief</li>\n"
         "</ul></li>\n"
         "</ul>\n"
         "<ol type=\"1\">\n"
         "<li>a</li>\n"
         "<li>b</li>\n"
         "</ol>\n"
         "<ol start=\"3\" type=\"1\">\n"
         "<li>c</li>\n"
         "</ol>\n"
         "<ul>\n"
         "<li><p>lose</p></li>\n"
         "<li><p>Liste</p>\n"
         "<p>mit Absatz</p></li>\n"
         "<li><p><input type=\"checkbox\" disabled=\"\" />\n"
         "offen</p></li>\n"
         "<li><p><input type=\"checkbox\" disabled=\"\" checked=\"\" />\n"
         "erledigt</p></li>\n"
         "</ul>\n"},
        {"Text\n"
         "- kein\n"
         "- Punkt\n"
         "> kein Zitat\n"
         "\n"
         "```\n"
         "\"code\" <x> & 'y'\n"
         "```\n"
         "\n"
         "```unbekannt\n"
         "echo \"hi\"\n"
         "```\n"
         "\n"
         "    eingerückt\n"
         "\n"
         "Inline `a \"b\" <c>` hier.\n",
         "<p>Text - kein - Punkt &gt; kein Zitat</p>\n"
         "<pre><code>&quot;code&quot; &lt;x&gt; &amp; &#39;y&#39;</code></pre>\n"
         "<pre class=\"unbekannt\"><code>echo &quot;hi&quot;</code></pre>\n"
         "<pre><code>eingerückt</code></pre>\n"
         "<p>Inline <code>a \"b\" &lt;c&gt;</code> hier.</p>\n"},
        {"<!-- Kommentar \"x\" -->\n"
         "\n"
         "Fußnote[^1] und noch eine[^a].\n"
         "\n"
         "[^1]: Erste.\n"
         "[^a]: Zweite.\n",
         "<!-- Kommentar \"x\" -->\n"
         "<p>Fußnote<a href=\"#fn1\" class=\"footnote-ref\" id=\"fnref1\" role=\"doc-noteref\"><sup>1</sup></a> und noch eine<a href=\"#fn2\" class=\"footnote-ref\" id=\"fnref2\" role=\"doc-noteref\"><sup>2</sup></a>.</p>\n"
         "<section class=\"footnotes footnotes-end-of-document\" role=\"doc-endnotes\">\n"
         "<hr />\n"
         "<ol>\n"
         "<li id=\"fn1\" role=\"doc-endnote\"><p>Erste.<a href=\"#fnref1\" class=\"footnote-back\" role=\"doc-backlink\">↩︎</a></p></li>\n"
         "<li id=\"fn2\" role=\"doc-endnote\"><p>Zweite.<a href=\"#fnref2\" class=\"footnote-back\" role=\"doc-backlink\">↩︎</a></p></li>\n"
         "</ol>\n"
         "</section>\n"},
        {"---\n"
         "title: Kopf\n"
         "---\n"
         "\n"
         "Nach dem Kopf. \\LaTeX bleibt weg, C:\\Users auch, ein\\ Leerzeichen.\n"
         "\n"
         "~~weg~~ ***beides***\n",
         "<p>Nach dem Kopf. bleibt weg, C:auch, ein Leerzeichen.</p>\n"
         "<p><del>weg</del> <strong><em>beides</em></strong></p>\n"},
        {"Das ist ~~alt~~ neu und ~~zwei\nZeilen~~ hier, *kursiv ~~weg~~*.\n",
         "<p>Das ist <del>alt</del> neu und <del>zwei Zeilen</del> hier, <em>kursiv <del>weg</del></em>.</p>\n"},
        {"H~2~O und x^2^, aber a^b und ~/pfad bleiben.\n",
         "<p>H<sub>2</sub>O und x<sup>2</sup>, aber a^b und ~/pfad bleiben.</p>\n"},
        {"'Peters Rad' und 'Jürgen's Buch', \"`make`\" baut, a \" b \" c, leer \"\" hier, Antwort –\"ja\" und …'so', die 80'er Jahre 'waren' gut.\n",
         "<p>‚Peters Rad‘ und ‚Jürgen’s Buch‘, „<code>make</code>“ baut, a ” b ” c, leer “” hier, Antwort –„ja“ und …‚so‘, die 80’er Jahre ‚waren‘ gut.</p>\n"},
        {"<div>\n"
         "'einfach' und \"doppelt\" -- kurz --- lang... `x \"y\"` und `` bleibt\n"
         "<pre>\"roh\" -- ...</pre>\n"
         "</div>\n"
         "\n"
         "<!-- a > \"b\" -- c -->\n",
         "<div>\n"
         "‚einfach‘ und „doppelt“ – kurz — lang… <code>x \"y\"</code> und `` bleibt\n"
         "<pre>\"roh\" -- ...</pre>\n"
         "</div>\n"
         "<!-- a > \"b\" -- c -->\n"},
        {"2^10 und 2^20 und ^^ leer, Gar\\c con, `  a  ` Code, ![Bild ](b.jpg) und <URL:http://x.de>, ***a** b*.\n"
         "\n"
         "# Über\\ uns\n"
         "\n"
         "## Wir\u00a0wandern\n"
         "\n"
         "\"a \"b\" c\"\n",
         "<p>2^10 und 2^20 und ^^ leer, Garon, <code>a</code> Code, <img src=\"b.jpg\" alt=\"Bild\" /> und &lt;URL:http://x.de&gt;, <em><strong>a</strong> b</em>.</p>\n"
         "<h1 id=\"über-uns\">Über\u00a0uns</h1>\n"
         "<h2 id=\"wir-wandern\">Wir\u00a0wandern</h2>\n"
         "<p>„a“b” c”</p>\n"},
        {"Text\n"
         "***\n"
         "\n"
         "Absatz\n"
         "  - eingerückt\n"
         "  - zwei\n"
         "\n"
         "> Zitat\n"
         "> - kein Punkt\n"
         "> > tiefer\n"
         "\n"
         "```{x} 1\n"
         "code\n"
         "```\n",
         "<p>Text ***</p>\n"
         "<p>Absatz - eingerückt - zwei</p>\n"
         "<blockquote>\n"
         "<p>Zitat - kein Punkt &gt; tiefer</p>\n"
         "</blockquote>\n"
         "<p><code>{x} 1 code</code></p>\n"},
        {"| Eine Spalte, die genau so breit ist | dass die Zeile 72 Zeichen hat. |\n"
         "|---|---|\n"
         "| c --- d... \\-\\- \\.\\.\\. | \"e\" 'f' |\n"
         "\n"
         "[Mein Plan](<Plan 2021.pdf>) und <HTTP://x.de>\n"
         "\n"
         "```{.wandern}\n"
         "x\n"
         "```\n",
         "<table>\n"
         "<thead>\n"
         "<tr class=\"header\">\n"
         "<th>Eine Spalte, die genau so breit ist</th>\n"
         "<th>dass die Zeile 72 Zeichen hat.</th>\n"
         "</tr>\n"
         "</thead>\n"
         "<tbody>\n"
         "<tr class=\"odd\">\n"
         "<td>c — d… -- ...</td>\n"
         "<td>„e“ ‚f‘</td>\n"
         "</tr>\n"
         "</tbody>\n"
         "</table>\n"
         "<p><a href=\"Plan%202021.pdf\">Mein Plan</a> und <a href=\"HTTP://x.de\" class=\"uri\">HTTP://x.de</a></p>\n"
         "<pre class=\"wandern\"><code>x</code></pre>\n"},
        {"---\n"
         "a: b\n"
         "...\n"
         "Text\n",
         "<p>Text</p>\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(render_markdown(c.md, std::strlen(c.md)), c.html) << c.md;
}

TEST(Markdown, AnyBytesGiveText)
{
    // Broken UTF-8, zero bytes: a result without zero bytes (the library
    // puts U+FFFD in their place), and no crash.
    std::mt19937 rng(19);
    const std::string pieces[] = {"\xc3", "\xff\xfe", std::string(1, '\0'), "> ", "- ", "**", "`", "\"", "'",
                                  "|", "\n", "[^1]", "![", "](", "<", "\\", "```{x} 1\n", "ä", "\r\n"};
    for (int round = 0; round < 300; ++round) {
        std::string md;
        for (int k = static_cast<int>(rng() % 200); k > 0; --k)
            md += pieces[rng() % std::size(pieces)];
        std::string html = render_markdown(md.data(), md.size());
        EXPECT_EQ(html.find('\0'), std::string::npos) << round;
    }
    // Nesting ends at 128 levels a line (the library's time grows with its
    // square); the rest of the line is text.
    std::string deep(20000, '>');
    deep += " x\n" + std::string(20000, '[') + std::string(5000, '*');
    std::string html = render_markdown(deep.data(), deep.size());
    std::size_t quotes = 0;
    for (std::size_t at = 0; (at = html.find("<blockquote>", at)) != std::string::npos; ++at)
        ++quotes;
    EXPECT_EQ(quotes, 128u);
    std::string rest = "<p>";
    for (int k = 0; k < 20000 - 128; ++k)
        rest += "&gt;";
    EXPECT_NE(html.find(rest + " x "), std::string::npos);
}

TEST(Markdown, FullAndNewsPageFromMarkdown)
{
    TempDir d;
    spit(d / "in.md", "## Kopf\n\n![Bild](img/a.jpg){width=50%}\n\n[Weiter](b.php)\n");
    spit(d / "in.markdown", "Text\n");
    spit(d / "in.md.html", "## Kopf\n");  // named .html at the end: not Markdown
    const struct {
        std::vector<std::string> args;
        std::string file;
        std::string body;
        std::string out;  // the rewriter reports where it found the width
    } cases[] = {
        {{"-t", "T", "in.md", "seite.php"}, "seite.php",
         "<h2 class=\"h2_top\">Kopf</h2>\n"
         "<p><img src=\"img/a.jpg\" alt=\"Bild\" style=\"width:50%\" /> </p>\n"
         "<p><a href=\"b.php\"><span class=\"icon-arrow-right-circle\"></span>&nbsp;Weiter</a></p>\n",
         "gefunden: i=37\ni=37  | j=47  | k=43"},
        {{"in.markdown", "news.php"}, "news.php", "<p>Text</p>\n", ""},
        {{"-t", "T", "in.md.html", "roh.php"}, "roh.php", "## Kopf\n", ""},
    };
    for (const auto& c : cases) {
        Result r = qb(c.args, d.path);
        EXPECT_EQ(r.status, 0) << c.file;
        EXPECT_EQ(r.out, c.out) << c.file;
        std::string page = slurp(d / c.file);
        EXPECT_NE(page.find(STAMP_LINE + c.body), std::string::npos) << c.file << "\n" << page;
    }
}
