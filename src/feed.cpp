#include "feed.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "page.h"

namespace {

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool is_name_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == ':';
}

// A title is cut here, at a character's start.
constexpr std::size_t MAX_TITLE = 1024;

// The text of the first heading (h1 to h6) in the bytes it is given, tags
// left out and white space run together. Bytes may come in any pieces.
struct HeadingText {
    enum State { seek, tag, heading_tag, text, inner_tag, done } state = seek;
    std::string name;     // the tag name being read
    bool naming = false;  // still in the tag's name
    char quote = 0;       // inside a quoted attribute value
    char level = 0;       // the heading's digit
    std::string text_;
    bool space = false;  // white space is due before the next text

    void feed(const char* p, std::size_t n)
    {
        for (const char* end = p + n; p < end && state != done; ++p)
            step(*p);
    }

    void step(char c)
    {
        switch (state) {
        case seek:
        case text:
            if (c == '<') {
                name.clear();
                naming = true;
                quote = 0;
                state = state == seek ? tag : inner_tag;
            } else if (state == text) {
                add(c);
            }
            break;
        case tag:
        case inner_tag:
        case heading_tag:
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '>') {
                end_of_tag();
            } else if (naming && (is_name_char(c) || (c == '/' && name.empty()))) {
                if (name.size() < 8)
                    name += lower(c);
            } else {
                if (naming && state == tag && is_heading(name, false))
                    state = heading_tag;
                naming = false;
                if (c == '"' || c == '\'')
                    quote = c;
            }
            break;
        case done:
            break;
        }
    }

    bool is_heading(const std::string& s, bool closing) const
    {
        std::size_t at = closing ? 1 : 0;
        if (closing && (s.empty() || s[0] != '/'))
            return false;
        return s.size() == at + 2 && s[at] == 'h' && s[at + 1] >= '1' && s[at + 1] <= '6' &&
               (!closing || s[at + 1] == level);
    }

    void end_of_tag()
    {
        if (state == tag && naming && is_heading(name, false))
            state = heading_tag;
        if (state == heading_tag) {
            level = name[1];
            state = text;
        } else if (state == inner_tag) {
            state = is_heading(name, true) ? done : text;
        } else {
            state = seek;
        }
    }

    void add(char c)
    {
        if (is_space(c)) {
            space = !text_.empty();
            return;
        }
        if (space && text_.size() < MAX_TITLE)
            text_ += ' ';
        space = false;
        // Continuation bytes of a character already begun are kept, so
        // that the cut never splits a character.
        bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
        if (text_.size() < MAX_TITLE || (continuation && !text_.empty() && text_.size() < MAX_TITLE + 3))
            text_ += c;
    }

    std::string result() const { return state == seek || state == tag || state == heading_tag ? "" : text_; }
};

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
    std::string held;  // the value's start, until its kind is known

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
            } else if (is_space(c)) {
                if (!word.empty())
                    last = word;
                word.clear();
                tag_name = false;
            } else if (is_name_char(c)) {
                if (word.size() < 8)
                    word += lower(c);
                else
                    word = "-";  // too long to be one of ours
            } else {
                word.clear();
                last.clear();
            }
            return false;
        case before_value:
            if (is_space(c))
                return false;
            state = value;
            decided = !rewrite;
            held.clear();
            quote = c == '"' || c == '\'' ? c : 0;
            if (quote)
                return false;
            [[fallthrough]];
        case value:
            if ((quote && c == quote) || (!quote && (is_space(c) || c == '>'))) {
                if (!decided)
                    decide(true);
                word.clear();
                last.clear();
                state = c == '>' ? text : tag;
                return false;
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
        if (state == value && !decided)
            decide(true);
    }
};

const char* const CONTAINER = "<div class=\"container\">";

struct Entry {
    std::size_t begin = 0;  // the pieces of its HTML: [begin, end)
    std::size_t end = 0;
    bool stamped = false;
    std::time_t when = 0;
    std::string title;
    std::size_t title_at = 0;  // the piece where the title's heading began
};

