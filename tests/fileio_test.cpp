// Reading in line-buffer pieces, and writing pages that are never left half
// written: the failure matrix of a full-page run.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

#include "fileio.h"
#include "testutil.h"

using namespace qbtest;

namespace {

std::vector<std::string> pieces(const std::string& text)
{
    std::FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    LineReader r(f);
    std::vector<std::string> out;
    char line[LINE_SIZE];
    while (std::size_t n = read_piece(r, line)) {
        EXPECT_EQ(line[n], '\0');
        out.emplace_back(line, n);
    }
    std::fclose(f);
    return out;
}

const std::string OLD_PAGE = "<?php\n// die alte Seite\n?>\n";

}  // namespace

TEST(LineReader, PiecesOfAtMost1023Bytes)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(pieces(""), V{});
    EXPECT_EQ(pieces("a\nb"), (V{"a\n", "b"}));
    EXPECT_EQ(pieces("\n\n"), (V{"\n", "\n"}));
    std::string nul("x\0y\n", 4);
    EXPECT_EQ(pieces(nul + "z"), (V{nul, "z"}));
    std::string s1022(1022, 'a'), s1023(1023, 'b');
    EXPECT_EQ(pieces(s1022 + "\n"), V{s1022 + "\n"});
    // The newline no longer fits: it comes as a piece of its own.
    EXPECT_EQ(pieces(s1023 + "\nc\n"), (V{s1023, "\n", "c\n"}));
    std::string s5000(5000, 'q');
    V expect = {std::string(1023, 'q'), std::string(1023, 'q'), std::string(1023, 'q'), std::string(1023, 'q'),
                std::string(908, 'q') + "\n"};
    EXPECT_EQ(pieces(s5000 + "\n"), expect);
    // Pieces also split correctly across the reader's internal blocks.
    std::string big;
    for (int i = 0; i < 20000; ++i)
        big += std::to_string(i) + "\n";
    V lines = pieces(big);
    ASSERT_EQ(lines.size(), 20000u);
    EXPECT_EQ(lines[12345], "12345\n");
}

TEST(SafeOutput, FailingRunsLeaveThePageAlone)
{
    TempDir d;
    spit(d / "in.html", "<p>neu</p>\n");
    spit(d / "out.php", OLD_PAGE);
    ::mkdir((d / "dir.php").c_str(), 0755);
    ::mkdir((d / "indir").c_str(), 0755);
    // Inputs that open but cannot be read: at offset 0 of its own memory a
    // process finds nothing mapped.
    ASSERT_EQ(::symlink("/proc/self/mem", (d / "mem.html").c_str()), 0);
    ASSERT_EQ(::symlink("/proc/self/mem", (d / "mem.md").c_str()), 0);
    const auto before = entries(d.path);
    struct Case {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"-t", "T", "fehlt.html", "out.php"}, "Fehler: Eingabedatei \"fehlt.html\" nicht vorhanden oder Platte voll!\n"},
        {{"-t", "T", "indir", "out.php"}, "Fehler: Eingabedatei \"indir\" nicht vorhanden oder Platte voll!\n"},
        {{"-t", "T", "fehlt.md", "out.php"}, "Fehler: Eingabedatei \"fehlt.md\" nicht vorhanden oder Platte voll!\n"},
        {{"-t", "T", "mem.html", "out.php"}, "Fehler: Eingabedatei \"mem.html\" nicht vorhanden oder Platte voll!\n"},
        {{"-t", "T", "mem.md", "out.php"}, "Fehler: Eingabedatei \"mem.md\" nicht vorhanden oder Platte voll!\n"},
        {{"-t", "T", "in.html", "nodir/out.php"},
         "Fehler: Ausgabedatei \"nodir/out.php\" kann nicht geschrieben werden!\n"},
        {{"-t", "T", "in.html", "dir.php"}, "Fehler: Ausgabedatei \"dir.php\" kann nicht geschrieben werden!\n"},
        {{"-t", "T", "in.html", "/dev/full"}, "Fehler: Ausgabedatei \"/dev/full\" kann nicht geschrieben werden!\n"},
    };
    for (const auto& c : cases) {
        Result r = qb(c.args, d.path);
        EXPECT_EQ(r.status, 252) << c.args[2] << " " << c.args[3];
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(slurp(d / "out.php"), OLD_PAGE);
        EXPECT_EQ(entries(d.path), before);
        EXPECT_EQ(entries(d / "dir.php"), std::vector<std::string>{});
    }
}

