// UTF-8 decoding and encoding, and the few character classes that pandoc's
// rules for quotation marks and identifiers need.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace md {

// The code point that starts at s[i], its length in bytes in *len; a broken
// sequence counts as one byte of its own value, so that nothing is skipped.
// Inline: it runs once for every character of the text.
inline char32_t decode(std::string_view s, std::size_t i, std::size_t* len)
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
char32_t decode_before(std::string_view s, std::size_t i);

void encode(std::string& out, char32_t cp);

// Letters: ASCII, and above U+00BF everything but the blocks of
// punctuation, symbols and spaces that prose uses.
bool is_letter(char32_t c);
bool is_alnum(char32_t c);
// Blanks as pandoc's quotation rules see them, the end of the text included.
bool is_blank(char32_t c);
// Lower case for the scripts a German site meets: Latin, Greek, Cyrillic.
char32_t to_lower(char32_t c);

inline bool ascii_letter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The width of a line in characters, as pandoc counts it.
std::size_t chars(std::string_view line);

}  // namespace md
