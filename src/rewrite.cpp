#include "rewrite.h"

#include <cstring>
#include <memory>
#include <string>

#include "fileio.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The page text on its way to the stream, gathered in blocks: one stdio
// call per block instead of several per line. A sink without a buffer
// writes straight through.
struct Sink {
    std::FILE* fo;
    char* buf;
    std::size_t cap;
    std::size_t len = 0;

    void put(const char* p, std::size_t n)
    {
        if (n == 0)
            return;
        if (n > cap - len) {
            flush();
            if (n > cap) {
                std::fwrite(p, 1, n, fo);
                return;
            }
        }
        std::memcpy(buf + len, p, n);
        len += n;
    }
    void put(Lit l) { put(l.s, l.n); }
    void flush()
    {
        if (len)
            std::fwrite(buf, 1, len, fo);
        len = 0;
    }
};

constexpr std::size_t SINK_SIZE = 1 << 15;

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

// Position of the first l at or after from, or NOT_FOUND.
int find(const char* line, std::size_t n, std::size_t from, Lit l)
{
    if (from > n)
        return NOT_FOUND;
    const void* p = ::memmem(line + from, n - from, l.s, l.n);
    return p ? as_pos(static_cast<std::size_t>(static_cast<const char*>(p) - line)) : NOT_FOUND;
}