TEST(SafeOutput, WriteErrorKeepsOldPage)
{
    TempDir d;
    std::string body;
    while (body.size() < 300000)
        body += "<p>Ein Absatz mit etwas Text, der die Platte füllt.</p>\n";
    spit(d / "in.html", body);
    spit(d / "out.php", OLD_PAGE);
    qbtest::Run run;
    run.args = {"-t", "T", "in.html", "out.php"};
    run.cwd = d.path;
    run.fsize_limit = 100000;  // the disk is full after 100 kB
    Result r = qbtest::run(run);
    EXPECT_EQ(r.status, 252);
    EXPECT_EQ(r.out, "Fehler: Ausgabedatei \"out.php\" kann nicht geschrieben werden!\n");
    EXPECT_EQ(slurp(d / "out.php"), OLD_PAGE);
    EXPECT_EQ(entries(d.path), (std::vector<std::string>{"in.html", "out.php"}));

    // The same run with room enough writes the whole page.
    run.fsize_limit = -1;
    r = qbtest::run(run);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(slurp(d / "out.php").find(body), std::string::npos);
}

TEST(SafeOutput, UnwritableDirectory)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the program as another user (nobody)";
    TempDir d;
    ::mkdir((d / "site").c_str(), 0755);  // owned by root: nobody may not write here
    spit(d / "in.html", "<p>neu</p>\n");
    spit(d / "site/out.php", OLD_PAGE);
    ::chmod((d / "site/out.php").c_str(), 0666);
    qbtest::Run run;
    run.args = {"-t", "T", "in.html", "site/out.php"};
    run.cwd = d.path;
    run.uid = 65534;
    Result r = qbtest::run(run);
    EXPECT_EQ(r.status, 252);
    EXPECT_EQ(r.out, "Fehler: Ausgabedatei \"site/out.php\" kann nicht geschrieben werden!\n");
    EXPECT_EQ(slurp(d / "site/out.php"), OLD_PAGE);
    EXPECT_EQ(entries(d / "site"), std::vector<std::string>{"out.php"});
}

