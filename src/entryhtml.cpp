#include "entryhtml.h"

#include <gumbo.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace {

bool html_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool is_element(const GumboNode* n)
{
    return n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE;
}

const GumboNode* child(const GumboElement& e, unsigned i)
{
    return static_cast<const GumboNode*>(e.children.data[i]);
}

bool is_heading(GumboTag t)
{
    return t == GUMBO_TAG_H1 || t == GUMBO_TAG_H2 || t == GUMBO_TAG_H3 || t == GUMBO_TAG_H4 || t == GUMBO_TAG_H5 ||
           t == GUMBO_TAG_H6;
}

// ---- The title ----

// Elements a browser does not show: their text is no part of a heading's.
bool unseen(const GumboElement& e)
{
    switch (e.tag) {
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_TITLE:
        return true;
    default:
        return gumbo_get_attribute(&e.attributes, "hidden") != nullptr;
    }
}

// Elements a browser puts on a line of their own: a blank on either side.
bool own_line(GumboTag t)
{
    switch (t) {
    case GUMBO_TAG_BR:
    case GUMBO_TAG_P:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_FIGCAPTION:
        return true;
    default:
        return is_heading(t);
    }
}

// Text with its white space (no-break spaces too) run together and
// trimmed, as a browser shows it, cut between characters at MAX_TITLE.
struct Title {
    std::string text;
    bool space = false;
    bool full = false;

    void blank() { space = !text.empty(); }
    void add(const char* s)
    {
        // The parser's text is UTF-8 throughout.
        for (std::size_t n = std::strlen(s), i = 0; i < n && !full;) {
            auto c = static_cast<unsigned char>(s[i]);
            std::size_t len = std::min<std::size_t>(c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4, n - i);
            if (html_space(s[i]) || (len == 2 && c == 0xC2 && static_cast<unsigned char>(s[i + 1]) == 0xA0)) {
                blank();
            } else if (text.size() + (space ? 1 : 0) + len > MAX_TITLE) {
                full = true;
            } else {
                if (space)
                    text += ' ';
                space = false;
                text.append(s + i, len);
            }
            i += len;
        }
    }
};

std::string heading_text(const GumboNode* h)
{
    Title t;
    std::vector<std::pair<const GumboNode*, bool>> todo;  // true: the end of an element on a line of its own
    todo.emplace_back(h, false);
    while (!todo.empty() && !t.full) {
        auto [n, end] = todo.back();
        todo.pop_back();
        if (end) {
            t.blank();
        } else if (is_element(n)) {
            const GumboElement& e = n->v.element;
            if (n != h && unseen(e))
                continue;
            if (own_line(e.tag)) {
                t.blank();
                todo.emplace_back(n, true);
            }
            for (unsigned i = e.children.length; i-- > 0;)
                todo.emplace_back(child(e, i), false);
        } else if (n->type != GUMBO_NODE_COMMENT) {
            t.add(n->v.text.text);
        }
    }
    return t.text;
}

// ---- The copy ----

