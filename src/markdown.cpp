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

void escape_text(std::string& out, std::string_view s)
{
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
}

void escape_attr(std::string& out, std::string_view s)
{
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
}

void escape_code(std::string& out, std::string_view s)
{
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
}

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
    return c == LDQ || c == RDQ;
}
bool is_single(char32_t c)
{
    return c == LSQ || c == RSQ;
}

// The library's smart punctuation turns every straight quotation mark of
// the text into a curly one (an escaped one stays straight); which of them
// pair up is decided here the way pandoc decides it: a mark opens when no
// letter or digit stands before it and no blank after it, and the first
// mark of its kind that may close it does (a single one only when no
// letter or digit follows); a double mark that opens nothing is an opening
// one when a non-blank follows, else a closing one; a single one is an
// apostrophe. Paired marks become the German „…“ and ‚…‘.
struct Mark {
    std::size_t at;
    char32_t c;
};

void pair_range(const std::string& text, const std::vector<Mark>& marks, std::size_t from, std::size_t to,
                bool in_double, bool in_single, std::vector<char32_t>& result)
{
    for (std::size_t k = from; k < to; ++k) {
        const Mark& m = marks[k];
        bool dbl = is_double(m.c);
        std::size_t len = 0;
        std::size_t after = m.at + 3;
        char32_t next = after < text.size() ? decode(text, after, &len) : 0;
        char32_t prev = decode_before(text, m.at);
        bool can_open = !is_alnum(prev) && !is_blank(next) && !(dbl ? in_double : in_single);
        if (can_open) {
            std::size_t close = to;
            for (std::size_t j = k + 1; j < to; ++j) {
                if (is_double(marks[j].c) != dbl)
                    continue;
                if (!dbl) {
                    std::size_t a2 = marks[j].at + 3;
                    char32_t nx = a2 < text.size() ? decode(text, a2, &len) : 0;
                    if (is_alnum(nx))
                        continue;
                }
                if (marks[j].at > m.at + 3)
                    close = j;
                break;
            }
            if (close < to) {
                result[k] = dbl ? 0x201E : 0x201A;
                result[close] = dbl ? 0x201C : 0x2018;
                pair_range(text, marks, k + 1, close, in_double || dbl, in_single || !dbl, result);
                k = close;
                continue;
            }
        }
        if (dbl)
            result[k] = is_blank(next) ? RDQ : LDQ;
        else
            result[k] = RSQ;
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

// ---- The writer ----

struct Writer {
    std::string out;
    std::string_view source;
    std::set<std::string> ids;
    // The quotation marks of the current leaf block, in document order.
    std::vector<char32_t> quotes;
    std::size_t next_quote = 0;
    bool pending_space = false;
    bool written = false;  // inline content written in the current block

    void prepare_quotes(cmark_node* block);
    void text(std::string_view s, bool attr, std::string* into);
    void inlines(cmark_node* block);
    std::string alt_text(cmark_node* image);
    void leaf(cmark_node* node, bool tight);
    void table(cmark_node* node);
    void flush_space()
    {
        if (pending_space && written)
            out += ' ';
        pending_space = false;
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
        cmark_node_type t = cmark_node_get_type(n);
        if (t == CMARK_NODE_TEXT) {
            std::string_view s = literal(n);
            for (std::size_t i = 0; i < s.size();) {
                std::size_t len = 0;
                char32_t c = decode(s, i, &len);
                if (len == 3 && (is_double(c) || is_single(c)))
                    marks.push_back({run.size() + i, c});
                i += len;
            }
            run += s;
        } else if (t == CMARK_NODE_CODE) {
            run += '\x01';
        } else if (t == CMARK_NODE_SOFTBREAK || t == CMARK_NODE_LINEBREAK) {
            run += ' ';
        }
    });
    quotes.assign(marks.size(), 0);
    pair_range(run, marks, 0, marks.size(), false, false, quotes);
    next_quote = 0;
}

// Writes text with its blanks collapsed and its quotation marks replaced,
// to out or, for an attribute, to *into.
void Writer::text(std::string_view s, bool attr, std::string* into)
{
    std::string chunk;
    for (std::size_t i = 0; i < s.size();) {
        char c = s[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (!attr) {
                if (!chunk.empty()) {
                    flush_space();
                    escape_text(out, chunk);
                    written = true;
                    chunk.clear();
                }
                pending_space = true;
            } else {
                escape_attr(*into, chunk);
                chunk.clear();
                if (!into->empty() && into->back() != ' ')
                    *into += ' ';
            }
            ++i;
            continue;
        }
        std::size_t len = 0;
        char32_t cp = decode(s, i, &len);
        if (len == 3 && (is_double(cp) || is_single(cp)) && next_quote < quotes.size())
            encode(chunk, quotes[next_quote++]);
        else
            chunk.append(s.substr(i, len));
        i += len;
    }
    if (chunk.empty())
        return;
    if (attr) {
        escape_attr(*into, chunk);
        return;
    }
    flush_space();
    escape_text(out, chunk);
    written = true;
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

bool is_autolink(cmark_node* link)
{
    cmark_node* child = cmark_node_first_child(link);
    if (!child || cmark_node_next(child) || cmark_node_get_type(child) != CMARK_NODE_TEXT)
        return false;
    const char* title = cmark_node_get_title(link);
    if (title && *title)
        return false;
    std::string_view url = cmark_node_get_url(link) ? cmark_node_get_url(link) : "";
    std::string_view t = literal(child);
    return url == t || (url.starts_with("mailto:") && url.substr(7) == t);
}

void Writer::inlines(cmark_node* block)
{
    pending_space = false;
    written = false;
    cmark_node* skip = nullptr;  // an image whose children are its alt text
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
        case CMARK_NODE_SOFTBREAK: pending_space = true; break;
        case CMARK_NODE_LINEBREAK:
            out += "<br />\n";
            pending_space = false;
            written = false;
            break;
        case CMARK_NODE_CODE:
            flush_space();
            out += "<code>";
            escape_text(out, literal(n));
            out += "</code>";
            written = true;
            break;
        case CMARK_NODE_HTML_INLINE:
            flush_space();
            out += literal(n);
            written = true;
            break;
        case CMARK_NODE_EMPH:
            if (enter) {
                flush_space();
                out += "<em>";
            } else {
                out += "</em>";
            }
            break;
        case CMARK_NODE_STRONG:
            if (enter) {
                flush_space();
                out += "<strong>";
            } else {
                out += "</strong>";
            }
            break;
        case CMARK_NODE_LINK:
            if (enter) {
                flush_space();
                out += "<a href=\"";
                escape_url(out, cmark_node_get_url(n) ? cmark_node_get_url(n) : "");
                out += '"';
                const char* title = cmark_node_get_title(n);
                if (title && *title) {
                    out += " title=\"";
                    escape_attr(out, title);
                    out += '"';
                }
                if (is_autolink(n))
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
            escape_url(out, cmark_node_get_url(n) ? cmark_node_get_url(n) : "");
            out += '"';
            const char* title = cmark_node_get_title(n);
            if (title && *title) {
                out += " title=\"";
                escape_attr(out, title);
                out += '"';
            }
            out += " alt=\"" + alt_text(n) + "\" />";
            written = true;
            skip = n;
            break;
        }
        default:
            if (type_name(n) == "strikethrough")
                out += enter ? "<del>" : "</del>";
            break;
        }
    });
    pending_space = false;
}

