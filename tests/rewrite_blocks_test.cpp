// The rewriter over inputs of many blocks: pieces and patterns that straddle
// the reader's block boundaries, long lines, the vector scan against the
// portable one, and the page written straight to a descriptor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "fileio.h"
#include "gather.h"
#include "rewrite.h"
#include "scan.h"

using namespace std::string_literals;

namespace {

constexpr std::size_t npos = std::string::npos;

// The rules written plainly with std::string, piece by piece.
std::string model(const std::string& in, bool equal_table, const std::string& pattern, const std::string& attr)
{
    auto upper = [](std::string s) {
        for (char& c : s)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return s;
    };
    std::string out;
    bool top = true;
    bool blockquote = false;
    for (std::size_t start = 0; start < in.size();) {
        std::size_t len = std::min<std::size_t>(LINE_MAX_READ, in.size() - start);
        std::size_t nl = in.find('\n', start);
        if (nl != npos && nl - start < len)
            len = nl - start + 1;
        std::string z = in.substr(start, len);
        start += len;
        auto has = [&](const char* p) { return z.find(p) != npos; };
        if ((z.size() <= 8 && has("html")) || has("<body") || has("</body"))
            continue;
        if (!pattern.empty() && has(pattern.c_str()) && z.find('>') != npos)
            z.insert(z.find('>'), attr);
        std::size_t i = 0;
        if ((i = z.find("%20download\"")) != npos) {
            out += i + 12 < z.size() ? z.substr(0, i) + "\" download>" + z.substr(i + 13) : z;
        } else if ((i = z.find("{width=")) != npos && i > 2) {
            std::size_t j = z.find('}', i + 7);
            out += j == npos ? z : z.substr(0, i - 3) + " style=\"width:" + z.substr(i + 7, j - i - 7) + "\" /> " + z.substr(j + 1);
        } else if ((i = z.find("<img src=")) != npos && i > 0) {
            std::size_t k = z.find(" />", i);
            out += k == npos ? z : z.substr(0, k) + " class=\"img-fluid\" />" + z.substr(k + 3);
        } else if ((i = z.find("<h2 id=\"")) != npos) {
            std::size_t k = z.find("\">", i);
            out += k == npos ? z : z.substr(0, i + 4) + (top ? "class=\"h2_top" : "class=\"h2_mid") + z.substr(k);
            top = top && k == npos;
        } else if (has("</blockquote>")) {
            out += z;
            blockquote = true;
        } else {
            int special = 0;
            if (has("href=")) {
                std::string u = upper(z);
                special = u.find("INHALT") != npos ? 8 : u.find("WEITER") != npos ? 6 : u.find("ZURüCK") != npos ? 7 : 0;
            }
            if (special) {
                const char* icon = special == 6   ? "<span class=\"icon-arrow-right-circle\"></span>&nbsp;"
                                   : special == 7 ? "<span class=\"icon-arrow-left-circle\"></span>&nbsp;"
                                                  : "<span class=\"icon-map\"></span>&nbsp;";
                i = z.find("\">");
                out += i == npos ? z : z.substr(0, i + 2) + icon + z.substr(i + 2);
            } else if (blockquote) {
                blockquote = false;
                std::size_t p = z.find("<p>");
                out += p == npos ? z : z.substr(0, p + 2) + " class=\"zitat\"" + z.substr(p + 2);
            } else if (equal_table && (has("<tr class=\"odd\">") || has("<tr class=\"even\">"))) {
                out += "<tr class=\"equal\">\n";
            } else {
                out += z;
            }
        }
    }
    return out;
}

// schreibeInhalt from a file into a file: the page goes to a descriptor.
std::string rewrite_files(const std::string& in, bool equal_table, const char* div_tag)
{
    std::FILE* fi = std::tmpfile();
    std::FILE* fo = std::tmpfile();
    std::fwrite(in.data(), 1, in.size(), fi);
    std::rewind(fi);
    std::fputs("Kopf\n", fo);  // something in stdio's buffer first
    // The width diagnostics go to standard output; keep them out of the log.
    testing::internal::CaptureStdout();
    schreibeInhalt(fi, fo, equal_table, div_tag);
    std::fflush(stdout);
    testing::internal::GetCapturedStdout();
    std::fputs("Fuß\n", fo);
    EXPECT_EQ(std::fflush(fo), 0);
    EXPECT_FALSE(std::ferror(fo));
    std::rewind(fo);
    std::string out;
    char buf[1 << 16];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, fo))
        out.append(buf, n);
    std::fclose(fi);
    std::fclose(fo);
    return out;
}

