// News and merged pages, run through the binary and compared byte for byte.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "testutil.h"

using namespace qbtest;

namespace {

const std::string& HEADER = NEWS_HEADER;
const std::string CLOSE = "\t</div>\n\n</div>\n";
const std::string& FOOTER = NEWS_FOOTER;
// SOURCE_DATE_EPOCH of a later run and the stamp it gives.
const std::string LATER = "SOURCE_DATE_EPOCH=1620122700";
const char* const LATER_STAMP = "veröffentlicht: Di, 4.5.2021 10:05";

std::string stamp_line(const std::string& stamp)
{
    return "<p style=\"text-align: right; margin-top: -3em;\"><small>" + stamp + "</small><p>\n";
}

std::string entry(const std::string& stamp, const std::string& body)
{
    return OPENER + stamp_line(stamp) + body + CLOSE + "\n";
}

Result qb_env(const std::vector<std::string>& args, const std::string& cwd, const std::vector<std::string>& env,
              long fsize_limit = -1)
{
    Run r;
    r.args = args;
    r.cwd = cwd;
    r.env = env;
    r.fsize_limit = fsize_limit;
    return run(r);
}

// Temporary or helper files the program must not leave behind.
void expect_no_leftovers(const std::string& dir)
{
    for (const auto& name : entries(dir)) {
        EXPECT_EQ(name.find(".qb-"), std::string::npos) << name;
        EXPECT_NE(name, "__tmp__.php");
    }
}

}  // namespace