// The width of a line in characters, as pandoc counts it.
std::size_t chars(std::string_view line)
{
    std::size_t n = 0;
    for (char c : line)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::string_view source_line(std::string_view src, int number)
{
    std::size_t at = 0;
    for (int k = 1; k < number && at != std::string_view::npos; ++k) {
        at = src.find('\n', at);
        if (at != std::string_view::npos)
            ++at;
    }
    if (at == std::string_view::npos || at > src.size())
        return {};
    std::size_t end = src.find('\n', at);
    return src.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
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
        std::string_view line = source_line(source, l);
        widest = std::max(widest, chars(line.substr(std::min(skip, line.size()))));
    }
    if (widest > 72) {
        std::string_view sep = source_line(source, first + 1);
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
            prepare_quotes(cell);
            inlines(cell);
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
        while (!code.empty() && code.back() == '\n')
            code.remove_suffix(1);
        std::string_view info = cmark_node_get_fence_info(node) ? cmark_node_get_fence_info(node) : "";
        // The first word names the language; {.lang} is pandoc's own form.
        if (info.starts_with("{")) {
            std::size_t dot = info.find('.');
            info = dot == std::string_view::npos ? std::string_view() : info.substr(dot + 1);
        }
        info = info.substr(0, std::min(info.find_first_of(" \t}"), info.size()));
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
        out += html;
        break;
    }
    default:
        if (type_name(node) == "table")
            table(node);
        break;
    }
}