// Lines a renderer writes, with and without the patterns, and odd ones.
std::string sample_line(std::mt19937& rng)
{
    static const std::vector<std::string> lines = {
        "<p>Der Garten und das Haus sind nicht schön.</p>\n",
        "<p>Text mit <a href=\"https://example.org/seite.html\">einem Link</a> darin.</p>\n",
        "<p><a href=\"teil1.php\">Zurück</a> | <a href=\"index.php\">Inhalt</a> | <a href=\"teil3.php\">Weiter</a></p>\n",
        "<p><a href=\"teil3.php\">weiter</a></p>\n",
        "<p><a href=\"teil1.php\">ZURüCK</a></p>\n",
        "<h1 id=\"titel\">Titel</h1>\n",
        "<h2 id=\"abschnitt\">Abschnitt</h2>\n",
        "<h3 id=\"unter\">Unter</h3>\n",
        "<p><img src=\"bilder/a.jpg\" alt=\"Bild\" />{width=50%}</p>\n",
        "<p><img src=\"bilder/b.jpg\" alt=\"Bild\" /></p>\n",
        "<p><a href=\"downloads/x.pdf%20download\">x (PDF)</a></p>\n",
        "<blockquote>\n", "</blockquote>\n", "<p>Quelle</p>\n",
        "<table>\n", "<tr class=\"odd\">\n", "<tr class=\"even\">\n", "<td>Wert</td>\n", "</table>\n",
        "<html>\n", "<body>\n", "</body>\n", "html\n", "\n", "<hr />\n",
        "<pre><code>x = 1;\n", "</code></pre>\n", "<div>\n",
    };
    std::size_t k = rng() % (lines.size() + 3);
    if (k < lines.size())
        return lines[k];
    if (k == lines.size()) {
        // A long line, often around a piece's length, with a pattern near its end.
        static const std::size_t lengths[] = {1021, 1022, 1023, 1024, 1025, 2046, 2047, 3000};
        std::string l(lengths[rng() % 8], "abcdefghijklmnopqrstuvwxyz <>\""[rng() % 30]);
        std::string tail = "<img src=\"x\" />";
        std::size_t at = l.size() - tail.size() - rng() % 40;
        l.replace(at, tail.size(), tail);
        return l + "\n";
    }
    // Bytes of every value, NUL and '\n' included.
    std::string l;
    for (std::size_t n = rng() % 80; n > 0; --n)
        l += static_cast<char>(rng() % 256);
    return l;
}

// What short_writev was given to write, and how much it takes per call.
std::string written;
std::size_t take = 1;

// A writev that takes at most take bytes, as the kernel may.
ssize_t short_writev(int, const iovec* iov, int cnt)
{
    std::size_t room = take;
    for (int k = 0; k < cnt && room; ++k) {
        std::size_t n = std::min(room, iov[k].iov_len);
        written.append(static_cast<const char*>(iov[k].iov_base), n);
        room -= n;
    }
    return static_cast<ssize_t>(take - room);
}

}  // namespace

