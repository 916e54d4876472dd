// The sitemap (-g sitemap) and what it shares with the feed: the base URL.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "sitemap.h"
#include "web.h"
#include "testutil.h"

using namespace qbtest;

namespace {

const std::vector<std::string> BERLIN = {"TZ=Europe/Berlin"};

void mkdirs(const std::string& path)
{
    for (std::size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        ::mkdir(path.substr(0, at).c_str(), 0755);
    ::mkdir(path.c_str(), 0755);
}

void set_mtime(const std::string& path, long when)
{
    timeval tv[2] = {{when, 0}, {when, 0}};
    ::utimes(path.c_str(), tv);
}

std::string url(const std::string& loc, const std::string& lastmod)
{
    return "  <url>\n    <loc>" + loc + "</loc>\n    <lastmod>" + lastmod + "</lastmod>\n  </url>\n";
}

const std::string URLSET = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";

}  // namespace

TEST(Sitemap, ListsThePagesOfTheProgramSortedWithTheirNewestStamp)
{
    TempDir d;
    const std::string s = d / "site";
    mkdirs(s + "/touren");
    mkdirs(s + "/assets/include");
    mkdirs(s + "/.entwurf");
    spit(d / "in.html", "<p>x</p>\n");
    const std::string in = d / "in.html";
    // Pages as the program writes them; stamps of 3.5.2021 11:05 in Berlin.
    for (const auto& [page, opts] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"index.php", {}},
             {"touren/index.php", {}},
             {"touren/Über den Berg.php", {}},
             {"a&b.php", {}},
             {"frei.php", {"-a", "Frühjahr 2021"}},
             {"ohne.php", {"-v"}},
             {"geheim.php", {"-s", d / "noindex.seo"}},
             {"keiner.php", {"-s", d / "none.seo"}},
             {"folgen.php", {"-s", d / "follow.seo"}},
             {"assets/include/kopf.php", {}},
             {".entwurf/x.php", {}},
             {".versteckt.php", {}},
         }) {
        std::vector<std::string> args = {"-t", "T"};
        args.insert(args.end(), opts.begin(), opts.end());
        args.insert(args.end(), {in, page});
        spit(d / "noindex.seo", "robots:NOINDEX, follow\n");
        spit(d / "none.seo", "robots:none\n");
        spit(d / "follow.seo", "robots:index, follow\n");
        ASSERT_EQ(qb(args, s, BERLIN).status, 0) << page;
    }
    // A news page: its newest stamp counts, here 1.12.2021 09:30.
    for (const char* sde : {"SOURCE_DATE_EPOCH=1633190400", "SOURCE_DATE_EPOCH=1638347400", "SOURCE_DATE_EPOCH=1633190400"})
        ASSERT_EQ(qb({in, "news.php"}, s, {"TZ=Europe/Berlin", sde}).status, 0);
    spit(s + "/plain.php", "<?php echo 'keine Seite des Programms'; ?>\n");
    spit(s + "/notiz.txt", "<?php\n$titel = \"kein php\";\n?>\n");
    spit(s + "/notizphp", "<?php\n$titel = \"kein .php\";\n?>\n");
    ::symlink("index.php", (s + "/verweis.php").c_str());
    ::symlink("touren", (s + "/spiegel").c_str());
    // Without a stamp the file's time counts, but none later than SOURCE_DATE_EPOCH.
    set_mtime(s + "/frei.php", 1600000000);
    set_mtime(s + "/ohne.php", 2000000000);

    Result r = qb({"-g", "sitemap", "HTTPS://www.wandern.example/eichenau//", "site"}, d.path, BERLIN);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    const std::string b = "https://www.wandern.example/eichenau/";
    const std::string stamp = "2021-05-03T11:05:00+02:00";
    EXPECT_EQ(slurp(s + "/sitemap.xml"), URLSET + url(b, stamp) + url(b + "a%26b.php", stamp) +
                                             url(b + "folgen.php", stamp) +
                                             url(b + "frei.php", "2020-09-13T14:26:40+02:00") +
                                             url(b + "news.php", "2021-12-01T09:30:00+01:00") +
                                             url(b + "ohne.php", stamp) + url(b + "touren/", stamp) +
                                             url(b + "touren/%C3%9Cber%20den%20Berg.php", stamp) +
                                             url(b + "verweis.php", stamp) + "</urlset>\n");
    // The same pages give the same bytes; a stamp is read in the run's time zone.
    std::string first = slurp(s + "/sitemap.xml");
    ASSERT_EQ(qb({"-g", "sitemap", b, "site"}, d.path, BERLIN).status, 0);
    EXPECT_EQ(slurp(s + "/sitemap.xml"), first);
    ASSERT_EQ(qb({"-g", "sitemap", b}, s).status, 0);
    EXPECT_NE(slurp(s + "/sitemap.xml").find(url(b + "touren/", "2021-05-03T11:05:00+00:00")), std::string::npos);
    // West of UTC, half an hour, and an offset with seconds, which goes as UTC.
    for (const auto& [tz, when] : {std::pair{"TZ=America/St_Johns", "2021-05-03T11:05:00-02:30"},
                                   {"TZ=<LMT>-0:19:32", "2021-05-03T10:45:28+00:00"}}) {
        ASSERT_EQ(qb({"-g", "sitemap", b}, s, {tz}).status, 0);
        EXPECT_NE(slurp(s + "/sitemap.xml").find(url(b + "touren/", when)), std::string::npos) << tz;
    }

    // An empty directory gives an empty, valid sitemap.
    mkdirs(d / "leer");
    ASSERT_EQ(qb({"-g", "sitemap", "http://x.example", "leer"}, d.path).status, 0);
    EXPECT_EQ(slurp(d / "leer/sitemap.xml"), URLSET + "</urlset>\n");
}

