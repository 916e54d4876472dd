// The -d tag decoration: the attribute a "tag.class" or "tag#id" text asks
// for, and where a line takes it.
#include <cstring>

#include "rewrite.h"
#include "rewrite/rules.h"

rw::Decoration rw::prepare_decoration(const char* div_tag)
{
    Decoration d;
    if (!div_tag)
        return d;
    for (const char* text = div_tag; *text;) {
        std::size_t len = std::strcspn(text, "\n");
        std::size_t sep = std::strcspn(text, ".#\n");
        if (len >= 2 && sep < len) {
            Decoration::Rule r;
            const Lit opener = text[sep] == '.' ? lit(" class=\"") : lit(" id=\"");
            r.attr.reserve(opener.n + len - sep);
            r.attr.append(opener.s, opener.n).append(text + sep + 1, len - sep - 1).push_back('"');
            r.pattern.reserve(sep + 1);
            r.pattern.append(1, '<').append(text, sep);
            d.growth += r.attr.size();
            d.rules.push_back(std::move(r));
        }
        text += len;
        if (*text)
            ++text;
    }
    d.active = !d.rules.empty();
    return d;
}

std::size_t rw::apply_decoration(const Decoration& d, char* line, std::size_t n, std::size_t room)
{
    std::size_t len = n;
    for (const Decoration::Rule& r : d.rules) {
        if (!::memmem(line, len, r.pattern.data(), r.pattern.size()))
            continue;
        char* gt = static_cast<char*>(std::memchr(line, '>', len));
        if (!gt || len + r.attr.size() > room)
            continue;
        std::memmove(gt + r.attr.size(), gt, static_cast<std::size_t>(line + len - gt));
        std::memcpy(gt, r.attr.data(), r.attr.size());
        len += r.attr.size();
    }
    return len;
}

void check_div_tag(char* zeile, const char* div_tag)
{
    rw::Decoration d = rw::prepare_decoration(div_tag);
    if (!d.active)
        return;
    std::size_t n = std::strlen(zeile);
    // The line buffer keeps its last byte for the terminating zero.
    n = rw::apply_decoration(d, zeile, n, LINE_MAX_READ);
    zeile[n] = '\0';
}
