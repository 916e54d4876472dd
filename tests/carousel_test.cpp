// The carousel include file (-g carousel), run through the binary.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "testutil.h"

using namespace qbtest;

namespace {

// The include file for the given image directory and names.
std::string carousel(const std::string& img, const std::vector<std::string>& names)
{
    std::string s =
        "<div class=\" container \">\n"
        "    <div id=\"carouselExampleIndicators\" class=\"carousel slide\" data-ride=\"carousel\">\n"
        "        <ol class=\"carousel-indicators\">\n"
        "              <li data-target=\"#carouselExampleIndicators\" data-slide-to=\"0\" class=\"active\"></li>\n";
    for (std::size_t i = 1; i < names.size(); ++i)
        s += "            <li data-target=\"#carouselExampleIndicators\" data-slide-to=\"" + std::to_string(i) +
             "\"></li>\n";
    s += "        </ol>\n"
         "        <div class=\"carousel-inner\">\n"
         "            <div class=\"carousel-item active\">\n"
         "                <img class=\"d-block w-100\" src=\"" +
         img + "/" + names[0] +
         "\" alt=\"First slide\">\n"
         "            </div>\n";
    for (std::size_t n = 2; n <= names.size(); ++n)
        s += "            <div class=\"carousel-item\">\n"
             "                <img class=\"d-block w-100\" src=\"" +
             img + "/" + names[n - 1] + "\" alt=\"" + std::to_string(n) +
             ". slide\">\n"
             "            </div>\n";
    s += "        </div>\n"
         "        <a class=\"carousel-control-prev\" href=\"#carouselExampleIndicators\" role=\"button\" "
         "data-slide=\"prev\">\n"
         "            <span class=\"carousel-control-prev-icon\" aria-hidden=\"true\"></span>\n"
         "            <span class=\"sr-only\">Previous</span>\n"
         "        </a>\n"
         "        <a class=\"carousel-control-next\" href=\"#carouselExampleIndicators\" role=\"button\" "
         "data-slide=\"next\">\n"
         "            <span class=\"carousel-control-next-icon\" aria-hidden=\"true\"></span>\n"
         "            <span class=\"sr-only\">Next</span>\n"
         "        </a>\n"
         "    </div>\n"
         "</div>\n";
    return s;
}

struct Site {
    TempDir d;
    Site() { std::filesystem::create_directories(d / "assets/include"); }
    std::string operator/(const std::string& name) const { return d / name; }
};

const std::string WARNING = "Warnung: Zuviele Bilder angegeben (max = 10)!, Ignoriere Rest.\n";

}  // namespace

