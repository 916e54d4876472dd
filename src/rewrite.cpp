#include "rewrite.h"

#include <cstring>
#include <memory>
#include <string>

#include "fileio.h"

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

inline void put(std::FILE* fo, const char* p, std::size_t n)
{
    if (n)
        std::fwrite(p, 1, n, fo);
}

inline void put(std::FILE* fo, Lit l)
{
    std::fwrite(l.s, 1, l.n, fo);
}

// Whether l stands at pos (pos <= n).
inline bool at(const char* line, std::size_t n, std::size_t pos, Lit l)
{
    return n - pos >= l.n && std::memcmp(line + pos, l.s, l.n) == 0;
}

// Position of the first l at or after from, or NOT_FOUND.
int find(const char* line, std::size_t n, std::size_t from, Lit l)
{
    if (from > n)
        return NOT_FOUND;
    const void* p = ::memmem(line + from, n - from, l.s, l.n);
    return p ? as_pos(static_cast<std::size_t>(static_cast<const char*>(p) - line)) : NOT_FOUND;
}

// Position of the first l, found by hopping over the first byte of l with
// memchr: fast for patterns whose first byte is rare in running text.
int find_hop(const char* line, std::size_t n, std::size_t from, Lit l)
{
    const char* end = line + n;
    const char* q = line + from;
    while (q < end && (q = static_cast<const char*>(std::memchr(q, l.s[0], static_cast<std::size_t>(end - q))))) {
        std::size_t pos = static_cast<std::size_t>(q - line);
        if (at(line, n, pos, l))
            return as_pos(pos);
        ++q;
    }
    return NOT_FOUND;
}