// An entry's closing pair, and the break of a merged page, behind its HTML.
bool closing_line(const char* piece, std::size_t n)
{
    return is_line(piece, n, "") || is_line(piece, n, "</div>") || is_line(piece, n, "<br>");
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

std::string html_escaped(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

}  // namespace

FeedRead write_feed(std::FILE* out, std::FILE* fp, const BaseUrl& b, const std::string& page_name,
                    const std::string& feed_name)
{
    // First pass: where each entry's HTML lies, its stamp and its title.
    // Only the newest FEED_MAX_ENTRIES are kept; the others are counted.
    PageHead head;
    std::vector<Entry> entries;
    entries.reserve(FEED_MAX_ENTRIES);
    std::size_t total = 0;
    // The feed's time: the newest stamp, or the page's time when an entry
    // has no stamp it can read, or when there is no entry at all.
    bool stamped_any = false;
    bool unstamped_any = false;
    std::time_t newest = 0;
    const std::time_t mtime = clamped_mtime(fp);
    {
        LineReader r(fp);
        std::size_t i = read_page_head(r, head);
        if (!head.page)
            return std::ferror(fp) ? FeedRead::read_error : FeedRead::not_a_page;
        enum { none, opener, body } phase = none;
        constexpr std::size_t NONE = static_cast<std::size_t>(-1);
        std::size_t close_at = NONE;      // where the entry's closing lines begin
        std::size_t footer = NONE;        // the last "<?php" line: the closing block
        std::size_t footer_close = NONE;  // close_at as it was at that line
        bool stamped = false;             // the current entry has a stamp
        HeadingText heading;
        Entry* e = nullptr;
        auto finish = [&](std::size_t at) {
            if (phase != none && !stamped)
                unstamped_any = true;
            if (!e)
                return;
            e->end = std::max(e->begin, close_at != NONE ? close_at : at);
            if (e->title_at >= e->end)
                e->title.clear();
        };
        bool line_start = true;
        std::size_t n = 0;
        for (; const char* piece = next_piece(r, n); ++i, line_start = piece[n - 1] == '\n') {
            if (line_start && is_line(piece, n, CONTAINER)) {
                finish(i);
                ++total;
                e = nullptr;
                if (entries.size() < FEED_MAX_ENTRIES) {
                    e = &entries.emplace_back();
                    e->begin = i + 1;
                }
                phase = opener;
                stamped = false;
                close_at = NONE;
                heading = HeadingText{};
                continue;
            }
            if (phase == none)
                continue;
            if (phase == opener && line_start) {
                std::time_t when;
                if (is_line(piece, n, "\t<br>") || is_line(piece, n, "\t<div class=\"jumbotron\">")) {
                    if (e)
                        e->begin = i + 1;
                    continue;
                }
                if (read_stamp(piece, n, &when)) {
                    if (e) {
                        e->begin = i + 1;
                        e->stamped = true;
                        e->when = when;
                    }
                    newest = stamped_any ? std::max(newest, when) : when;
                    stamped = stamped_any = true;
                    phase = body;
                    continue;
                }
            }
            phase = body;
            if (line_start && is_line(piece, n, "<?php")) {
                footer = i;
                footer_close = close_at;
            }
            if (line_start && is_line(piece, n, "\t</div>"))
                close_at = close_at == NONE ? i : close_at;
            else if (!(line_start && closing_line(piece, n)))
                close_at = NONE;
            if (e && heading.state != HeadingText::done) {
                if (heading.state == HeadingText::seek)
                    e->title_at = i;
                heading.feed(piece, n);
                e->title = heading.result();
            }
        }
        if (std::ferror(fp))
            return FeedRead::read_error;
        // The last entry ends where the closing block begins.
        if (e && footer != NONE && footer >= e->begin) {
            close_at = footer_close;
            finish(footer);
        } else {
            finish(i);
        }
    }
    if (unstamped_any || total == 0)
        newest = stamped_any ? std::max(newest, mtime) : mtime;

    const std::string page_url = b.url + url_path(page_name);
    const std::string feed_url = b.url + url_path(feed_name);
    XmlText x(out);
    std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\" xml:lang=\"de\">\n"
               "  <title>",
               out);
    x.put(head.titel);
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
        std::time_t when = e.stamped ? e.when : mtime;
        std::string stamp = w3c_time(when);
        std::string title = !e.title.empty() ? e.title : html_escaped(head.titel) + " vom " + date_of(when, true);
        std::fputs("  <entry>\n    <title type=\"html\">", out);
        x.put(title);
        x.end();
        // The number counts from the oldest entry, so it stays when newer
        // ones arrive on top.
        std::fputs("</title>\n    <id>tag:", out);
        x.put(b.host + "," + date_of(when, false) + ":" + url_path(page_name) + "/" + std::to_string(total - k));
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

int generate_feed(const char* base, const char* page)
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
    FeedRead got = write_feed(out.fp, fp, b, base_name(path), base_name(feed));
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
