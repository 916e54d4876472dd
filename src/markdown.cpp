#include "markdown.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm-extension_api.h>
#include <cmark-gfm.h>

#include "fileio.h"

namespace {

// ---- UTF-8 and the few character classes pandoc's rules need ----

// The code point that starts at s[i] (n bytes in all); a broken sequence
// counts as one byte of its own value, so that nothing is skipped.
char32_t decode(std::string_view s, std::size_t i, std::size_t* len)
{
    auto b = static_cast<unsigned char>(s[i]);
    std::size_t want = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    if (want == 1 || i + want > s.size()) {
        *len = 1;
        return b;
    }
    char32_t cp = b & (0x3F >> (want - 1));
    for (std::size_t k = 1; k < want; ++k) {
        auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) {
            *len = 1;
            return b;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    *len = want;
    return cp;
}

// The code point that ends just before s[i], or 0 at the start.
char32_t decode_before(std::string_view s, std::size_t i)
{
    if (i == 0)
        return 0;
    std::size_t start = i - 1;
    while (start > 0 && i - start < 4 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80)
        --start;
    std::size_t len = 0;
    char32_t cp = decode(s, start, &len);
    return start + len == i ? cp : static_cast<unsigned char>(s[i - 1]);
}

void encode(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Letters: ASCII, and above U+00BF everything but the blocks of
// punctuation, symbols and spaces that prose uses. No locale is consulted,
// so the page does not depend on the machine that builds it.
bool is_letter(char32_t c)
{
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (c < 0xC0 || c == 0xD7 || c == 0xF7)
        return false;
    if ((c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F) || (c >= 0xFE10 && c <= 0xFE6F) ||
        (c >= 0xFF00 && c <= 0xFF20) || (c >= 0x1F000 && c <= 0x1FAFF) || c == 0xFEFF || c == 0xFFFD)
        return false;
    return true;
}

bool is_alnum(char32_t c)
{
    return (c >= '0' && c <= '9') || is_letter(c);
}

bool is_blank(char32_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0xA0 || c == 0;
}

// Lower case for the scripts a German site meets: Latin, Greek, Cyrillic.
char32_t to_lower(char32_t c)
{
    if (c >= 'A' && c <= 'Z')
        return c + 32;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x138 && c != 0x149 && c != 0x17F) {
        bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if ((c % 2 == 1) == odd_upper)
            return c + 1;
    }
    return c;
}

// ---- HTML escaping as pandoc does it ----

// Running text escapes &, < and >; an attribute value also "; code, as
// pandoc writes it, also '.
enum class Escape { text, attr, code };

void escape(std::string& out, std::string_view s, Escape level)
{
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"':
            out += level == Escape::text ? "\"" : "&quot;";
            break;
        case '\'':
            out += level == Escape::code ? "&#39;" : "'";
            break;
        default: out += c;
        }
    }
}

void escape_text(std::string& out, std::string_view s) { escape(out, s, Escape::text); }
void escape_attr(std::string& out, std::string_view s) { escape(out, s, Escape::attr); }
void escape_code(std::string& out, std::string_view s) { escape(out, s, Escape::code); }

