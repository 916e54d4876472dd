// Fences with a "{" info string that pandoc reads as text or inline code.
#include "markdown/fences.h"

#include <algorithm>

#include "markdown/escape.h"

namespace md {

bool pandoc_fence(std::string_view info)
{
    while (!info.empty() && (info.back() == ' ' || info.back() == '\t'))
        info.remove_suffix(1);
    return info.find('}') == info.size() - 1;
}

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

void write_inline_fence(std::string& out, cmark_node* n)
{
    std::string_view code = literal(n);
    std::string_view info = cmark_node_get_fence_info(n);
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
}

}  // namespace md
