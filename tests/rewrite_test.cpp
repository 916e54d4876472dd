// The content rewriter: its search helpers on their own, and whole pages
// compared byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "rewrite.h"
#include "testutil.h"

using namespace qbtest;
using namespace std::string_literals;

namespace {

// ---- helpers ----

// schreibeInhalt over in-memory streams.
std::string rewrite(const std::string& in, bool equal_table = false, const char* div_tag = nullptr)
{
    std::FILE* fi = std::tmpfile();
    std::fwrite(in.data(), 1, in.size(), fi);
    std::rewind(fi);
    char* buf = nullptr;
    std::size_t len = 0;
    std::FILE* fo = open_memstream(&buf, &len);
    schreibeInhalt(fi, fo, equal_table, div_tag);
    EXPECT_EQ(std::fgetc(fi), EOF);  // read to its end
    std::fclose(fi);
    std::fclose(fo);
    std::string out(buf, len);
    std::free(buf);
    return out;
}

std::string written_parts(const char* zeile, int i, const char* part)
{
    char* buf = nullptr;
    std::size_t len = 0;
    std::FILE* fo = open_memstream(&buf, &len);
    writeParts(fo, zeile, i, part);
    std::fclose(fo);
    std::string out(buf, len);
    std::free(buf);
    return out;
}

std::string decorated(std::string line, const char* div_tag)
{
    char zeile[LINE_SIZE] = {};
    line.copy(zeile, LINE_MAX_READ);
    check_div_tag(zeile, div_tag);
    return zeile;
}

// The page that -t T -u U in.html seite.php makes around a rewritten body.
std::string page(const std::string& body)
{
    return "<?php\n"
           "$titel = \"T\";\n"
           "$zeile1 = \"U\";\n"
           "$zeile2 = \"\";\n"
           "$menue = 2;\n"
           "$seite = \"seite.php\";\n"
           "\nrequire_once(\"assets/include/header.php\");\n?>\n\n"
           "<div class=\"container\">\n\t<br>\n\t<div class=\"jumbotron\">\n"
           "<p style=\"text-align: right; margin-top: -3em;\"><small>"s +
           STAMP + "</small><p>\n" + body +
           "\n"
           "\t</div>\n\n</div>\n"
           "\n"
           "<?php\n"
           "require_once(\"assets/include/footer.php\");\n"
           "?>\n";
}

struct PageRun {
    int status;
    std::string out;   // standard output
    std::string page;  // the page written
};

PageRun run_page(const std::string& input, std::vector<std::string> options = {})
{
    TempDir d;
    spit(d / "in.html", input);
    for (const char* a : {"-t", "T", "-u", "U", "in.html", "seite.php"})
        options.push_back(a);
    Result r = qb(options, d.path);
    return {r.status, r.out, exists(d / "seite.php") ? slurp(d / "seite.php") : ""};
}

// Runs the page and checks that it is the frame around body, with nothing
// printed.
void expect_body(const std::string& input, const std::string& body, std::vector<std::string> options = {})
{
    PageRun p = run_page(input, std::move(options));
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.page, page(body));
}

const std::string RIGHT = "<span class=\"icon-arrow-right-circle\"></span>&nbsp;";
const std::string LEFT = "<span class=\"icon-arrow-left-circle\"></span>&nbsp;";
const std::string MAP = "<span class=\"icon-map\"></span>&nbsp;";

}  // namespace

// ---- search helpers ----

TEST(RewriteHelpers, PositionsAndCaseFreeSearch)
{
    EXPECT_EQ(getPos("", ':'), -1);
    EXPECT_EQ(getPos(":x", ':'), 0);
    EXPECT_EQ(getPos("keywords:a:b", ':'), 8);
    EXPECT_EQ(getPos("abc", '\0'), -1);

    EXPECT_EQ(checkPos("abcabc", "bc"), 1);
    EXPECT_EQ(checkPos("abc", "x"), -1);
    EXPECT_EQ(checkPos("abc", ""), 0);
    EXPECT_EQ(checkPos("", ""), -1);
    EXPECT_EQ(checkPos("", "a"), -1);

    for (const char* h : {"WEITER", "weiter", "WeItEr", "<a>Weiterbildung</a>"})
        EXPECT_TRUE(strstrUpper(h, "Weiter")) << h;
    EXPECT_FALSE(strstrUpper("Weite", "Weiter"));
    EXPECT_TRUE(strstrUpper("zurück", "Zurück"));
    EXPECT_TRUE(strstrUpper("ZURüCK", "Zurück"));
    EXPECT_FALSE(strstrUpper("ZURÜCK", "Zurück"));  // the umlaut's bytes differ
    EXPECT_TRUE(strstrUpper("abc", ""));
    EXPECT_FALSE(strstrUpper("", "a"));
}