TEST(Sitemap, BaseUrlsAndFilesThatCannotBeRead)
{
    TempDir d;
    spit(d / "in.html", "<p>x</p>\n");
    ASSERT_EQ(qb({"-t", "T", "in.html", "seite.php"}, d.path).status, 0);
    const auto before = entries(d.path);
    const std::string FOREIGN = "sie enthält ein Zeichen, das in Adressen nicht stehen darf (Umlaute als Punycode bzw. %XX)";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
    } cases[] = {
        {{"-g", "sitemap", "www.x.example"}, 254, "sie muss mit http:// oder https:// beginnen"},
        {{"-g", "sitemap", "ftp://x.example/"}, 254, "sie muss mit http:// oder https:// beginnen"},
        {{"-g", "sitemap", "https://"}, 254, "ihr fehlt der Rechnername"},
        {{"-g", "sitemap", "https:///pfad"}, 254, "ihr fehlt der Rechnername"},
        {{"-g", "sitemap", "https://x.example:/"}, 254, "der Port nach dem Doppelpunkt muss eine Zahl sein"},
        {{"-g", "sitemap", "https://x.example:8o/"}, 254, "der Port nach dem Doppelpunkt muss eine Zahl sein"},
        {{"-g", "sitemap", "https://x.example:123456/"}, 254, "der Port nach dem Doppelpunkt muss eine Zahl sein"},
        {{"-g", "sitemap", "https://ich@x.example/"}, 254, "sie darf keinen Benutzernamen enthalten"},
        {{"-g", "sitemap", "https://x.example/?a=1"}, 254, "sie darf weder ? noch # enthalten"},
        {{"-g", "feed", "https://x.example/#a", "seite.php"}, 254, "sie darf weder ? noch # enthalten"},
        {{"-g", "sitemap", "https://x.example/a b"}, 254, FOREIGN},
        {{"-g", "sitemap", "https://wanderfreunde-öhringen.example/"}, 254, FOREIGN},
        {{"-g", "sitemap", "https://x.example/", "fehlt"}, 252, "Fehler: Verzeichnis \"fehlt\" kann nicht gelesen werden!\n"},
        {{"-g", "sitemap", "https://x.example/", "seite.php"}, 252,
         "Fehler: Verzeichnis \"seite.php\" kann nicht gelesen werden!\n"},
        {{"-g", "feed", "https://x.example/", "fehlt.php"}, 252, "Fehler: Datei \"fehlt.php\" kann nicht gelesen werden!\n"},
        {{"-g", "feed", "https://x.example/", "in.html"}, 252,
         "Fehler: \"in.html\" ist keine Seite von quennelbrook (sie beginnt nicht mit <?php und $titel)!\n"},
        {{"-g", "feed", "https://x.example/"}, 254, "falsche Parameter!"},
        {{"-g", "feed", "https://x.example/", "seite.php", "Titel", "zu viel"}, 254, "falsche Parameter!"},
        {{"-g", "sitemap", "https://x.example/", ".", "zu viel"}, 254, "falsche Parameter!"},
    };
    for (const auto& c : cases) {
        Result r = qb(c.args, d.path);
        EXPECT_EQ(r.status, c.status) << c.args[2];
        if (c.status == 254 && c.out.find("Parameter") == std::string::npos)
            EXPECT_EQ(r.out, "Fehler: Basis-URL \"" + c.args[2] + "\" ungültig: " + c.out + "!\n");
        else if (c.status == 252)
            EXPECT_EQ(r.out, c.out);
        else
            EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_EQ(entries(d.path), before) << c.args[2];
    }

    // A page that cannot be read is named, and the old sitemap stays.
    if (::geteuid() != 0)
        GTEST_SKIP() << "reading as another user needs root";
    ::mkdir((d / "site").c_str(), 0777);
    ::mkdir((d / "site/touren").c_str(), 0777);
    spit(d / "site/sitemap.xml", "alt\n");
    ::chmod((d / "site/sitemap.xml").c_str(), 0666);
    // A directory that may be listed but not entered: its entries cannot
    // be looked at, which is no reason to leave them out quietly.
    const struct {
        const char* locked;
        mode_t mode;
        const char* message;
    } locks[] = {
        {"site/touren/seite.php", 0, "Fehler: Datei \"site/touren/seite.php\" kann nicht gelesen werden!\n"},
        {"site/touren", 0, "Fehler: Verzeichnis \"site/touren\" kann nicht gelesen werden!\n"},
        {"site/touren", 0444, "Fehler: Verzeichniseintrag \"site/touren/seite.php\" kann nicht gelesen werden!\n"},
    };
    for (const auto& [locked, mode, message] : locks) {
        ASSERT_EQ(qb({"-t", "T", "in.html", "site/touren/seite.php"}, d.path).status, 0);
        ::chmod((d / locked).c_str(), mode);
        qbtest::Run as_nobody;
        as_nobody.args = {"-g", "sitemap", "https://x.example/", "site"};
        as_nobody.cwd = d.path;
        as_nobody.uid = 65534;
        Result r = run(as_nobody);
        EXPECT_EQ(r.status, 252) << locked;
        EXPECT_EQ(r.out, message);
        EXPECT_EQ(slurp(d / "site/sitemap.xml"), "alt\n");
        ::chmod((d / locked).c_str(), 0755);
    }
}

