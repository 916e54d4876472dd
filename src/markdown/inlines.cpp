// Inline content: code, raw HTML, emphasis, links, autolinks, images and
// their alt text, strikethrough.
#include <algorithm>

#include "markdown/escape.h"
#include "markdown/writer.h"

namespace md {
namespace {

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

// The scheme of an absolute URL ("http" of "http://x"), or empty.
std::string_view scheme_of(std::string_view url)
{
    std::size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon < 2 || colon > 32)
        return {};
    for (std::size_t i = 0; i < colon; ++i) {
        char c = url[i];
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                  (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '.' || c == '-'));
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

// Inline code: pandoc trims all the blanks at either end.
void code_span(std::string& out, std::string_view code)
{
    while (!code.empty() && code.front() == ' ')
        code.remove_prefix(1);
    while (!code.empty() && code.back() == ' ')
        code.remove_suffix(1);
    out += "<code>";
    escape_text(out, code);
    out += "</code>";
}

}  // namespace

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

void Writer::link(cmark_node* n, bool enter)
{
    Auto kind = autolink(n);
    if (kind == Auto::unknown) {
        // Text to pandoc: the brackets stay, the link goes.
        if (enter) {
            flush_space();
            out += "&lt;";
        } else {
            out += "&gt;";
        }
        written = true;
        return;
    }
    if (!enter) {
        out += "</a>";
        return;
    }
    flush_space();
    out += "<a href=\"";
    url_and_title(out, n);
    if (kind == Auto::known)
        out += std::string_view(cmark_node_get_url(n)).starts_with("mailto:") ? " class=\"email\"" : " class=\"uri\"";
    out += '>';
    written = true;
}

// One event of the inline walk; swapped holds the strong nodes that an
// emphasis around them has written already.
void Writer::inline_node(cmark_node* n, bool enter, std::vector<cmark_node*>& swapped)
{
    switch (cmark_node_get_type(n)) {
    case CMARK_NODE_TEXT: text(literal(n), false, nullptr); break;
    case CMARK_NODE_SOFTBREAK: space(); break;
    case CMARK_NODE_LINEBREAK:
        out += "<br />\n";
        pending_space = false;
        written = false;
        break;
    case CMARK_NODE_CODE:
        flush_space();
        code_span(out, literal(n));
        written = true;
        break;
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
        if (enter)
            flush_space();
        out += enter ? "<strong>" : "</strong>";
        break;
    case CMARK_NODE_LINK: link(n, enter); break;
    case CMARK_NODE_IMAGE:
        flush_space();
        out += "<img src=\"";
        url_and_title(out, n);
        out += " alt=\"" + alt_text(n) + "\" />";
        written = true;
        break;
    case CMARK_NODE_FOOTNOTE_REFERENCE:
        if (enter) {
            flush_space();
            footnote_ref(n);
            written = true;
        }
        break;
    default:
        if (type_name(n) == "strikethrough") {
            // The blank before the struck text stays outside it.
            if (enter)
                flush_space();
            out += enter ? "<del>" : "</del>";
        }
        break;
    }
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
        inline_node(n, ev == CMARK_EVENT_ENTER, swapped);
        if (cmark_node_get_type(n) == CMARK_NODE_IMAGE)
            skip = n;
    });
    pending_space = false;
}

}  // namespace md