void escape_url(std::string& out, std::string_view s)
{
    for (char c : s) {
        switch (c) {
        case ' ': out += "%20"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
}

// A link's or image's address, closing its attribute, then its title if it
// has one: the part that <a href="…"> and <img src="…"> share.
void url_and_title(std::string& out, cmark_node* n)
{
    const char* url = cmark_node_get_url(n);
    escape_url(out, url ? url : "");
    out += '"';
    const char* title = cmark_node_get_title(n);
    if (title && *title) {
        out += " title=\"";
        escape_attr(out, title);
        out += '"';
    }
}

std::string_view literal(cmark_node* n)
{
    const char* s = cmark_node_get_literal(n);
    return s ? std::string_view(s) : std::string_view();
}

std::string_view type_name(cmark_node* n)
{
    const char* s = cmark_node_get_type_string(n);
    return s ? std::string_view(s) : std::string_view();
}

// Every event below node (node included), in document order.
template <class F>
void walk(cmark_node* node, F&& f)
{
    std::unique_ptr<cmark_iter, void (*)(cmark_iter*)> it(cmark_iter_new(node), cmark_iter_free);
    cmark_event_type ev;
    while ((ev = cmark_iter_next(it.get())) != CMARK_EVENT_DONE)
        f(ev, cmark_iter_get_node(it.get()));
}

// The text of the inlines below node, as pandoc's stringify gives it.
std::string plain_text(cmark_node* node)
{
    std::string s;
    walk(node, [&](cmark_event_type ev, cmark_node* n) {
        if (ev != CMARK_EVENT_ENTER)
            return;
        switch (cmark_node_get_type(n)) {
        case CMARK_NODE_TEXT:
        case CMARK_NODE_CODE: s += literal(n); break;
        case CMARK_NODE_SOFTBREAK:
        case CMARK_NODE_LINEBREAK: s += ' '; break;
        default: break;
        }
    });
    return s;
}

// ---- Quotation marks ----

constexpr char32_t LDQ = 0x201C, RDQ = 0x201D, LSQ = 0x2018, RSQ = 0x2019;

bool is_double(char32_t c)
{
    return c == LDQ || c == RDQ || c == '"';
}

// The library's smart punctuation turns every straight quotation mark of
// the text into a curly one (an escaped one stays straight); in table cells
// it does not work, so there the straight ones count. Which of them pair up
// is decided here the way pandoc decides it: a mark opens when no letter or
// digit stands before it and no blank after it, and the first mark of its
// kind that may close it does (a single one only when no letter or digit
// follows); a double mark that opens nothing is an opening one when a
// non-blank follows, else a closing one; a single one is an apostrophe.
// Paired marks become the German „…“ and ‚…‘.
bool is_quote(char32_t c, std::size_t len, bool straight)
{
    if (len == 3)
        return c == LDQ || c == RDQ || c == LSQ || c == RSQ;
    return straight && len == 1 && (c == '"' || c == '\'');
}

struct Mark {
    std::size_t at;
    std::size_t len;
    char32_t c;
};

enum Role : unsigned char { LONE, OPENS, CLOSES };

struct Quote {
    char32_t c = 0;
    Role role = LONE;
};

char32_t after_mark(const std::string& text, const Mark& m)
{
    std::size_t len = 0;
    return m.at + m.len < text.size() ? decode(text, m.at + m.len, &len) : 0;
}

void pair_range(const std::string& text, const std::vector<Mark>& marks, std::size_t from, std::size_t to,
                bool in_double, bool in_single, std::vector<Quote>& result)
{
    for (std::size_t k = from; k < to; ++k) {
        const Mark& m = marks[k];
        bool dbl = is_double(m.c);
        char32_t next = after_mark(text, m);
        char32_t prev = decode_before(text, m.at);
        bool can_open = !is_alnum(prev) && !is_blank(next) && !(dbl ? in_double : in_single);
        if (can_open) {
            std::size_t close = to;
            for (std::size_t j = k + 1; j < to; ++j) {
                if (is_double(marks[j].c) != dbl)
                    continue;
                if (!dbl && is_alnum(after_mark(text, marks[j])))
                    continue;
                if (marks[j].at > m.at + m.len)
                    close = j;
                break;
            }
            if (close < to) {
                result[k] = {dbl ? char32_t{0x201E} : char32_t{0x201A}, OPENS};
                result[close] = {dbl ? char32_t{0x201C} : char32_t{0x2018}, CLOSES};
                pair_range(text, marks, k + 1, close, in_double || dbl, in_single || !dbl, result);
                k = close;
                continue;
            }
        }
        result[k] = {dbl ? (is_blank(next) ? RDQ : LDQ) : RSQ, LONE};
    }
}

// ---- Pandoc's heading identifiers ----

std::string identifier(const std::string& text)
{
    std::string id;
    bool gap = false;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = 0;
        char32_t c = to_lower(decode(text, i, &len));
        i += len;
        if (c == ' ' || c == '\t' || c == '\n' || c == 0xA0) {
            gap = !id.empty();
            continue;
        }
        if (!(is_alnum(c) || c == '_' || c == '-' || c == '.'))
            continue;
        if (gap)
            id += '-';
        gap = false;
        encode(id, c);
    }
    // Drop everything before the first letter.
    std::size_t i = 0;
    while (i < id.size()) {
        std::size_t len = 0;
        if (is_letter(decode(id, i, &len)))
            break;
        i += len;
    }
    id.erase(0, i);
    return id.empty() ? "section" : id;
}

// The start of every line of a text, for finding a node's source lines.
struct Lines {
    std::string_view text;
    std::vector<std::size_t> starts;
    explicit Lines(std::string_view all) : text(all)
    {
        starts.push_back(0);
        for (std::size_t i = 0; i < all.size(); ++i)
            if (all[i] == '\n')
                starts.push_back(i + 1);
    }
    // Line number (from 1) without its newline; data() is null past the end.
    std::string_view line(int number) const
    {
        if (number < 1 || static_cast<std::size_t>(number) > starts.size())
            return {};
        std::size_t at = starts[static_cast<std::size_t>(number) - 1];
        std::size_t end = text.find('\n', at);
        return text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    }
};

// Whether pandoc reads a fence whose info string starts with "{" as a
// fence: only when nothing follows the closing brace.
bool pandoc_fence(std::string_view info)
{
    while (!info.empty() && (info.back() == ' ' || info.back() == '\t'))
        info.remove_suffix(1);
    return info.find('}') == info.size() - 1;
}

// A fence that pandoc does not read as one, closed and without a blank
// line inside, is a paragraph of inline code to pandoc ("```" opens a
// code span that the closing "```" ends).
bool inline_fence(cmark_node* n, const Lines& src)
{
    const char* info = cmark_node_get_fence_info(n);
    if (!info || info[0] != '{' || pandoc_fence(info))
        return false;
    std::string_view code = literal(n);
    if (code.find("\n\n") != std::string_view::npos || code.starts_with('\n'))
        return false;
    std::string_view last = src.line(cmark_node_get_end_line(n));
    std::size_t i = last.find_first_not_of(" \t");
    return cmark_node_get_end_line(n) > cmark_node_get_start_line(n) && i != std::string_view::npos &&
           (last.substr(i).starts_with("```") || last.substr(i).starts_with("~~~"));
}

// ---- The writer ----

struct Writer {
    std::string out;
    const Lines* source = nullptr;
    std::set<std::string> ids;
    // The quotation marks of the current leaf block, in document order.
    std::vector<Quote> quotes;
    std::size_t next_quote = 0;
    bool straight = false;      // in a table cell: straight marks and dashes are still text
    bool pending_space = false;
    bool written = false;       // inline content written in the current block
    bool just_opened = false;   // the last thing written opens a quotation
    bool in_note = false;
    std::string task_box;  // a task item's box, due in its first paragraph
    // Footnotes: the definitions by label, and the notes in the order of
    // their references (pandoc numbers every reference as a note of its own).
    std::vector<cmark_node*> definitions;
    std::vector<std::string> labels;
    std::vector<cmark_node*> notes;

    void prepare_quotes(cmark_node* block);
    void text(std::string_view s, bool attr, std::string* into);
    void inlines(cmark_node* block);
    std::string alt_text(cmark_node* image);
    void leaf(cmark_node* node, bool tight);
    void table(cmark_node* node);
    void footnote_ref(cmark_node* ref);
    void html_block(std::string_view html);
    void flush_space()
    {
        if (pending_space && written && !just_opened)
            out += ' ';
        pending_space = false;
        just_opened = false;
    }
    void space()
    {
        if (!just_opened)
            pending_space = true;
    }
};

void Writer::prepare_quotes(cmark_node* block)
{
    // The running text of the block; code counts as a non-blank that is no
    // letter, so a quotation mark may open in front of it.
    std::string run;
    std::vector<Mark> marks;
    walk(block, [&](cmark_event_type ev, cmark_node* n) {
        if (ev != CMARK_EVENT_ENTER)
            return;
        cmark_node_type ty = cmark_node_get_type(n);
        if (ty == CMARK_NODE_TEXT) {
            std::string_view s = literal(n);
            for (std::size_t i = 0; i < s.size();) {
                std::size_t len = 0;
                char32_t c = decode(s, i, &len);
                if (is_quote(c, len, straight))
                    marks.push_back({run.size() + i, len, c});
                i += len;
            }
            run += s;
        } else if (ty == CMARK_NODE_CODE) {
            run += '\x01';
        } else if (ty == CMARK_NODE_SOFTBREAK || ty == CMARK_NODE_LINEBREAK) {
            run += ' ';
        }
    });
    quotes.assign(marks.size(), Quote{});
    pair_range(run, marks, 0, marks.size(), false, false, quotes);
    next_quote = 0;
}

bool ascii_letter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Writes text with its blanks collapsed and its quotation marks replaced,
// to out or, for an attribute, to *into. A backslash before letters is a
// TeX command to pandoc, which leaves it out of an HTML page; a backslash
// before a blank makes a non-breaking space.
void Writer::text(std::string_view s, bool attr, std::string* into)
{
    std::string chunk;
    // Text left out keeps the quotation marks of the block in step.
    auto pass_over = [&](std::string_view part) {
        for (std::size_t k = 0; k < part.size();) {
            std::size_t l = 0;
            if (is_quote(decode(part, k, &l), l, straight) && next_quote < quotes.size())
                ++next_quote;
            k += l;
        }
    };
    auto put_chunk = [&] {
        if (chunk.empty())
            return;
        if (attr) {
            escape_attr(*into, chunk);
        } else {
            flush_space();
            escape_text(out, chunk);
            written = true;
        }
        chunk.clear();
    };
    for (std::size_t i = 0; i < s.size();) {
        char c = s[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (attr) {
                put_chunk();
                if (!into->empty() && into->back() != ' ')
                    *into += ' ';
            } else if (!(chunk.empty() && just_opened)) {
                put_chunk();
                space();
            }
            ++i;
            continue;
        }
        if (c == '\\' && i + 1 < s.size() && (ascii_letter(s[i + 1]) || s[i + 1] == ' ')) {
            if (s[i + 1] == ' ') {
                chunk += "\u00a0";
                i += 2;
                continue;
            }
            std::size_t name = ++i;
            while (i < s.size() && ascii_letter(s[i]))
                ++i;
            // The one-letter accents take the next character with them.
            if (i == name + 1 && std::strchr("ruvHcdbtk", s[name]) && i < s.size() && s[i] != '{') {
                while (i < s.size() && s[i] == ' ')
                    ++i;
                if (i + 1 < s.size() && s[i] == '\\' && ascii_letter(s[i + 1])) {
                    ++i;
                    while (i < s.size() && ascii_letter(s[i]))
                        ++i;
                } else if (i < s.size()) {
                    std::size_t l = 0;
                    decode(s, i, &l);
                    pass_over(s.substr(i, l));
                    i += l;
                }
                continue;
            }
            if (i < s.size() && s[i] == '{') {
                std::size_t close = s.find('}', i);
                if (close != std::string_view::npos) {
                    pass_over(s.substr(i, close - i));
                    i = close + 1;
                }
            } else {
                while (i < s.size() && s[i] == ' ')
                    ++i;  // as in TeX, the blanks after a command word
            }
            continue;
        }
        if (!attr && (c == '^' || (c == '~' && !s.substr(i).starts_with("~~")))) {
            // ^hoch^ and ~tief~, pandoc's own: no blank inside.
            std::size_t close = s.find(c, i + 1);
            if (close != std::string_view::npos && close > i + 1 &&
                s.substr(i + 1, close - i - 1).find_first_of(" \t\n") == std::string_view::npos) {
                put_chunk();
                flush_space();
                out += c == '^' ? "<sup>" : "<sub>";
                std::string inner;
                for (std::size_t k = i + 1; k < close;) {
                    std::size_t l = 0;
                    char32_t q = decode(s, k, &l);
                    if (is_quote(q, l, straight) && next_quote < quotes.size())
                        encode(inner, quotes[next_quote++].c);
                    else
                        inner.append(s.substr(k, l));
                    k += l;
                }
                escape_text(out, inner);
                out += c == '^' ? "</sup>" : "</sub>";
                written = true;
                i = close + 1;
                continue;
            }
        }
        if (straight && (s.substr(i).starts_with("--") || s.substr(i).starts_with("..."))) {
            if (s.substr(i).starts_with("---")) {
                chunk += "\u2014";
                i += 3;
            } else if (s[i] == '-') {
                chunk += "\u2013";
                i += 2;
            } else {
                chunk += "\u2026";
                i += 3;
            }
            continue;
        }
        std::size_t len = 0;
        char32_t cp = decode(s, i, &len);
        if (is_quote(cp, len, straight) && next_quote < quotes.size()) {
            const Quote& q = quotes[next_quote++];
            if (q.role == CLOSES && chunk.empty())
                pending_space = false;
            encode(chunk, q.c);
            if (q.role == OPENS && !attr) {
                put_chunk();
                just_opened = true;
            }
        } else {
            chunk.append(s.substr(i, len));
        }
        i += len;
    }
    put_chunk();
}

std::string Writer::alt_text(cmark_node* image)
{
    std::string alt;
    walk(image, [&](cmark_event_type ev, cmark_node* n) {
        if (ev != CMARK_EVENT_ENTER || n == image)
            return;
        switch (cmark_node_get_type(n)) {
        case CMARK_NODE_TEXT: text(literal(n), true, &alt); break;
        case CMARK_NODE_CODE: escape_attr(alt, literal(n)); break;
        case CMARK_NODE_SOFTBREAK:
        case CMARK_NODE_LINEBREAK:
            if (!alt.empty() && alt.back() != ' ')
                alt += ' ';
            break;
        default: break;
        }
    });
    while (!alt.empty() && alt.back() == ' ')
        alt.pop_back();
    return alt;
}

// The scheme of an absolute URL ("http" of "http://x"), or empty.
std::string_view scheme_of(std::string_view url)
{
    std::size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon < 2 || colon > 32)
        return {};
    for (std::size_t i = 0; i < colon; ++i) {
        char c = url[i];
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '.' || c == '-'));
        if (!ok)
            return {};
    }
    return url.substr(0, colon);
}

