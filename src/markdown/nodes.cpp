// The cmark-gfm helpers: parse, node texts, source lines.
#include "markdown/nodes.h"

#include <algorithm>

#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm-extension_api.h>

namespace md {

Doc::~Doc()
{
    if (root)
        cmark_node_free(root);
    if (parser)
        cmark_parser_free(parser);
}

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

Lines::Lines(std::string_view all) : text(all)
{
    starts.push_back(0);
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i] == '\n')
            starts.push_back(i + 1);
}

std::string_view Lines::line(int number) const
{
    if (number < 1 || static_cast<std::size_t>(number) > starts.size())
        return {};
    std::size_t at = starts[static_cast<std::size_t>(number) - 1];
    std::size_t end = text.find('\n', at);
    return text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
}

std::size_t start_offset(cmark_node* n)
{
    return static_cast<std::size_t>(std::max(cmark_node_get_start_column(n) - 1, 0));
}

}  // namespace md
