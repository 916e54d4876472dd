// The line rules: which lines the rewriter changes and how.
#include "rewrite.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fileio.h"
#include "gather.h"
#include "scan.h"

namespace {

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

constexpr Lit DOWNLOAD = lit("%20download\"");
constexpr Lit WIDTH = lit("{width=");
constexpr Lit IMG = lit("<img src=");
constexpr Lit H2 = lit("<h2 id=\"");
constexpr Lit QUOTE_END = lit("</blockquote>");
constexpr Lit HREF = lit("href=");
constexpr Lit TAG_END = lit("\">");
constexpr Lit P_OPEN = lit("<p>");
constexpr Lit ROW_ODD = lit("<tr class=\"odd\">");
constexpr Lit ROW_EVEN = lit("<tr class=\"even\">");
constexpr Lit BODY_OPEN = lit("<body");
constexpr Lit BODY_CLOSE = lit("</body");
constexpr Lit HTML = lit("html");
constexpr Lit IMG_END = lit(" />");

constexpr Lit DOWNLOAD_NEW = lit("\" download>");
constexpr Lit WIDTH_OPEN = lit(" style=\"width:");
constexpr Lit WIDTH_CLOSE = lit("\" /> ");
constexpr Lit IMG_FLUID = lit(" class=\"img-fluid\" />");
constexpr Lit H2_TOP = lit("class=\"h2_top");
constexpr Lit H2_MID = lit("class=\"h2_mid");
constexpr Lit ZITAT = lit(" class=\"zitat\"");
constexpr Lit ROW_EQUAL = lit("<tr class=\"equal\">\n");
constexpr Lit ICON_WEITER = lit("<span class=\"icon-arrow-right-circle\"></span>&nbsp;");
constexpr Lit ICON_ZURUECK = lit("<span class=\"icon-arrow-left-circle\"></span>&nbsp;");
constexpr Lit ICON_INHALT = lit("<span class=\"icon-map\"></span>&nbsp;");

// The link words, upper-cased the way toupper does it in the C locale: only
// a to z change, the bytes of the umlaut stay as they are.
constexpr Lit WORD_INHALT = lit("INHALT");
constexpr Lit WORD_WEITER = lit("WEITER");
constexpr Lit WORD_ZURUECK = lit("ZURüCK");

constexpr int SPECIAL_PLAIN = 0;
constexpr int SPECIAL_DOWNLOAD = 1;
constexpr int SPECIAL_WIDTH = 2;
constexpr int SPECIAL_IMAGE = 3;
constexpr int SPECIAL_HEADING = 4;
constexpr int SPECIAL_QUOTE_END = 5;
constexpr int SPECIAL_WEITER = 6;
constexpr int SPECIAL_ZURUECK = 7;
constexpr int SPECIAL_INHALT = 8;

inline unsigned char upper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

inline int as_pos(std::size_t pos)
{
    return static_cast<int>(pos);
}

inline void put(Sink& out, Lit l)
{
    out.put(l.s, l.n);
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

bool at_upper(const char* line, std::size_t n, std::size_t pos, Lit word)
{
    if (n - pos < word.n)
        return false;
    for (std::size_t k = 0; k < word.n; ++k)
        if (upper(static_cast<unsigned char>(line[pos + k])) != static_cast<unsigned char>(word.s[k]))
            return false;
    return true;
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

Tags tags_of(const Piece& p)
{
    Tags t;
    for_each_mark(p.cand, p.s, p.n, 0, [&](std::size_t pos) {
        note(t, p.line, p.n, pos);
        return true;
    });
    return t;
}

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
        switch (upper(static_cast<unsigned char>(p.line[pos]))) {
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

// The classification, from what the scan of the line found.
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

// The -d decoration of one call, prepared once.
struct Decoration {
    bool active = false;
    std::string pattern;  // "<" and the tag name
    std::string attr;     // the attribute to insert, leading blank included
};

Decoration prepare_decoration(const char* div_tag)
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

// Writes line[0, n) with part inserted at pos (pos <= n).
void write_parts(Sink& out, const char* line, std::size_t n, std::size_t pos, Lit part)
{
    out.put(line, pos);
    put(out, part);
    out.put(line + pos, n - pos);
}

// Appends the decimal digits of v (not negative) at p; returns the end.
char* digits(char* p, std::size_t v)
{
    char tmp[24];
    char* t = tmp + sizeof tmp;
    do {
        *--t = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    std::size_t len = static_cast<std::size_t>(tmp + sizeof tmp - t);
    std::memcpy(p, t, len);
    return p + len;
}

char* append(char* p, Lit l)
{
    std::memcpy(p, l.s, l.n);
    return p + l.n;
}

void write_width(Sink& out, const char* line, std::size_t n, int i)
{
    // Keep the page and the diagnostics in order when both go to stdout.
    if (out.fo == stdout)
        out.flush();
    std::size_t start = static_cast<std::size_t>(i);
    // The '=' of "{width="; the pattern itself guarantees where it is.
    std::size_t k = start + WIDTH.n - 1;
    const void* close = std::memchr(line + k + 1, '}', n - k - 1);
    std::size_t j = close ? static_cast<std::size_t>(static_cast<const char*>(close) - line) : n;
    // "gefunden: i=%d\n" and "i=%d  | j=%d  | k=%d", formatted by hand: a
    // page with many widths would otherwise spend its time in printf.
    char msg[96];
    char* p = append(msg, lit("gefunden: i="));
    p = digits(p, start);
    p = append(p, lit("\ni="));
    p = digits(p, start);
    p = append(p, lit("  | j="));
    p = digits(p, j);
    p = append(p, lit("  | k="));
    p = digits(p, k);
    std::fwrite(msg, 1, static_cast<std::size_t>(p - msg), stdout);
    if (!close) {
        std::fputs("\n=============\nFehler beim Ersetzen von width!\n==============\n", stdout);
        out.put(line, n);
        return;
    }
    // The image tag's own " />" in front of "{width=" makes way for the style.
    out.put(line, start - 3);
    put(out, WIDTH_OPEN);
    out.put(line + k + 1, j - k - 1);
    put(out, WIDTH_CLOSE);
    out.put(line + j + 1, n - j - 1);
}

}  // namespace

int getPos(const char* haystack, char needle)
{
    if (needle == '\0')
        return NOT_FOUND;
    const char* p = std::strchr(haystack, needle);
    return p ? as_pos(static_cast<std::size_t>(p - haystack)) : NOT_FOUND;
}

int checkPos(const char* haystack, const char* needle)
{
    const char* p = std::strstr(haystack, needle);
    // An empty text has no position to report, not even for an empty needle.
    if (!p || !*haystack)
        return NOT_FOUND;
    return as_pos(static_cast<std::size_t>(p - haystack));
}

bool strstrUpper(const char* haystack, const char* needle)
{
    std::size_t hn = std::strlen(haystack);
    std::size_t nn = std::strlen(needle);
    if (nn > hn)
        return false;
    for (std::size_t pos = 0; pos + nn <= hn; ++pos) {
        std::size_t k = 0;
        while (k < nn && upper(static_cast<unsigned char>(haystack[pos + k])) ==
                             upper(static_cast<unsigned char>(needle[k])))
            ++k;
        if (k == nn)
            return true;
    }
    return false;
}

void writeParts(std::FILE* fo, const char* zeile, int i, const char* part)
{
    std::size_t n = std::strlen(zeile);
    std::size_t pos = i < 0 ? 0 : static_cast<std::size_t>(i) > n ? n : static_cast<std::size_t>(i);
    Sink out(fo, false);
    write_parts(out, zeile, n, pos, Lit{part, std::strlen(part)});
    out.flush();
}

int getSonderbehandlung(const char* zeile, int* i)
{
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

void check_div_tag(char* zeile, const char* div_tag)
{
    Decoration d = prepare_decoration(div_tag);
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

namespace {

// The rewriting of one call: its state from line to line and its buffers.
struct Rewriter {
    Sink& out;
    const Decoration& deco;
    bool equal_table;
    const Marker& marker;
    const Classes& classes;
    // Decorated pieces are built one after the other in a scratch area that
    // is reused once its text has been flushed. A piece grows by the
    // attribute; the area has room for several of the largest, and behind
    // it for the scan's reading ahead, so no decoration is ever cut.
    std::size_t scratch_size = 0;
    std::size_t scratch_used = 0;
    std::unique_ptr<char[]> scratch;
    std::unique_ptr<std::uint64_t[]> bits;  // the marks of a decorated piece, and its words
    std::size_t words = 0;
    bool top = true;
    bool blockquote = false;

    Rewriter(Sink& o, const Decoration& d, bool e, const Marker& m, const Classes& c)
        : out(o), deco(d), equal_table(e), marker(m), classes(c)
    {
        std::size_t largest = LINE_SIZE + (deco.active ? deco.attr.size() : 0);
        words = largest / 64 + 1;
        bits.reset(new std::uint64_t[3 * words]);
        if (!deco.active)
            return;
        scratch_size = largest * 4 > (1u << 15) ? largest * 4 : (1u << 15);
        scratch.reset(new char[scratch_size + LineReader::PAD]());
    }

    // Writes the piece rewritten; tags is what its marks found.
    void piece(Piece p, Tags tags);
};

void Rewriter::piece(Piece p, Tags tags)
{
    // The renderer's page skeleton: the body tags and the short html lines.
    if (tags.body || (p.n <= 8 && short_html(p.line, p.n)))
        return;
    if (deco.active && find(p.line, p.n, 0, Lit{deco.pattern.data(), deco.pattern.size()}) >= 0) {
        if (const void* gt = std::memchr(p.line, '>', p.n)) {
            std::size_t g = static_cast<std::size_t>(static_cast<const char*>(gt) - p.line);
            std::size_t size = p.n + deco.attr.size();
            if (scratch_size - scratch_used < size) {
                out.flush();
                scratch_used = 0;
            }
            char* d = scratch.get() + scratch_used;
            scratch_used += size;
            std::memcpy(d, p.line, g);
            std::memcpy(d + g, deco.attr.data(), deco.attr.size());
            std::memcpy(d + g + deco.attr.size(), p.line + g, p.n - g);
            marker.block(d, (size + 63) / 64, classes, bits.get(), bits.get() + words);
            p = Piece{d, size, bits.get() + words, 0};
            tags = tags_of(p);
        }
    }

    const char* line = p.line;
    const std::size_t n = p.n;
    int i = NOT_FOUND;
    std::size_t pos = 0;
    Aux aux(marker, classes, p, bits.get() + 2 * words);
    const int sonderbehandlung = classify(aux, tags, &i);
    switch (sonderbehandlung) {
    case SPECIAL_DOWNLOAD:
        pos = static_cast<std::size_t>(i);
        // The byte after the pattern (the link's '>') is dropped; without
        // one there is nothing to rewrite.
        if (pos + DOWNLOAD.n >= n) {
            out.put(line, n);
            break;
        }
        out.put(line, pos);
        put(out, DOWNLOAD_NEW);
        out.put(line + pos + DOWNLOAD.n + 1, n - pos - DOWNLOAD.n - 1);
        break;
    case SPECIAL_WIDTH:
        write_width(out, line, n, i);
        break;
    case SPECIAL_IMAGE: {
        // The image's own closing, not one of an earlier tag.
        int k = find(line, n, static_cast<std::size_t>(i), IMG_END);
        if (k < 0) {
            out.put(line, n);
            break;
        }
        pos = static_cast<std::size_t>(k);
        out.put(line, pos);
        put(out, IMG_FLUID);
        out.put(line + pos + IMG_END.n, n - pos - IMG_END.n);
        break;
    }
    case SPECIAL_HEADING: {
        // The id goes; the rest resumes at the quote that closes it.
        int k = find(line, n, static_cast<std::size_t>(i), TAG_END);
        if (k < 0) {
            out.put(line, n);
            break;
        }
        out.put(line, static_cast<std::size_t>(i) + 4);
        put(out, top ? H2_TOP : H2_MID);
        top = false;
        out.put(line + k, n - static_cast<std::size_t>(k));
        break;
    }
    case SPECIAL_QUOTE_END:
        out.put(line, n);
        blockquote = true;
        break;
    case SPECIAL_WEITER:
    case SPECIAL_ZURUECK:
    case SPECIAL_INHALT: {
        if (i < 0) {
            out.put(line, n);
            break;
        }
        Lit icon = sonderbehandlung == SPECIAL_WEITER    ? ICON_WEITER
                   : sonderbehandlung == SPECIAL_ZURUECK ? ICON_ZURUECK
                                                         : ICON_INHALT;
        write_parts(out, line, n, static_cast<std::size_t>(i) + TAG_END.n, icon);
        break;
    }
    default:
        if (blockquote) {
            blockquote = false;
            int k = find(line, n, 0, P_OPEN);
            if (k >= 0)
                write_parts(out, line, n, static_cast<std::size_t>(k) + 2, ZITAT);
            else
                out.put(line, n);
        } else if (equal_table && (find(line, n, 0, ROW_ODD) >= 0 || find(line, n, 0, ROW_EVEN) >= 0)) {
            put(out, ROW_EQUAL);
        } else {
            out.put(line, n);
        }
        break;
    }
}

}  // namespace

void schreibeInhalt(std::FILE* fi, std::FILE* fo, bool equal_table, const char* div_tag)
{
    const Decoration deco = prepare_decoration(div_tag);
    const Classes classes = make_classes(equal_table);
    const Marker marker = pick_marker();
    std::unique_ptr<Sink> sink(new Sink(fo, true));
    Sink& out = *sink;
    Rewriter rw(out, deco, equal_table, marker, classes);

    // The input is read a block at a time and marked in one pass: where the
    // newlines are and where a pattern may begin. Pieces without a mark are
    // copied as they are, many at once; only marked pieces are looked at,
    // in place.
    LineReader reader(fi);
    constexpr std::size_t WORDS = (LineReader::CARRY + LineReader::BLOCK) / 64 + 1;
    std::unique_ptr<std::uint64_t[]> bits(new std::uint64_t[2 * WORDS]);
    std::uint64_t* nl = bits.get();
    std::uint64_t* cand = bits.get() + WORDS;
    std::size_t s = 0;    // where the next piece starts
    std::size_t run = 0;  // where the unmarked pieces not yet written start
    for (;;) {
        const char* b = reader.buf.get();
        const std::size_t end = reader.end;
        // The piece that starts at ps: where it ends, or 0 while the block
        // ends before it does.
        auto piece_end = [&](std::size_t ps) -> std::size_t {
            std::size_t limit = end - ps < LINE_MAX_READ ? end : ps + LINE_MAX_READ;
            std::size_t e = next_bit(nl, ps, limit);
            if (e < limit)
                return e + 1;  // through the newline
            return limit - ps == LINE_MAX_READ || reader.done ? limit : 0;
        };
        std::size_t ps = s;  // the start of the next piece to look at
        if (!rw.blockquote && !deco.active) {
            std::size_t c = next_bit(cand, s, end);
            if (c == end && reader.done) {
                // A last piece without a newline was not marked for html.
                std::size_t q = prev_bit(nl, s, end);
                std::size_t line_start = q < end ? q + 1 : s;
                std::size_t last = line_start + (end - line_start) / LINE_MAX_READ * LINE_MAX_READ;
                if (last < end && end - last <= 8 && short_html(b + last, end - last))
                    c = last;
            }
            if (c == end) {
                if (reader.done) {
                    s = end;
                    break;
                }
                // All unmarked: what is whole goes; a piece the block ends in
                // the middle of is read again with the next block.
                std::size_t q = prev_bit(nl, s, end);
                ps = q < end ? q + 1 : s;
            } else {
                // A newline always ends a piece; after the last one before
                // the mark, a long line makes pieces of 1023 bytes.
                std::size_t q = prev_bit(nl, s, c);
                ps = q < c ? q + 1 : s;
            }
            // Lines are short: only a long one needs the division.
            if (c - ps >= LINE_MAX_READ)
                ps += (c - ps) / LINE_MAX_READ * LINE_MAX_READ;
        }
        std::size_t e = ps < end ? piece_end(ps) : reader.done ? ps : 0;
        if (e == 0) {
            // The piece at ps goes on in the next block, which takes the
            // place of this one.
            out.put(b + run, ps - run);
            out.flush();
            reader.pos = ps;
            refill(reader);
            std::size_t first = reader.pos / 64;
            marker.block(reader.buf.get() + first * 64, (reader.end + 63) / 64 - first, classes, nl + first,
                         cand + first);
            s = run = reader.pos;
            continue;
        }
        if (e == ps) {
            s = ps;
            break;
        }
        out.put(b + run, ps - run);
        Piece p{b + ps, e - ps, cand, ps};
        rw.piece(p, tags_of(p));
        s = run = e;
    }
    out.put(reader.buf.get() + run, s - run);
    out.flush();
}