enum class Auto { none, known, unknown };

// Whether a link is an autolink <scheme:...> or <name@host>, and whether
// pandoc knows its scheme (it leaves <URL:...> and the like as text).
Auto autolink(cmark_node* link)
{
    cmark_node* child = cmark_node_first_child(link);
    if (!child || cmark_node_next(child) || cmark_node_get_type(child) != CMARK_NODE_TEXT)
        return Auto::none;
    const char* title = cmark_node_get_title(link);
    if (title && *title)
        return Auto::none;
    std::string_view url = cmark_node_get_url(link) ? cmark_node_get_url(link) : "";
    std::string_view ty = literal(child);
    if (url.starts_with("mailto:") && url.substr(7) == ty)
        return Auto::known;
    std::string_view scheme = scheme_of(url);
    if (url != ty || scheme.empty())
        return Auto::none;
    static constexpr std::string_view known[] = {
        "http", "https", "ftp", "ftps", "sftp", "file", "mailto", "git", "ssh", "svn", "irc", "ircs", "news",
        "nntp", "telnet", "tel", "xmpp", "data", "urn", "doi", "magnet", "rsync", "ldap", "gopher", "sip", "apt",
        "javascript", "about", "chrome", "feed", "geo", "im", "info", "s3", "smb", "spotify", "steam", "vnc", "ws", "wss"};
    std::string lower(scheme);
    for (char& c : lower)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    for (std::string_view k : known)
        if (lower == k)
            return Auto::known;
    return Auto::unknown;
}

