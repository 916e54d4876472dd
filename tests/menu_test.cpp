// The card grid of -m, checked on whole pages byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

#include "menu.h"
#include "testutil.h"

using namespace qbtest;

namespace {


// Pieces of the grid.
const std::string START = "<div class=\"container\">\n";
const std::string END_NO_GROUP = "</div>\n";
const std::string END_GROUP = "  </div>\n</div>\n";
const std::string GROUP = "  </div>\n</div>\n  <br>\n"
                          "<div class=\"container\">\n  <div class=\"row row-cols-1 row-cols-md-3 g-4\">\n";
const std::string BREAK = "  </div>\n</div>\n<br>\n<div class=\"container\">\n";
const std::string BREAK_RULE = "  </div>\n</div>\n<hr>\n<br>\n<div class=\"container\">\n";

std::string card(const std::string& image, const std::string& link, const std::string& titel,
                 const std::string& text, int line)
{
    return "    <div class=\"col\">\n      <div class=\"card h-100\">\n        <img src=\"" + image +
           "\" class=\"card-img-top\" alt=\"Übersichtsbild " + std::to_string(line) +
           "\" />\n        <div class=\"card-body\">\n          <h5 class=\"card-title\">" + titel +
           "</h5>\n            <p class=\"card-text\">\n            " + text +
           "            </p>\n        </div>\n        <div class=\"card-footer\">\n" +
           (link == "#" ? "<p></p>" : "          <a class=\"btn btn-primary\" href=\"" + link + "\" role=\"button\">Weiterlesen ...</a>\n") +
           "        </div>\n      </div>\n    </div>\n";
}

// The whole page of -t T -u K -m menu.txt in.html out.php with the grid.
std::string page(const std::string& grid)
{
    return "<?php\n$titel = \"T\";\n$zeile1 = \"K\";\n$zeile2 = \"\";\n$menue = 2;\n$seite = \"out.php\";\n" +
           HEADER_END + OPENER + STAMP_LINE + "<p>x</p>\n\n\t</div>\n\n</div>\n\n" + grid +
           "<?php\nrequire_once(\"assets/include/footer.php\");\n?>\n";
}

Result make_page(const TempDir& d, const std::string& menu, const std::string& menu_file = "menu.txt")
{
    if (menu_file == "menu.txt")
        spit(d / "menu.txt", menu);
    spit(d / "in.html", "<p>x</p>\n");
    return qb({"-t", "T", "-u", "K", "-m", menu_file, "in.html", "out.php"}, d.path);
}

// Builds the page from menu and checks status, messages and the page.
void expect_grid(const std::string& menu, const std::string& grid, const std::string& out = "")
{
    TempDir d;
    Result r = make_page(d, menu);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, out);
    EXPECT_EQ(slurp(d / "out.php"), page(grid)) << "menu file:\n" << menu;
}

}  // namespace

TEST(MenuGrid, HeadingAndFourCards)
{
    expect_grid("## Suppen\n"
                "a.jpg|a.html|Titel A|Text A\n"
                "b.jpg|#|Titel B|Text B\n"
                "c.jpg|c.html|Titel C|Text C\n"
                "d.jpg|d.html|Titel D|Text D\n",
                "<div class=\"container\">\n"
                "  <h2>Suppen\n"
                "</h2>\n"
                "  </div>\n"
                "</div>\n"
                "  <br>\n"
                "<div class=\"container\">\n"
                "  <div class=\"row row-cols-1 row-cols-md-3 g-4\">\n"
                "    <div class=\"col\">\n"
                "      <div class=\"card h-100\">\n"
                "        <img src=\"a.jpg\" class=\"card-img-top\" alt=\"Übersichtsbild 2\" />\n"
                "        <div class=\"card-body\">\n"
                "          <h5 class=\"card-title\">Titel A</h5>\n"
                "            <p class=\"card-text\">\n"
                "            Text A\n"
                "            </p>\n"
                "        </div>\n"
                "        <div class=\"card-footer\">\n"
                "          <a class=\"btn btn-primary\" href=\"a.html\" role=\"button\">Weiterlesen ...</a>\n"
                "        </div>\n"
                "      </div>\n"
                "    </div>\n"
                "    <div class=\"col\">\n"
                "      <div class=\"card h-100\">\n"
                "        <img src=\"b.jpg\" class=\"card-img-top\" alt=\"Übersichtsbild 3\" />\n"
                "        <div class=\"card-body\">\n"
                "          <h5 class=\"card-title\">Titel B</h5>\n"
                "            <p class=\"card-text\">\n"
                "            Text B\n"
                "            </p>\n"
                "        </div>\n"
                "        <div class=\"card-footer\">\n"
                "<p></p>        </div>\n"
                "      </div>\n"
                "    </div>\n" +
                    card("c.jpg", "c.html", "Titel C", "Text C\n", 4) +
                    "  </div>\n"
                    "</div>\n"
                    "  <br>\n"
                    "<div class=\"container\">\n"
                    "  <div class=\"row row-cols-1 row-cols-md-3 g-4\">\n" +
                    card("d.jpg", "d.html", "Titel D", "Text D\n", 5) +
                    "  </div>\n"
                    "</div>\n");
}