#if defined(__SSE2__)
inline __m128i load16(const char* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline std::size_t low_bit(unsigned mask)
{
    return static_cast<std::size_t>(__builtin_ctz(mask));
}

// Calls f(pos), in order, for the positions of the line whose bit is set in
// mask_of(p), until f returns false. mask_of looks at the 16 bytes from p
// and may also read the two after them. room is how many bytes from line on
// may be read (at least n): the last bytes of the line are read in place
// when the buffer reaches far enough, else from a zero-padded copy. Bits of
// positions outside the line are dropped; what mask_of saw past the line's
// end only ever adds positions, which f checks against the line's end.
template <typename M, typename F>
inline void scan_chunks(const char* line, std::size_t n, std::size_t room, M&& mask_of, F&& f)
{
    constexpr std::size_t AHEAD = 2;
    std::size_t base = 0;
    for (; base + 16 + AHEAD <= n; base += 16)
        for (unsigned m = mask_of(line + base); m; m &= m - 1)
            if (!f(base + low_bit(m)))
                return;
    // At most 16 + AHEAD - 1 bytes are left: two chunks at the most.
    char tmp[2 * 16 + AHEAD];
    const char* p = line + base;
    if (base + sizeof tmp > room) {
        std::memset(tmp, 0, sizeof tmp);
        std::memcpy(tmp, p, n - base);
        p = tmp;
    }
    for (std::size_t chunk = 0; base + chunk < n; chunk += 16) {
        std::size_t left = n - base - chunk;
        unsigned m = mask_of(p + chunk);
        if (left < 16)
            m &= (1u << left) - 1;
        for (; m; m &= m - 1)
            if (!f(base + chunk + low_bit(m)))
                return;
    }
}

inline unsigned movemask(__m128i v)
{
    return static_cast<unsigned>(_mm_movemask_epi8(v));
}
#endif

// Calls f(pos) for each position of the line where one of the patterns of
// the classification might stand: '<' before 'b', 'i', 'h' or "/b", '%'
// before '2', '{' before 'w', and the "f=" that ends "href=". Most lines hold
// none of these; they are passed over sixteen bytes at a time where the
// machine allows it. Without that, every '<', '%', '{' and 'f' is offered.
template <typename F>
inline void for_each_marker(const char* line, std::size_t n, std::size_t room, F&& f)
{
#if defined(__SSE2__)
    scan_chunks(
        line, n, room,
        [](const char* p) {
            __m128i v0 = load16(p);
            __m128i v1 = load16(p + 1);
            __m128i v2 = load16(p + 2);
            auto eq = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
            __m128i after_lt = _mm_or_si128(_mm_or_si128(eq(v1, 'b'), eq(v1, 'i')),
                                            _mm_or_si128(eq(v1, 'h'), _mm_and_si128(eq(v1, '/'), eq(v2, 'b'))));
            __m128i m = _mm_and_si128(eq(v0, '<'), after_lt);
            m = _mm_or_si128(m, _mm_and_si128(eq(v0, '%'), eq(v1, '2')));
            m = _mm_or_si128(m, _mm_and_si128(eq(v0, '{'), eq(v1, 'w')));
            m = _mm_or_si128(m, _mm_and_si128(eq(v0, 'f'), eq(v1, '=')));
            return movemask(m);
        },
        [&](std::size_t pos) {
            f(pos);
            return true;
        });
#else
    (void)room;
    for (std::size_t pos = 0; pos < n; ++pos) {
        char c = line[pos];
        if (c == '<' || c == '%' || c == '{' || c == 'f')
            f(pos);
    }
#endif
}

// Calls f(pos) for the positions where a link word might begin, until f
// returns false: at least every "inh", "wei" and "zur" in any case.
template <typename F>
inline void for_each_word_start(const char* line, std::size_t n, std::size_t room, F&& f)
{
#if defined(__SSE2__)
    // Setting bit 5 folds 'I' onto 'i', and nothing else onto it; the same
    // holds for the other five letters.
    const __m128i fold = _mm_set1_epi8(0x20);
    const __m128i ci = _mm_set1_epi8('i');
    const __m128i cw = _mm_set1_epi8('w');
    const __m128i cz = _mm_set1_epi8('z');
    const __m128i cn = _mm_set1_epi8('n');
    const __m128i ce = _mm_set1_epi8('e');
    const __m128i cu = _mm_set1_epi8('u');
    const __m128i ch = _mm_set1_epi8('h');
    const __m128i cr = _mm_set1_epi8('r');
    scan_chunks(
        line, n, room,
        [&](const char* p) {
            __m128i a = _mm_or_si128(load16(p), fold);
            __m128i b = _mm_or_si128(load16(p + 1), fold);  // each byte's successor
            __m128i c = _mm_or_si128(load16(p + 2), fold);  // and the one after
            __m128i fi = _mm_cmpeq_epi8(a, ci);
            __m128i fw = _mm_cmpeq_epi8(a, cw);
            __m128i fz = _mm_cmpeq_epi8(a, cz);
            __m128i inh = _mm_and_si128(fi, _mm_and_si128(_mm_cmpeq_epi8(b, cn), _mm_cmpeq_epi8(c, ch)));
            __m128i wei = _mm_and_si128(fw, _mm_and_si128(_mm_cmpeq_epi8(b, ce), _mm_cmpeq_epi8(c, ci)));
            __m128i zur = _mm_and_si128(fz, _mm_and_si128(_mm_cmpeq_epi8(b, cu), _mm_cmpeq_epi8(c, cr)));
            return movemask(_mm_or_si128(_mm_or_si128(inh, wei), zur));
        },
        f);
#else
    (void)room;
    for (std::size_t pos = 0; pos < n; ++pos) {
        unsigned char c = upper(static_cast<unsigned char>(line[pos]));
        if ((c == 'I' || c == 'W' || c == 'Z') && !f(pos))
            return;
    }
#endif
}

// Position of the first "\">" at or after from, or NOT_FOUND.
int find_tag_end(const char* line, std::size_t n, std::size_t from)
{
    const char* end = line + n;
    const char* q = line + from;
    while (q < end && (q = static_cast<const char*>(std::memchr(q, '"', static_cast<std::size_t>(end - q))))) {
        if (q + 1 < end && q[1] == '>')
            return as_pos(static_cast<std::size_t>(q - line));
        ++q;
    }
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

// Special case of a link line from its words, in one pass: Inhalt wins over
// Weiter, Weiter over Zurück, wherever on the line they stand.
int link_words(const char* line, std::size_t n, std::size_t room)
{
    bool inhalt = false;
    bool weiter = false;
    bool zurueck = false;
    for_each_word_start(line, n, room, [&](std::size_t pos) {
        switch (upper(static_cast<unsigned char>(line[pos]))) {
        case 'I':
            inhalt = at_upper(line, n, pos, WORD_INHALT);
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
        return !inhalt;
    });
    return inhalt ? SPECIAL_INHALT : weiter ? SPECIAL_WEITER : zurueck ? SPECIAL_ZURUECK : SPECIAL_PLAIN;
}

// What one pass over a line finds for the classification.
struct Tags {
    bool body = false;         // "<body" or "</body"
    bool quote_end = false;    // "</blockquote>"
    bool href = false;         // "href="
    int download = NOT_FOUND;  // first "%20download\""
    int width = NOT_FOUND;     // first "{width="
    int img = NOT_FOUND;       // first "<img src="
    int h2 = NOT_FOUND;        // first "<h2 id=\""
};

Tags scan_line(const char* line, std::size_t n, std::size_t room)
{
    Tags t;
    for_each_marker(line, n, room, [&](std::size_t pos) {
        switch (line[pos]) {
        case '%':
            if (t.download < 0 && at(line, n, pos, DOWNLOAD))
                t.download = as_pos(pos);
            return;
        case '{':
            if (t.width < 0 && at(line, n, pos, WIDTH))
                t.width = as_pos(pos);
            return;
        case 'f':
            t.href = t.href || (pos >= 3 && at(line, n, pos - 3, HREF));
            return;
        default:
            break;
        }
        if (n - pos < 2)
            return;
        switch (line[pos + 1]) {
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
        default:
            break;
        }
    });
    return t;
}

// The classification, from what the scan of the line found.
int classify(const char* line, std::size_t n, std::size_t room, const Tags& t, int* i)
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
    if (!t.href)
        return SPECIAL_PLAIN;
    *i = find_tag_end(line, n, 0);
    return link_words(line, n, room);
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
    out.put(part);
    out.put(line + pos, n - pos);
}

void write_width(Sink& out, const char* line, std::size_t n, int i)
{
    // Keep the page and the diagnostics in order when both go to stdout.
    if (out.fo == stdout)
        out.flush();
    std::printf("gefunden: i=%d\n", i);
    std::size_t start = static_cast<std::size_t>(i);
    // The '=' of "{width="; the pattern itself guarantees where it is.
    std::size_t k = start + WIDTH.n - 1;
    const void* close = std::memchr(line + k + 1, '}', n - k - 1);
    std::size_t j = close ? static_cast<std::size_t>(static_cast<const char*>(close) - line) : n;
    std::printf("i=%d  | j=%d  | k=%d", i, as_pos(j), as_pos(k));
    if (!close) {
        std::fputs("\n=============\nFehler beim Ersetzen von width!\n==============\n", stdout);
        out.put(line, n);
        return;
    }
    // The image tag's own " />" in front of "{width=" makes way for the style.
    out.put(line, start - 3);
    out.put(WIDTH_OPEN);
    out.put(line + k + 1, j - k - 1);
    out.put(WIDTH_CLOSE);
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
    Sink out{fo, nullptr, 0};
    write_parts(out, zeile, n, pos, Lit{part, std::strlen(part)});
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
    return classify(zeile, n, n, scan_line(zeile, n, n), i);
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
        decorated.reset(new char[LINE_SIZE + deco.attr.size()]());
    std::unique_ptr<char[]> block(new char[SINK_SIZE]);
    Sink out{fo, block.get(), SINK_SIZE};

    LineReader reader(fi);
    // Both line buffers start zeroed: the scan may read a line's last chunk
    // in place, past the line's end but inside the buffer, and ignores those
    // bytes.
    char zeile[LINE_SIZE] = {};
    bool top = true;
    bool blockquote = false;
    int i = NOT_FOUND;
    while (std::size_t n = read_piece(reader, zeile)) {
        const char* line = zeile;
        std::size_t room = LINE_SIZE;
        Tags tags = scan_line(line, n, room);
        // The renderer's page skeleton: the body tags and the short html lines.
        if (tags.body || (n <= 8 && short_html(line, n)))
            continue;
        if (deco.active && find(line, n, 0, Lit{deco.pattern.data(), deco.pattern.size()}) >= 0) {
            if (const void* gt = std::memchr(line, '>', n)) {
                std::size_t g = static_cast<std::size_t>(static_cast<const char*>(gt) - line);
                char* d = decorated.get();
                std::memcpy(d, line, g);
                std::memcpy(d + g, deco.attr.data(), deco.attr.size());
                std::memcpy(d + g + deco.attr.size(), line + g, n - g);
                n += deco.attr.size();
                line = d;
                room = LINE_SIZE + deco.attr.size();
                tags = scan_line(line, n, room);
            }
        }

        std::size_t pos = 0;
        const int sonderbehandlung = classify(line, n, room, tags, &i);
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
            out.put(DOWNLOAD_NEW);
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
            out.put(IMG_FLUID);
            out.put(line + pos + IMG_END.n, n - pos - IMG_END.n);
            break;
        }
        case SPECIAL_HEADING: {
            // The id goes; the rest resumes at the quote that closes it.
            int k = find_tag_end(line, n, static_cast<std::size_t>(i));
            if (k < 0) {
                out.put(line, n);
                break;
            }
            out.put(line, static_cast<std::size_t>(i) + 4);
            out.put(top ? H2_TOP : H2_MID);
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
                int p = find(line, n, 0, P_OPEN);
                if (p >= 0)
                    write_parts(out, line, n, static_cast<std::size_t>(p) + 2, ZITAT);
                else
                    out.put(line, n);
            } else if (equal_table && (find(line, n, 0, ROW_ODD) >= 0 || find(line, n, 0, ROW_EVEN) >= 0)) {
                out.put(ROW_EQUAL);
            } else {
                out.put(line, n);
            }
            break;
        }
    }
    out.flush();
}