void Writer::inlines(cmark_node* block)
{
    pending_space = false;
    written = false;
    just_opened = false;
    cmark_node* skip = nullptr;  // an image whose children are its alt text
    std::vector<cmark_node*> swapped;
    walk(block, [&](cmark_event_type ev, cmark_node* n) {
        if (n == block)
            return;
        if (skip) {
            if (n == skip && ev == CMARK_EVENT_EXIT)
                skip = nullptr;
            return;
        }
        bool enter = ev == CMARK_EVENT_ENTER;
        switch (cmark_node_get_type(n)) {
        case CMARK_NODE_TEXT: text(literal(n), false, nullptr); break;
        case CMARK_NODE_SOFTBREAK: space(); break;
        case CMARK_NODE_LINEBREAK:
            out += "<br />\n";
            pending_space = false;
            written = false;
            break;
        case CMARK_NODE_CODE: {
            flush_space();
            out += "<code>";
            // Pandoc trims all the blanks at either end of inline code.
            std::string_view code = literal(n);
            while (!code.empty() && code.front() == ' ')
                code.remove_prefix(1);
            while (!code.empty() && code.back() == ' ')
                code.remove_suffix(1);
            escape_text(out, code);
            out += "</code>";
            written = true;
            break;
        }
        case CMARK_NODE_HTML_INLINE:
            flush_space();
            out += literal(n);
            written = true;
            break;
        case CMARK_NODE_EMPH: {
            // ***x*** is strong outside, emphasis inside to pandoc.
            cmark_node* only = cmark_node_first_child(n);
            bool swap = only && !cmark_node_next(only) && cmark_node_get_type(only) == CMARK_NODE_STRONG;
            if (enter) {
                flush_space();
                out += swap ? "<strong><em>" : "<em>";
                if (swap)
                    swapped.push_back(only);
            } else {
                out += swap ? "</em></strong>" : "</em>";
            }
            break;
        }
        case CMARK_NODE_STRONG:
            if (std::find(swapped.begin(), swapped.end(), n) != swapped.end())
                break;
            if (enter) {
                flush_space();
                out += "<strong>";
            } else {
                out += "</strong>";
            }
            break;
        case CMARK_NODE_LINK:
            if (autolink(n) == Auto::unknown) {
                // Text to pandoc: the brackets stay, the link goes.
                if (enter) {
                    flush_space();
                    out += "&lt;";
                } else {
                    out += "&gt;";
                }
                written = true;
                break;
            }
            if (enter) {
                flush_space();
                out += "<a href=\"";
                url_and_title(out, n);
                if (autolink(n) == Auto::known)
                    out += std::string_view(cmark_node_get_url(n)).starts_with("mailto:") ? " class=\"email\""
                                                                                          : " class=\"uri\"";
                out += '>';
                written = true;
            } else {
                out += "</a>";
            }
            break;
        case CMARK_NODE_IMAGE: {
            flush_space();
            out += "<img src=\"";
            url_and_title(out, n);
            out += " alt=\"" + alt_text(n) + "\" />";
            written = true;
            skip = n;
            break;
        }
        case CMARK_NODE_FOOTNOTE_REFERENCE:
            if (enter) {
                flush_space();
                footnote_ref(n);
                written = true;
            }
            break;
        default:
            if (type_name(n) == "strikethrough")
                out += enter ? "<del>" : "</del>";
            break;
        }
    });
    pending_space = false;
}