TEST(NewsPage, FirstRunThenSecondRunPutsNewEntryOnTop)
{
    TempDir d;
    spit(d / "a.html", "<p>Erste Nachricht</p>\n");
    spit(d / "b.html", "<h2>Zweite</h2>\n<p>Nachricht</p>\n");

    Result r = qb({"a.html", "news.php"}, d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    const std::string first = HEADER + entry(STAMP, "<p>Erste Nachricht</p>\n") + FOOTER;
    EXPECT_EQ(slurp(d / "news.php"), first);
    expect_no_leftovers(d.path);

    r = qb_env({"b.html", "news.php"}, d.path, {LATER});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    const std::string second = HEADER + entry(LATER_STAMP, "<h2>Zweite</h2>\n<p>Nachricht</p>\n") +
                               entry(STAMP, "<p>Erste Nachricht</p>\n") + FOOTER;
    EXPECT_EQ(slurp(d / "news.php"), second);
    expect_no_leftovers(d.path);

    // A fragment without a final line end is closed right after its last byte.
    spit(d / "c.html", "<p>ohne Zeilenende</p>");
    r = qb({"c.html", "news.php"}, d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(slurp(d / "news.php"), HEADER + entry(STAMP, "<p>ohne Zeilenende</p>") +
                                         entry(LATER_STAMP, "<h2>Zweite</h2>\n<p>Nachricht</p>\n") +
                                         entry(STAMP, "<p>Erste Nachricht</p>\n") + FOOTER);
}

TEST(NewsPage, EmptyOrForeignExistingPageContributesNothing)
{
    TempDir d;
    spit(d / "a.html", "<p>Neu</p>\n");
    for (const std::string& old : {std::string(), std::string("Nur Text\n<?php echo 1; ?>\n")}) {
        spit(d / "news.php", old);
        Result r = qb({"a.html", "news.php"}, d.path);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(slurp(d / "news.php"), HEADER + entry(STAMP, "<p>Neu</p>\n") + FOOTER) << old;
    }
}

TEST(NewsPage, EarlierEntriesAreCopiedUnchanged)
{
    TempDir d;
    // An earlier page written by hand: its header differs, the first entry
    // holds lines the rewriter would change, a long line and PHP of its own.
    const std::string long_line = "<p>" + std::string(3000, 'x') + "</p>\n";
    const std::string nul_line("<p>a\0b</p>\n", 11);
    const std::string body = OPENER + "<img src=\"bild.jpg\">\n" + "<a href=\"x.pdf\">x</a>\n" + long_line + nul_line +
                             "<?php echo date('Y'); ?>\n" + CLOSE + "\n" + OPENER + "<p>alt</p>\n" + CLOSE + "\n";
    spit(d / "news.php", "<?php\n$titel = \"Alt\";\n?>\nVorspann\n" + body + FOOTER + "Nachspann\n");
    spit(d / "a.html", "<p>Neu</p>\n");

    Result r = qb_env({"a.html", "news.php"}, d.path, {LATER});
    EXPECT_EQ(r.status, 0);
    const std::string once = HEADER + entry(LATER_STAMP, "<p>Neu</p>\n") + body + FOOTER;
    EXPECT_EQ(slurp(d / "news.php"), once);

    // Another run copies it all once more, again unchanged.
    r = qb({"a.html", "news.php"}, d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(slurp(d / "news.php"),
              HEADER + entry(STAMP, "<p>Neu</p>\n") + entry(LATER_STAMP, "<p>Neu</p>\n") + body + FOOTER);

    // Pages edited by hand: the copy keeps every entry, and the feed finds
    // the same ones. Without a closing PHP block the entries run to the
    // end, even where one of them holds PHP; an opener counts inside a line.
    const struct {
        std::string body;
        std::vector<std::string> titles;
        std::string content;  // a piece of the feed
    } hand[] = {
        {OPENER + "<p>alt</p>\n" + CLOSE + "\n" + OPENER + long_line + CLOSE,
         {"Neu", "Tarnido 2020 News", "Tarnido 2020 News"}, "&lt;p&gt;alt&lt;/p&gt;"},
        {OPENER + "<h2>A</h2>\n<?php echo 1; ?>\n<p>a</p>\n" + CLOSE + "\n" + OPENER + "<h2>B</h2>\n" + CLOSE,
         {"Neu", "A", "B"}, "&lt;?php echo 1; ?&gt;\n&lt;p&gt;a&lt;/p&gt;\n</content>"},
        {"  <div class=\"container\">\n<h2>Eingerückt</h2>\n" + CLOSE + "<p>x</p><div class=\"container\"><h2>Inline</h2>\n",
         {"Neu", "Eingerückt", "Inline"},
         "\"html\">&lt;p&gt;x&lt;/p&gt;&lt;div class=&quot;container&quot;&gt;&lt;h2&gt;Inline&lt;/h2&gt;\n</content>"},
        // A line of the body that looks like a part of the opener is body.
        {OPENER + "<p>a</p>\n\t<br>\n" + CLOSE, {"Neu", "Tarnido 2020 News"},
         "\"html\">&lt;p&gt;a&lt;/p&gt;\n\t&lt;br&gt;\n</content>"},
    };
    spit(d / "a.html", "<h2>Neu</h2>\n");
    for (const auto& h : hand) {
        spit(d / "news.php", h.body);
        r = qb({"a.html", "news.php"}, d.path);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(slurp(d / "news.php"), HEADER + entry(STAMP, "<h2>Neu</h2>\n") + h.body + FOOTER);
        ASSERT_EQ(qb({"-g", "feed", "https://x.example/", "news.php"}, d.path).status, 0);
        const std::string feed = slurp(d / "news.xml");
        std::vector<std::string> titles;
        const std::string open = "<title type=\"text\">";
        for (std::size_t at = feed.find(open); at != std::string::npos; at = feed.find(open, at + 1))
            titles.push_back(feed.substr(at + open.size(), feed.find('<', at + open.size()) - at - open.size()));
        EXPECT_EQ(titles, h.titles) << h.body.substr(0, 80);
        EXPECT_NE(feed.find(h.content), std::string::npos) << h.body.substr(0, 80);
    }
}

TEST(NewsPage, PhpLineInsideEntryKeepsItAndOlderEntries)
{
    TempDir d;
    spit(d / "a.html", "<p>Alt</p>\n");
    spit(d / "b.html", "<p>Jahr:</p>\n<?php echo date('Y'); ?>\n<p>Ende</p>\n");
    spit(d / "c.html", "<p>Neu</p>\n");
    ASSERT_EQ(qb({"a.html", "news.php"}, d.path).status, 0);
    ASSERT_EQ(qb_env({"b.html", "news.php"}, d.path, {LATER}).status, 0);
    Result r = qb({"c.html", "news.php"}, d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(slurp(d / "news.php"),
              HEADER + entry(STAMP, "<p>Neu</p>\n") +
                  entry(LATER_STAMP, "<p>Jahr:</p>\n<?php echo date('Y'); ?>\n<p>Ende</p>\n") +
                  entry(STAMP, "<p>Alt</p>\n") + FOOTER);
}

TEST(NewsPage, MissingInputChangesNothing)
{
    TempDir d;
    const std::string page = HEADER + entry(STAMP, "<p>Alt</p>\n") + FOOTER;
    spit(d / "news.php", page);
    ::mkdir((d / "dir.html").c_str(), 0755);
    // Opens, but its reads fail.
    ASSERT_EQ(::symlink("/proc/self/mem", (d / "mem.html").c_str()), 0);
    for (const std::string in : {"fehlt.html", "dir.html", "mem.html"}) {
        Result r = qb({in, "news.php"}, d.path);
        EXPECT_EQ(r.status, 252);
        EXPECT_EQ(r.out, "Fehler: Eingabedatei \"" + in + "\" nicht vorhanden oder Platte voll!\n");
        EXPECT_EQ(slurp(d / "news.php"), page);
    }
    Result r = qb({"fehlt.html", "neu.php"}, d.path);
    EXPECT_EQ(r.status, 252);
    // The run that opened mem.html took the page's lock, which stays.
    EXPECT_EQ(entries(d.path), (std::vector<std::string>{".news.php.lock", "dir.html", "mem.html", "news.php"}));
}

TEST(NewsPage, UnwritableOutputChangesNothing)
{
    TempDir d;
    spit(d / "a.html", "<p>Neu</p>\n");
    ::mkdir((d / "ordner").c_str(), 0755);
    for (const std::string out : {"fehlt/news.php", "ordner"}) {
        Result r = qb({"a.html", out}, d.path);
        EXPECT_EQ(r.status, 252) << out;
        EXPECT_EQ(r.out, "Fehler: Ausgabedatei \"" + out + "\" kann nicht geschrieben werden!\n");
    }
    EXPECT_EQ(entries(d.path), (std::vector<std::string>{"a.html", "ordner"}));
    EXPECT_TRUE(entries(d / "ordner").empty());

    // A full disk: the new page cannot be written whole.
    ASSERT_EQ(qb({"a.html", "news.php"}, d.path).status, 0);
    const std::string page = slurp(d / "news.php");
    spit(d / "gross.html", std::string(200000, 'y') + "\n");
    Result r = qb_env({"gross.html", "news.php"}, d.path, {}, 100000);
    EXPECT_EQ(r.status, 252);
    EXPECT_EQ(r.out, "Fehler: Ausgabedatei \"news.php\" kann nicht geschrieben werden!\n");
    EXPECT_EQ(slurp(d / "news.php"), page);
    expect_no_leftovers(d.path);
}

TEST(NewsPage, UnreadableOutputIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the program as the unprivileged user 65534";
    TempDir d;
    spit(d / "a.html", "<p>Neu</p>\n");
    const std::string page = HEADER + entry(STAMP, "<p>Alt</p>\n") + FOOTER;
    spit(d / "news.php", page);
    ::chmod((d / "news.php").c_str(), 0200);
    ASSERT_EQ(::chown((d / "news.php").c_str(), 65534, 65534), 0);
    qbtest::Run run_as;
    run_as.args = {"a.html", "news.php"};
    run_as.cwd = d.path;
    run_as.uid = 65534;
    Result r = run(run_as);
    if (r.status == 126 || r.status == 127)
        GTEST_SKIP() << "user 65534 cannot run the binary here (status " << r.status << ")";
    EXPECT_EQ(r.status, 252);
    EXPECT_EQ(r.out, "Fehler: Ausgabedatei \"news.php\" kann nicht gelesen werden!\n");
    EXPECT_EQ(slurp(d / "news.php"), page);
    EXPECT_EQ(entries(d.path), (std::vector<std::string>{"a.html", "news.php"}));

    // The same user with read permission gets the page as usual.
    ::chmod((d / "news.php").c_str(), 0600);
    r = run(run_as);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(slurp(d / "news.php"), HEADER + entry(STAMP, "<p>Neu</p>\n") + entry(STAMP, "<p>Alt</p>\n") + FOOTER);
}

TEST(NewsPage, UsersOwnTmpFileAndLinksAreKept)
{
    TempDir d;
    spit(d / "__tmp__.php", "meins\n");
    spit(d / "a.html", "<p>A</p>\n");
    ASSERT_EQ(qb({"a.html", "news.php"}, d.path).status, 0);
    ASSERT_EQ(qb({"a.html", "news.php"}, d.path).status, 0);
    EXPECT_EQ(slurp(d / "__tmp__.php"), "meins\n");

    // A page reached through a link stays a link; the file behind it grows.
    ASSERT_EQ(::symlink("news.php", (d / "link.php").c_str()), 0);
    ASSERT_EQ(qb({"a.html", "link.php"}, d.path).status, 0);
    struct stat st;
    ASSERT_EQ(::lstat((d / "link.php").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(slurp(d / "news.php"), HEADER + entry(STAMP, "<p>A</p>\n") + entry(STAMP, "<p>A</p>\n") +
                                         entry(STAMP, "<p>A</p>\n") + FOOTER);
}

TEST(NewsPage, DeviceAsOutputIsWrittenDirectly)
{
    // A device holds no earlier entries, and nothing is created beside it.
    TempDir d;
    spit(d / "a.html", "<p>A</p>\n");
    ASSERT_EQ(::symlink("/dev/null", (d / "null.php").c_str()), 0);
    for (int i = 0; i < 2; ++i) {
        Result r = qb({"a.html", "null.php"}, d.path);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(entries(d.path), (std::vector<std::string>{"a.html", "null.php"}));
    EXPECT_FALSE(exists("/dev/.null.lock"));
}

TEST(MergedPage, TwoSectionsByteForByte)
{
    TempDir d;
    spit(d / "a.html", "<p>Teil eins</p>\n");
    spit(d / "b.html", "<p>Teil zwei</p>");
    // A Markdown table: its rows keep their odd and even classes, since the
    // merged page makes no rows alike.
    spit(d / "t.md", "| A | B |\n|---|---|\n| 1 | 2 |\n| 3 | 4 |\n");
    const std::string table = "<table>\n<thead>\n<tr class=\"header\">\n<th>A</th>\n<th>B</th>\n</tr>\n</thead>\n"
                              "<tbody>\n<tr class=\"odd\">\n<td>1</td>\n<td>2</td>\n</tr>\n"
                              "<tr class=\"even\">\n<td>3</td>\n<td>4</td>\n</tr>\n</tbody>\n</table>\n";
    const struct {
        std::string first, second, body1, body2;
    } cases[] = {
        {"a.html", "b.html", "<p>Teil eins</p>\n", "<p>Teil zwei</p>"},
        // Whatever was there is replaced.
        {"b.html", "a.html", "<p>Teil zwei</p>", "<p>Teil eins</p>\n"},
        {"t.md", "a.html", table, "<p>Teil eins</p>\n"},
    };
    for (const auto& c : cases) {
        Result r = qb({c.first, c.second, "seite.php"}, d.path);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(slurp(d / "seite.php"), HEADER + OPENER + stamp_line(STAMP) + c.body1 + CLOSE + "\n<br>\n" + OPENER +
                                              stamp_line(STAMP) + c.body2 + CLOSE + "\n" + FOOTER)
            << c.first;
    }
    // No helper file stays behind.
    EXPECT_EQ(entries(d.path), (std::vector<std::string>{"a.html", "b.html", "seite.php", "t.md"}));
}

TEST(MergedPage, FailuresChangeNothing)
{
    TempDir d;
    spit(d / "a.html", "<p>A</p>\n");
    spit(d / "seite.php", "alt\n");
    ::mkdir((d / "ordner").c_str(), 0755);
    struct Case {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"fehlt.html", "a.html", "seite.php"}, "Fehler: Eingabedatei \"fehlt.html\" nicht vorhanden oder Platte voll!\n"},
        {{"a.html", "fehlt.html", "seite.php"}, "Fehler: Eingabedatei \"fehlt.html\" nicht vorhanden oder Platte voll!\n"},
        // Both open; the second's reads fail.
        {{"a.html", "mem.html", "seite.php"}, "Fehler: Eingabedatei \"mem.html\" nicht vorhanden oder Platte voll!\n"},
        {{"a.html", "a.html", "fehlt/seite.php"}, "Fehler: Ausgabedatei \"fehlt/seite.php\" kann nicht geschrieben werden!\n"},
        {{"a.html", "a.html", "ordner"}, "Fehler: Ausgabedatei \"ordner\" kann nicht geschrieben werden!\n"},
        {{"a.html", "gross.md", "seite.php"}, "Fehler: Markdown-Datei \"gross.md\" ist größer als 16 MiB!\n"},
    };
    ASSERT_EQ(::symlink("/proc/self/mem", (d / "mem.html").c_str()), 0);
    // One byte above the limit of a Markdown input.
    spit(d / "gross.md", std::string((std::size_t{16} << 20) + 1, 'x'));
    for (const auto& c : cases) {
        Result r = qb(c.args, d.path);
        EXPECT_EQ(r.status, 252) << c.args[2];
        EXPECT_EQ(r.out, c.out);
    }
    spit(d / "gross.html", std::string(200000, 'y') + "\n");
    Result r = qb_env({"gross.html", "a.html", "seite.php"}, d.path, {}, 100000);
    EXPECT_EQ(r.status, 252);
    EXPECT_EQ(r.out, "Fehler: Ausgabedatei \"seite.php\" kann nicht geschrieben werden!\n");
    EXPECT_EQ(slurp(d / "seite.php"), "alt\n");
    EXPECT_EQ(entries(d.path), (std::vector<std::string>{"a.html", "gross.html", "gross.md", "mem.html", "ordner", "seite.php"}));
    EXPECT_TRUE(entries(d / "ordner").empty());
}