TEST(MenuGrid, EveryLineKind)
{
    expect_grid("/* Menü der Rezeptseite\n"        // 1
                "   a.jpg|a.html|im|Kommentar\n"    // 2
                "*/ Ende des Kommentars\n"          // 3
                "\n"                                // 4
                "## Suppen\n"                       // 5
                "a.jpg|a.html|Titel A|Text A\n"     // 6
                "b.jpg|#|Titel B|Text B\n"          // 7
                "~~ Rest egal\n"                    // 8
                "c.jpg|# |Titel C|Text C\n"         // 9
                "![Bild C](c.jpg)\n"                // 10
                "[Mehr Rezepte](rezepte.html)\n"    // 11
                "[Noch mehr](mehr.html)\n"          // 12
                "|d.jpg||d.html|Titel D|Text D|R\n" // 13
                "e.jpg|e.html|Titel E|Text E|\n"    // 14
                "f.jpg|f.html|Titel F|\n"           // 15
                "g.jpg|g.html|Titel G|Text G\n"     // 16
                "\n"                                // 17
                "## Ende | mit Strich\n",           // 18
                START + "  <h2>Suppen\n</h2>\n" +
                    GROUP + card("a.jpg", "a.html", "Titel A", "Text A\n", 6) +
                    card("b.jpg", "#", "Titel B", "Text B\n", 7) +
                    BREAK +
                    GROUP + card("c.jpg", "# ", "Titel C", "Text C\n", 9) +
                    BREAK_RULE + "  <img src=\"c.jpg\" alt=\"Bild C\" />\n  <figcaption>Bild C</figcaption>\n" +
                    "<a href=\"rezepte.html\">Mehr Rezepte</a>\n" +
                    "<a href=\"mehr.html\">Noch mehr</a>\n" +
                    // Fields after the fourth go, and the line end with them.
                    GROUP + card("d.jpg", "d.html", "Titel D", "Text D", 13) +
                    card("e.jpg", "e.html", "Titel E", "Text E", 14) +
                    card("f.jpg", "f.html", "Titel F", "\n", 15) +
                    GROUP + card("g.jpg", "g.html", "Titel G", "Text G\n", 16) +
                    BREAK_RULE + "  <h2>Ende | mit Strich\n</h2>\n" + END_NO_GROUP);
}

TEST(MenuGrid, CommentBlocks)
{
    // A comment closed on its own first line is still open.
    expect_grid("/* alt: x.jpg|x.html|X|Y */\n"
                "a.jpg|a.html|A|B\n"
                "*/\n"
                "/*\n"
                "/* nested openers are plain comment text\n"
                "*/\n"
                "b.jpg|b.html|C|D\n"
                "*/ outside a comment\n"
                "c.jpg|c.html|E|F\n",
                START + GROUP + card("b.jpg", "b.html", "C", "D\n", 7) + END_GROUP,
                "Fehler in Menüdatei menu.txt in Zeile 8: <*/ outside a comment\n>.\n");
    // A block that never closes swallows the rest.
    expect_grid("/*\na|b|c|d\n", START + END_NO_GROUP);
}

TEST(MenuGrid, EmptyOrMissingMenuFile)
{
    expect_grid("", START + END_NO_GROUP);
    expect_grid("\n\n", START + END_NO_GROUP);

    // The page is finished without a grid.
    TempDir d;
    ::mkdir((d / "menu.d").c_str(), 0755);
    for (const std::string name : {"fehlt.txt", "menu.d"}) {
        Result r = make_page(d, "", name);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "Fehler: angegebene Menüdatei fehlt!\n");
        EXPECT_EQ(slurp(d / "out.php"), page("")) << name;
    }
}