TEST(RewriteHelpers, WriteParts)
{
    EXPECT_EQ(written_parts("Zeile\n", 0, "<b>"), "<b>Zeile\n");
    EXPECT_EQ(written_parts("Zeile\n", 5, "<b>"), "Zeile<b>\n");
    EXPECT_EQ(written_parts("Zeile\n", 6, "<b>"), "Zeile\n<b>");
    // Outside the line the position is taken to its nearer end.
    EXPECT_EQ(written_parts("ab", 9, "-"), "ab-");
    EXPECT_EQ(written_parts("ab", -4, "-"), "-ab");
    std::string big(3000, 'x');
    EXPECT_EQ(written_parts(big.c_str(), 1500, "|"), big.substr(0, 1500) + "|" + big.substr(1500));
}

// ---- classification ----

TEST(RewriteClassify, SpecialCasesAndPositions)
{
    struct Case {
        const char* line;
        int special;
        int i;  // -2: not checked
    } cases[] = {
        {"<p><a href=\"a.pdf%20download\">Weiter</a></p>\n", 1, 17},
        {"<p><img src=\"bild.png\" alt=\"Haus\" />{width=50%}</p>\n", 2, 36},
        {"{width=50%} <img src=\"a\" />", 3, 12},  // width at 0 does not count
        {"ab{width=1}<img src=\"a\" />", 3, 11},
        {"<p><img src=\"a.png\" alt=\"b\" /></p>\n", 3, 3},
        {"<img src=\"a.png\" /> <h2 id=\"x\">", 4, 20},  // an image at 0 does not count
        {"<h2 id=\"x\">T</h2>\n", 4, 0},
        {"<a href=\"w\">Weiter</a></blockquote>\n", 5, -2},
        {"<p>Weiter ohne Link</p>\n", 0, -2},
        {"<p><a href=\"i.php\">Inhalt</a> <a href=\"w.php\">Weiter</a></p>\n", 8, 17},
        {"<p><a href=\"w.php\">Zurück</a> <a href=\"w.php\">Weiter</a></p>\n", 6, 17},
        {"<p><a href=\"z.php\">zurück</a></p>\n", 7, 17},
        {"<p><a href=\"z.php\">ZURÜCK</a></p>\n", 0, 17},
        {"<p><a href='w.php'>Weiter</a></p>\n", 6, -1},
        {"", 0, -2},
    };
    for (const Case& c : cases) {
        int i = 99;
        EXPECT_EQ(getSonderbehandlung(c.line, &i), c.special) << c.line;
        if (c.i != -2) {
            EXPECT_EQ(i, c.i) << c.line;
        }
        int j = 99;
        EXPECT_EQ(classify_line(c.line, std::strlen(c.line), &j), c.special) << c.line;
        if (c.special != 0 && c.special != 5) {
            EXPECT_EQ(j, i) << c.line;
        }
    }
}

// The rewriter classifies with its own one-pass scan; on lines made of the
// pieces the patterns are built from, it must agree with the plain search.
TEST(RewriteClassify, ScanAgreesWithPlainSearch)
{
    const std::vector<std::string> bits = {
        "<", ">", "\"", "=", "%", "{", "}", " ", "/", "\n", "a", "h", "i", "I", "w", "W", "z", "Z",
        "<p>", "<img src=", " />", "<h2 id=\"", "\">", "</blockquote>", "href=", "%20download\"",
        "{width=", "Inhalt", "inhALT", "Weiter", "WEITER", "Zurück", "zurück", "ZURÜCK", "ZURüCK",
        "<body", "</body", "<tr class=\"odd\">", "\xc3", "\xbc", "%20download", "{width", "<h2 id=",
        "xxxxxxxxxxxxxxx"};
    std::mt19937 rng(20211122);
    for (int round = 0; round < 20000; ++round) {
        std::string line;
        std::size_t parts = rng() % 40;
        for (std::size_t k = 0; k < parts; ++k)
            line += bits[rng() % bits.size()];
        int want_i = 0;
        int got_i = 0;
        int want = getSonderbehandlung(line.c_str(), &want_i);
        ASSERT_EQ(classify_line(line.data(), line.size(), &got_i), want) << line;
        if (want != 0 && want != 5) {
            ASSERT_EQ(got_i, want_i) << line;
        }
    }
}