bool has_href(const char* line, std::size_t n)
{
    // '=' is rarer than 'h'; look back from each one.
    const char* end = line + n;
    const char* q = line;
    while (q < end && (q = static_cast<const char*>(std::memchr(q, '=', static_cast<std::size_t>(end - q))))) {
        if (q - line >= 4 && std::memcmp(q - 4, HREF.s, 4) == 0)
            return true;
        ++q;
    }
    return false;
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

// Special case of a link line from its words, in one pass: Inhalt wins over
// Weiter, Weiter over Zurück, wherever on the line they stand.
int link_words(const char* line, std::size_t n)
{
    bool weiter = false;
    bool zurueck = false;
    for (std::size_t pos = 0; pos < n; ++pos) {
        switch (upper(static_cast<unsigned char>(line[pos]))) {
        case 'I':
            if (at_upper(line, n, pos, WORD_INHALT))
                return SPECIAL_INHALT;
            break;
        case 'W':
            weiter = weiter || at_upper(line, n, pos, WORD_WEITER);
            break;
        case 'Z':
            zurueck = zurueck || at_upper(line, n, pos, WORD_ZURUECK);
            break;
        default:
            break;
        }
    }
    return weiter ? SPECIAL_WEITER : zurueck ? SPECIAL_ZURUECK : SPECIAL_PLAIN;
}

// What the tags of a line hold: most tests of the classification look for
// a pattern that begins with '<', so one hop over the '<' of the line
// answers all of them.
struct Tags {
    bool body = false;       // "<body" or "</body"
    bool quote_end = false;  // "</blockquote>"
    bool row = false;        // odd or even table row
    bool decorate = false;   // the -d tag pattern
    int img = NOT_FOUND;     // first "<img src="
    int h2 = NOT_FOUND;      // first "<h2 id=\""
    int p = NOT_FOUND;       // first "<p>"
};

Tags scan_tags(const char* line, std::size_t n, const std::string* pattern)
{
    Tags t;
    const char* end = line + n;
    const char* q = line;
    while (q < end && (q = static_cast<const char*>(std::memchr(q, '<', static_cast<std::size_t>(end - q))))) {
        std::size_t pos = static_cast<std::size_t>(q - line);
        std::size_t rest = n - pos;
        if (pattern && !t.decorate && rest >= pattern->size() &&
            std::memcmp(q, pattern->data(), pattern->size()) == 0)
            t.decorate = true;
        if (rest >= 2) {
            switch (q[1]) {
            case 'b':
                t.body = t.body || at(line, n, pos, BODY_OPEN);
                break;
            case '/':
                t.body = t.body || at(line, n, pos, BODY_CLOSE);
                t.quote_end = t.quote_end || at(line, n, pos, QUOTE_END);
                break;
            case 'i':
                if (t.img < 0 && at(line, n, pos, IMG))
                    t.img = as_pos(pos);
                break;
            case 'h':
                if (t.h2 < 0 && at(line, n, pos, H2))
                    t.h2 = as_pos(pos);
                break;
            case 'p':
                if (t.p < 0 && at(line, n, pos, P_OPEN))
                    t.p = as_pos(pos);
                break;
            case 't':
                t.row = t.row || at(line, n, pos, ROW_ODD) || at(line, n, pos, ROW_EVEN);
                break;
            default:
                break;
            }
        }
        ++q;
    }
    return t;
}

// The classification, with the '<' patterns already found in t.
int classify(const char* line, std::size_t n, const Tags& t, int* i)
{
    *i = find_hop(line, n, 0, DOWNLOAD);
    if (*i >= 0)
        return SPECIAL_DOWNLOAD;
    // Only the first "{width=" counts, and not at the very start of a line.
    *i = find_hop(line, n, 0, WIDTH);
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
    if (!has_href(line, n))
        return SPECIAL_PLAIN;
    *i = find_hop(line, n, 0, TAG_END);
    return link_words(line, n);
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
void write_parts(std::FILE* fo, const char* line, std::size_t n, std::size_t pos, Lit part)
{
    put(fo, line, pos);
    put(fo, part);
    put(fo, line + pos, n - pos);
}

void write_width(std::FILE* fo, const char* line, std::size_t n, int i)
{
    std::printf("gefunden: i=%d\n", i);
    std::size_t start = static_cast<std::size_t>(i);
    // The '=' of "{width="; the pattern itself guarantees where it is.
    std::size_t k = start + WIDTH.n - 1;
    const void* close = std::memchr(line + k + 1, '}', n - k - 1);
    std::size_t j = close ? static_cast<std::size_t>(static_cast<const char*>(close) - line) : n;
    std::printf("i=%d  | j=%d  | k=%d", i, as_pos(j), as_pos(k));
    if (!close) {
        std::fputs("\n=============\nFehler beim Ersetzen von width!\n==============\n", stdout);
        put(fo, line, n);
        return;
    }
    // The image tag's own " />" in front of "{width=" makes way for the style.
    put(fo, line, start - 3);
    put(fo, WIDTH_OPEN);
    put(fo, line + k + 1, j - k - 1);
    put(fo, WIDTH_CLOSE);
    put(fo, line + j + 1, n - j - 1);
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
    write_parts(fo, zeile, n, pos, Lit{part, std::strlen(part)});
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
    return classify(zeile, n, scan_tags(zeile, n, nullptr), i);
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

void schreibeInhalt(std::FILE* fi, std::FILE* fo, bool equal_table, const char* div_tag)
{
    const Decoration deco = prepare_decoration(div_tag);
    // A decorated piece grows by the attribute; its buffer has room for that
    // and for the largest piece, so no decoration is ever cut.
    std::unique_ptr<char[]> decorated;
    if (deco.active)
        decorated.reset(new char[LINE_SIZE + deco.attr.size()]);
    const std::string* pattern = deco.active ? &deco.pattern : nullptr;

    LineReader reader(fi);
    char zeile[LINE_SIZE];
    bool top = true;
    bool blockquote = false;
    int i = NOT_FOUND;
    while (std::size_t n = read_piece(reader, zeile)) {
        const char* line = zeile;
        Tags tags = scan_tags(line, n, pattern);
        // The renderer's page skeleton: the body tags and the short html lines.
        if (tags.body || (n <= 8 && find(line, n, 0, HTML) >= 0))
            continue;
        if (tags.decorate) {
            if (const void* gt = std::memchr(line, '>', n)) {
                std::size_t g = static_cast<std::size_t>(static_cast<const char*>(gt) - line);
                char* out = decorated.get();
                std::memcpy(out, line, g);
                std::memcpy(out + g, deco.attr.data(), deco.attr.size());
                std::memcpy(out + g + deco.attr.size(), line + g, n - g);
                n += deco.attr.size();
                line = out;
                tags = scan_tags(line, n, nullptr);
            }
        }

        std::size_t pos = 0;
        const int sonderbehandlung = classify(line, n, tags, &i);
        switch (sonderbehandlung) {
        case SPECIAL_DOWNLOAD:
            pos = static_cast<std::size_t>(i);
            // The byte after the pattern (the link's '>') is dropped; without
            // one there is nothing to rewrite.
            if (pos + DOWNLOAD.n >= n) {
                put(fo, line, n);
                break;
            }
            put(fo, line, pos);
            put(fo, DOWNLOAD_NEW);
            put(fo, line + pos + DOWNLOAD.n + 1, n - pos - DOWNLOAD.n - 1);
            break;
        case SPECIAL_WIDTH:
            write_width(fo, line, n, i);
            break;
        case SPECIAL_IMAGE: {
            // The image's own closing, not one of an earlier tag.
            int k = find(line, n, static_cast<std::size_t>(i), IMG_END);
            if (k < 0) {
                put(fo, line, n);
                break;
            }
            pos = static_cast<std::size_t>(k);
            put(fo, line, pos);
            put(fo, IMG_FLUID);
            put(fo, line + pos + IMG_END.n, n - pos - IMG_END.n);
            break;
        }
        case SPECIAL_HEADING: {
            // The id goes; the rest resumes at the quote that closes it.
            int k = find_hop(line, n, static_cast<std::size_t>(i), TAG_END);
            if (k < 0) {
                put(fo, line, n);
                break;
            }
            put(fo, line, static_cast<std::size_t>(i) + 4);
            put(fo, top ? H2_TOP : H2_MID);
            top = false;
            put(fo, line + k, n - static_cast<std::size_t>(k));
            break;
        }
        case SPECIAL_QUOTE_END:
            put(fo, line, n);
            blockquote = true;
            break;
        case SPECIAL_WEITER:
        case SPECIAL_ZURUECK:
        case SPECIAL_INHALT: {
            if (i < 0) {
                put(fo, line, n);
                break;
            }
            Lit icon = sonderbehandlung == SPECIAL_WEITER    ? ICON_WEITER
                       : sonderbehandlung == SPECIAL_ZURUECK ? ICON_ZURUECK
                                                             : ICON_INHALT;
            write_parts(fo, line, n, static_cast<std::size_t>(i) + TAG_END.n, icon);
            break;
        }
        default:
            if (blockquote) {
                blockquote = false;
                if (tags.p >= 0)
                    write_parts(fo, line, n, static_cast<std::size_t>(tags.p) + 2, ZITAT);
                else
                    put(fo, line, n);
            } else if (equal_table && tags.row) {
                put(fo, ROW_EQUAL);
            } else {
                put(fo, line, n);
            }
            break;
        }
    }
}