// Pandoc reads the text between the tags of an HTML block as Markdown, so
// its quotation marks, dashes and ellipses become typographic ones; the
// tags, comments and the insides of pre, code, script and style stay as
// they are.
void Writer::html_block(std::string_view html)
{
    std::string run;                                      // the text parts, joined
    std::vector<std::pair<std::size_t, std::size_t>> parts;  // where they are in html
    std::size_t i = 0;
    std::string_view verbatim;  // the end tag that ends a verbatim element
    while (i < html.size()) {
        if (html[i] != '<') {
            std::size_t lt = html.find('<', i);
            std::size_t end = lt == std::string_view::npos ? html.size() : lt;
            if (verbatim.empty()) {
                parts.emplace_back(i, end);
                run += html.substr(i, end - i);
                run += '\x01';
            }
            i = end;
            continue;
        }
        std::size_t close = html.substr(i).starts_with("<!--") ? html.find("-->", i) : html.find('>', i);
        std::size_t end = close == std::string_view::npos ? html.size() : close + (html[close] == '-' ? 3 : 1);
        std::string tag;
        for (std::size_t k = i + 1; k < end && (ascii_letter(html[k]) || html[k] == '/'); ++k)
            tag += static_cast<char>(html[k] >= 'A' && html[k] <= 'Z' ? html[k] + 32 : html[k]);
        if (verbatim.empty() && (tag == "pre" || tag == "code" || tag == "script" || tag == "style"))
            verbatim = tag == "pre" ? "/pre" : tag == "code" ? "/code" : tag == "script" ? "/script" : "/style";
        else if (!verbatim.empty() && tag == verbatim)
            verbatim = {};
        i = end;
    }
    std::vector<Mark> marks;
    for (std::size_t k = 0; k < run.size(); ++k)
        if (run[k] == '"' || run[k] == '\'')
            marks.push_back({k, 1, static_cast<char32_t>(run[k])});
    std::vector<Quote> q(marks.size());
    pair_range(run, marks, 0, marks.size(), false, false, q);
    std::size_t next = 0, at = 0;
    for (const auto& [from, to] : parts) {
        out += html.substr(at, from - at);
        std::string_view t = html.substr(from, to - from);
        for (std::size_t k = 0; k < t.size();) {
            std::size_t tick = t[k] == '`' ? t.find('`', k + 1) : std::string_view::npos;
            if (tick != std::string_view::npos && tick > k + 1) {
                // `code` in an HTML block is Markdown to pandoc too.
                out += "<code>";
                out += t.substr(k + 1, tick - k - 1);
                out += "</code>";
                for (char ch : t.substr(k + 1, tick - k - 1))
                    if ((ch == '"' || ch == '\'') && next < q.size())
                        ++next;
                k = tick + 1;
            } else if (t[k] == '"' || t[k] == '\'') {
                if (next < q.size())
                    encode(out, q[next++].c);
                ++k;
            } else if (t.substr(k).starts_with("---")) {
                out += "\u2014";
                k += 3;
            } else if (t.substr(k).starts_with("--")) {
                out += "\u2013";
                k += 2;
            } else if (t.substr(k).starts_with("...")) {
                out += "\u2026";
                k += 3;
            } else {
                out += t[k++];
            }
        }
        at = to;
    }
    out += html.substr(at);
}