// The scheme of an address, in lower case, as a browser reads it: after
// leading controls and blanks, tabs and line ends left out. Empty for none.
std::string scheme_of(const std::string& v)
{
    std::size_t i = 0;
    while (i < v.size() && static_cast<unsigned char>(v[i]) <= 0x20)
        ++i;
    std::string s;
    for (; i < v.size(); ++i) {
        char c = ascii_lower(v[i]);
        if (c == '\t' || c == '\n' || c == '\r')
            continue;
        if (c == ':')
            return s;
        bool letter = c >= 'a' && c <= 'z';
        if (!letter && (s.empty() || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return "";
        s += c;
    }
    return "";
}

// Whether address v in attribute name of element tag is one a reader would
// run: javascript: and vbscript:, and data: but an image's.
bool active(const std::string& v, const std::string& name, GumboTag tag)
{
    std::string scheme = scheme_of(v);
    if (scheme == "javascript" || scheme == "vbscript")
        return true;
    if (scheme != "data")
        return false;
    bool image = (tag == GUMBO_TAG_IMG || tag == GUMBO_TAG_SOURCE) && (name == "src" || name == "srcset");
    std::size_t colon = v.find(':');
    std::string type = v.substr(colon + 1, 6);
    for (char& c : type)
        c = ascii_lower(c);
    return !image || type != "image/";
}

// The attributes that hold an address.
bool holds_address(const std::string& name)
{
    static const char* const NAMES[] = {"href",  "src",  "srcset", "poster",  "action", "formaction",
                                        "background", "cite", "data",   "longdesc", "lowsrc", "dynsrc"};
    return std::any_of(std::begin(NAMES), std::end(NAMES), [&](const char* n) { return name == n; });
}

struct Edit {
    std::size_t begin, end;
    std::string with;
};

struct Copy {
    const std::string& html;
    const BaseUrl& base;
    const std::string& page_url;
    std::vector<Edit> edits;
    std::size_t last_end = 0;  // where the last node ends

    std::size_t at(const char* p) const { return static_cast<std::size_t>(p - html.data()); }
    bool ours(const char* p) const { return p && p >= html.data() && p < html.data() + html.size(); }
    void reach(const char* p, std::size_t n)
    {
        if (ours(p))
            last_end = std::max(last_end, at(p) + n);
    }

    // The address v made absolute: a path against the page's folder, "/..."
    // against the site's origin, "//..." with the scheme, "#..." and "?..."
    // against the page. Blanks at its ends, which a browser drops, go.
    std::string absolute(const std::string& v) const
    {
        std::size_t from = 0, to = v.size();
        while (from < to && html_space(v[from]))
            ++from;
        while (to > from && html_space(v[to - 1]))
            --to;
        std::string url = v.substr(from, to - from);
        if (url.empty() || url[0] == '#' || url[0] == '?')
            return page_url + url;
        if (url.compare(0, 2, "//") == 0)
            return base.scheme + ":" + url;
        if (url[0] == '/')
            return base.origin + url;
        return scheme_of(url).empty() ? base.url + url : url;
    }

    // A srcset's candidates, each address made absolute; false when one of
    // them is active.
    bool srcset(const std::string& v, GumboTag tag, std::string& out) const
    {
        out.clear();
        std::size_t i = 0;
        while (i < v.size()) {
            while (i < v.size() && (html_space(v[i]) || v[i] == ','))
                ++i;
            std::size_t start = i;
            while (i < v.size() && !html_space(v[i]))
                ++i;
            if (start == i)
                break;
            std::string url = v.substr(start, i - start);
            std::string descriptor;
            if (url.back() == ',') {
                url.erase(url.find_last_not_of(',') + 1);
            } else {
                int depth = 0;
                for (; i < v.size() && (v[i] != ',' || depth > 0); ++i) {
                    depth += v[i] == '(' ? 1 : v[i] == ')' && depth > 0 ? -1 : 0;
                    if (!html_space(v[i]) || (!descriptor.empty() && !html_space(descriptor.back())))
                        descriptor += html_space(v[i]) ? ' ' : v[i];
                }
                while (!descriptor.empty() && descriptor.back() == ' ')
                    descriptor.pop_back();
            }
            if (active(url, "srcset", tag))
                return false;
            out += (out.empty() ? "" : ", ") + absolute(url) + (descriptor.empty() ? "" : " " + descriptor);
        }
        return true;
    }

    // Text as an attribute value between quote (0 for none).
    static std::string escaped(const std::string& s, char quote)
    {
        std::string out;
        if (quote)
            out += quote;
        for (char c : s) {
            if (c == '&')
                out += "&amp;";
            else if (c == '"' && quote != '\'')
                out += "&quot;";
            else if (c == '\'' && quote == '\'')
                out += "&#39;";
            else
                out += c;
        }
        if (quote)
            out += quote;
        return out;
    }

    void element(const GumboElement& e)
    {
        struct Span {
            std::size_t begin = 0, end = 0;  // the attribute in html
            std::size_t value = 0;   // where its value begins, when it has one
            bool drop = false;
            bool changed = false;
            std::string with;  // the new value, quotes and all
        };
        std::vector<Span> spans;
        for (unsigned k = 0; k < e.attributes.length; ++k) {
            const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[k]);
            if (!ours(a->original_name.data))
                continue;
            Span s;
            s.begin = at(a->original_name.data);
            s.end = s.begin + a->original_name.length;
            const bool valued = a->original_value.data != a->original_name.data && ours(a->original_value.data);
            if (valued) {
                s.value = at(a->original_value.data);
                s.end = s.value + a->original_value.length;
            }
            const std::string name = a->name;
            const std::string v = a->value;
            if ((name.size() > 2 && name.compare(0, 2, "on") == 0) || name == "srcdoc") {
                s.drop = true;
            } else if (holds_address(name) && active(v, name, e.tag)) {
                s.drop = true;
            } else if (valued && (name == "href" || name == "src" || name == "poster" || name == "srcset")) {
                char quote = html[s.value] == '"' || html[s.value] == '\'' ? html[s.value] : 0;
                std::string url;
                if (name != "srcset")
                    url = absolute(v);
                else if (!srcset(v, e.tag, url))
                    s.drop = true;
                s.with = escaped(url, quote);
                s.changed = !s.drop && html.compare(s.value, s.end - s.value, s.with) != 0;
            }
            spans.push_back(s);
        }
        // An attribute named twice counts once, the first: the second goes
        // in the next reading, once the first has gone (read_entry). So do
        // those of a tag the parser merged into one it made itself.
        std::sort(spans.begin(), spans.end(), [](const Span& x, const Span& y) { return x.begin < y.begin; });
        std::size_t prev = 0;
        for (const Span& s : spans) {
            std::size_t from = s.begin;
            while (from > prev && html_space(html[from - 1]))
                --from;
            if (s.drop)
                edits.push_back({from, s.end, ""});
            else if (s.changed)
                edits.push_back({s.value, s.end, s.with});
            prev = s.end;
        }
    }

    // The end of an element that goes, its end tag included where it has one.
    std::size_t end_of(const GumboElement& e) const
    {
        std::size_t end = at(e.original_tag.data) + e.original_tag.length;
        if (ours(e.original_end_tag.data))
            return std::max(end, at(e.original_end_tag.data) + e.original_end_tag.length);
        for (unsigned i = 0; i < e.children.length; ++i) {
            const GumboNode* c = child(e, i);
            if (!is_element(c) && ours(c->v.text.original_text.data))
                end = std::max(end, at(c->v.text.original_text.data) + c->v.text.original_text.length);
        }
        return end;
    }

    std::string result(bool cut) const
    {
        std::size_t stop = cut ? last_end : html.size();
        std::string out;
        std::size_t from = 0;
        for (const Edit& e : edits) {
            if (e.begin >= stop)
                break;
            // The parser repeats a formatting element left open (<a>, <b>
            // ...) where it goes on: its tag is edited once.
            if (e.begin < from)
                continue;
            out.append(html, from, e.begin - from);
            out += e.with;
            from = e.end;
        }
        if (from < stop)
            out.append(html, from, stop - from);
        return out;
    }
};

struct Parsed {
    void operator()(GumboOutput* o) const { gumbo_destroy_output(&kGumboDefaultOptions, o); }
};


// One reading of text: the title of its first heading into *title (when
// given), and text with what a reader must not run left out and its
// addresses made absolute; of a cut text, what it holds complete.
std::string clean_copy(const std::string& text, bool cut, const BaseUrl& b, const std::string& page_url,
                       std::string* title, bool* edited)
{
    // As a document, not a fragment: the parser then gives the attributes
    // of a <body> or <html> tag inside the entry to the body or the root,
    // with their place in the text, as a reader's page would take them.
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    std::unique_ptr<GumboOutput, Parsed> parsed(gumbo_parse_with_options(&options, text.data(), text.size()));
    Copy copy{text, b, page_url, {}};
    const GumboNode* heading = nullptr;
    // Depth first, in the order of the text, without recursion: an entry
    // may nest deeper than the stack reaches.
    std::vector<const GumboNode*> todo{parsed->root};
    while (!todo.empty()) {
        const GumboNode* n = todo.back();
        todo.pop_back();
        if (!is_element(n)) {
            copy.reach(n->v.text.original_text.data, n->v.text.original_text.length);
            continue;
        }
        const GumboElement& e = n->v.element;
        copy.reach(e.original_tag.data, e.original_tag.length);
        copy.reach(e.original_end_tag.data, e.original_end_tag.length);
        if ((e.tag == GUMBO_TAG_SCRIPT || e.tag == GUMBO_TAG_STYLE) && copy.ours(e.original_tag.data)) {
            std::size_t end = copy.end_of(e);
            copy.reach(e.original_tag.data, end - copy.at(e.original_tag.data));
            copy.edits.push_back({copy.at(e.original_tag.data), end, ""});
            continue;
        }
        if (!heading && e.tag_namespace == GUMBO_NAMESPACE_HTML && is_heading(e.tag))
            heading = n;
        copy.element(e);
        for (unsigned i = e.children.length; i-- > 0;)
            todo.push_back(child(e, i));
    }
    if (title && heading)
        *title = heading_text(heading);
    std::sort(copy.edits.begin(), copy.edits.end(), [](const Edit& x, const Edit& y) { return x.begin < y.begin; });
    *edited = !copy.edits.empty();
    return copy.result(cut);
}

// Readings of a copy before it is taken as clean: what goes may join what
// is left into something new ("<scr<script></script>ipt>"), a second
// <body onload> counts once the first is gone.
constexpr int MAX_READINGS = 8;

}  // namespace