TEST(Carousel, OutputNames)
{
    Site s;
    std::filesystem::create_directories(s / "assets/include/assets/include");
    spit(s / "liste.txt", "a.jpg\n");
    const std::string expected = carousel("images", {"a.jpg"});
    const struct {
        std::string out;
        std::string file;
    } cases[] = {
        {"start", "assets/include/start.php"},
        {"start.php", "assets/include/start.php"},
        {"assets/include/start", "assets/include/start.php"},
        {"assets/include/start.php", "assets/include/start.php"},
        {"x.PHP", "assets/include/x.PHP.php"},
        {"ab", "assets/include/ab.php"},
        {"./assets/include/s", "assets/include/assets/include/s.php"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(s / c.file);
        Result r = qb({"-g", "carousel", "liste.txt", c.out}, s.d.path);
        EXPECT_EQ(r.status, 0) << c.out;
        EXPECT_EQ(r.out, "") << c.out;
        ASSERT_TRUE(exists(s / c.file)) << c.out;
        EXPECT_EQ(slurp(s / c.file), expected) << c.out;
    }
    EXPECT_EQ(entries(s / "assets/include"),
              (std::vector<std::string>{"ab.php", "assets", "start.php", "x.PHP.php"}));

    // One argument names both the list and the include file.
    Result r = qb({"-g", "carousel", "liste.txt"}, s.d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(slurp(s / "assets/include/liste.txt.php"), expected);
    EXPECT_EQ(slurp(s / "liste.txt"), "a.jpg\n");
}

TEST(Carousel, NameCounts)
{
    Site s;
    std::vector<std::string> names;
    std::string list;
    for (int i = 1; i <= 11; ++i) {
        names.push_back("bild" + std::to_string(i) + ".jpg");
        list += names.back() + "\n";
        if (i == 1 || i == 10 || i == 11) {
            spit(s / "liste.txt", list);
            Result r = qb({"-g", "carousel", "liste.txt", "k"}, s.d.path);
            EXPECT_EQ(r.status, 0) << i;
            EXPECT_EQ(r.out, i == 11 ? WARNING : "") << i;
            std::vector<std::string> used(names.begin(), names.begin() + std::min(i, 10));
            EXPECT_EQ(slurp(s / "assets/include/k.php"), carousel("images", used)) << i;
        }
    }
}

TEST(Carousel, LinesBecomeNames)
{
    Site s;
    // Short lines are skipped; blanks and a carriage return stay in the name;
    // only a line end is cut off, so a last line without one stays whole.
    spit(s / "liste.txt", "\n\na\nab\n  \nsub/a.jpg\r\n\nc.jpg");
    Result r = qb({"-g", "carousel", "liste.txt", "k"}, s.d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(slurp(s / "assets/include/k.php"), carousel("images", {"ab", "  ", "sub/a.jpg\r", "c.jpg"}));

    // A name longer than a line buffer comes in pieces, each a name of its own.
    const std::string longname(1500, 'n');
    spit(s / "liste.txt", longname + "\nx.jpg\n");
    r = qb({"-g", "carousel", "liste.txt", "k"}, s.d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(slurp(s / "assets/include/k.php"),
              carousel("images", {longname.substr(0, 1023), longname.substr(1023), "x.jpg"}));

    // Twelve pieces of one long line: ten names and the warning.
    spit(s / "liste.txt", std::string(12 * 1023, 'z'));
    r = qb({"-g", "carousel", "liste.txt", "k"}, s.d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, WARNING);
    EXPECT_EQ(slurp(s / "assets/include/k.php"),
              carousel("images", std::vector<std::string>(10, std::string(1023, 'z'))));
}

TEST(Carousel, ImageDirectory)
{
    Site s;
    spit(s / "liste.txt", "a.jpg\nb.jpg\n");
    ::mkdir((s / "IMG").c_str(), 0755);
    ASSERT_EQ(qb({"-g", "carousel", "liste.txt", "k"}, s.d.path).status, 0);
    EXPECT_EQ(slurp(s / "assets/include/k.php"), carousel("images", {"a.jpg", "b.jpg"}));

    // Any entry named img counts, a plain file as much as a directory.
    spit(s / "img", "");
    ASSERT_EQ(qb({"-g", "carousel", "liste.txt", "k"}, s.d.path).status, 0);
    EXPECT_EQ(slurp(s / "assets/include/k.php"), carousel("img", {"a.jpg", "b.jpg"}));
    ::unlink((s / "img").c_str());
    ::mkdir((s / "img").c_str(), 0755);
    ASSERT_EQ(qb({"-g", "carousel", "liste.txt", "k"}, s.d.path).status, 0);
    EXPECT_EQ(slurp(s / "assets/include/k.php"), carousel("img", {"a.jpg", "b.jpg"}));
}

TEST(Carousel, FailuresLeaveIncludeFileAlone)
{
    Site s;
    spit(s / "assets/include/k.php", "alt\n");
    spit(s / "kurz.txt", "\na\n\nb\n");
    ::mkdir((s / "ordner").c_str(), 0755);
    const struct {
        std::string list;
        std::string out;
        int status;
        std::string message;
    } cases[] = {
        {"fehlt.txt", "k", 250, "Fehler: Eingabedatei \"fehlt.txt\" nicht vorhanden oder Platte voll!\n"},
        {"ordner", "k", 250, "Fehler: Eingabedatei \"ordner\" nicht vorhanden oder Platte voll!\n"},
        {"kurz.txt", "k", 251, "Fehler: Eingabedatei \"kurz.txt\" fehlerhaft!\n"},
    };
    for (const auto& c : cases) {
        Result r = qb({"-g", "carousel", c.list, c.out}, s.d.path);
        EXPECT_EQ(r.status, c.status) << c.list;
        EXPECT_EQ(r.out, c.message);
        EXPECT_EQ(slurp(s / "assets/include/k.php"), "alt\n");
    }
    spit(s / "liste.txt", "a.jpg\n");
    // The include file cannot be written: no such directory, a directory in
    // its place, a full disk. The list was read fine; the message names the
    // include file as the program built it.
    ::mkdir((s / "assets/include/d.php").c_str(), 0755);
    for (const std::string out : {"fehlt/k", "d"}) {
        Result r = qb({"-g", "carousel", "liste.txt", out}, s.d.path);
        EXPECT_EQ(r.status, 250) << out;
        EXPECT_EQ(r.out, "Fehler: Ausgabedatei \"assets/include/" + out +
                             ".php\" kann nicht geschrieben werden!\n");
    }
    qbtest::Run full;
    full.args = {"-g", "carousel", "liste.txt", "k"};
    full.cwd = s.d.path;
    full.fsize_limit = 100;
    Result r = run(full);
    EXPECT_EQ(r.status, 250);
    EXPECT_EQ(r.out, "Fehler: Ausgabedatei \"assets/include/k.php\" kann nicht geschrieben werden!\n");
    EXPECT_EQ(slurp(s / "assets/include/k.php"), "alt\n");
    EXPECT_EQ(entries(s / "assets/include"), (std::vector<std::string>{"d.php", "k.php"}));
    EXPECT_TRUE(entries(s / "assets/include/d.php").empty());
}

TEST(Carousel, ListIsNeverItsOwnIncludeFile)
{
    Site s;
    const std::string list = "a.jpg\nb.jpg\n";
    spit(s / "assets/include/l.php", list);
    ASSERT_EQ(::symlink("../../liste.txt", (s / "assets/include/link.php").c_str()), 0);
    spit(s / "liste.txt", list);
    ASSERT_EQ(::link((s / "liste.txt").c_str(), (s / "assets/include/hart.php").c_str()), 0);
    const struct {
        std::vector<std::string> args;
        std::string shown;
    } cases[] = {
        {{"assets/include/l.php"}, "assets/include/l.php"},
        {{"assets/include/l.php", "l"}, "assets/include/l.php"},
        {{"assets/include/l.php", "assets/include/l.php"}, "assets/include/l.php"},
        {{"./assets/include/l.php", "l.php"}, "./assets/include/l.php"},
        {{"liste.txt", "link"}, "liste.txt"},
        {{"liste.txt", "hart.php"}, "liste.txt"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"-g", "carousel"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Result r = qb(args, s.d.path);
        EXPECT_EQ(r.status, 250) << c.shown;
        EXPECT_EQ(r.out, "Fehler: Bildliste \"" + c.shown + "\" und Carousel-Datei sind dieselbe Datei!\n");
        EXPECT_EQ(slurp(s / "assets/include/l.php"), list);
        EXPECT_EQ(slurp(s / "liste.txt"), list);
    }
    EXPECT_EQ(entries(s / "assets/include"), (std::vector<std::string>{"hart.php", "l.php", "link.php"}));
}