// The width of a line in characters, as pandoc counts it.
std::size_t chars(std::string_view line)
{
    std::size_t n = 0;
    for (char c : line)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

void Writer::table(cmark_node* node)
{
    uint16_t cols = cmark_gfm_extensions_get_table_columns(node);
    const uint8_t* align = cmark_gfm_extensions_get_table_alignments(node);
    out += "<table>\n";
    // Pandoc gives the columns relative widths from the dashes of the
    // separator line once any line of the table is wider than 72 characters.
    int first = cmark_node_get_start_line(node), last = cmark_node_get_end_line(node);
    std::size_t skip = static_cast<std::size_t>(std::max(cmark_node_get_start_column(node) - 1, 0));
    std::size_t widest = 0;
    for (int l = first; l <= last; ++l) {
        std::string_view line = source->line(l);
        widest = std::max(widest, chars(line.substr(std::min(skip, line.size()))));
    }
    if (widest > 72) {
        std::string_view sep = source->line(first + 1);
        std::vector<std::size_t> lens;
        std::size_t cur = 0;
        bool any = false;
        for (char c : sep) {
            if (c == '|') {
                if (any)
                    lens.push_back(cur);
                cur = 0;
                any = false;
            } else if (c == '-' || c == ':') {
                ++cur;
                any = true;
            }
        }
        if (any)
            lens.push_back(cur);
        std::size_t total = 0;
        for (std::size_t l : lens)
            total += l;
        if (lens.size() == cols && total > 0) {
            out += "<colgroup>\n";
            for (std::size_t l : lens) {
                double w = static_cast<double>(l) / static_cast<double>(total);
                out += "<col style=\"width: " + std::to_string(static_cast<long long>(100 * w)) + "%\" />\n";
            }
            out += "</colgroup>\n";
        }
    }
    bool body_open = false;
    int row_number = 0;
    for (cmark_node* row = cmark_node_first_child(node); row; row = cmark_node_next(row)) {
        bool header = cmark_gfm_extensions_get_table_row_is_header(row) != 0;
        if (header) {
            out += "<thead>\n<tr class=\"header\">\n";
        } else {
            if (!body_open)
                out += "<tbody>\n";
            body_open = true;
            out += ++row_number % 2 ? "<tr class=\"odd\">\n" : "<tr class=\"even\">\n";
        }
        const char* tag = header ? "th" : "td";
        std::size_t col = 0;
        for (cmark_node* cell = cmark_node_first_child(row); cell; cell = cmark_node_next(cell), ++col) {
            out += '<';
            out += tag;
            char a = align && col < cols ? static_cast<char>(align[col]) : 0;
            if (a == 'l')
                out += " style=\"text-align: left;\"";
            else if (a == 'c')
                out += " style=\"text-align: center;\"";
            else if (a == 'r')
                out += " style=\"text-align: right;\"";
            out += '>';
            straight = true;
            prepare_quotes(cell);
            inlines(cell);
            straight = false;
            out += "</";
            out += tag;
            out += ">\n";
        }
        out += header ? "</tr>\n</thead>\n" : "</tr>\n";
    }
    if (body_open)
        out += "</tbody>\n";
    out += "</table>";
}

void Writer::leaf(cmark_node* node, bool tight)
{
    switch (cmark_node_get_type(node)) {
    case CMARK_NODE_PARAGRAPH:
        prepare_quotes(node);
        if (!tight)
            out += "<p>";
        out += task_box;
        task_box.clear();
        inlines(node);
        if (!tight)
            out += "</p>";
        break;
    case CMARK_NODE_HEADING: {
        int level = cmark_node_get_heading_level(node);
        std::string base = identifier(plain_text(node));
        std::string id = base;
        for (int k = 1; ids.count(id); ++k)
            id = base + "-" + std::to_string(k);
        ids.insert(id);
        out += "<h" + std::to_string(level) + " id=\"";
        escape_attr(out, id);
        out += "\">";
        prepare_quotes(node);
        inlines(node);
        out += "</h" + std::to_string(level) + ">";
        break;
    }
    case CMARK_NODE_THEMATIC_BREAK: out += "<hr />"; break;
    case CMARK_NODE_CODE_BLOCK: {
        std::string_view code = literal(node);
        if (inline_fence(node, *source)) {
            std::string_view info = cmark_node_get_fence_info(node);
            while (!info.empty() && info.back() == ' ')
                info.remove_suffix(1);
            out += "<p><code>";
            escape_text(out, info);
            for (std::size_t i = 0; i < code.size();) {
                std::size_t nl = std::min(code.find('\n', i), code.size());
                std::string_view l = code.substr(i, nl - i);
                if (!l.empty()) {
                    out += ' ';
                    escape_text(out, l);
                }
                i = nl + 1;
            }
            out += "</code></p>";
            break;
        }
        while (!code.empty() && code.back() == '\n')
            code.remove_suffix(1);
        std::string_view info = cmark_node_get_fence_info(node) ? cmark_node_get_fence_info(node) : "";
        // The first word names the language; {.lang} is pandoc's own form,
        // any other {word} is a word of its own.
        if (info.starts_with("{.")) {
            info = info.substr(2);
            info = info.substr(0, std::min(info.find_first_of(" \t}"), info.size()));
        } else {
            info = info.substr(0, std::min(info.find_first_of(" \t"), info.size()));
        }
        if (info.empty()) {
            out += "<pre><code>";
        } else {
            out += "<pre class=\"";
            escape_attr(out, info);
            out += "\"><code>";
        }
        escape_code(out, code);
        out += "</code></pre>";
        break;
    }
    case CMARK_NODE_HTML_BLOCK: {
        std::string_view html = literal(node);
        while (!html.empty() && (html.back() == '\n' || html.back() == '\r'))
            html.remove_suffix(1);
        html_block(html);
        break;
    }
    default:
        if (type_name(node) == "table")
            table(node);
        break;
    }
}

// Offset of the block marker that starts line l, or npos when the line
// holds none that a backslash should turn into text.
std::size_t marker_at(std::string_view l, std::size_t from)
{
    std::size_t i = std::min(from, l.size());
    std::size_t indent = 0;
    while (i < l.size() && (l[i] == ' ' || l[i] == '\t')) {
        ++i;
        ++indent;
    }
    if (i == l.size() || indent > 3)
        return std::string_view::npos;
    std::size_t digits = i;
    while (digits < l.size() && l[digits] >= '0' && l[digits] <= '9')
        ++digits;
    if (digits > i)
        return digits < l.size() && (l[digits] == '.' || l[digits] == ')') ? digits : std::string_view::npos;
    return l[i] != '\0' && std::strchr("-*+>#_", l[i]) ? i : std::string_view::npos;
}

bool blank_line(std::string_view l)
{
    return l.find_first_not_of(" \t\r") == std::string_view::npos;
}

bool fence_line(std::string_view l)
{
    std::size_t i = l.find_first_not_of(" \t");
    return i != std::string_view::npos && i < 4 && (l.substr(i).starts_with("```") || l.substr(i).starts_with("~~~"));
}

// Marks an offset at which a definition's ": " is removed rather than a
// backslash inserted.
constexpr std::size_t DEFINITION = std::size_t{1} << (sizeof(std::size_t) * 8 - 1);

// Where a paragraph is followed at once, without a blank line, by a list, a
// quotation, an ATX heading or a rule, pandoc's Markdown reads that line and
// the ones up to the next blank line as part of the paragraph. Returns the
// byte offsets at which a backslash makes the library read them so too. In
// a quotation only the first such line is found; the caller asks again.
std::vector<std::size_t> interruptions(cmark_node* doc, const Lines& src)
{
    std::vector<std::size_t> at;
    std::size_t fence = std::string_view::npos;
    walk(doc, [&](cmark_event_type ev, cmark_node* n) {
        if (ev != CMARK_EVENT_ENTER || fence != std::string_view::npos)
            return;
        if (cmark_node_get_type(n) == CMARK_NODE_CODE_BLOCK) {
            const char* info = cmark_node_get_fence_info(n);
            if (!info || info[0] != '{' || pandoc_fence(info) || inline_fence(n, src))
                return;
            // "```{name} ..." opens no code to pandoc: the line is text, and
            // the next fence opens a block.
            std::string_view l = src.line(cmark_node_get_start_line(n));
            std::size_t i = std::min(static_cast<std::size_t>(std::max(cmark_node_get_start_column(n) - 1, 0)), l.size());
            while (i < l.size() && l[i] == ' ')
                ++i;
            // The blocks after it change: one such fence per round.
            if (i < l.size() && (l[i] == '`' || l[i] == '~') && fence == std::string_view::npos)
                fence = static_cast<std::size_t>(l.data() - src.text.data()) + i;
            return;
        }
        if (cmark_node_get_type(n) != CMARK_NODE_PARAGRAPH)
            return;
        // ": text" under a term of one line (right under it, or after a blank
        // line) is a definition to pandoc: the marker goes.
        std::size_t col = static_cast<std::size_t>(std::max(cmark_node_get_start_column(n) - 1, 0));
        cmark_node* prev = cmark_node_previous(n);
        bool term_before = prev && cmark_node_get_type(prev) == CMARK_NODE_PARAGRAPH &&
                           cmark_node_get_start_line(prev) == cmark_node_get_end_line(prev);
        int first = cmark_node_get_start_line(n);
        for (int k = term_before ? first : first + 1; k <= std::min(first + 1, cmark_node_get_end_line(n)); ++k) {
            std::string_view l = src.line(k);
            if (l.size() > col + 1 && l[col] == ':' && (l[col + 1] == ' ' || l[col + 1] == '\t'))
                at.push_back((static_cast<std::size_t>(l.data() - src.text.data()) + col) | DEFINITION);
        }
        cmark_node* next = cmark_node_next(n);
        if (!next || cmark_node_get_start_line(next) != cmark_node_get_end_line(n) + 1)
            return;
        cmark_node_type ty = cmark_node_get_type(next);
        cmark_node* parent = cmark_node_parent(n);
        bool in_item = parent && cmark_node_get_type(parent) == CMARK_NODE_ITEM;
        bool atx = ty == CMARK_NODE_HEADING && cmark_node_get_start_line(next) == cmark_node_get_end_line(next);
        if (!(ty == CMARK_NODE_BLOCK_QUOTE || ty == CMARK_NODE_THEMATIC_BREAK || atx ||
              (ty == CMARK_NODE_LIST && !in_item)))
            return;
        int line = cmark_node_get_start_line(next);
        std::string_view l = src.line(line);
        if (l.data() == nullptr)
            return;
        std::size_t m = marker_at(l, static_cast<std::size_t>(std::max(cmark_node_get_start_column(next) - 1, 0)));
        if (m == std::string_view::npos)
            return;
        at.push_back(static_cast<std::size_t>(l.data() - src.text.data()) + m);
        if (parent != doc)
            return;
        for (int k = line + 1;; ++k) {
            l = src.line(k);
            if (l.data() == nullptr || blank_line(l) || fence_line(l))
                break;
            m = marker_at(l, 0);
            if (m != std::string_view::npos)
                at.push_back(static_cast<std::size_t>(l.data() - src.text.data()) + m);
        }
    });
    if (fence != std::string_view::npos)
        return {fence};
    return at;
}

// The library's cost grows with the square of the nesting depth (every
// node it appends checks all its ancestors), so a line that opens more than
// MAX_NESTING quotations or list items at once gets the rest as text.
constexpr int MAX_NESTING = 128;

void limit_nesting(std::string& src)
{
    for (std::size_t at = 0; at < src.size();) {
        std::size_t end = src.find('\n', at);
        if (end == std::string::npos)
            end = src.size();
        int level = 0;
        std::size_t i = at;
        while (i < end) {
            while (i < end && (src[i] == ' ' || src[i] == '\t'))
                ++i;
            std::size_t marker = i, next = i;
            if (i < end && src[i] == '>') {
                next = i + 1;
            } else if (i + 1 < end && std::strchr("-*+", src[i]) && src[i] != '\0' && src[i + 1] == ' ') {
                next = i + 2;
            } else {
                std::size_t d = i;
                while (d < end && d < i + 9 && src[d] >= '0' && src[d] <= '9')
                    ++d;
                if (d > i && d + 1 < end && (src[d] == '.' || src[d] == ')') && src[d + 1] == ' ')
                    next = d + 2;
            }
            if (next == i)
                break;
            if (++level > MAX_NESTING) {
                src.insert(marker, 1, '\\');
                ++end;
                break;
            }
            i = next;
        }
        at = end + 1;
    }
}

struct Doc {
    cmark_parser* parser = nullptr;
    cmark_node* root = nullptr;
    ~Doc()
    {
        if (root)
            cmark_node_free(root);
        if (parser)
            cmark_parser_free(parser);
    }
};

void parse(Doc& d, std::string_view text)
{
    cmark_gfm_core_extensions_ensure_registered();
    d.parser = cmark_parser_new(CMARK_OPT_SMART | CMARK_OPT_UNSAFE | CMARK_OPT_STRIKETHROUGH_DOUBLE_TILDE |
                                CMARK_OPT_FOOTNOTES);
    for (const char* name : {"table", "strikethrough", "tasklist"})
        if (cmark_syntax_extension* ext = cmark_find_syntax_extension(name))
            cmark_parser_attach_syntax_extension(d.parser, ext);
    cmark_parser_feed(d.parser, text.data(), text.size());
    d.root = cmark_parser_finish(d.parser);
}

void write_document(Writer& w, cmark_node* root);

void Writer::footnote_ref(cmark_node* ref)
{
    if (in_note)
        return;  // pandoc has no notes within notes
    // The library puts the definitions at the end of the document in the
    // order of their first reference.
    std::string label(literal(ref));
    std::size_t k = 0;
    while (k < labels.size() && labels[k] != label)
        ++k;
    if (k == labels.size())
        labels.push_back(label);
    notes.push_back(k < definitions.size() ? definitions[k] : nullptr);
    std::string num = std::to_string(notes.size());
    out += "<a href=\"#fn" + num + "\" class=\"footnote-ref\" id=\"fnref" + num + "\" role=\"doc-noteref\"><sup>" + num +
           "</sup></a>";
}

void write_notes(Writer& w)
{
    if (w.notes.empty())
        return;
    w.in_note = true;
    w.out += "\n<section class=\"footnotes footnotes-end-of-document\" role=\"doc-endnotes\">\n<hr />\n<ol>\n";
    for (std::size_t i = 0; i < w.notes.size(); ++i) {
        std::string k = std::to_string(i + 1);
        w.out += "<li id=\"fn" + k + "\" role=\"doc-endnote\">";
        std::size_t start = w.out.size();
        if (w.notes[i])
            write_document(w, w.notes[i]);
        std::string back = "<a href=\"#fnref" + k + "\" class=\"footnote-back\" role=\"doc-backlink\">\u21a9\ufe0e</a>";
        if (w.out.size() >= start + 4 && w.out.ends_with("</p>"))
            w.out.insert(w.out.size() - 4, back);
        else
            w.out += back;
        w.out += "</li>\n";
    }
    w.out += "</ol>\n</section>";
}

void write_document(Writer& w, cmark_node* root)
{
    // Blocks are separated by a newline; each container knows whether it
    // has written a block yet.
    std::vector<bool> started{false};
    std::vector<bool> tight{false};
    cmark_node* skip = nullptr;  // a leaf block written whole: its rows, cells and inlines
    walk(root, [&](cmark_event_type ev, cmark_node* n) {
        if (n == root)
            return;
        if (skip) {
            if (n == skip && ev == CMARK_EVENT_EXIT)
                skip = nullptr;
            return;
        }
        cmark_node_type ty = cmark_node_get_type(n);
        if ((ty & CMARK_NODE_TYPE_MASK) != CMARK_NODE_TYPE_BLOCK)
            return;
        if (ty == CMARK_NODE_FOOTNOTE_DEFINITION) {
            skip = n;  // written at the end, once per reference
            return;
        }
        bool container = ty == CMARK_NODE_BLOCK_QUOTE || ty == CMARK_NODE_LIST || ty == CMARK_NODE_ITEM;
        if (ev == CMARK_EVENT_EXIT) {
            if (!container)
                return;
            started.pop_back();
            tight.pop_back();
            if (ty == CMARK_NODE_BLOCK_QUOTE)
                w.out += "\n</blockquote>";
            else if (ty == CMARK_NODE_LIST)
                w.out += cmark_node_get_list_type(n) == CMARK_ORDERED_LIST ? "\n</ol>" : "\n</ul>";
            else
                w.out += "</li>";
            return;
        }
        if (started.back())
            w.out += '\n';
        started.back() = true;
        if (!container) {
            // Leaf blocks are written whole; the walk passes over their inlines.
            if (ty != CMARK_NODE_PARAGRAPH && ty != CMARK_NODE_HEADING && ty != CMARK_NODE_CODE_BLOCK &&
                ty != CMARK_NODE_HTML_BLOCK && ty != CMARK_NODE_THEMATIC_BREAK && type_name(n) != "table")
                return;
            w.leaf(n, tight.back());
            // Code, HTML and rules have no exit event of their own.
            if (ty == CMARK_NODE_PARAGRAPH || ty == CMARK_NODE_HEADING || type_name(n) == "table")
                skip = n;
            return;
        }
        bool inner_tight = tight.back();
        if (ty == CMARK_NODE_BLOCK_QUOTE) {
            w.out += "<blockquote>\n";
            inner_tight = false;
        } else if (ty == CMARK_NODE_LIST) {
            inner_tight = cmark_node_get_list_tight(n) != 0;
            if (cmark_node_get_list_type(n) == CMARK_ORDERED_LIST) {
                int start = cmark_node_get_list_start(n);
                w.out += start == 1 ? "<ol type=\"1\">\n" : "<ol start=\"" + std::to_string(start) + "\" type=\"1\">\n";
            } else {
                cmark_node* first = cmark_node_first_child(n);
                w.out += first && type_name(first) == "tasklist" ? "<ul class=\"task-list\">\n" : "<ul>\n";
            }
        } else {
            w.out += "<li>";
            if (type_name(n) == "tasklist") {
                // In a loose list the box stands inside the first paragraph.
                std::string box = "<input type=\"checkbox\" disabled=\"\"";
                if (cmark_gfm_extensions_get_tasklist_item_checked(n))
                    box += " checked=\"\"";
                box += " />\n";
                cmark_node* first = cmark_node_first_child(n);
                if (!inner_tight && first && cmark_node_get_type(first) == CMARK_NODE_PARAGRAPH)
                    w.task_box = box;
                else
                    w.out += box;
            }
        }
        started.push_back(false);
        tight.push_back(inner_tight);
    });
}

}  // namespace