// ---- tag decoration, in place ----

TEST(RewriteDecoration, InPlace)
{
    EXPECT_EQ(decorated("<div>\n", "div.lead"), "<div class=\"lead\">\n");
    EXPECT_EQ(decorated("<table>\n", "table#preise"), "<table id=\"preise\">\n");
    EXPECT_EQ(decorated("<div class=\"a\">\n", "div.lead"), "<div class=\"a\" class=\"lead\">\n");
    EXPECT_EQ(decorated("<p><img src=\"a.png\" /></p>\n", "img.rund"),
              "<p class=\"rund\"><img src=\"a.png\" /></p>\n");
    EXPECT_EQ(decorated("<pre><code>\n", "p.lead"), "<pre class=\"lead\"><code>\n");
    EXPECT_EQ(decorated("x <b> y\n", ".hinweis"), "x <b class=\"hinweis\"> y\n");
    EXPECT_EQ(decorated("a < b\n", ".hinweis"), "a < b\n");  // no '>' to put it before
    EXPECT_EQ(decorated("<div>\n", "div."), "<div class=\"\">\n");
    EXPECT_EQ(decorated("<div>\n", "div.a#b"), "<div class=\"a#b\">\n");
    EXPECT_EQ(decorated("<div>\n", "div#a.b"), "<div id=\"a.b\">\n");
    for (const char* none : {"div", ".", "", "span.x"})
        EXPECT_EQ(decorated("<div>\n", none), "<div>\n") << none;
    EXPECT_EQ(decorated("<div>\n", nullptr), "<div>\n");
    // In a line buffer of its own, a line that would outgrow it stays whole.
    std::string full = "<div>" + std::string(1015, 'x');
    EXPECT_EQ(decorated(full, "div.lang"), full);
}

// ---- the rewriter over streams ----

TEST(RewriteStream, EveryCallStartsAfresh)
{
    const std::string in = "<h2 id=\"a\">A</h2>\n</blockquote>\n<h2 id=\"b\">B</h2>\n";
    const std::string out = "<h2 class=\"h2_top\">A</h2>\n</blockquote>\n<h2 class=\"h2_mid\">B</h2>\n";
    EXPECT_EQ(rewrite(in), out);
    // Neither the heading flag nor the quotation flag outlives a call.
    EXPECT_EQ(rewrite(in + "<p>x</p>\n"), out + "<p class=\"zitat\">x</p>\n");
    EXPECT_EQ(rewrite("<p>x</p>\n" + in), "<p>x</p>\n" + out);
    EXPECT_EQ(rewrite(""), "");
    EXPECT_EQ(rewrite("<body>\n", true, ""), "");
}

TEST(RewriteStream, ZeroBytesAreOrdinaryBytes)
{
    // The image behind the zero byte is found; the line with "<html>" is
    // longer than a skeleton line because its zero byte counts.
    const std::string in = "<p>a\0b <img src=\"x.png\" alt=\"y\" /></p>\n\0\0\n<html>\0 lang\n</html>\n"s;
    EXPECT_EQ(rewrite(in), "<p>a\0b <img src=\"x.png\" alt=\"y\" class=\"img-fluid\" /></p>\n\0\0\n<html>\0 lang\n"s);
}