// Where a paragraph is followed at once, without a blank line, by a list, a
// quotation, an ATX heading or a rule, pandoc's Markdown reads that line as
// part of the paragraph. Returns the byte offsets at which a backslash makes
// the library read it so too.
std::vector<std::size_t> interruptions(cmark_node* doc, std::string_view src)
{
    std::vector<std::size_t> at;
    walk(doc, [&](cmark_event_type ev, cmark_node* n) {
        if (ev != CMARK_EVENT_ENTER || cmark_node_get_type(n) != CMARK_NODE_PARAGRAPH)
            return;
        cmark_node* next = cmark_node_next(n);
        if (!next || cmark_node_get_start_line(next) != cmark_node_get_end_line(n) + 1)
            return;
        cmark_node_type t = cmark_node_get_type(next);
        cmark_node* parent = cmark_node_parent(n);
        bool in_item = parent && cmark_node_get_type(parent) == CMARK_NODE_ITEM;
        bool atx = t == CMARK_NODE_HEADING && cmark_node_get_start_line(next) == cmark_node_get_end_line(next);
        if (!(t == CMARK_NODE_BLOCK_QUOTE || t == CMARK_NODE_THEMATIC_BREAK || atx ||
              (t == CMARK_NODE_LIST && !in_item)))
            return;
        int line = cmark_node_get_start_line(next);
        std::string_view l = source_line(src, line);
        if (l.data() == nullptr)
            return;
        std::size_t off = static_cast<std::size_t>(l.data() - src.data());
        std::size_t col = static_cast<std::size_t>(std::max(cmark_node_get_start_column(next) - 1, 0));
        std::size_t i = std::min(col, l.size());
        while (i < l.size() && (l[i] == ' ' || l[i] == '\t'))
            ++i;
        while (i < l.size() && l[i] >= '0' && l[i] <= '9')
            ++i;
        if (i < l.size())
            at.push_back(off + i);
    });
    return at;
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
    d.parser = cmark_parser_new(CMARK_OPT_SMART | CMARK_OPT_UNSAFE | CMARK_OPT_STRIKETHROUGH_DOUBLE_TILDE);
    for (const char* name : {"table", "strikethrough", "tasklist"})
        if (cmark_syntax_extension* ext = cmark_find_syntax_extension(name))
            cmark_parser_attach_syntax_extension(d.parser, ext);
    cmark_parser_feed(d.parser, text.data(), text.size());
    d.root = cmark_parser_finish(d.parser);
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
        cmark_node_type t = cmark_node_get_type(n);
        if ((t & CMARK_NODE_TYPE_MASK) != CMARK_NODE_TYPE_BLOCK)
            return;
        bool container = t == CMARK_NODE_BLOCK_QUOTE || t == CMARK_NODE_LIST || t == CMARK_NODE_ITEM;
        if (ev == CMARK_EVENT_EXIT) {
            if (!container)
                return;
            started.pop_back();
            tight.pop_back();
            if (t == CMARK_NODE_BLOCK_QUOTE)
                w.out += "\n</blockquote>";
            else if (t == CMARK_NODE_LIST)
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
            if (t != CMARK_NODE_PARAGRAPH && t != CMARK_NODE_HEADING && t != CMARK_NODE_CODE_BLOCK &&
                t != CMARK_NODE_HTML_BLOCK && t != CMARK_NODE_THEMATIC_BREAK && type_name(n) != "table")
                return;
            w.leaf(n, tight.back());
            // Code, HTML and rules have no exit event of their own.
            if (t == CMARK_NODE_PARAGRAPH || t == CMARK_NODE_HEADING || type_name(n) == "table")
                skip = n;
            return;
        }
        bool inner_tight = tight.back();
        if (t == CMARK_NODE_BLOCK_QUOTE) {
            w.out += "<blockquote>\n";
            inner_tight = false;
        } else if (t == CMARK_NODE_LIST) {
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
                w.out += "<input type=\"checkbox\" disabled=\"\"";
                if (cmark_gfm_extensions_get_tasklist_item_checked(n))
                    w.out += " checked=\"\"";
                w.out += " />\n";
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
    Doc d;
    parse(d, src);
    // A few rounds settle even a paragraph that several such lines follow.
    for (int round = 0; round < 8; ++round) {
        std::vector<std::size_t> at = interruptions(d.root, src);
        if (at.empty())
            break;
        std::sort(at.begin(), at.end());
        for (std::size_t k = at.size(); k-- > 0;)
            src.insert(at[k], 1, '\\');
        Doc again;
        parse(again, src);
        std::swap(d.parser, again.parser);
        std::swap(d.root, again.root);
    }
    Writer w;
    w.source = src;
    write_document(w, d.root);
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
    // The stream owns a copy of the text and releases it on fclose.
    std::FILE* mem = fmemopen(nullptr, std::max<std::size_t>(html.size(), 1), "w+");
    if (!mem || std::fwrite(html.data(), 1, html.size(), mem) != html.size() || std::fseek(mem, 0, SEEK_SET) != 0) {
        if (mem)
            std::fclose(mem);
        std::printf("Fehler: Eingabedatei \"%s\" nicht vorhanden oder Platte voll!\n", path);
        return nullptr;
    }
    return mem;
}
