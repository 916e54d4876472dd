// Heading identifiers and their de-duplication.
#include "markdown/identifiers.h"

#include "markdown/utf8.h"

namespace md {

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

std::string unique_identifier(std::set<std::string>& ids, const std::string& text)
{
    std::string base = identifier(text);
    std::string id = base;
    for (int k = 1; ids.count(id); ++k)
        id = base + "-" + std::to_string(k);
    ids.insert(id);
    return id;
}

}  // namespace md
