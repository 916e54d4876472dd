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

std::string feed(const TempDir& d, const std::string& base = BASE, const std::vector<std::string>& title = {})
{
    std::vector<std::string> args = {"-g", "feed", base, "news.php"};
    args.insert(args.end(), title.begin(), title.end());
    Result r = qb(args, d.path, {"TZ=Europe/Berlin"});
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
        "    <title type=\"text\">Herbst &amp; Rekord</title>\n"
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
                           "    <title type=\"text\">Tarnido 2020 News vom 1.12.2021</title>\n"
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

    // Ids are unique per feed: news pages in two folders of one host, or
    // behind another port, never share one.
    const std::string first_id[][2] = {
        {"https://example.org/verein/", "tag:example.org,2021-10-02:verein/news.php/1"},
        {"https://example.org/jugend/", "tag:example.org,2021-10-02:jugend/news.php/1"},
        {"https://EXAMPLE.org:8080/jugend/", "tag:example.org,2021-10-02::8080/jugend/news.php/1"},
        {"http://example.org/8080/jugend/", "tag:example.org,2021-10-02:8080/jugend/news.php/1"},
        {"http://example.org/:8080/jugend/", "tag:example.org,2021-10-02:%3A8080/jugend/news.php/1"},
    };
    for (const auto& [base, id] : first_id)
        EXPECT_EQ(all(feed(d, base), "<id>(tag:[^<]*)</id>").back(), id) << base;

    // The site's name as the feed's title, and in the title of an entry
    // without a heading; none, or an empty one, leaves the page's.
    const std::string named = feed(d, BASE, {"Wanderfreunde & Co"});
    EXPECT_EQ(named.find("<feed xmlns=\"http://www.w3.org/2005/Atom\" xml:lang=\"de\">\n"
                         "  <title>Wanderfreunde &amp; Co</title>\n"), 39u);
    EXPECT_NE(named.find("<title type=\"text\">Wanderfreunde &amp; Co vom 1.12.2021</title>"), std::string::npos);
    EXPECT_EQ(feed(d, BASE, {""}), later);
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
        {"<h2>" + std::string(1022, 'x') + "ä</h2>\n", std::string(1022, 'x') + "ä"},
        {"<h2>" + std::string(1023, 'x') + "ä</h2>\n", std::string(1023, 'x')},
        {"<h2>" + std::string(1023, 'x') + " y</h2>\n", std::string(1023, 'x')},
        // Plain text as the page shows it: references decoded, a "<" that
        // opens no tag kept, no-break spaces as blanks.
        {"<h2>Kaffee &amp; Kuchen</h2>\n", "Kaffee & Kuchen"},
        {"<h2>Wurst & Käse</h2>\n", "Wurst & Käse"},
        {"<h2>3 < 4</h2>\n<p>Danach kommt Text</p>\n", "3 < 4"},
        {"<h2>a <3 <\xC3\xA4 x<</h2>\n", "a <3 <\xC3\xA4 x<"},
        {"<h2>&lt;b&gt; &auml;&Ouml;&szlig; &#228;&#xe4;&#XC4; &quot;x&quot; &bdquo;y&ldquo;</h2>\n",
         "<b> äÖß ääÄ \"x\" „y“"},
        {"<h2>&nbsp;a&nbsp;&#160;b \xC2\xA0</h2>\n", "a b"},
        {"<h2>&unbekannt; &#; &#x; &#x110000; &#0; &#99999999999999;&</h2>\n",
         "&unbekannt; &#; &#x; \xEF\xBF\xBD \xEF\xBF\xBD \xEF\xBF\xBD&"},
        // Without the ";" as browsers read them: numbers, and the old names at a word's start.
        {"<h2>&amp &auml x &notit; &#228b &copy2021 &AMP; &ampx &AumlX &apos</h2>\n",
         "& ä x ¬it; äb ©2021 & &x ÄX &apos"},
        {"<h2>a<!-- Notiz --> <b\nclass='x'>b</b>&amp</h2>\n", "a b&"},
        {"<h2>&nbsp;</h2>\n", "Tarnido 2020 News vom 3.5.2021"},
        {"<h2> \xC2\xA0 &#32;<b> </b>\t</h2>\n", "Tarnido 2020 News vom 3.5.2021"},
        // As an HTML5 parser reads them: C1 numbers as Windows-1252, every
        // named reference, comments whole, a heading closed by any </hN>,
        // no script or style text.
        {"<h2>&#132;Grüße&#147; &#150; 5&#128;</h2>\n", "„Grüße“ – 5€"},
        {"<h2>A<!-- x > y -->B</h2>\n", "AB"},
        {"<!-- <h2>Alt</h2> --><h2>Neu</h2>\n", "Neu"},
        {"<h2>Titel</h3><p>Text danach</p>\n", "Titel"},
        {"<h2>T<script>x = '<b>'</script><style>b{}</style>!</h2>\n", "T!"},
        {"<h2>&check; &mldr; &NotEqualTilde; &hellip</h2>\n", "✓ … ≂̸ &hellip"},
        {"<h2>a<br>b<p>c</p><span hidden>d</span></h2>\n", "a b c"},
        {"<h2>" + [] { std::string s; for (int i = 0; i < 600; ++i) s += "ä"; return s; }() + "</h2>\n",
         [] { std::string s; for (int i = 0; i < 512; ++i) s += "ä"; return s; }()},
        // An entry longer than the parser reads, nested deeper than a stack.
        {"<h2>Kopf</h2>\n" + [] { std::string s; for (int i = 0; i < 80000; ++i) s += "<div>"; return s; }(), "Kopf"},
    };
    for (const auto& c : cases) {
        news_page(d, c.html);
        const auto titles = all(feed(d), "<title type=\"text\">([^<]*)</title>");
        EXPECT_EQ(titles.size(), 1u) << c.html.substr(0, 60);
        EXPECT_EQ(unxml(titles.empty() ? "" : titles[0]), c.title) << c.html.substr(0, 60);
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
        // Blanks around a link, which a browser drops, go before it is made absolute.
        {"<a href=\"  lead.php \">", "<a href=\"https://www.wandern.example/lead.php\">"},
        {"<img src=' \t/bild.jpg\n'>", "<img src='https://www.wandern.example/bild.jpg'>"},
        {"<a href=\" a  b.php\">", "<a href=\"https://www.wandern.example/a  b.php\">"},
        {"<a href=\"   \">", "<a href=\"https://www.wandern.example/news.php\">"},
        {"<a href=\" https://x.example/ \" title=\" t \">", "<a href=\"https://x.example/\" title=\" t \">"},
        {"<a href=\"x.php?a=1&amp;b=2\">", "<a href=\"https://www.wandern.example/x.php?a=1&amp;b=2\">"},
        {"<img srcset=\"a.jpg 1x (a,b), b.jpg\">",
         "<img srcset=\"https://www.wandern.example/a.jpg 1x (a,b), https://www.wandern.example/b.jpg\">"},
        {"<img src=\"data:text/html,x\" alt=\"a\">", "<img alt=\"a\">"},
        // What a reader's page would give to its body, one after the other.
        {"a<body onload=\"alert(1)\">b<body onload=\"alert(2)\">", "a<body>b<body>"},
        // Bytes that are no UTF-8, or no character XML allows.
        {"a\xC0\xAF" "b\xED\xA0\x80" "c\xEF\xBF\xBE", "a\uFFFD\uFFFDb\uFFFD\uFFFD\uFFFDc\uFFFD"},
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

    // What a reader must not run stays out of the feed's copy and on the
    // page; srcset and poster are made absolute like href and src.
    const std::string active[][2] = {
        {"<script>alert(1)</script>", ""},
        {"<style>p { color: red }</style>", ""},
        {"<a href=\"x.php\" onclick=\"alert(1)\" ONMOUSEOVER=y>a</a>", "<a href=\"https://www.wandern.example/x.php\">a</a>"},
        {"<a href=\"javascript:alert(1)\" title=\"t\">b</a>", "<a title=\"t\">b</a>"},
        {"<a href=\" JaVa&#x0A;script:alert(1)\">c</a>", "<a>c</a>"},
        {"<a onclick=\"1\" href=\"y.php\" onclick=\"2\">d</a>", "<a href=\"https://www.wandern.example/y.php\">d</a>"},
        {"<form action=\"vbscript:msgbox\"></form>", "<form></form>"},
        {"<a href=\"data:text/html,&lt;script&gt;\">e</a>", "<a>e</a>"},
        {"<img alt=\"Punkt\" src=\"data:image/png;base64,AA==\">", "<img alt=\"Punkt\" src=\"data:image/png;base64,AA==\">"},
        {"<img srcset=\"a.jpg 1x,/b.jpg  2x\" src=\"c.jpg\">",
         "<img srcset=\"https://www.wandern.example/a.jpg 1x, https://www.wandern.example/b.jpg 2x\" "
         "src=\"https://www.wandern.example/c.jpg\">"},
        {"<video poster=\"p.jpg\" src=\"v.mp4\"></video>",
         "<video poster=\"https://www.wandern.example/p.jpg\" src=\"https://www.wandern.example/v.mp4\"></video>"},
        {"<iframe srcdoc=\"&lt;script&gt;alert(1)&lt;/script&gt;\"></iframe>", "<iframe></iframe>"},
        {"a</br>b", "a</br>b"},
    };
    html.clear();
    want.clear();
    for (const auto& a : active) {
        html += "<div>" + a[0] + "</div>\n";
        want += "<div>" + a[1] + "</div>\n";
    }
    news(d, html, 1620032700);
    const std::string page = slurp(d / "news.php");
    EXPECT_NE(page.find(html), std::string::npos) << page;
    EXPECT_NE(unxml(feed(d)).find(want), std::string::npos);
    std::remove((d / "news.php").c_str());

    // Of an entry longer than the parser reads, the feed has what the first
    // 64 KiB hold whole: no tag cut off, no character split.
    std::string lines, umlaute;
    for (int i = 0; i < 2900; ++i)
        lines += "<p class=\"zeile\">x</p>\n";
    for (int i = 0; i < 33000; ++i)
        umlaute += "ä";
    const std::pair<std::string, std::string> cut[] = {
        {"<h2>Langer Text</h2>\n" + lines, "x</p>\n"},
        {"<h2>Umlaute</h2>\n<p>x" + umlaute + "</p>\n", "ää"},
    };
    for (const auto& [entry, end] : cut) {
        news_page(d, entry);
        // Found without std::regex, whose matching recurses once a byte.
        const std::string f = feed(d), open = "<content type=\"html\">";
        const std::size_t at = f.find(open) + open.size();
        const std::string content = unxml(f.substr(at, f.find("</content>", at) - at));
        EXPECT_EQ(content.compare(0, 32, entry, 0, 32), 0);
        EXPECT_LE(content.size(), 64u * 1024);
        EXPECT_GT(content.size(), 64u * 1024 - 30);
        EXPECT_EQ(content.substr(content.size() - end.size()), end);
    }

    // A page saved with CRLF line ends is read alike.
    std::string crlf;
    for (char c : NEWS_HEADER + OPENER + STAMP_LINE + "<h2>Zeilen</h2>\n<p>x</p>\n\t</div>\n\n</div>\n\n" + NEWS_FOOTER)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    spit(d / "news.php", crlf);
    const std::string crlf_feed = feed(d);
    EXPECT_NE(crlf_feed.find("<title type=\"text\">Zeilen</title>"), std::string::npos) << crlf_feed;
    EXPECT_NE(crlf_feed.find("<content type=\"html\">&lt;h2&gt;Zeilen&lt;/h2&gt;&#13;\n&lt;p&gt;x&lt;/p&gt;&#13;\n</content>"),
              std::string::npos);

    // A closing block begun on an opener's line ends the entries there.
    spit(d / "news.php", NEWS_HEADER + OPENER + STAMP_LINE + "<h2>Letzter</h2>\n\t</div>\n\n</div>\n\n" +
                             "<div class=\"container\"><?php\nrequire_once(\"assets/include/footer.php\");\n?>\n");
    const std::string closed = feed(d);
    EXPECT_NE(closed.find("<title type=\"text\">Letzter</title>"), std::string::npos);
    EXPECT_EQ(closed.find("require_once"), std::string::npos) << closed;

    // The feed's title is $titel with its PHP escapes undone.
    spit(d / "news.php", "<?php\n$titel = \"Sag \\\"Hallo\\\" f\\\\r \\$5\";\n?>\n");
    EXPECT_NE(feed(d).find("  <title>Sag &quot;Hallo&quot; f\\r $5</title>\n"), std::string::npos);
}