TEST(RewriteStream, PatternsAtTheEndOfAPiece)
{
    // "href=" in the very last bytes, of the input and of a 1023-byte piece.
    EXPECT_EQ(rewrite("<b class=\"x\">Weiter</b> href="), "<b class=\"x\">" + std::string(RIGHT) + "Weiter</b> href=");
    std::string head = "<b class=\"x\">Inhalt</b>";
    std::string pad(LINE_MAX_READ - head.size() - 5, ' ');
    EXPECT_EQ(rewrite(head + pad + "href=rest\n"), "<b class=\"x\">" + MAP + "Inhalt</b>" + pad + "href=rest\n");
    // Pieces of every length up to the largest, with the image at their end.
    std::string in;
    std::string want;
    const std::string img = "<img src=\"a\" />";
    for (std::size_t len = img.size() + 2; len <= LINE_MAX_READ; ++len) {
        std::string fill(len - img.size() - 1, 'x');
        in += fill + img + "\n";
        want += fill + "<img src=\"a\" class=\"img-fluid\" />\n";
    }
    EXPECT_EQ(rewrite(in), want);
    // An empty tag name decorates at a '<' that ends the line.
    EXPECT_EQ(rewrite("a > b <", false, ".k"), "a  class=\"k\"> b <");
}

// ---- whole pages ----

TEST(RewritePage, ImageWidth)
{
    // "{width=" at 36, its '=' at 42, the '}' at 46.
    PageRun p = run_page("<p><img src=\"bild.png\" alt=\"Haus\" />{width=50%}</p>\n");
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.out, "gefunden: i=36\ni=36  | j=46  | k=42");
    EXPECT_EQ(p.page, page("<p><img src=\"bild.png\" alt=\"Haus\" style=\"width:50%\" /> </p>\n"));

    // Without its '}' the line stays as it is, with the banner.
    const std::string broken = "<p><img src=\"bild.png\" alt=\"Haus\" />{width=50%</p>\n";
    p = run_page(broken);
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.out,
              "gefunden: i=36\ni=36  | j=51  | k=42"
              "\n=============\nFehler beim Ersetzen von width!\n==============\n");
    EXPECT_EQ(p.page, page(broken));

    // At the start of a line the width is no width; the image still counts.
    expect_body("{width=50%} <img src=\"a.png\" />\n", "{width=50%} <img src=\"a.png\" class=\"img-fluid\" />\n");
}

TEST(RewritePage, DownloadsAndImages)
{
    expect_body("<p><a href=\"dateien/handbuch.pdf%20download\">Handbuch</a> lesen</p>\n"
                "<p><a href=\"x.pdf%20download\">Weiter</a></p>\n"
                "<p><img src=\"a.png\" alt=\"b\" /></p>\n"
                "<img src=\"a.png\" alt=\"b\" />\n",
                "<p><a href=\"dateien/handbuch.pdf\" download>Handbuch</a> lesen</p>\n"
                "<p><a href=\"x.pdf\" download>Weiter</a></p>\n"
                "<p><img src=\"a.png\" alt=\"b\" class=\"img-fluid\" /></p>\n"
                "<img src=\"a.png\" alt=\"b\" />\n");
    // The byte after the pattern goes, whatever it is.
    expect_body("<a href=\"x.pdf%20download\"\n", "<a href=\"x.pdf\" download>");
}

TEST(RewritePage, Headings)
{
    expect_body("<h1 id=\"t\">Titel</h1>\n"
                "<h2 id=\"eins\">Eins</h2>\n"
                "<p><img src=\"a.png\" /></p>\n"
                "<h2 id=\"zwei\" class=\"alt\">Zwei</h2>\n"
                "<h2 id=\"drei\">Drei</h2>\n",
                "<h1 id=\"t\">Titel</h1>\n"
                "<h2 class=\"h2_top\">Eins</h2>\n"
                "<p><img src=\"a.png\" class=\"img-fluid\" /></p>\n"
                "<h2 class=\"h2_mid\">Zwei</h2>\n"
                "<h2 class=\"h2_mid\">Drei</h2>\n");
}