TEST(Sitemap, MoreThanFiftyThousandPagesGoIntoSeveralFilesAndAnIndex)
{
    TempDir d;
    auto t0 = std::chrono::steady_clock::now();
    // Tiny pages: the header block alone makes a page of the program.
    const std::string page = "<?php\n$titel = \"t\";\n?>\n";
    // Written with plain system calls: a stream per file costs several times more.
    char name[64];
    for (int i = 100000; i <= 150000; ++i) {
        std::snprintf(name, sizeof name, "%s/p%d.php", d.path.c_str(), i);
        int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, page.data(), page.size()), static_cast<ssize_t>(page.size()));
        ::close(fd);
    }
    for (int i = 0; i < 3; ++i)
        spit(d / ("sitemap-" + std::to_string(i + 2) + ".xml"), "von einem früheren Lauf\n");
    Result r = qb({"-g", "sitemap", "https://x.example/"}, d.path);
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string index = slurp(d / "sitemap.xml");
    const std::string lastmod = "<lastmod>2021-05-03T09:05:00+00:00</lastmod>";  // the mtime, clamped
    EXPECT_EQ(index, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"
                     "  <sitemap>\n    <loc>https://x.example/sitemap-1.xml</loc>\n    " + lastmod + "\n  </sitemap>\n"
                     "  <sitemap>\n    <loc>https://x.example/sitemap-2.xml</loc>\n    " + lastmod + "\n  </sitemap>\n"
                     "</sitemapindex>\n");
    const std::string one = slurp(d / "sitemap-1.xml");
    const std::string two = slurp(d / "sitemap-2.xml");
    auto count = [](const std::string& s) {
        std::size_t n = 0;
        for (std::size_t at = s.find("<url>"); at != std::string::npos; at = s.find("<url>", at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count(one), 50000u);
    EXPECT_EQ(one.find("<loc>https://x.example/p100000.php</loc>"), URLSET.size() + 12);
    EXPECT_EQ(two, URLSET + url("https://x.example/p150000.php", "2021-05-03T09:05:00+00:00") + "</urlset>\n");
    // A part from an earlier, longer sitemap would be stale.
    EXPECT_FALSE(exists(d / "sitemap-3.xml"));
    EXPECT_FALSE(exists(d / "sitemap-4.xml"));

    // One page fewer: one file again, and no part left.
    ::unlink((d / "p150000.php").c_str());
    ASSERT_EQ(qb({"-g", "sitemap", "https://x.example/"}, d.path).status, 0);
    EXPECT_EQ(slurp(d / "sitemap.xml").rfind(URLSET, 0), 0u);
    EXPECT_EQ(count(slurp(d / "sitemap.xml")), 50000u);
    EXPECT_FALSE(exists(d / "sitemap-1.xml") || exists(d / "sitemap-2.xml"));
    std::cout << "[ sitemap  ] 50,001 pages written and listed twice in "
              << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count()
              << " ms\n";

    // The protocol's limits: 50,000 addresses and 50 MiB a file, an address
    // shorter than 2,048 characters.
    EXPECT_EQ(SITEMAP_MAX_URLS, 50000u);
    EXPECT_EQ(SITEMAP_MAX_BYTES, 52428800u);
    BaseUrl base;
    std::string why;
    ASSERT_TRUE(parse_base_url("https://x.example/", base, why)) << why;
    std::vector<SitemapUrl> long_ones;
    for (std::size_t size : {2047u, 2048u})
        add_sitemap_url(base, std::string(size - 18, 'a'), 0, long_ones);
    ASSERT_EQ(long_ones.size(), 1u);
    EXPECT_EQ(long_ones[0].loc.size(), 2047u);

    // The byte limit splits as the address limit does.
    std::vector<SitemapUrl> urls;
    std::string loc = "https://x.example/";
    loc.append(100, 'a');
    for (int i = 0; i < 5; ++i)
        urls.push_back({loc, 0});
    const std::size_t per_url = 200;  // the <url> element of such an address
    const std::size_t frame = URLSET.size() + std::string("</urlset>\n").size();
    struct Split {
        std::size_t max_urls, max_bytes;
        std::vector<std::size_t> ends;
    } splits[] = {
        {50000, frame + 5 * per_url, {5}},
        {50000, frame + 5 * per_url - 1, {4, 5}},
        {50000, frame + 2 * per_url, {2, 4, 5}},
        {50000, 1, {1, 2, 3, 4, 5}},  // an address too long for any file still gets one
        {3, SITEMAP_MAX_BYTES, {3, 5}},
    };
    for (const auto& s : splits)
        EXPECT_EQ(sitemap_split(urls, s.max_urls, s.max_bytes), s.ends) << s.max_urls << " " << s.max_bytes;
    EXPECT_EQ(sitemap_split({}, 50000, SITEMAP_MAX_BYTES), std::vector<std::size_t>{0});
}