TEST(Feed, FiftyNewestOfManyAndEntriesWithoutAStamp)
{
    TempDir d;
    // The page text as the news runs write it, made directly: 60 entries,
    // one a minute, the newest on top; two were put in by hand without a
    // stamp, one of them on top.
    auto stamp = [](int minute) {
        return "<p style=\"text-align: right; margin-top: -3em;\"><small>veröffentlicht: Mo, 3.5.2021 10:" +
               std::string(minute < 10 ? "0" : "") + std::to_string(minute) + "</small><p>\n";
    };
    const std::string close = "\t</div>\n\n</div>\n\n";
    std::string page = NEWS_HEADER;
    for (int i = 60; i >= 1; --i) {
        page += OPENER;
        if (i != 55 && i != 60)
            page += stamp(i - 1);
        page += "<h2>Nummer " + std::to_string(i) + "</h2>\n" + close;
    }
    page += NEWS_FOOTER;
    spit(d / "news.php", page);
    const std::string f = feed(d);
    const auto ids = all(f, "<id>(tag:[^<]*)</id>");
    const auto titles = all(f, "<title type=\"text\">([^<]*)</title>");
    const auto published = all(f, "<published>([^<]*)</published>");
    ASSERT_EQ(ids.size(), 50u);
    EXPECT_EQ(ids.front(), "tag:www.wandern.example,2021-05-03:news.php/60");
    EXPECT_EQ(ids.back(), "tag:www.wandern.example,2021-05-03:news.php/11");
    EXPECT_EQ(titles.front(), "Nummer 60");
    EXPECT_EQ(titles.back(), "Nummer 11");
    EXPECT_NE(f.find("<content type=\"html\">&lt;h2&gt;Nummer 60&lt;/h2&gt;\n</content>"), std::string::npos);
    // An entry without a stamp has the date of the nearest older one, so
    // that neither the page's time nor the run's moves it; the feed's time
    // is the newest stamp.
    EXPECT_EQ(published[0], "2021-05-03T10:58:00+02:00");
    EXPECT_EQ(published[5], "2021-05-03T10:53:00+02:00");
    EXPECT_EQ(published[6], "2021-05-03T10:53:00+02:00");
    EXPECT_NE(f.find("  <updated>2021-05-03T10:58:00+02:00</updated>\n  <author>"), std::string::npos);
    // A new entry on top, a day later, with the page's time and the run's
    // moved on: every older entry keeps its id and date.
    news(d, "<h2>Neu</h2>\n", 1620122400);
    Result r = qb({"-g", "feed", BASE, "news.php"}, d.path, {"TZ=Europe/Berlin", "SOURCE_DATE_EPOCH=1620130000"});
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string g = slurp(d / "news.xml");
    auto after = all(g, "<id>(tag:[^<]*)</id>");
    auto after_published = all(g, "<published>([^<]*)</published>");
    ASSERT_EQ(after.size(), 50u);
    EXPECT_EQ(after[0], "tag:www.wandern.example,2021-05-04:news.php/61");
    EXPECT_EQ(std::vector<std::string>(after.begin() + 1, after.end()),
              std::vector<std::string>(ids.begin(), ids.end() - 1));
    EXPECT_EQ(std::vector<std::string>(after_published.begin() + 1, after_published.end()),
              std::vector<std::string>(published.begin(), published.end() - 1));
    EXPECT_NE(g.find("  <updated>2021-05-04T12:00:00+02:00</updated>\n  <author>"), std::string::npos);

    // Without an older stamp an entry has the start of Unix time, which
    // neither the page's time nor a newer entry moves. Only the line after
    // the opener is the stamp, and only one of a day the calendar has.
    std::string odd = NEWS_HEADER + OPENER + stamp(7) + "<p>a</p>\n" + close;
    for (const char* bad : {"Mo, 31.2.2021 10:00", "Mo, 3.5.2021 24:00", "Mo, 3.5.2021 10:60", "Mo, 3.13.2021 10:00",
                            "Xy, 3.5.2021 10:00", "Mo, 3.5.999 10:00"})
        odd += OPENER + "<p style=\"text-align: right; margin-top: -3em;\"><small>veröffentlicht: " + bad +
               "</small><p>\n<p>b</p>\n" + close;
    odd += OPENER + "<p>c</p>\n" + stamp(30) + close + NEWS_FOOTER;
    spit(d / "news.php", odd);
    std::vector<std::string> dates(8, "1970-01-01T01:00:00+01:00");
    dates[0] = "2021-05-03T10:07:00+02:00";
    EXPECT_EQ(all(feed(d), "<published>([^<]*)</published>"), dates);
    spit(d / "news.php", NEWS_HEADER + OPENER + "<p>b</p>\n" + close + NEWS_FOOTER);
    const std::string unstamped = feed(d);
    EXPECT_EQ(all(unstamped, "<id>(tag:[^<]*)</id>"), std::vector<std::string>{"tag:www.wandern.example,1970-01-01:news.php/1"});
    EXPECT_NE(unstamped.find("<title type=\"text\">Tarnido 2020 News</title>"), std::string::npos);
    news(d, "<h2>Neu</h2>\n", 1620122400);
    EXPECT_EQ(all(feed(d), "<published>([^<]*)</published>"),
              (std::vector<std::string>{"2021-05-04T12:00:00+02:00", "1970-01-01T01:00:00+01:00"}));

    spit(d / "news.php", NEWS_HEADER + NEWS_FOOTER);
    const std::string empty = feed(d);
    EXPECT_EQ(empty.find("<entry>"), std::string::npos);
    EXPECT_NE(empty.find("  <updated>2021-05-03T11:05:00+02:00</updated>\n"), std::string::npos);
    const std::string end = "</author>\n</feed>\n";
    EXPECT_EQ(empty.rfind(end), empty.size() - end.size());
}