TEST(RewritePage, NavigationIcons)
{
    expect_body("<p><a href=\"teil2.php\">Weiter</a></p>\n"
                "<p><a href=\"teil0.php\">Zurück</a></p>\n"
                "<p><a href=\"index.php\">Inhalt</a></p>\n"
                "<p><a href=\"weiterbildung.php\">Kurse</a></p>\n"
                "<p><a href=\"a.php\">Zurück</a> <a href=\"b.php\">Weiter</a> <a href=\"c.php\">Inhalt</a></p>\n"
                "<p><a href=\"a.php\">zurück</a></p>\n"
                "<p><a href=\"a.php\">ZURÜCK</a></p>\n"
                "<p>Weiter ohne Link</p>\n",
                "<p><a href=\"teil2.php\">" + RIGHT + "Weiter</a></p>\n" +
                    "<p><a href=\"teil0.php\">" + LEFT + "Zurück</a></p>\n" +
                    "<p><a href=\"index.php\">" + MAP + "Inhalt</a></p>\n" +
                    "<p><a href=\"weiterbildung.php\">" + RIGHT + "Kurse</a></p>\n" +
                    "<p><a href=\"a.php\">" + MAP +
                    "Zurück</a> <a href=\"b.php\">Weiter</a> <a href=\"c.php\">Inhalt</a></p>\n" +
                    "<p><a href=\"a.php\">" + LEFT + "zurück</a></p>\n" +
                    "<p><a href=\"a.php\">ZURÜCK</a></p>\n"
                    "<p>Weiter ohne Link</p>\n");
    // Weiter wins over Zurück.
    expect_body("<a href=\"z\">Zurück</a><a href=\"w\">Weiter</a>\n",
                "<a href=\"z\">" + RIGHT + "Zurück</a><a href=\"w\">Weiter</a>\n");
}

TEST(RewritePage, QuotationMarksTheNextPlainLine)
{
    expect_body("<blockquote>\n"
                "<p>Zitat</p>\n"
                "</blockquote>\n"
                "<h2 id=\"n\">Nach</h2>\n"
                "<p><a href=\"w.php\">Weiter</a></p>\n"
                "<p>Quelle</p>\n"
                "<p>Danach</p>\n"
                "</blockquote>\n"
                "<ul>\n"
                "<p>Kein Zitat</p>\n"
                "</blockquote>\n"
                "  <p>Eingerückt</p>\n"
                "</blockquote>\n"
                "Text <p>mitten</p>\n",
                "<blockquote>\n"
                "<p>Zitat</p>\n"
                "</blockquote>\n"
                "<h2 class=\"h2_top\">Nach</h2>\n"
                "<p><a href=\"w.php\">" +
                    RIGHT +
                    "Weiter</a></p>\n"
                    "<p class=\"zitat\">Quelle</p>\n"
                    "<p>Danach</p>\n"
                    "</blockquote>\n"
                    "<ul>\n"
                    "<p>Kein Zitat</p>\n"
                    "</blockquote>\n"
                    "  <p class=\"zitat\">Eingerückt</p>\n"
                    "</blockquote>\n"
                    "Text <p class=\"zitat\">mitten</p>\n");
}

TEST(RewritePage, EqualTableRows)
{
    const std::string in = "<table>\n"
                           "<tr class=\"odd\">\n"
                           "  <tr class=\"even\"><td>x</td>\n"
                           "</blockquote>\n"
                           "<tr class=\"odd\">\n"
                           "<tr class=\"even\">\n";
    expect_body(in, in);
    expect_body(in,
                "<table>\n"
                "<tr class=\"equal\">\n"
                "<tr class=\"equal\">\n"
                "</blockquote>\n"
                "<tr class=\"odd\">\n"
                "<tr class=\"equal\">\n",
                {"-e"});
}

TEST(RewritePage, Decoration)
{
    expect_body("<div>\n<div class=\"a\">\n<p>x</p>\n", "<div class=\"lead\">\n<div class=\"a\" class=\"lead\">\n<p>x</p>\n",
                {"-d", "div.lead"});
    expect_body("<table>\n", "<table id=\"preise\">\n", {"-d", "table#preise"});
    expect_body("<p><img src=\"a.png\" alt=\"b\" /></p>\n",
                "<p class=\"rund\"><img src=\"a.png\" alt=\"b\" class=\"img-fluid\" /></p>\n", {"-d", "img.rund"});
    // A decorated paragraph no longer holds "<p>": no zitat class after a quotation.
    expect_body("<pre><code>x\n</blockquote>\n<p>Text</p>\n",
                "<pre class=\"lead\"><code>x\n</blockquote>\n<p class=\"lead\">Text</p>\n", {"-d", "p.lead"});
    // The heading rewriting resumes at the end of the new attribute.
    expect_body("<h2 id=\"a\">T</h2>\n<h2 id=\"b\">U</h2>\n", "<h2 class=\"h2_top\">T</h2>\n<h2 class=\"h2_mid\">U</h2>\n",
                {"-d", "h2.x"});
    expect_body("<p>a</p>\ntext\na < b\n", "<p class=\"hinweis\">a</p>\ntext\na < b\n", {"-d", ".hinweis"});
    expect_body("<div>\n", "<div class=\"\">\n", {"-d", "div."});
    expect_body("<div>\n", "<div class=\"a#b\">\n", {"-d", "div.a#b"});
    expect_body("<div>\n", "<div id=\"a.b\">\n", {"-d", "div#a.b"});
    for (const char* none : {"div", ".", ""})
        expect_body("<div>\n", "<div>\n", {"-d", none});
}