std::string render_markdown(const char* text, std::size_t n)
{
    std::string src(text, n);
    // A YAML metadata block at the top is pandoc's, not the page's.
    if (src.starts_with("---\n") || src.starts_with("---\r\n")) {
        Lines l(src);
        if (!blank_line(l.line(2))) {
            for (int k = 2; l.line(k).data(); ++k) {
                std::string_view x = l.line(k);
                if (x.ends_with('\r'))
                    x.remove_suffix(1);
                if (x == "---" || x == "...") {
                    std::size_t end = static_cast<std::size_t>(x.data() - src.data()) + l.line(k).size();
                    src.erase(0, std::min(end + 1, src.size()));
                    break;
                }
            }
        }
    }
    limit_nesting(src);
    Doc d;
    parse(d, src);
    // Lines in quotations are settled one per round, a few at most.
    for (int round = 0; round < 16; ++round) {
        std::vector<std::size_t> at = interruptions(d.root, Lines(src));
        if (at.empty())
            break;
        std::sort(at.begin(), at.end(), [](std::size_t a, std::size_t b) { return (a & ~DEFINITION) < (b & ~DEFINITION); });
        for (std::size_t k = at.size(); k-- > 0;) {
            std::size_t off = at[k] & ~DEFINITION;
            if (at[k] & DEFINITION) {
                std::size_t end = off + 1;
                while (end < src.size() && end < off + 4 && (src[end] == ' ' || src[end] == '\t'))
                    ++end;
                src.erase(off, end - off);
            } else {
                src.insert(off, 1, '\\');
            }
        }
        Doc again;
        parse(again, src);
        std::swap(d.parser, again.parser);
        std::swap(d.root, again.root);
    }
    Lines lines(src);
    Writer w;
    w.source = &lines;
    for (cmark_node* def = cmark_node_first_child(d.root); def; def = cmark_node_next(def))
        if (cmark_node_get_type(def) == CMARK_NODE_FOOTNOTE_DEFINITION)
            w.definitions.push_back(def);
    write_document(w, d.root);
    write_notes(w);
    if (!w.out.empty())
        w.out += '\n';
    return w.out;
}

