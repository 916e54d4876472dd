// The worked example in the README is what the program really writes.
#include <gtest/gtest.h>

#include "testutil.h"

using namespace qbtest;

namespace {

// The text of the first fenced block of the given language after marker.
std::string block(const std::string& doc, const std::string& marker, const std::string& lang)
{
    std::size_t at = doc.find(marker);
    EXPECT_NE(at, std::string::npos) << marker;
    std::size_t open = doc.find("```" + lang + "\n", at);
    EXPECT_NE(open, std::string::npos) << lang;
    open += 4 + lang.size();
    std::size_t close = doc.find("\n```", open);
    return doc.substr(open, close - open + 1);
}

}  // namespace

TEST(Readme, WorkedExample)
{
    const std::string doc = slurp(std::string(QB_SOURCE_DIR) + "/README.md");
    const std::string cmd = "quennelbrook -t \"Wandern\" -u \"Am Meer\" -c slider -w seite2.php artikel.html seite.php";
    ASSERT_NE(doc.find("SOURCE_DATE_EPOCH=1620032700 TZ=UTC \\\n  " + cmd), std::string::npos);
    TempDir d;
    spit(d / "artikel.html", block(doc, "## Ein Beispiel", "html"));
    Result r = qb({"-t", "Wandern", "-u", "Am Meer", "-c", "slider", "-w", "seite2.php", "artikel.html", "seite.php"},
                  d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(slurp(d / "seite.php"), block(doc, "## Ein Beispiel", "php"));
}
