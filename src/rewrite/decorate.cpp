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
    std::size_t len = std::strlen(div_tag);
    if (len < 2)
        return d;
    std::size_t sep = std::strcspn(div_tag, ".#");
    if (sep == len)
        return d;
    const Lit opener = div_tag[sep] == '.' ? lit(" class=\"") : lit(" id=\"");
    d.attr.reserve(opener.n + len - sep);
    d.attr.append(opener.s, opener.n).append(div_tag + sep + 1, len - sep - 1).push_back('"');
    d.pattern.reserve(sep + 1);
    d.pattern.append(1, '<').append(div_tag, sep);
    d.active = true;
    return d;
}

void check_div_tag(char* zeile, const char* div_tag)
{
    rw::Decoration d = rw::prepare_decoration(div_tag);
    if (!d.active)
        return;
    std::size_t n = std::strlen(zeile);
    if (!::memmem(zeile, n, d.pattern.data(), d.pattern.size()))
        return;
    char* gt = static_cast<char*>(std::memchr(zeile, '>', n));
    if (!gt || n + d.attr.size() > LINE_MAX_READ)
        return;
    std::memmove(gt + d.attr.size(), gt, static_cast<std::size_t>(zeile + n - gt) + 1);
    std::memcpy(gt, d.attr.data(), d.attr.size());
}
