#include "rewrite.h"

#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include <sys/uio.h>
#include <unistd.h>

#include "fileio.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QB_AVX2 1
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

// The page text on its way to the stream, gathered rather than copied: each
// put only notes where the bytes are (the input block, a literal, the
// rewriter's scratch area), so they must stay in place until the next flush.
// A flush hands them to the descriptor with one writev, after whatever stdio
// holds for the stream. A stream without a descriptor (a memory stream), or
// one whose direct write failed, gets them through stdio, which then also
// keeps any error for the caller to see.
struct Sink {
    Sink(std::FILE* f, bool direct) : fo(f), fd(direct ? ::fileno(f) : -1) {}
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

#if defined(IOV_MAX) && IOV_MAX < 1024
    static constexpr std::size_t MAX = IOV_MAX;
#else
    static constexpr std::size_t MAX = 1024;
#endif
    std::FILE* fo;
    int fd;
    std::size_t cnt = 0;
    std::size_t bytes = 0;  // in iov[0, cnt)
    iovec iov[MAX];

    void put(const char* p, std::size_t n)
    {
        if (n == 0)
            return;
        if (cnt) {
            iovec& last = iov[cnt - 1];
            if (static_cast<const char*>(last.iov_base) + last.iov_len == p) {
                last.iov_len += n;
                bytes += n;
                return;
            }
        }
        if (cnt == MAX)
            flush();
        iov[cnt++] = {const_cast<char*>(p), n};
        bytes += n;
    }
    void put(Lit l) { put(l.s, l.n); }
    void flush();
};

