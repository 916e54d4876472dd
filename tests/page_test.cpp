// Whole pages of the full-page mode, compared byte for byte.
#include <gtest/gtest.h>

#include "testutil.h"

using namespace qbtest;

namespace {

const std::string HEADER_END = "\nrequire_once(\"assets/include/header.php\");\n?>\n\n";
const std::string OPENER = "<div class=\"container\">\n\t<br>\n\t<div class=\"jumbotron\">\n";
const std::string STAMP_LINE =
    std::string("<p style=\"text-align: right; margin-top: -3em;\"><small>") + STAMP + "</small><p>\n";

}  // namespace

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