FeedEntry read_entry(const std::string& whole, bool cut, const BaseUrl& b, const std::string& page_url)
{
    // A character that the cut split goes whole.
    std::size_t size = whole.size();
    if (cut) {
        std::size_t lead = size;
        while (lead > 0 && size - lead < 3 && (static_cast<unsigned char>(whole[lead - 1]) & 0xC0) == 0x80)
            --lead;
        auto c = lead > 0 ? static_cast<unsigned char>(whole[lead - 1]) : 0;
        if (c >= 0xC0 && size - (lead - 1) < (c >= 0xF0 ? 4u : c >= 0xE0 ? 3u : 2u))
            size = lead - 1;
    }
    FeedEntry entry;
    bool edited = false;
    entry.content = clean_copy(whole.substr(0, size), cut, b, page_url, &entry.title, &edited);
    // Read again only where something went or changed: a deeply nested
    // entry costs the parser a quarter of a second.
    for (int reading = 1; edited; ++reading) {
        std::string again = clean_copy(entry.content, false, b, page_url, nullptr, &edited);
        if (again == entry.content)
            break;
        // What still changes after that many readings is no entry of a
        // site, and goes whole.
        if (reading == MAX_READINGS) {
            entry.content.clear();
            break;
        }
        entry.content = std::move(again);
    }
    return entry;
}