TEST(RewritePage, SkeletonLinesOnly)
{
    expect_body("<html>\n"
                "<body>\n"
                "<body class=\"x\">\n"
                "<p>Somebody said so; nobody knows.</p>\n"
                "<p><a href=\"/nobody/\">Link</a></p>\n"
                "</body>\n"
                "</html>\n"
                "html\n"
                "<p>html</p>\n"
                "<a href=\"seite.html\">x</a>\n",
                "<p>Somebody said so; nobody knows.</p>\n"
                "<p><a href=\"/nobody/\">Link</a></p>\n"
                "<p>html</p>\n"
                "<a href=\"seite.html\">x</a>\n");
}

TEST(RewritePage, IncompleteShapesStayAsTheyAre)
{
    const std::string in = "<p><img src=\"a.png\" alt=\"b\"></p>\n"            // no " />"
                           "<p>x<br /> <img src=\"a.png\" alt=\"b\"></p>\n"     // " />" only before it
                           "<h2 id=\"x\" >Ohne</h2>\n"                         // no "\">"
                           "<a href=\"x\">y</a> <h2 id=\"z>T</h2>\n"            // "\">" only before it
                           "<p><a href='w.php'>Weiter</a></p>\n"                // link without "\">"
                           "<h2 id=\"b\">B</h2>\n"                              // still the first heading
                           "<p><a href=\"x.pdf%20download\"";                   // nothing after the pattern
    std::string body = in;
    body.replace(body.find("<h2 id=\"b\">"), 11, "<h2 class=\"h2_top\">");
    expect_body(in, body);
}

TEST(RewritePage, LongLinesRandomBytesAndNoFinalNewline)
{
    // Plain lines of 1022, 1023, 1024 and 5000 bytes pass whole.
    std::string in;
    for (std::size_t len : {1022u, 1023u, 1024u, 5000u})
        in += std::string(len - 1, 'a') + "\n";
    expect_body(in, in);

    // A long line is read in pieces of 1023 bytes, each a line of its own:
    // the image in the second piece is rewritten, the one cut by the piece
    // boundary is not.
    std::string x(1023, 'x');
    expect_body(x + "<p><img src=\"a.png\" /></p>\n" + std::string(1020, 'y') + "<img src=\"b.png\" />\n",
                x + "<p><img src=\"a.png\" class=\"img-fluid\" /></p>\n" + std::string(1020, 'y') +
                    "<img src=\"b.png\" />\n");

    // A decoration longer than the line buffer is written whole.
    std::string value(1000, 'v');
    std::string text(1016, 't');
    expect_body("<p>" + text + "</p>\n", "<p class=\"" + value + "\">" + text + "</p>\n", {"-d", "p." + value});

    // Random bytes without the bytes that begin or end a pattern, NUL
    // included, and no newline at the end: copied byte for byte.
    std::mt19937 rng(7);
    std::string noise;
    while (noise.size() < 20000) {
        char c = static_cast<char>(rng() % 256);
        if (std::string("<%{=h").find(c) == std::string::npos)
            noise += c;
    }
    noise += "\0"s;
    expect_body(noise, noise);

    // Any bytes at all: the run ends well and the page keeps its frame.
    std::string any;
    for (int k = 0; k < 50000; ++k)
        any += static_cast<char>(rng() % 256);
    PageRun p = run_page(any, {"-e", "-d", "p.x"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.page.substr(0, 6), "<?php\n");
    EXPECT_EQ(p.page.substr(p.page.size() - 3), "?>\n");

    // A last line without a newline is rewritten and keeps its bytes.
    expect_body("<p>a</p>\n<h2 id=\"a\">T</h2>", "<p>a</p>\n<h2 class=\"h2_top\">T</h2>");
}
