#include "feed.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "htmltext.h"
#include "pageformat.h"

namespace {

// Makes the relative href and src values of HTML absolute on the way to
// the XML text: a path against the page's folder, "/..." against the
// site's origin, "//..." with the scheme, "#..." and "?..." against the page.
struct AbsoluteLinks {
    AbsoluteLinks(XmlText& o, const BaseUrl& b, const std::string& page) : out(o), base(b), page_url(page) {}
    XmlText& out;
    const BaseUrl& base;
    const std::string& page_url;

    enum State { text, tag, before_value, value } state = text;
    std::string word;     // the attribute name being read
    std::string last;     // the name before white space, waiting for "="
    bool tag_name = false;
    bool rewrite = false;  // the value is an href or src
    char quote = 0;        // 0 for an unquoted value
    bool decided = false;
    std::string held;    // the value's start, until its kind is known
    std::string blanks;  // blanks inside a link's value, until more of it follows

    void feed(const char* p, std::size_t n)
    {
        const char* run = p;
        const char* end = p + n;
        for (; p < end; ++p) {
            char c = *p;
            if (state == text && c != '<')
                continue;
            out.put(run, static_cast<std::size_t>(p - run));
            run = p + 1;
            if (!step(c))
                out.put(&c, 1);
        }
        out.put(run, static_cast<std::size_t>(end - run));
    }

    // Returns true when c was taken (held back), false when it goes out.
    bool step(char c)
    {
        switch (state) {
        case text:
            state = tag;
            tag_name = true;
            word.clear();
            last.clear();
            return false;
        case tag:
            if (c == '>') {
                state = text;
            } else if (c == '=') {
                std::string name = !word.empty() ? word : last;
                rewrite = !tag_name && (name == "href" || name == "src");
                state = before_value;
            } else if (html_space(c)) {
                if (!word.empty())
                    last = word;
                word.clear();
                tag_name = false;
            } else if (html_name_char(c)) {
                if (word.size() < 8)
                    word += ascii_lower(c);
                else
                    word = "-";  // too long to be one of ours
            } else {
                word.clear();
                last.clear();
            }
            return false;
        case before_value:
            if (html_space(c))
                return false;
            state = value;
            decided = !rewrite;
            held.clear();
            blanks.clear();
            quote = c == '"' || c == '\'' ? c : 0;
            if (quote)
                return false;
            [[fallthrough]];
        case value:
            if ((quote && c == quote) || (!quote && (html_space(c) || c == '>'))) {
                blanks.clear();  // trailing blanks: a browser drops them
                if (!decided)
                    decide(true);
                word.clear();
                last.clear();
                state = c == '>' ? text : tag;
                return false;
            }
            if (!rewrite)
                return false;
            // Blanks in a quoted link are held until more of it follows;
            // leading ones are dropped, so that "  a.php" is made absolute
            // as a browser reads it.
            if (html_space(c)) {
                if (decided || !held.empty())
                    blanks += c;
                return true;
            }
            if (!blanks.empty()) {
                if (decided)
                    out.put(blanks);
                else
                    held += blanks;
                blanks.clear();
            }
            if (decided)
                return false;
            held += c;
            decide(false);
            return true;
        }
        return false;
    }

    // Sends out held, behind the prefix its kind asks for, once that is
    // known; complete says the value ends after held.
    void decide(bool complete)
    {
        const std::string* prefix = nullptr;
        std::string scheme;
        if (held.empty()) {
            if (!complete)
                return;
            prefix = &page_url;  // an empty link is the page itself
        } else if (held[0] == '#' || held[0] == '?') {
            prefix = &page_url;
        } else if (held[0] == '/') {
            if (held.size() < 2 && !complete)
                return;
            scheme = held.size() > 1 && held[1] == '/' ? base.scheme + ":" : base.origin;
            prefix = &scheme;
        } else {
            std::size_t i = 0;
            bool letters = (held[0] >= 'a' && held[0] <= 'z') || (held[0] >= 'A' && held[0] <= 'Z');
            while (letters && i < held.size() &&
                   ((held[i] >= 'a' && held[i] <= 'z') || (held[i] >= 'A' && held[i] <= 'Z') ||
                    (held[i] >= '0' && held[i] <= '9') || held[i] == '+' || held[i] == '-' || held[i] == '.'))
                ++i;
            bool absolute = letters && i < held.size() && held[i] == ':';
            // A scheme is short; a long run of its letters is a path.
            if (letters && i == held.size() && !complete && held.size() < 64)
                return;
            if (!absolute)
                prefix = &base.url;
        }
        if (prefix)
            out.put(*prefix);
        out.put(held);
        held.clear();
        decided = true;
    }

    void finish()
    {
        if (state != value)
            return;
        // A value still open when the entry ends holds its blanks as text.
        if (decided) {
            out.put(blanks);
        } else {
            held += blanks;
            decide(true);
        }
        blanks.clear();
    }
};

struct Entry {
    std::size_t begin = 0;  // the pieces of its HTML: [begin, end)
    std::size_t end = 0;
    bool dated = false;  // when is known: its own stamp, or an older entry's
    std::time_t when = 0;
    bool newer_dated = false;  // a newer entry's stamp, for want of an older one
    std::time_t newer = 0;
    std::string title;
    std::size_t title_at = 0;  // the piece where the title's heading began
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
    // First pass: where each entry's HTML lies, its date and its title.
    // Only the newest FEED_MAX_ENTRIES are kept; the others are counted.
    PageHead head;
    std::vector<Entry> entries;
    entries.reserve(FEED_MAX_ENTRIES);
    std::size_t total = 0;
    // An entry without a stamp takes the date of the nearest older entry
    // that has one, else of the nearest newer one: dates that stay when new
    // entries arrive on top. The feed's time is the newest stamp.
    bool stamped_any = false;
    std::time_t newest = 0;
    std::time_t last_stamp = 0;
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
        HeadingText heading;
        Entry* e = nullptr;
        auto finish = [&](std::size_t at) {
            if (!e)
                return;
            e->end = std::max(e->begin, close_at != NONE ? close_at : at);
            if (e->title_at >= e->end)
                e->title.clear();
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
                    e->newer_dated = stamped_any;
                    e->newer = last_stamp;
                }
                close_at = NONE;
                heading = HeadingText{};
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
                last_stamp = when;
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
            if (e && !heading.done()) {
                if (!heading.begun())
                    e->title_at = i;
                heading.feed(piece, n);
                e->title = heading.result();
            }
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

    // Second pass: each entry's HTML, its links made absolute.
    if (std::fseek(fp, 0, SEEK_SET) != 0)
        return FeedRead::read_error;
    LineReader r(fp);
    std::size_t i = 0;
    std::size_t n = 0;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const Entry& e = entries[k];
        std::time_t when = e.dated ? e.when : e.newer_dated ? e.newer : mtime;
        std::string stamp = w3c_time(when);
        std::fputs("  <entry>\n    <title type=\"text\">", out);
        x.put(!e.title.empty() ? e.title : feed_title + " vom " + date_of(when, true));
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
        AbsoluteLinks links(x, b, page_url);
        for (; i < e.end; ++i) {
            const char* piece = next_piece(r, n);
            if (!piece)
                return FeedRead::read_error;  // shorter than in the first pass
            if (i >= e.begin)
                links.feed(piece, n);
        }
        links.finish();
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
