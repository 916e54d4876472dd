// The Atom feed of a news page (-g feed).
#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "testutil.h"

using namespace qbtest;

namespace {

const std::string BASE = "https://www.wandern.example/";

// A news run in Berlin at the time sde.
void news(const TempDir& d, const std::string& html, long sde)
{
    spit(d / "in.html", html);
    ASSERT_EQ(qb({"in.html", "news.php"}, d.path, {"TZ=Europe/Berlin", "SOURCE_DATE_EPOCH=" + std::to_string(sde)})
                  .status,
              0);
}

// A news page with one entry of html, stamped 3.5.2021 09:05, written
// directly: the rewriter's own changes are tested elsewhere.
void news_page(const TempDir& d, const std::string& html)
{
    spit(d / "news.php", NEWS_HEADER + OPENER + STAMP_LINE + html + "\t</div>\n\n</div>\n\n" + NEWS_FOOTER);
}

std::string feed(const TempDir& d)
{
    Result r = qb({"-g", "feed", BASE, "news.php"}, d.path, {"TZ=Europe/Berlin"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    return slurp(d / "news.xml");
}

std::vector<std::string> all(const std::string& text, const std::string& pattern)
{
    std::vector<std::string> found;
    std::regex re(pattern);
    for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it)
        found.push_back((*it)[1]);
    return found;
}

std::string unxml(std::string s)
{
    for (const auto& [from, to] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"},
                                   {"&amp;", "&"}})
        for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1))
            s.replace(at, std::strlen(from), to);
    return s;
}

}  // namespace

TEST(Feed, EntriesNewestFirstAndOlderIdsStayWhenOneArrives)
{
    TempDir d;
    news(d, "<h3>Herbst &amp; <em>Rekord</em></h3>\n<p><a href=\"termine.php\">T</a> <img src=\"img/berg.jpg\" /></p>\n",
         1633190400);
    news(d, "<p>Ohne Überschrift</p>\n", 1638347400);
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<feed xmlns=\"http://www.w3.org/2005/Atom\" xml:lang=\"de\">\n"
                             "  <title>Tarnido 2020 News</title>\n"
                             "  <id>https://www.wandern.example/news.php</id>\n"
                             "  <link rel=\"self\" type=\"application/atom+xml\" href=\"https://www.wandern.example/news.xml\"/>\n"
                             "  <link rel=\"alternate\" type=\"text/html\" href=\"https://www.wandern.example/news.php\"/>\n";
    const std::string link = "    <link rel=\"alternate\" type=\"text/html\" href=\"https://www.wandern.example/news.php\"/>\n";
    const std::string herbst =
        "  <entry>\n"
        "    <title type=\"html\">Herbst &amp;amp; Rekord</title>\n"
        "    <id>tag:www.wandern.example,2021-10-02:news.php/1</id>\n" + link +
        "    <published>2021-10-02T18:00:00+02:00</published>\n"
        "    <updated>2021-10-02T18:00:00+02:00</updated>\n"
        "    <content type=\"html\">&lt;h3&gt;Herbst &amp;amp; &lt;em&gt;Rekord&lt;/em&gt;&lt;/h3&gt;\n"
        "&lt;p&gt;&lt;a href=&quot;https://www.wandern.example/termine.php&quot;&gt;T&lt;/a&gt; &lt;img "
        "src=&quot;https://www.wandern.example/img/berg.jpg&quot; class=&quot;img-fluid&quot; /&gt;&lt;/p&gt;\n"
        "</content>\n"
        "  </entry>\n";
    EXPECT_EQ(feed(d), head +
                           "  <updated>2021-12-01T09:30:00+01:00</updated>\n"
                           "  <author><name>www.wandern.example</name></author>\n"
                           "  <entry>\n"
                           "    <title type=\"html\">Tarnido 2020 News vom 1.12.2021</title>\n"
                           "    <id>tag:www.wandern.example,2021-12-01:news.php/2</id>\n" + link +
                           "    <published>2021-12-01T09:30:00+01:00</published>\n"
                           "    <updated>2021-12-01T09:30:00+01:00</updated>\n"
                           "    <content type=\"html\">&lt;p&gt;Ohne Überschrift&lt;/p&gt;\n</content>\n"
                           "  </entry>\n" +
                           herbst + "</feed>\n");

    const auto ids = all(feed(d), "<id>(tag:[^<]*)</id>");
    news(d, "<h3>Neu</h3>\n", 1640000000);
    const std::string later = feed(d);
    const auto now = all(later, "<id>(tag:[^<]*)</id>");
    ASSERT_EQ(now.size(), 3u);
    EXPECT_EQ(now[0], "tag:www.wandern.example,2021-12-20:news.php/3");
    EXPECT_EQ(std::vector<std::string>(now.begin() + 1, now.end()), ids);
    EXPECT_NE(later.find(herbst), std::string::npos);
    EXPECT_NE(later.find("  <updated>2021-12-20T12:33:00+01:00</updated>\n"), std::string::npos);
}

