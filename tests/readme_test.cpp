// The worked example in the README is what the program really writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

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

TEST(Readme, EveryMakeTargetListed)
{
    // Every target of the top-level Makefile has its line in `make help` and
    // its row in the README's table of targets ("make" alone stands for all).
    const std::string dir = QB_SOURCE_DIR;
    const std::string makefile = slurp(dir + "/Makefile");
    const std::string doc = slurp(dir + "/README.md");
    std::string help;
    // A fresh make: the jobserver of a make that runs the tests is not ours.
    if (std::FILE* p = popen(("env -u MAKEFLAGS -u MAKELEVEL make -s -C '" + dir + "' help").c_str(), "r")) {
        char buf[4096];
        for (std::size_t got; (got = std::fread(buf, 1, sizeof buf, p)) > 0;)
            help.append(buf, got);
        EXPECT_EQ(pclose(p), 0);
    }
    std::vector<std::string> targets;  // "name:" at the start of a line, but not "name :="
    std::istringstream in(makefile);
    for (std::string line; std::getline(in, line);) {
        std::size_t name = line.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-");
        if (name > 0 && name != std::string::npos && line[name] == ':' && line.compare(name, 2, ":=") != 0)
            targets.push_back(line.substr(0, name));
    }
    EXPECT_GE(targets.size(), 19u);
    for (const std::string& t : targets) {
        EXPECT_NE(help.find("\n  " + t + " "), std::string::npos) << t << " fehlt in make help";
        bool row = t == "all" ? doc.find("| `make`") != std::string::npos
                              : doc.find("| `make " + t + "`") != std::string::npos ||
                                    doc.find("| `make " + t + " ") != std::string::npos ||
                                    doc.find(", `make " + t + "`") != std::string::npos;
        EXPECT_TRUE(row) << t << " fehlt in der Tabelle des README";
    }
    std::size_t lines = 0;
    for (char c : help)
        lines += c == '\n';
    EXPECT_EQ(lines, targets.size() + 1) << help;  // a heading, then one line a target
}