void Sink::flush()
{
    std::size_t first = 0;
    if (fd >= 0 && cnt && std::fflush(fo) != 0)
        fd = -1;
    while (fd >= 0 && first < cnt) {
        ssize_t w = ::writev(fd, iov + first, static_cast<int>(cnt - first));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            fd = -1;
            break;
        }
        auto done = static_cast<std::size_t>(w);
        if (done == bytes) {
            first = cnt;
            break;
        }
        bytes -= done;
        while (first < cnt && done >= iov[first].iov_len)
            done -= iov[first++].iov_len;
        if (done) {
            iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + done;
            iov[first].iov_len -= done;
        }
    }
    for (; first < cnt; ++first)
        std::fwrite(iov[first].iov_base, 1, iov[first].iov_len, fo);
    cnt = 0;
    bytes = 0;
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
// and patterns few: a plain loop beats memmem's setup here.
int find(const char* line, std::size_t n, std::size_t from, Lit l)
{
    if (from > n || n - from < l.n || l.n == 0)
        return l.n == 0 && from <= n ? as_pos(from) : NOT_FOUND;
    const char first = l.s[0];
    for (std::size_t pos = from, last = n - l.n; pos <= last; ++pos)
        if (line[pos] == first && std::memcmp(line + pos + 1, l.s + 1, l.n - 1) == 0)
            return as_pos(pos);
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

// Where a pattern of the classification may stand: a byte of one of the
// classes below followed by a byte that the same class accepts next (and,
// for the link words and the skeleton tags, a third). Each is rare in
// running text, at a fixed place in its pattern.
//   '%' then '2'         "%20download\""
//   'h' then '2'         "<h2 id=\"" (one class with the one above)
//   '{' then 'w'         "{width="
//   '<' then 't'         "<tr class=", only when table rows are made equal
//                        (one class with the one above)
//   "<bo", "/bo"         "<body", "</body"
//   "/bl"                "</blockquote>" (one class with the one above)
//   'm' then 'g'         "<img src="
//   't' then 'm'         "html" of a skeleton line, kept only where a
//                        newline follows 3 to 6 bytes after the 't'
//   "wei", "inh", "zur"  the link words, in any case, a class each
// A link is rewritten only when it holds one of the words, so "href=" need
// not be marked: most links hold none. Most lines hold none of these and are
// copied without a second look. A second set of classes marks, for the
// lines that hold a link word, a pair of letters of each link word (in any
// case) and the "\">" that ends a tag:
//   "nh" of Inhalt,  "we" of Weiter,  "ck" of Zurück,  '"' then '>'
//
// Membership is tested by nibbles, the way the vector code does it: byte x
// is in class k when bit k is set both in lo[x & 15] and in hi[x >> 4]. A
// class of one pattern is exact that way; the classes of more also take a
// few others ("(2", "e2", "?bo", ";t"...), which are looked at and
// passed over.
struct Classes {
    // [0] and [1]: first and second byte of a pattern; [2]: the byte after
    // them (only the classes of three ask anything of it); [3] and [4]: the
    // first and second byte for the link words and the tag end.
    unsigned char lo[5][16] = {};
    unsigned char hi[5][16] = {};
};

constexpr unsigned BIT_WEITER = 2;
constexpr unsigned BIT_SKIP = 3;
constexpr unsigned BIT_INHALT = 4;
constexpr unsigned BIT_HTML = 6;
constexpr unsigned BIT_ZURUECK = 7;
// The classes that look at three bytes, not two.
constexpr unsigned TRIPLE_BITS = 1u << BIT_WEITER | 1u << BIT_SKIP | 1u << BIT_INHALT | 1u << BIT_ZURUECK;

void add_class(Classes& c, int set, unsigned bit, const char* bytes)
{
    for (; *bytes; ++bytes) {
        unsigned char x = static_cast<unsigned char>(*bytes);
        c.lo[set][x & 15] = static_cast<unsigned char>(c.lo[set][x & 15] | (1u << bit));
        c.hi[set][x >> 4] = static_cast<unsigned char>(c.hi[set][x >> 4] | (1u << bit));
    }
}

Classes make_classes(bool equal_table)
{
    Classes c;
    // The byte after the pair: anything, but for the classes of three.
    for (unsigned x = 0; x < 16; ++x) {
        c.lo[2][x] = static_cast<unsigned char>(~TRIPLE_BITS);
        c.hi[2][x] = static_cast<unsigned char>(~TRIPLE_BITS);
    }
    struct Pattern {
        unsigned bit;
        const char* bytes[3];
    };
    const Pattern patterns[] = {
        {0, {"%h", "2"}},
        {1, {"{", "w"}},
        {BIT_WEITER, {"wW", "eE", "iI"}},
        {BIT_SKIP, {"</", "b", "ol"}},
        {BIT_INHALT, {"iI", "nN", "hH"}},
        {5, {"m", "g"}},
        {BIT_HTML, {"t", "m"}},
        {BIT_ZURUECK, {"zZ", "uU", "rR"}},
    };
    for (const Pattern& p : patterns)
        for (int set = 0; set < 3; ++set)
            if (p.bytes[set])
                add_class(c, set, p.bit, p.bytes[set]);
    if (equal_table) {
        add_class(c, 0, 1, "<");
        add_class(c, 1, 1, "t");
    }
    // Of each link word the pair that is rarest in running text.
    const char* const words[][2] = {{"nN", "hH"}, {"wW", "eE"}, {"cC", "kK"}, {"\"", ">"}};
    for (unsigned bit = 0; bit < 4; ++bit) {
        add_class(c, 3, bit, words[bit][0]);
        add_class(c, 4, bit, words[bit][1]);
    }
    return c;
}

// The classes of set that the pair x, y is in, one bit each.
inline unsigned pair_bits(const Classes& c, int set, unsigned char x, unsigned char y)
{
    return c.lo[set][x & 15] & c.hi[set][x >> 4] & c.lo[set + 1][y & 15] & c.hi[set + 1][y >> 4];
}

// Of the marks of html's "tm", those with a newline 3 to 6 bytes after the
// 't':
// only there can "html" stand in a piece of at most 8 bytes that ends in a
// newline. nl and next are the newlines of this word and the next one.
inline std::uint64_t html_near_newline(std::uint64_t html, std::uint64_t nl, std::uint64_t next)
{
    std::uint64_t near = 0;
    for (unsigned k = 3; k <= 6; ++k)
        near |= nl >> k | next << (64 - k);
    return html & near;
}

// Marks words words of 64 bytes from p on, one bit per byte: bit j of word
// w stands for the byte at 64 w + j. Reads the 2 bytes after the last word
// too; no newline counts there.
// A block is marked for its newlines (nl) and where a pattern may begin
// (cand); a line that holds a link word is marked again for its words and tag
// ends (aux), as few lines need that.
struct Marker {
    void (*block)(const char* p, std::size_t words, const Classes& c, std::uint64_t* nl, std::uint64_t* cand);
    void (*aux)(const char* p, std::size_t words, const Classes& c, std::uint64_t* aux);
};

void mark_block_plain(const char* p, std::size_t words, const Classes& c, std::uint64_t* nl, std::uint64_t* cand)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    std::uint64_t html = 0;
    for (std::size_t w = 0; w < words; ++w, u += 64) {
        std::uint64_t n = 0;
        std::uint64_t k = 0;
        std::uint64_t h = 0;
        for (unsigned j = 0; j < 64; ++j) {
            n |= static_cast<std::uint64_t>(u[j] == '\n') << j;
            unsigned bits = pair_bits(c, 0, u[j], u[j + 1]) & c.lo[2][u[j + 2] & 15] & c.hi[2][u[j + 2] >> 4];
            k |= static_cast<std::uint64_t>((bits & ~(1u << BIT_HTML)) != 0) << j;
            h |= static_cast<std::uint64_t>((bits >> BIT_HTML) & 1) << j;
        }
        nl[w] = n;
        cand[w] = k;
        if (w)
            cand[w - 1] |= html_near_newline(html, nl[w - 1], n);
        html = h;
    }
    if (words)
        cand[words - 1] |= html_near_newline(html, nl[words - 1], 0);
}

