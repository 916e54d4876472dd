#include "feed.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "entryhtml.h"
#include "pageformat.h"

namespace {

struct Entry {
    std::size_t begin = 0;  // the pieces of its HTML: [begin, end)
    std::size_t end = 0;
    bool dated = false;  // when is known: its own stamp, or an older entry's
    std::time_t when = 0;
};

// An entry's closing pair, and the break of a merged page, behind its HTML.
bool closing_line(const char* piece, std::size_t n)
{
    return is_line(piece, n, "") || is_line(piece, n, CONTAINER_CLOSE) || is_line(piece, n, PAGE_BREAK);
}

std::string date_of(std::time_t when, bool dotted)
{
    std::tm tm{};
    localtime_r(&when, &tm);
    char buf[48];
    if (dotted)
        std::snprintf(buf, sizeof buf, "%d.%d.%d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return buf;
}

// The part of an entry's tag after its date: the page's path from the
// site's root, behind the port where the base URL names one. A path never
// holds a bare ":", so the two cannot be mistaken for each other.
std::string tag_specific(const BaseUrl& b, const std::string& page_name)
{
    std::string path;
    for (std::size_t i = 1; i < b.path.size(); ++i)
        path += b.path[i] == ':' ? std::string("%3A") : std::string(1, b.path[i]);
    path += url_path(page_name);
    return b.port.empty() ? path : ":" + b.port + "/" + path;
}

}  // namespace

FeedRead write_feed(std::FILE* out, std::FILE* fp, const BaseUrl& b, const std::string& page_name,
                    const std::string& feed_name, const char* title)
{
    // First pass: where each entry's HTML lies, and its date.
    // Only the newest FEED_MAX_ENTRIES are kept; the others are counted.
    PageHead head;
    std::vector<Entry> entries;
    entries.reserve(FEED_MAX_ENTRIES);
    std::size_t total = 0;
    // An entry without a stamp takes the date of the nearest older entry
    // that has one, else NO_DATE: dates that stay when new entries arrive
    // on top and when the page's file changes. The feed's time is the
    // newest stamp, else the page's.
    bool stamped_any = false;
    std::time_t newest = 0;
    std::time_t mtime = 0;
    if (!clamped_mtime(fp, &mtime))
        return FeedRead::read_error;
    {
        LineReader r(fp);
        std::size_t i = read_page_head(r, head);
        if (!head.page)
            return std::ferror(fp) ? FeedRead::read_error : FeedRead::not_a_page;
        EntryScan scan;
        scan.pieces = i;
        constexpr std::size_t NONE = EntryScan::NONE;
        std::size_t close_at = NONE;      // where the entry's closing lines begin
        std::size_t footer_close = NONE;  // close_at as it was at the closing block
        std::size_t undated = 0;          // entries[undated, size) wait for an older stamp
        Entry* e = nullptr;
        auto finish = [&](std::size_t at) {
            if (!e)
                return;
            e->end = std::max(e->begin, close_at != NONE ? close_at : at);
        };
        std::size_t n = 0;
        for (; const char* piece = next_piece(r, n); ++i) {
            const bool line_start = scan.line_start;
            std::time_t when = 0;
            switch (scan.step(piece, n, &when)) {
            case EntryScan::outside:
                continue;
            case EntryScan::opener:
                finish(i);
                ++total;
                e = nullptr;
                if (entries.size() < FEED_MAX_ENTRIES) {
                    e = &entries.emplace_back();
                    // An opener put inside a line by hand keeps that line.
                    e->begin = scan.in_head ? i + 1 : i;
                }
                close_at = NONE;
                if (scan.in_head)
                    continue;
                break;
            case EntryScan::head:
                if (e)
                    e->begin = i + 1;
                continue;
            case EntryScan::stamp:
                if (e) {
                    e->begin = i + 1;
                    e->dated = true;
                    e->when = when;
                }
                // Entries above without a stamp of their own take this one's.
                for (; undated < entries.size(); ++undated)
                    if (!entries[undated].dated) {
                        entries[undated].dated = true;
                        entries[undated].when = when;
                    }
                newest = stamped_any ? std::max(newest, when) : when;
                stamped_any = true;
                continue;
            case EntryScan::body:
                break;
            }
            if (scan.footer == i)
                footer_close = close_at;
            if (line_start && is_line(piece, n, JUMBOTRON_CLOSE))
                close_at = close_at == NONE ? i : close_at;
            else if (!(line_start && closing_line(piece, n)))
                close_at = NONE;
        }
        if (std::ferror(fp))
            return FeedRead::read_error;
        // The last entry ends where the closing block begins.
        if (e && scan.footer != NONE && scan.footer >= e->begin) {
            close_at = footer_close;
            finish(scan.footer);
        } else {
            finish(i);
        }
    }
    if (!stamped_any)
        newest = mtime;
    const std::string page_url = b.url + url_path(page_name);
    const std::string feed_url = b.url + url_path(feed_name);
    XmlText x(out);
    std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\" xml:lang=\"de\">\n"
               "  <title>",
               out);
    const std::string feed_title = title && *title ? title : head.titel;
    x.put(feed_title);
    x.end();
    std::fputs("</title>\n  <id>", out);
    x.put(page_url);
    std::fputs("</id>\n  <link rel=\"self\" type=\"application/atom+xml\" href=\"", out);
    x.put(feed_url);
    std::fputs("\"/>\n  <link rel=\"alternate\" type=\"text/html\" href=\"", out);
    x.put(page_url);
    std::fprintf(out, "\"/>\n  <updated>%s</updated>\n  <author><name>", w3c_time(newest).c_str());
    x.put(b.host);
    std::fputs("</name></author>\n", out);

