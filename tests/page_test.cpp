// Whole pages of the full-page mode, compared byte for byte.
#include <gtest/gtest.h>

#include "testutil.h"

using namespace qbtest;

TEST(FullPage, WorkedExample)
{
    TempDir d;
    spit(d / "in.html", "<p>Hallo</p>\n");
    Result r = qb({"-t", "Titel", "-u", "Kopf", "-c", "slider", "-w", "next.php", "in.html", "seite.php"}, d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(slurp(d / "seite.php"),
              "<?php\n"
              "$titel = \"Titel\";\n"
              "$zeile1 = \"Kopf\";\n"
              "$zeile2 = \"\";\n"
              "$menue = 2;\n"
              "$seite = \"seite.php\";\n" +
                  HEADER_END + OPENER + STAMP_LINE +
                  "<p>Hallo</p>\n"
                  "\n"
                  "\n<hr />\n"
                  "<p><a href=\"next.php\"><span class=\"icon-arrow-right-circle\"></span>&nbsp;Weiter</a></p>\n"
                  "\t</div>\n\n</div>\n"
                  "\n"
                  "<?php\n"
                  "require_once(\"assets/include/slider.php\");\n"
                  "require_once(\"assets/include/footer.php\");\n"
                  "?>\n");
    EXPECT_EQ(entries(d.path), (std::vector<std::string>{"in.html", "seite.php"}));
}

namespace {

std::string page_head(const std::string& titel, const std::string& zeile1, const std::string& seite)
{
    std::string s = "<?php\n$titel = \"" + titel + "\";\n$zeile1 = \"" + zeile1 + "\";\n$zeile2 = \"\";\n$menue = 2;\n";
    if (!seite.empty())
        s += "$seite = \"" + seite + "\";\n";
    return s + HEADER_END;
}

const std::string CLOSE = "\t</div>\n\n</div>\n\n";
const std::string FOOT = "<?php\nrequire_once(\"assets/include/footer.php\");\n?>\n";

}  // namespace

TEST(FullPage, SectionDateAndSeite)
{
    TempDir d;
    spit(d / "in.html", "<p>A</p>\n");

    // Heading X: no section at all, but $zeile1 still says X.
    Result r = qb({"-t", "T", "-u", "X", "in.html", "out.php"}, d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(slurp(d / "out.php"), page_head("T", "X", "out.php") + "<p>A</p>\n\n\n" + FOOT);

    // Lower-case x is an ordinary heading.
    qb({"-t", "T", "-u", "x", "in.html", "out.php"}, d.path);
    EXPECT_EQ(slurp(d / "out.php"), page_head("T", "x", "out.php") + OPENER + STAMP_LINE + "<p>A</p>\n\n" + CLOSE + FOOT);

    // -v without a date: opener without stamp. A date of 4 bytes or more is shown instead.
    qb({"-t", "T", "-v", "in.html", "out.php"}, d.path);
    EXPECT_EQ(slurp(d / "out.php"), page_head("T", "", "out.php") + OPENER + "<p>A</p>\n\n" + CLOSE + FOOT);
    const std::string date_line =
        "<p style=\"text-align: right; margin-top: -3em;\"><small>veröffentlicht: 2021</small><p>\n";
    qb({"-t", "T", "-a", "2021", "in.html", "out.php"}, d.path);
    EXPECT_EQ(slurp(d / "out.php"), page_head("T", "", "out.php") + OPENER + date_line + "<p>A</p>\n\n" + CLOSE + FOOT);
    qb({"-t", "T", "-a", "202", "in.html", "out.php"}, d.path);
    EXPECT_EQ(slurp(d / "out.php"), page_head("T", "", "out.php") + OPENER + "<p>A</p>\n\n" + CLOSE + FOOT);
    // With heading X the date line follows the header block directly.
    qb({"-t", "T", "-u", "X", "-a", "2021", "in.html", "out.php"}, d.path);
    EXPECT_EQ(slurp(d / "out.php"), page_head("T", "X", "out.php") + date_line + "<p>A</p>\n\n\n" + FOOT);

    // An output path of 3 bytes sets no $seite.
    qb({"-t", "T", "in.html", "a.p"}, d.path);
    EXPECT_EQ(slurp(d / "a.p"), page_head("T", "", "") + OPENER + STAMP_LINE + "<p>A</p>\n\n" + CLOSE + FOOT);
}

TEST(FullPage, LinksCarouselAndFooter)
{
    TempDir d;
    spit(d / "in.html", "<p>A</p>");  // no newline at the end
    Result r = qb({"-t", "T", "-z", "prev.php", "-w", "next.php", "-i", "index.php", "-c", "sl", "-f", "f.php",
                   "in.html", "out.php"},
                  d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(slurp(d / "out.php"),
              page_head("T", "", "out.php") + OPENER + STAMP_LINE + "<p>A</p>\n" + "\n<hr />\n" +
                  "<p><a href=\"index.php\"><span class=\"icon-map\"></span>&nbsp;Inhalt</a></p>\n"
                  "<p><a href=\"next.php\"><span class=\"icon-arrow-right-circle\"></span>&nbsp;Weiter</a></p>\n"
                  "<p><a href=\"prev.php\"><span class=\"icon-arrow-left-circle\"></span>&nbsp;Zurück</a></p>\n" +
                  CLOSE +
                  "<?php\nrequire_once(\"assets/include/f.php\");\nrequire_once(\"assets/include/footer.php\");\n?>\n");

    // Only the previous page; a 2-byte target is no link; a footer path that
    // names the include directory is taken as it is; a 1-byte footer is none.
    qb({"-t", "T", "-z", "p.php", "-w", "ab", "-c", "slider", "-f", "x/assets/include/f.php", "in.html", "out.php"},
       d.path);
    EXPECT_EQ(slurp(d / "out.php"),
              page_head("T", "", "out.php") + OPENER + STAMP_LINE + "<p>A</p>\n" + "\n<hr />\n" +
                  "<p><a href=\"p.php\"><span class=\"icon-arrow-left-circle\"></span>&nbsp;Zurück</a></p>\n" + CLOSE +
                  "<?php\nrequire_once(\"assets/include/slider.php\");\nrequire_once(\"x/assets/include/f.php\");\n"
                  "require_once(\"assets/include/footer.php\");\n?>\n");
    qb({"-t", "T", "-w", "ab", "-f", "f", "in.html", "out.php"}, d.path);
    EXPECT_EQ(slurp(d / "out.php"), page_head("T", "", "out.php") + OPENER + STAMP_LINE + "<p>A</p>\n" + CLOSE + FOOT);
}

TEST(FullPage, PhpLiteralsAreEscaped)
{
    TempDir d;
    spit(d / "in.html", "<p>\"$x\"</p>\n");
    Result r = qb({"-t", "Omas \"beste\" Suppe", "-u", "$5 \\ Preis", "-c", "a\"b", "in.html", "o$t.php"}, d.path);
    EXPECT_EQ(r.status, 0);
    std::string page = slurp(d / "o$t.php");
    EXPECT_EQ(page.rfind("<?php\n$titel = \"Omas \\\"beste\\\" Suppe\";\n$zeile1 = \"\\$5 \\\\ Preis\";\n"
                         "$zeile2 = \"\";\n$menue = 2;\n$seite = \"o\\$t.php\";\n",
                         0),
              0u);
    // The fragment is HTML and stays as it is; the include name is a literal.
    EXPECT_NE(page.find("<p>\"$x\"</p>\n"), std::string::npos);
    EXPECT_NE(page.find("require_once(\"assets/include/a\\\"b.php\");\n"), std::string::npos);
    if (std::system("command -v php >/dev/null 2>&1") == 0) {
        EXPECT_EQ(std::system(("php -l '" + (d / "o$t.php") + "' >/dev/null").c_str()), 0);
    }
}