TEST(RewriteBlocks, ManyBlocksAgreeWithThePlainRules)
{
    std::mt19937 rng(20261207);
    for (int round = 0; round < 6; ++round) {
        // Several blocks' worth, so that pieces and patterns fall on the
        // boundaries at many offsets.
        std::string in;
        while (in.size() < 5 * LineReader::BLOCK + 12345u * static_cast<unsigned>(round))
            in += sample_line(rng);
        if (round % 2)
            in.pop_back();  // no newline at the end
        const bool equal_table = round % 3 == 1;
        ASSERT_EQ(rewrite_files(in, equal_table, nullptr),
                  "Kopf\n" + model(in, equal_table, "", "") + "Fuß\n")
            << "round " << round;
        ASSERT_EQ(rewrite_files(in, equal_table, "p.lead"),
                  "Kopf\n" + model(in, equal_table, "<p", " class=\"lead\"") + "Fuß\n")
            << "round " << round;
    }
}

TEST(RewriteBlocks, PatternsAcrossEveryBlockOffset)
{
    // Each pattern line is shifted by one byte per copy, so that over a
    // block's worth of copies it straddles the block boundary at each offset.
    const std::string lines[] = {"<p><img src=\"a\" alt=\"b\" />{width=25%}</p>\n",
                                 "<h2 id=\"k\">K</h2>\n", "<p><a href=\"w\">Weiter</a></p>\n", "</blockquote>\n<p>z</p>\n",
                                 "<body>\n", "html\n", "<a href=\"x.pdf%20download\">x</a>\n"};
    for (const std::string& line : lines) {
        std::string pad;
        std::string in;
        while (in.size() < LineReader::BLOCK + 4096) {
            pad += 'x';
            in += pad + "\n" + line;
            if (pad.size() > 200)
                pad.clear();
        }
        std::string want = model(in, false, "", "");
        ASSERT_EQ(rewrite_files(in, false, nullptr), "Kopf\n" + want + "Fuß\n") << line;
    }
}

TEST(RewriteBlocks, LinksAndSkeletonLinesTheScanPassesOver)
{
    // Links without a word, words without a link, "html" in long lines and
    // "tbody" stay as they are; a last piece of html without a newline (a
    // short line, or the tail of a long one) goes, as it would with one.
    const std::string body = "<p>Text <a href=\"a.html\">x</a></p>\n<p>weiter ohne Link</p>\n<tbody>\n"
                             "<p><a href=\"t.php\">wEiTeR</a></p>\n<a href=\"i\">INHALT\">\n"
                             "<p><a href=\"z\">zur\xc3\xbc" "ck</a></p>\n<p><a href=\"z\">ZUR\xc3\x9c" "CK</a></p>\n"
                             "xhtml\n<html lang=\"de\">\n1234html\n12345html\n</blockquote>\n<p>q</p>\n</BODY>\n";
    const std::string tails[] = {"", "html", "xhtml", "12345html", std::string(1023, 'a') + "html",
                                 std::string(2046, 'b') + "<html>", std::string(1023, 'c') + "xxxhtmlx"};
    for (const std::string& tail : tails)
        for (std::size_t before : {std::size_t{0}, LineReader::BLOCK - 3, 3 * LineReader::BLOCK + 17}) {
            std::string in(before, 'y');
            for (std::size_t k = 80; k < in.size(); k += 81)
                in[k] = '\n';
            in += "\n" + body + tail;
            ASSERT_EQ(rewrite_files(in, false, nullptr), "Kopf\n" + model(in, false, "", "") + "Fuß\n")
                << before << " " << tail;
        }
}