    // Second pass: each entry's HTML, read by the parser whole (its first
    // MAX_ENTRY bytes), for its title and the feed's copy.
    if (std::fseek(fp, 0, SEEK_SET) != 0)
        return FeedRead::read_error;
    LineReader r(fp);
    std::size_t i = 0;
    std::size_t n = 0;
    std::string html;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const Entry& e = entries[k];
        html.clear();
        bool cut = false;
        for (; i < e.end; ++i) {
            const char* piece = next_piece(r, n);
            if (!piece)
                return FeedRead::read_error;  // shorter than in the first pass
            if (i < e.begin)
                continue;
            cut = cut || html.size() + n > MAX_ENTRY;
            html.append(piece, std::min(n, MAX_ENTRY - html.size()));
        }
        const FeedEntry got = read_entry(html, cut, b, page_url);
        std::time_t when = e.dated ? e.when : NO_DATE;
        std::string stamp = w3c_time(when);
        std::fputs("  <entry>\n    <title type=\"text\">", out);
        // Without a heading: the feed's title and the entry's date, where it has one.
        x.put(!got.title.empty() ? got.title : e.dated ? feed_title + " vom " + date_of(when, true) : feed_title);
        x.end();
        // The number counts from the oldest entry, so it stays when newer
        // ones arrive on top.
        std::fputs("</title>\n    <id>tag:", out);
        x.put(b.host + "," + date_of(when, false) + ":" + tag_specific(b, page_name) + "/" +
              std::to_string(total - k));
        std::fputs("</id>\n    <link rel=\"alternate\" type=\"text/html\" href=\"", out);
        x.put(page_url);
        std::fprintf(out, "\"/>\n    <published>%s</published>\n    <updated>%s</updated>\n    <content type=\"html\">",
                     stamp.c_str(), stamp.c_str());
        x.put(got.content);
        x.end();
        std::fputs("</content>\n  </entry>\n", out);
    }
    std::fputs("</feed>\n", out);
    return std::ferror(fp) ? FeedRead::read_error : FeedRead::ok;
}

int generate_feed(const char* base, const char* page, const char* title)
{
    BaseUrl b;
    std::string why;
    if (!parse_base_url(base, b, why))
        return bad_base_url(base, why);
    std::string path = page;
    std::string feed = path.size() > 4 && path.compare(path.size() - 4, 4, ".php") == 0
                           ? path.substr(0, path.size() - 4) + ".xml"
                           : path + ".xml";
    auto base_name = [](const std::string& p) {
        std::size_t slash = p.rfind('/');
        return slash == std::string::npos ? p : p.substr(slash + 1);
    };
    std::FILE* fp = is_directory(page) ? nullptr : std::fopen(page, "rb");
    if (!fp) {
        std::printf("Fehler: Datei \"%s\" kann nicht gelesen werden!\n", page);
        return STATUS_IO;
    }
    SafeOut out;
    if (!safe_open(out, feed.c_str())) {
        std::fclose(fp);
        std::printf("Fehler: Datei \"%s\" kann nicht geschrieben werden!\n", feed.c_str());
        return STATUS_IO;
    }
    FeedRead got = write_feed(out.fp, fp, b, base_name(path), base_name(feed), title);
    std::fclose(fp);
    if (got != FeedRead::ok) {
        safe_abort(out);
        if (got == FeedRead::not_a_page)
            std::printf("Fehler: \"%s\" ist keine Seite von quennelbrook (sie beginnt nicht mit <?php und $titel)!\n",
                        page);
        else
            std::printf("Fehler: Datei \"%s\" kann nicht gelesen werden!\n", page);
        return STATUS_IO;
    }
    if (!safe_commit(out)) {
        std::printf("Fehler: Datei \"%s\" kann nicht geschrieben werden!\n", feed.c_str());
        return STATUS_IO;
    }
    return STATUS_OK;
}