void mark_aux_plain(const char* p, std::size_t words, const Classes& c, std::uint64_t* aux)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    for (std::size_t w = 0; w < words; ++w, u += 64) {
        std::uint64_t x = 0;
        for (unsigned j = 0; j < 64; ++j)
            x |= static_cast<std::uint64_t>(pair_bits(c, 3, u[j], u[j + 1]) != 0) << j;
        aux[w] = x;
    }
}

#if defined(QB_AVX2)
#define QB_TARGET_AVX2 __attribute__((target("avx2")))

QB_TARGET_AVX2 inline __m256i avx2_table(const unsigned char* t)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t)));
}

// The classes the bytes at q are in by one set of tables, a bit each.
QB_TARGET_AVX2 inline __m256i avx2_classes(const char* q, __m256i lo, __m256i hi)
{
    const __m256i nibble = _mm256_set1_epi8(0x0f);
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
    return _mm256_and_si256(_mm256_shuffle_epi8(lo, _mm256_and_si256(a, nibble)),
                            _mm256_shuffle_epi8(hi, _mm256_and_si256(_mm256_srli_epi16(a, 4), nibble)));
}

QB_TARGET_AVX2 inline std::uint32_t avx2_any(__m256i k)
{
    return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(k, _mm256_setzero_si256())));
}

struct Avx2Tables {
    __m256i lo[3];
    __m256i hi[3];
};

// For the 32 bytes at q: where a pattern other than html may begin (k),
// where html's pair stands (h), and where the newlines are (n).
QB_TARGET_AVX2 inline void avx2_block32(const char* q, const Avx2Tables& t, std::uint32_t* k, std::uint32_t* h,
                                        std::uint32_t* n)
{
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
    __m256i c = _mm256_and_si256(avx2_classes(q, t.lo[0], t.hi[0]), avx2_classes(q + 1, t.lo[1], t.hi[1]));
    c = _mm256_and_si256(c, avx2_classes(q + 2, t.lo[2], t.hi[2]));
    *k = avx2_any(_mm256_and_si256(c, _mm256_set1_epi8(static_cast<char>(~(1u << BIT_HTML) & 0xff))));
    // The html bit moved to the top, where movemask takes it from.
    static_assert(BIT_HTML == 6);
    *h = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_add_epi8(c, c)));
    *n = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, _mm256_set1_epi8('\n'))));
}

QB_TARGET_AVX2 void mark_block_avx2(const char* p, std::size_t words, const Classes& c, std::uint64_t* nl,
                                    std::uint64_t* cand)
{
    Avx2Tables t;
    for (int set = 0; set < 3; ++set) {
        t.lo[set] = avx2_table(c.lo[set]);
        t.hi[set] = avx2_table(c.hi[set]);
    }
    std::uint64_t html = 0;
    for (std::size_t w = 0; w < words; ++w, p += 64) {
        std::uint32_t k0, k1, h0, h1, n0, n1;
        avx2_block32(p, t, &k0, &h0, &n0);
        avx2_block32(p + 32, t, &k1, &h1, &n1);
        std::uint64_t n = n0 | std::uint64_t{n1} << 32;
        nl[w] = n;
        cand[w] = k0 | std::uint64_t{k1} << 32;
        if (w)
            cand[w - 1] |= html_near_newline(html, nl[w - 1], n);
        html = h0 | std::uint64_t{h1} << 32;
    }
    if (words)
        cand[words - 1] |= html_near_newline(html, nl[words - 1], 0);
}