TEST(Feed, TitlesAndLinks)
{
    TempDir d;
    struct Case {
        std::string html;
        std::string title;
    } cases[] = {
        {"<p>a</p>\n<h2 id=\"x\" title=\"a>b\">Erste <a href=\"x\">Über</a>\n  schrift</h2>\n<h1>Zweite</h1>\n",
         "Erste Über schrift"},
        {"<H4>Groß</H4>\n", "Groß"},
        {"<h2>Offen\n", "Offen"},
        {"<p>Kein <hr/> Titel <h7>x</h7></p>\n", "Tarnido 2020 News vom 3.5.2021"},
        {"<h2>" + std::string(2000, 'x') + "</h2>\n", std::string(1024, 'x')},
        {"<h2>" + std::string(1023, 'x') + "ä</h2>\n", std::string(1023, 'x') + "ä"},
    };
    for (const auto& c : cases) {
        news_page(d, c.html);
        EXPECT_EQ(all(feed(d), "<title type=\"html\">([^<]*)</title>"), std::vector<std::string>{c.title})
            << c.html.substr(0, 60);
    }

    // Relative links become absolute; others and what is no link stay.
    const std::string links[][2] = {
        {"<a href=\"touren/a.php\">", "<a href=\"https://www.wandern.example/touren/a.php\">"},
        {"<a class=\"x\" href='b.php'>", "<a class=\"x\" href='https://www.wandern.example/b.php'>"},
        {"<a HREF = c.php>", "<a HREF = https://www.wandern.example/c.php>"},
        {"<img alt src=\"img/a.jpg\">", "<img alt src=\"https://www.wandern.example/img/a.jpg\">"},
        {"<a href=\"/wurzel.php\">", "<a href=\"https://www.wandern.example/wurzel.php\">"},
        {"<a href=\"//cdn.example/x.js\">", "<a href=\"https://cdn.example/x.js\">"},
        {"<a href=\"#oben\">", "<a href=\"https://www.wandern.example/news.php#oben\">"},
        {"<a href=\"\">", "<a href=\"https://www.wandern.example/news.php\">"},
        {"<a href=\"mailto:a@b.example\">", "<a href=\"mailto:a@b.example\">"},
        {"<a href=\"HTTP://x.example/\">", "<a href=\"HTTP://x.example/\">"},
        {"<a href=\"" + std::string(70, 'a') + "\">", "<a href=\"https://www.wandern.example/" + std::string(70, 'a') + "\">"},
        {"<a title=\"href=x\" data-src=\"y\" href=\"z\">", "<a title=\"href=x\" data-src=\"y\" href=\"https://www.wandern.example/z\">"},
        {"<p>href=\"text.php\" src=x</p>", "<p>href=\"text.php\" src=x</p>"},
        {"<href=\"tag.php\">", "<href=\"tag.php\">"},
    };
    std::string html, want;
    for (const auto& l : links) {
        html += "<p>" + l[0] + "</p>\n";
        want += "<p>" + l[1] + "</p>\n";
    }
    // A line longer than a read piece, so that a link is cut between two.
    html += "<p>" + std::string(1015, 'x') + "<a href=\"lang.php\">x</a></p>\n";
    want += "<p>" + std::string(1015, 'x') + "<a href=\"https://www.wandern.example/lang.php\">x</a></p>\n";
    news_page(d, html);
    EXPECT_EQ(unxml(all(feed(d), "<content type=\"html\">([^<]*)</content>").at(0)), want);
}

TEST(Feed, FiftyNewestOfManyAndAPageWithoutEntries)
{
    TempDir d;
    // The page text as the news runs write it, made directly: 60 entries,
    // one a minute, the newest on top; one has lost its stamp by hand.
    std::string page = NEWS_HEADER;
    for (int i = 60; i >= 1; --i) {
        int minute = i - 1;
        page += OPENER;
        if (i != 55)
            page += "<p style=\"text-align: right; margin-top: -3em;\"><small>veröffentlicht: Mo, 3.5.2021 10:" +
                    std::string(minute < 10 ? "0" : "") + std::to_string(minute) + "</small><p>\n";
        page += "<h2>Nummer " + std::to_string(i) + "</h2>\n\t</div>\n\n</div>\n\n";
    }
    page += NEWS_FOOTER;
    spit(d / "news.php", page);
    const std::string f = feed(d);
    const auto ids = all(f, "<id>(tag:[^<]*)</id>");
    const auto titles = all(f, "<title type=\"html\">([^<]*)</title>");
    ASSERT_EQ(ids.size(), 50u);
    EXPECT_EQ(ids.front(), "tag:www.wandern.example,2021-05-03:news.php/60");
    EXPECT_EQ(ids.back(), "tag:www.wandern.example,2021-05-03:news.php/11");
    EXPECT_EQ(titles.front(), "Nummer 60");
    EXPECT_EQ(titles.back(), "Nummer 11");
    // The entry without a stamp takes the page's time, SOURCE_DATE_EPOCH at most.
    EXPECT_NE(f.find("<content type=\"html\">&lt;h2&gt;Nummer 60&lt;/h2&gt;\n</content>"), std::string::npos);
    EXPECT_EQ(all(f, "<published>([^<]*)</published>")[5], "2021-05-03T11:05:00+02:00");
    EXPECT_EQ(all(f, "<published>([^<]*)</published>")[6], "2021-05-03T10:53:00+02:00");
    EXPECT_NE(f.find("  <updated>2021-05-03T11:05:00+02:00</updated>\n  <author>"), std::string::npos);

    spit(d / "news.php", NEWS_HEADER + NEWS_FOOTER);
    const std::string empty = feed(d);
    EXPECT_EQ(empty.find("<entry>"), std::string::npos);
    EXPECT_NE(empty.find("  <updated>2021-05-03T11:05:00+02:00</updated>\n"), std::string::npos);
    const std::string end = "</author>\n</feed>\n";
    EXPECT_EQ(empty.rfind(end), empty.size() - end.size());
}
