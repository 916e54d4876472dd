// The line rules' vocabulary, shared by the rewriter's parts: the patterns,
// the special cases, a marked piece of input and what its marks found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "quennelbrook.h"
#include "scan.h"
#include "search.h"

namespace rw {

// A literal with its length, so that no search or write depends on a zero
// byte: the lines we copy may hold zero bytes of their own.
struct Lit {
    const char* s;
    std::size_t n;
};

template <std::size_t N>
constexpr Lit lit(const char (&s)[N])
{
    return {s, N - 1};
}

inline constexpr Lit DOWNLOAD = lit("%20download\"");
inline constexpr Lit WIDTH = lit("{width=");
inline constexpr Lit IMG = lit("<img src=");
inline constexpr Lit H2 = lit("<h2 id=\"");
inline constexpr Lit QUOTE_END = lit("</blockquote>");
inline constexpr Lit HREF = lit("href=");
inline constexpr Lit TAG_END = lit("\">");
inline constexpr Lit HTML = lit("html");

// The link words, upper-cased the way toupper does it in the C locale: only
// a to z change, the bytes of the umlaut stay as they are.
inline constexpr Lit WORD_INHALT = lit("INHALT");
inline constexpr Lit WORD_WEITER = lit("WEITER");
inline constexpr Lit WORD_ZURUECK = lit("ZURüCK");

inline constexpr int SPECIAL_PLAIN = 0;
inline constexpr int SPECIAL_DOWNLOAD = 1;
inline constexpr int SPECIAL_WIDTH = 2;
inline constexpr int SPECIAL_IMAGE = 3;
inline constexpr int SPECIAL_HEADING = 4;
inline constexpr int SPECIAL_QUOTE_END = 5;
inline constexpr int SPECIAL_WEITER = 6;
inline constexpr int SPECIAL_ZURUECK = 7;
inline constexpr int SPECIAL_INHALT = 8;

inline int as_pos(std::size_t pos)
{
    return static_cast<int>(pos);
}

// Whether a line of at most 8 bytes holds "html".
inline bool short_html(const char* line, std::size_t n)
{
    for (std::size_t pos = 0; pos + HTML.n <= n; ++pos)
        if (std::memcmp(line + pos, HTML.s, HTML.n) == 0)
            return true;
    return false;
}

// Whether l stands at pos (pos <= n).
inline bool at(const char* line, std::size_t n, std::size_t pos, Lit l)
{
    return n - pos >= l.n && std::memcmp(line + pos, l.s, l.n) == 0;
}

// Position of the first l at or after from, or NOT_FOUND. Lines are short
// and patterns few: memmem's setup costs more than it saves. The last byte
// of most patterns ('>', '=') is rarer in a line than the first (' ', '<'),
// so memchr looks for that one.
inline int find(const char* line, std::size_t n, std::size_t from, Lit l)
{
    if (from > n || n - from < l.n || l.n == 0)
        return l.n == 0 && from <= n ? as_pos(from) : NOT_FOUND;
    const std::size_t back = l.n - 1;
    const char* const end = line + n;
    for (const char* p = line + from + back;
         (p = static_cast<const char*>(std::memchr(p, l.s[back], static_cast<std::size_t>(end - p)))); ++p)
        if (std::memcmp(p - back, l.s, back) == 0)
            return as_pos(static_cast<std::size_t>(p - back - line));
    return NOT_FOUND;
}

// What one pass over a line finds for the classification.
struct Tags {
    bool body = false;         // "<body" or "</body"
    bool quote_end = false;    // "</blockquote>"
    bool word = false;         // a link word, in any case
    int download = NOT_FOUND;  // first "%20download\""
    int width = NOT_FOUND;     // first "{width="
    int img = NOT_FOUND;       // first "<img src="
    int h2 = NOT_FOUND;        // first "<h2 id=\""
};

// A piece in the buffer it was marked in: line[0, n) is the stretch that
// starts at bit s of cand. At least 65 bytes after it may be read.
struct Piece {
    const char* line;
    std::size_t n;
    const std::uint64_t* cand;
    std::size_t s;
};

// The words and tag ends of a piece, marked when first asked for.
struct Aux {
    Aux(const Marker& m, const Classes& c, const Piece& p, std::uint64_t* b)
        : marker(m), classes(c), piece(p), bits(b)
    {
    }
    const Marker& marker;
    const Classes& classes;
    const Piece& piece;
    std::uint64_t* bits;  // room for piece.n / 64 + 1 words
    bool done = false;

    const std::uint64_t* get()
    {
        if (!done)
            marker.aux(piece.line, (piece.n + 63) / 64, classes, bits);
        done = true;
        return bits;
    }
};

// What the marks of a piece point to.
Tags tags_of(const Piece& p);
// The special case of the piece, from what its marks found; stores the
// position of its rewriting in *i.
int classify(Aux& aux, const Tags& t, int* i);

// The -d decoration of one call, prepared once: one rule for each
// "tag.class" or "tag#id" text.
struct Decoration {
    struct Rule {
        std::string pattern;  // "<" and the tag name
        std::string attr;     // the attribute to insert, leading blank included
    };
    bool active = false;
    std::vector<Rule> rules;
    std::size_t growth = 0;  // what all attributes together add to a line
};

// The decoration that the -d text asks for; inactive for a null text.
// Several decorations stand one per line; each one too short or without
// '.' or '#' is passed over.
Decoration prepare_decoration(const char* div_tag);
// Inserts the attribute of every rule whose tag the n bytes at line hold
// before the line's first '>' (as the rules come), within room bytes.
// Returns the new length, or n when no rule applies or room is too small.
std::size_t apply_decoration(const Decoration& d, char* line, std::size_t n, std::size_t room);

}  // namespace rw
