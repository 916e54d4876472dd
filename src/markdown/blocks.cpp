// The block writer: the walk over the document's blocks, containers
// (quotations, lists, items), paragraphs, headings, code and HTML blocks.
#include <algorithm>

#include <cmark-gfm-core-extensions.h>

#include "markdown/escape.h"
#include "markdown/fences.h"
#include "markdown/identifiers.h"
#include "markdown/typography.h"
#include "markdown/utf8.h"
#include "markdown/writer.h"

namespace md {

void Writer::code_block(cmark_node* node)
{
    if (inline_fence(node, *source)) {
        write_inline_fence(out, node);
        return;
    }
    std::string_view code = literal(node);
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
    std::vector<Quote> q = straight_quotes(run);
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
            } else if (std::size_t n = dash_at(t.substr(k), out)) {
                k += n;
            } else {
                out += t[k++];
            }
        }
        at = to;
    }
    out += html.substr(at);
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
        std::string level = std::to_string(cmark_node_get_heading_level(node));
        std::string id = unique_identifier(ids, plain_text(node));
        out += "<h" + level + " id=\"";
        escape_attr(out, id);
        out += "\">";
        prepare_quotes(node);
        inlines(node);
        out += "</h" + level + ">";
        break;
    }
    case CMARK_NODE_THEMATIC_BREAK: out += "<hr />"; break;
    case CMARK_NODE_CODE_BLOCK: code_block(node); break;
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

// Writes the opening of a quotation, list or item; *inner_tight is whether
// the paragraphs inside are written without <p>.
void Writer::open_container(cmark_node* n, bool* inner_tight)
{
    cmark_node_type ty = cmark_node_get_type(n);
    if (ty == CMARK_NODE_BLOCK_QUOTE) {
        out += "<blockquote>\n";
        *inner_tight = false;
    } else if (ty == CMARK_NODE_LIST) {
        *inner_tight = cmark_node_get_list_tight(n) != 0;
        if (cmark_node_get_list_type(n) == CMARK_ORDERED_LIST) {
            int start = cmark_node_get_list_start(n);
            out += start == 1 ? "<ol type=\"1\">\n" : "<ol start=\"" + std::to_string(start) + "\" type=\"1\">\n";
        } else {
            cmark_node* first = cmark_node_first_child(n);
            out += first && type_name(first) == "tasklist" ? "<ul class=\"task-list\">\n" : "<ul>\n";
        }
    } else {
        out += "<li>";
        if (type_name(n) != "tasklist")
            return;
        // In a loose list the box stands inside the first paragraph.
        std::string box = "<input type=\"checkbox\" disabled=\"\"";
        if (cmark_gfm_extensions_get_tasklist_item_checked(n))
            box += " checked=\"\"";
        box += " />\n";
        cmark_node* first = cmark_node_first_child(n);
        if (!*inner_tight && first && cmark_node_get_type(first) == CMARK_NODE_PARAGRAPH)
            task_box = box;
        else
            out += box;
    }
}

void Writer::close_container(cmark_node* n)
{
    cmark_node_type ty = cmark_node_get_type(n);
    if (ty == CMARK_NODE_BLOCK_QUOTE)
        out += "\n</blockquote>";
    else if (ty == CMARK_NODE_LIST)
        out += cmark_node_get_list_type(n) == CMARK_ORDERED_LIST ? "\n</ol>" : "\n</ul>";
    else
        out += "</li>";
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
            w.close_container(n);
            return;
        }
        if (started.back())
            w.out += '\n';
        started.back() = true;
        if (!container) {
            // Leaf blocks are written whole; the walk passes over their inlines.
            bool table = type_name(n) == "table";
            if (ty != CMARK_NODE_PARAGRAPH && ty != CMARK_NODE_HEADING && ty != CMARK_NODE_CODE_BLOCK &&
                ty != CMARK_NODE_HTML_BLOCK && ty != CMARK_NODE_THEMATIC_BREAK && !table)
                return;
            w.leaf(n, tight.back());
            // Code, HTML and rules have no exit event of their own.
            if (ty == CMARK_NODE_PARAGRAPH || ty == CMARK_NODE_HEADING || table)
                skip = n;
            return;
        }
        bool inner_tight = tight.back();
        w.open_container(n, &inner_tight);
        started.push_back(false);
        tight.push_back(inner_tight);
    });
}

}  // namespace md