TEST(SafeOutput, WhatIsReplacedAndHow)
{
    TempDir d;
    spit(d / "in.html", "<p>neu</p>\n");

    // A symlink stays a link; the file it points to gets the page. A
    // relative target counts from the link's directory, not from ours.
    ::mkdir((d / "real").c_str(), 0755);
    ::mkdir((d / "sub").c_str(), 0755);
    struct stat st;
    for (const auto& [link, points_to, real] : {std::tuple{"link.php", "real/page.php", "real/page.php"},
                                                 std::tuple{"sub/seite.php", "echt.php", "sub/echt.php"}}) {
        spit(d / real, OLD_PAGE);
        ASSERT_EQ(::symlink(points_to, (d / link).c_str()), 0);
        EXPECT_EQ(qb({"-t", "T", "in.html", link}, d.path).status, 0) << link;
        ASSERT_EQ(::lstat((d / link).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << link;
        EXPECT_NE(slurp(d / real).find("<p>neu</p>"), std::string::npos) << link;
    }
    EXPECT_EQ(entries(d / "real"), std::vector<std::string>{"page.php"});
    EXPECT_EQ(entries(d / "sub"), (std::vector<std::string>{"echt.php", "seite.php"}));
    EXPECT_FALSE(exists(d / "echt.php"));

    // An existing page keeps its permission bits; a new one follows the umask.
    spit(d / "mode.php", OLD_PAGE);
    ::chmod((d / "mode.php").c_str(), 0640);
    EXPECT_EQ(qb({"-t", "T", "in.html", "mode.php"}, d.path).status, 0);
    ASSERT_EQ(::stat((d / "mode.php").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    mode_t old_mask = ::umask(027);
    EXPECT_EQ(qb({"-t", "T", "in.html", "neu.php"}, d.path).status, 0);
    ::umask(old_mask);
    ASSERT_EQ(::stat((d / "neu.php").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A page may be rebuilt from itself: the input is read before it is replaced.
    spit(d / "self.html", "<p>selbst</p>\n");
    EXPECT_EQ(qb({"-t", "T", "-u", "X", "self.html", "self.html"}, d.path).status, 0);
    std::string self = slurp(d / "self.html");
    EXPECT_NE(self.find("?>\n\n<p>selbst</p>\n\n\n<?php"), std::string::npos);

    // A target that is no regular file is written to directly.
    Result r = qb({"-t", "T", "-u", "X", "in.html", "/dev/stdout"}, d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("$seite = \"/dev/stdout\";\n"), std::string::npos);
    EXPECT_NE(r.out.find("<p>neu</p>\n"), std::string::npos);
}

TEST(SafeOutput, OddInputs)
{
    TempDir d;
    // An empty fragment still gives a complete page.
    spit(d / "leer.html", "");
    EXPECT_EQ(qb({"-t", "T", "-u", "X", "leer.html", "leer.php"}, d.path).status, 0);
    EXPECT_EQ(slurp(d / "leer.php"),
              "<?php\n$titel = \"T\";\n$zeile1 = \"X\";\n$zeile2 = \"\";\n$menue = 2;\n$seite = \"leer.php\";\n"
              "\nrequire_once(\"assets/include/header.php\");\n?>\n\n\n\n"
              "<?php\nrequire_once(\"assets/include/footer.php\");\n?>\n");
    // Control bytes, invalid UTF-8 and blanks in arguments and names.
    std::string odd = "Ti\ttel\n\x01\xff\xc3 ü";
    spit(d / "ein gabe.html", "<p>x</p>\n");
    Result r = qb({"-t", odd, "-u", "X", "ein gabe.html", "aus gäbe.php"}, d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(slurp(d / "aus gäbe.php").rfind("<?php\n$titel = \"" + odd + "\";\n", 0), 0u);
}

TEST(SafeOutput, SourceDateEpoch)
{
    TempDir d;
    spit(d / "in.html", "");
    auto stamp = [&](const std::string& value, const std::string& tz = "UTC") {
        qbtest::Run run;
        run.args = {"-t", "T", "in.html", "out.php"};
        run.cwd = d.path;
        run.env = {"SOURCE_DATE_EPOCH=" + value, "TZ=" + tz};
        qbtest::run(run);
        std::string page = slurp(d / "out.php");
        std::size_t at = page.find("veröffentlicht: ");
        return at == std::string::npos ? std::string() : page.substr(at, page.find('<', at) - at);
    };
    EXPECT_EQ(stamp("1620032700"), STAMP);
    EXPECT_EQ(stamp("0"), "veröffentlicht: Do, 1.1.1970 00:00");
    EXPECT_EQ(stamp("1609459199"), "veröffentlicht: Do, 31.12.2020 23:59");
    // The local time zone, from the zoneinfo files, in summer and in winter.
    EXPECT_EQ(stamp("1620032700", "Europe/Berlin"), "veröffentlicht: Mo, 3.5.2021 11:05");
    EXPECT_EQ(stamp("1609459199", "Europe/Berlin"), "veröffentlicht: Fr, 1.1.2021 00:59");
    // Anything but a plain non-negative number means: now.
    std::time_t now = std::time(nullptr);
    std::string year = std::to_string(std::gmtime(&now)->tm_year + 1900);
    for (const char* bad : {"", "-5", "12abc", " 1", "99999999999999999999999"})
        EXPECT_NE(stamp(bad).find("." + year + " "), std::string::npos) << bad;
}