bool is_markdown(const char* path)
{
    std::string_view p = path;
    return p.ends_with(".md") || p.ends_with(".markdown");
}

std::FILE* open_fragment(const char* path)
{
    std::FILE* fi = is_directory(path) ? nullptr : std::fopen(path, "rb");
    if (!fi || !is_markdown(path)) {
        if (!fi)
            std::printf("Fehler: Eingabedatei \"%s\" nicht vorhanden oder Platte voll!\n", path);
        return fi;
    }
    std::string text;
    char block[1 << 16];
    bool too_big = false;
    for (;;) {
        std::size_t got = std::fread(block, 1, sizeof block, fi);
        if (got == 0)
            break;
        if (text.size() + got > MARKDOWN_MAX) {
            too_big = true;
            break;
        }
        text.append(block, got);
    }
    bool failed = std::ferror(fi) != 0;
    std::fclose(fi);
    if (too_big) {
        std::printf("Fehler: Markdown-Datei \"%s\" ist größer als %zu MiB!\n", path, MARKDOWN_MAX >> 20);
        return nullptr;
    }
    if (failed) {
        std::printf("Fehler: Eingabedatei \"%s\" nicht vorhanden oder Platte voll!\n", path);
        return nullptr;
    }
    std::string html = render_markdown(text.data(), text.size());
    // The stream owns a copy of the text and releases it on fclose. One byte
    // more than the text: a full buffer would get its last byte overwritten
    // by the zero that the flush writes.
    std::FILE* mem = fmemopen(nullptr, html.size() + 1, "w+");
    if (!mem || std::fwrite(html.data(), 1, html.size(), mem) != html.size() || std::fseek(mem, 0, SEEK_SET) != 0) {
        if (mem)
            std::fclose(mem);
        std::printf("Fehler: Eingabedatei \"%s\" nicht vorhanden oder Platte voll!\n", path);
        return nullptr;
    }
    return mem;
}