TEST(MenuGrid, LineOfUnknownKindEndsTheGridButNotThePage)
{
    const std::string before = "a.jpg|a.html|A|B\n";
    const std::string after = "b.jpg|b.html|C|D\n";
    const std::string grid = START + GROUP + card("a.jpg", "a.html", "A", "B\n", 1) + END_GROUP;
    for (const std::string bad : {"#\n", "##Titel\n", "   \n", "\r\n", "Text ohne Strich\n", "~\n", "!Bild\n"})
        expect_grid(before + bad + after, grid, "Fehler in Menüdatei menu.txt in Zeile 2: <" + bad + ">.\n");
    expect_grid(before + "Ende", grid, "Fehler in Menüdatei menu.txt in Zeile 2: <Ende>.\n");
    // Stopped with no group open.
    expect_grid("## H\nText\n", START + "  <h2>H\n</h2>\n" + END_NO_GROUP,
                "Fehler in Menüdatei menu.txt in Zeile 2: <Text\n>.\n");
}

TEST(MenuGrid, CardWithMissingFieldKeepsTheOldPage)
{
    const struct {
        std::string line;
        std::string missing;
    } cases[] = {
        {"|||", "image-Datei"},  // last line, no line end: no field at all
        {"|||\n", "Link"},       // the line end is the image
        {"|name\n", "Link"},
        {"a.jpg|\n", "Titel"},
        {"a.jpg||a.html|Titel\n", "Beschreibung"},
    };
    for (const auto& c : cases) {
        const std::string menu = "## Kopf\nb.jpg|b.html|B|C\n" + c.line;
        const std::string message = "Fehler in Menüdatei menu.txt in Zeile 3: " + c.missing + " fehlt!\n";

        TempDir d;
        spit(d / "out.php", "alte Seite\n");
        Result r = make_page(d, menu);
        EXPECT_EQ(r.status, 253);
        EXPECT_EQ(r.out, message);
        EXPECT_EQ(slurp(d / "out.php"), "alte Seite\n");
        EXPECT_EQ(entries(d.path), (std::vector<std::string>{"in.html", "menu.txt", "out.php"}));

        TempDir fresh;
        r = make_page(fresh, menu);
        EXPECT_EQ(r.status, 253);
        EXPECT_EQ(r.out, message);
        EXPECT_EQ(entries(fresh.path), (std::vector<std::string>{"in.html", "menu.txt"}));
    }
}

TEST(MenuGrid, LongLinesAreReadInPiecesAndCounted)
{
    // 1023 bytes make a piece: the second piece is a card line of its own.
    std::string text(1013, 't');
    expect_grid("a.jpg|l|T|" + text + "b.jpg|m|U|V\nc.jpg|n|W|X\n",
                START + GROUP + card("a.jpg", "l", "T", text, 1) + card("b.jpg", "m", "U", "V\n", 2) +
                    card("c.jpg", "n", "W", "X\n", 3) + END_GROUP);
}

TEST(MenuGrid, ImageAndLinkLines)
{
    expect_grid("a.jpg|a.html|A|B\n"
                "[](leer.html)\n"                       // closing bracket at 1: nothing
                "![](bild.jpg)\n"                       // empty caption
                "[Rezept (neu)](r.html)\n"              // the first pair of parentheses
                "![Bild ohne Quelle]\n"                 // no target: nothing
                "[Text](ziel.html) und | ein Strich\n"  // still a link
                "b.jpg|b.html|C|D\n",
                START + GROUP + card("a.jpg", "a.html", "A", "B\n", 1) + BREAK_RULE +
                    "  <img src=\"bild.jpg\" alt=\"\" />\n  <figcaption></figcaption>\n"
                    "<a href=\"neu\">Rezept (neu)</a>\n"
                    "<a href=\"ziel.html\">Text</a>\n" +
                    GROUP + card("b.jpg", "b.html", "C", "D\n", 7) + END_GROUP);
}

TEST(MenuGrid, GetContent)
{
    const struct {
        bool content;
        const char* zeile;
        const char* expected;  // null: no pair
    } cases[] = {
        {true, "[Text](ziel)", "Text"},
        {false, "[Text](ziel)", "ziel"},
        {true, "a[]", ""},
        {true, "[]", nullptr},
        {true, "x]", nullptr},
        {true, "ab]c[d]", nullptr},
        {false, "no brackets", nullptr},
        {true, "[a[b]c]", "b"},
        {false, "(x) (y)", "x"},
        {false, "[a](b", nullptr},
    };
    for (const auto& c : cases) {
        char* got = getContent(c.content, c.zeile);
        if (!c.expected)
            EXPECT_EQ(got, nullptr) << c.zeile;
        else if (!got)
            ADD_FAILURE() << c.zeile << ": no text";
        else
            EXPECT_STREQ(got, c.expected) << c.zeile;
        std::free(got);
    }
}
