// Dashes, ellipses and TeX commands in running text.
#include "markdown/typography.h"

#include <cstring>

#include "markdown/utf8.h"

namespace md {

std::size_t dash_at(std::string_view rest, std::string& out)
{
    if (rest.starts_with("---")) {
        out += "\u2014";
        return 3;
    }
    if (rest.starts_with("--")) {
        out += "\u2013";
        return 2;
    }
    if (rest.starts_with("...")) {
        out += "\u2026";
        return 3;
    }
    return 0;
}

std::size_t tex_command(std::string_view s, std::size_t i, std::string_view* dropped)
{
    *dropped = {};
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
            *dropped = s.substr(i, l);
            i += l;
        }
        return i;
    }
    if (i < s.size() && s[i] == '{') {
        std::size_t close = s.find('}', i);
        if (close != std::string_view::npos) {
            *dropped = s.substr(i, close - i);
            i = close + 1;
        }
    } else {
        while (i < s.size() && s[i] == ' ')
            ++i;  // as in TeX, the blanks after a command word
    }
    return i;
}

}  // namespace md
