// The classification of the line rules: which special case a line is, and
// the position its rewriting starts from.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "rewrite.h"
#include "rewrite/rules.h"

namespace rw {
namespace {

constexpr Lit BODY_OPEN = lit("<body");
constexpr Lit BODY_CLOSE = lit("</body");

bool at_upper(const char* line, std::size_t n, std::size_t pos, Lit word)
{
    if (n - pos < word.n)
        return false;
    for (std::size_t k = 0; k < word.n; ++k)
        if (ascii_upper(static_cast<unsigned char>(line[pos + k])) != static_cast<unsigned char>(word.s[k]))
            return false;
    return true;
}

// Notes in t the pattern that the marked pair at pos may belong to.
void note(Tags& t, const char* line, std::size_t n, std::size_t pos)
{
    switch (line[pos]) {
    case '%':
        if (t.download < 0 && at(line, n, pos, DOWNLOAD))
            t.download = as_pos(pos);
        break;
    case 'h':
        if (t.h2 < 0 && pos >= 1 && at(line, n, pos - 1, H2))
            t.h2 = as_pos(pos - 1);
        break;
    case '{':
        if (t.width < 0 && at(line, n, pos, WIDTH))
            t.width = as_pos(pos);
        break;
    case 'w':
    case 'W':
        t.word = t.word || at_upper(line, n, pos, WORD_WEITER);
        break;
    case 'i':
    case 'I':
        t.word = t.word || at_upper(line, n, pos, WORD_INHALT);
        break;
    case 'z':
    case 'Z':
        t.word = t.word || at_upper(line, n, pos, WORD_ZURUECK);
        break;
    case '<':
        t.body = t.body || at(line, n, pos, BODY_OPEN);
        break;
    case '/':
        t.body = t.body || (pos >= 1 && at(line, n, pos - 1, BODY_CLOSE));
        t.quote_end = t.quote_end || (pos >= 1 && at(line, n, pos - 1, QUOTE_END));
        break;
    case 'm':
        if (t.img < 0 && pos >= 2 && at(line, n, pos - 2, IMG))
            t.img = as_pos(pos - 2);
        break;
    default:
        // "html" and "<tr": looked at with the whole line.
        break;
    }
}

// Position of the first "\">" at or after from, or NOT_FOUND.
int find_tag_end(Aux& aux, std::size_t from)
{
    const Piece& p = aux.piece;
    int found = NOT_FOUND;
    for_each_mark(aux.get(), 0, p.n, from, [&](std::size_t pos) {
        // The mark saw the byte after the piece too; it must be in it.
        if (p.line[pos] != '"' || pos + 1 == p.n)
            return true;
        found = as_pos(pos);
        return false;
    });
    return found;
}

// Special case of a link line from its words, in one pass: Inhalt wins over
// Weiter, Weiter over Zurück, wherever on the line they stand.
int link_words(Aux& aux)
{
    const Piece& p = aux.piece;
    bool inhalt = false;
    bool weiter = false;
    bool zurueck = false;
    for_each_mark(aux.get(), 0, p.n, 0, [&](std::size_t pos) {
        switch (ascii_upper(static_cast<unsigned char>(p.line[pos]))) {
        case 'N':
            inhalt = pos >= 1 && at_upper(p.line, p.n, pos - 1, WORD_INHALT);
            break;
        case 'W':
            weiter = weiter || at_upper(p.line, p.n, pos, WORD_WEITER);
            break;
        case 'C':
            zurueck = zurueck || (pos >= 5 && at_upper(p.line, p.n, pos - 5, WORD_ZURUECK));
            break;
        default:
            break;
        }
        return !inhalt;
    });
    return inhalt ? SPECIAL_INHALT : weiter ? SPECIAL_WEITER : zurueck ? SPECIAL_ZURUECK : SPECIAL_PLAIN;
}

}  // namespace

Tags tags_of(const Piece& p)
{
    Tags t;
    for_each_mark(p.cand, p.s, p.n, 0, [&](std::size_t pos) {
        note(t, p.line, p.n, pos);
        return true;
    });
    return t;
}

int classify(Aux& aux, const Tags& t, int* i)
{
    *i = t.download;
    if (*i >= 0)
        return SPECIAL_DOWNLOAD;
    // Only the first "{width=" counts, and not at the very start of a line.
    *i = t.width;
    if (*i > 2)
        return SPECIAL_WIDTH;
    *i = t.img;
    if (*i > 0)
        return SPECIAL_IMAGE;
    *i = t.h2;
    if (*i >= 0)
        return SPECIAL_HEADING;
    if (t.quote_end)
        return SPECIAL_QUOTE_END;
    // Most links hold none of the words; their position is then of no use.
    if (!t.word || find(aux.piece.line, aux.piece.n, 0, HREF) < 0)
        return SPECIAL_PLAIN;
    int special = link_words(aux);
    *i = special == SPECIAL_PLAIN ? NOT_FOUND : find_tag_end(aux, 0);
    return special;
}

}  // namespace rw

int getSonderbehandlung(const char* zeile, int* i)
{
    using namespace rw;
    *i = checkPos(zeile, DOWNLOAD.s);
    if (*i >= 0)
        return SPECIAL_DOWNLOAD;
    *i = checkPos(zeile, WIDTH.s);
    if (*i > 2)
        return SPECIAL_WIDTH;
    *i = checkPos(zeile, IMG.s);
    if (*i > 0)
        return SPECIAL_IMAGE;
    *i = checkPos(zeile, H2.s);
    if (*i >= 0)
        return SPECIAL_HEADING;
    if (std::strstr(zeile, QUOTE_END.s))
        return SPECIAL_QUOTE_END;
    if (!std::strstr(zeile, HREF.s))
        return SPECIAL_PLAIN;
    *i = checkPos(zeile, TAG_END.s);
    if (strstrUpper(zeile, "Inhalt"))
        return SPECIAL_INHALT;
    if (strstrUpper(zeile, "Weiter"))
        return SPECIAL_WEITER;
    if (strstrUpper(zeile, "Zurück"))
        return SPECIAL_ZURUECK;
    return SPECIAL_PLAIN;
}

int classify_line(const char* zeile, std::size_t n, int* i)
{
    using namespace rw;
    // The scan reads whole words and a byte beyond: give it a padded copy.
    std::string padded(zeile, n);
    padded.resize(n + 128, '\0');
    std::size_t words = n / 64 + 1;
    std::unique_ptr<std::uint64_t[]> bits(new std::uint64_t[3 * words]);
    const Marker marker = pick_marker();
    const Classes classes = make_classes(false);
    marker.block(padded.data(), (n + 63) / 64, classes, bits.get(), bits.get() + words);
    Piece p{padded.data(), n, bits.get() + words, 0};
    Aux aux(marker, classes, p, bits.get() + 2 * words);
    return classify(aux, tags_of(p), i);
}