QB_TARGET_AVX2 void mark_aux_avx2(const char* p, std::size_t words, const Classes& c, std::uint64_t* aux)
{
    const __m256i lo1 = avx2_table(c.lo[3]);
    const __m256i hi1 = avx2_table(c.hi[3]);
    const __m256i lo2 = avx2_table(c.lo[4]);
    const __m256i hi2 = avx2_table(c.hi[4]);
    for (std::size_t w = 0; w < words; ++w, p += 64) {
        std::uint64_t x0 = avx2_any(_mm256_and_si256(avx2_classes(p, lo1, hi1), avx2_classes(p + 1, lo2, hi2)));
        std::uint64_t x1 =
            avx2_any(_mm256_and_si256(avx2_classes(p + 32, lo1, hi1), avx2_classes(p + 33, lo2, hi2)));
        aux[w] = x0 | x1 << 32;
    }
}
#endif

Marker pick_marker()
{
#if defined(QB_AVX2)
    if (__builtin_cpu_supports("avx2"))
        return {mark_block_avx2, mark_aux_avx2};
#endif
    return {mark_block_plain, mark_aux_plain};
}

// The first set bit in [from, to), or to.
inline std::size_t next_bit(const std::uint64_t* bits, std::size_t from, std::size_t to)
{
    if (from >= to)
        return to;
    std::size_t w = from >> 6;
    std::uint64_t m = bits[w] & (~std::uint64_t{0} << (from & 63));
    for (;;) {
        if (m) {
            std::size_t pos = (w << 6) + static_cast<std::size_t>(std::countr_zero(m));
            return pos < to ? pos : to;
        }
        if (++w << 6 >= to)
            return to;
        m = bits[w];
    }
}

// The last set bit in [from, to), or to when there is none.
inline std::size_t prev_bit(const std::uint64_t* bits, std::size_t from, std::size_t to)
{
    if (from >= to)
        return to;
    std::size_t w = (to - 1) >> 6;
    std::uint64_t m = bits[w] & (~std::uint64_t{0} >> (63 - ((to - 1) & 63)));
    for (;;) {
        if (m) {
            std::size_t pos = (w << 6) + 63 - static_cast<std::size_t>(std::countl_zero(m));
            return pos >= from ? pos : to;
        }
        if (w == 0 || --w < (from >> 6))
            return to;
        m = bits[w];
    }
}

// A piece in the buffer it was marked in: line[0, n) is the stretch that
// starts at bit s of cand. At least 65 bytes after it may be read.
struct Piece {
    const char* line;
    std::size_t n;
    const std::uint64_t* cand;
    std::size_t s;
};

// Calls f(pos) for each position of line[0, n) marked in bits from bit s
// on, in order, until f returns false.
template <typename F>
inline void for_each_mark(const std::uint64_t* bits, std::size_t s, std::size_t n, std::size_t from, F&& f)
{
    const std::size_t e = s + n;
    std::size_t b = s + from;
    if (b >= e)
        return;
    std::size_t w = b >> 6;
    std::uint64_t m = bits[w] & (~std::uint64_t{0} << (b & 63));
    for (;;) {
        for (; m; m &= m - 1) {
            b = (w << 6) + static_cast<std::size_t>(std::countr_zero(m));
            if (b >= e || !f(b - s))
                return;
        }
        if (++w << 6 >= e)
            return;
        m = bits[w];
    }
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
    out.put(part);
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

void mark_bytes(const char* p, std::size_t words, bool equal_table, bool portable, std::uint64_t* nl,
                std::uint64_t* cand, std::uint64_t* aux)
{
    const Marker marker = portable ? Marker{mark_block_plain, mark_aux_plain} : pick_marker();
    const Classes classes = make_classes(equal_table);
    marker.block(p, words, classes, nl, cand);
    marker.aux(p, words, classes, aux);
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
        int k = find_tag_end(aux, static_cast<std::size_t>(i));
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
            int k = find(line, n, 0, P_OPEN);
            if (k >= 0)
                write_parts(out, line, n, static_cast<std::size_t>(k) + 2, ZITAT);
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