TEST(RewriteBlocks, VectorScanMarksWhatThePortableOneMarks)
{
    std::mt19937 rng(5);
    const std::string alphabet = "<>\"%{}=/-2bBdDhHiIkKmMnNeEwWcCqQtTfFyYgGuUzZrRoOlL \n\n\xc3\xbc";
    // Pieces of the patterns, so that every class is met often, also
    // across the words' edges.
    const std::string parts[] = {"tm", "html\n", "\n", "we", "wEi", "inh", "InH", "zur", "ZuR", "<bo", "/bo",
                                 "/bl", "<bl", "%2", "%20", "h2", "h2 ", "{w", "{wi", "mg", "<t", "<tr", "\">", "nh", "ck", "x", "  "};
    for (int round = 0; round < 300; ++round) {
        std::size_t words = 1 + rng() % 20;
        std::string text;
        if (round % 3 == 2)
            while (text.size() < words * 64 + 3)
                text += parts[rng() % std::size(parts)];
        text.resize(words * 64 + 3, '\0');
        if (round % 3 != 2)
            for (char& c : text)
                c = round % 3 ? alphabet[rng() % alphabet.size()] : static_cast<char>(rng() % 256);
        for (bool equal_table : {false, true}) {
            std::vector<std::uint64_t> a(3 * words), b(3 * words);
            mark_bytes(text.data(), words, equal_table, false, a.data(), a.data() + words, a.data() + 2 * words);
            mark_bytes(text.data(), words, equal_table, true, b.data(), b.data() + words, b.data() + 2 * words);
            ASSERT_EQ(a, b) << "round " << round;
        }
    }
    // A pattern's pair is marked where it stands, and nothing else is.
    std::string text(131, ' ');
    text.replace(10, 5, "href=");
    text.replace(20, 6, "wEiTer");
    text.replace(70, 2, "\">");
    std::vector<std::uint64_t> m(6);
    for (bool portable : {false, true}) {
        mark_bytes(text.data(), 2, false, portable, m.data(), m.data() + 2, m.data() + 4);
        EXPECT_EQ(m[0] | m[1], 0u);               // no newline
        EXPECT_EQ(m[2], std::uint64_t{1} << 20);  // the start of the word, not href
        EXPECT_EQ(m[3], 0u);
        EXPECT_EQ(m[4], std::uint64_t{1} << 20);  // its "we"
        EXPECT_EQ(m[5], std::uint64_t{1} << (70 - 64));  // the tag end
    }
    // "html" is marked only where a short piece ending in a newline can hold
    // it, and whether a newline follows is seen across words.
    std::string html(195, ' ');
    html.replace(10, 5, "html\n");
    html.replace(40, 12, "html is long");
    html.replace(60, 5, "html\n");
    std::vector<std::uint64_t> h(9);
    for (bool portable : {false, true}) {
        mark_bytes(html.data(), 3, false, portable, h.data(), h.data() + 3, h.data() + 6);
        EXPECT_EQ(h[0], std::uint64_t{1} << 14);
        EXPECT_EQ(h[1], std::uint64_t{1});
        // The 't's of the two short lines; the newline of the second is in
        // the next word.
        EXPECT_EQ(h[3], std::uint64_t{1} << 11 | std::uint64_t{1} << 61);
        EXPECT_EQ(h[4] | h[5], 0u);
    }
}

TEST(RewriteBlocks, AFailedDirectWriteIsTheStreamsError)
{
    std::FILE* fi = std::tmpfile();
    std::string in(3 * LineReader::BLOCK, 'a');
    std::fwrite(in.data(), 1, in.size(), fi);
    std::rewind(fi);
    std::FILE* fo = std::fopen("/dev/full", "w");
    ASSERT_NE(fo, nullptr);
    schreibeInhalt(fi, fo, false, nullptr);
    EXPECT_TRUE(std::fflush(fo) != 0 || std::ferror(fo));
    std::fclose(fo);
    std::fclose(fi);
}

TEST(RewriteBlocks, AShortDirectWriteIsFollowedByTheRest)
{
    // Stretches of a block, some adjacent (they merge), and literals between.
    const std::string block = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (std::size_t step : {1u, 2u, 3u, 5u, 8u, 13u, 100u}) {
        take = step;
        written.clear();
        std::string want;
        std::FILE* fo = std::tmpfile();
        Sink out(fo, true, short_writev);
        for (std::size_t at = 0, len = 1; at + len <= block.size(); at += len, len = len % 4 + 1) {
            out.put(block.data() + at, len);
            want.append(block, at, len);
            if (len % 2) {
                out.put("<L>", 3);
                want += "<L>";
            }
        }
        out.flush();
        EXPECT_EQ(written, want) << "take " << step;
        std::fclose(fo);
    }
}
