#include "scan.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QB_AVX2 1
#endif

// Where a pattern of the classification may stand: a byte of one of the
// classes below followed by a byte that the same class accepts next (and,
// for most, a third). Each is rare in running text, at a fixed place in its
// pattern.
//   "%20"                "%20download\""
//   "h2 "                "<h2 id=\"" (one class with the one above); not
//                        "h2>": a heading's end tag needs no look
//   "{wi"                "{width="
//   "<bo"                "<body" (one class with the one above)
//   "<tr"                "<tr class=", only when table rows are made equal
//                        (one class with the two above)
//   "/bo"                "</body"
//   "/bl"                "</blockquote>" (one class with the one above);
//                        not "<bl": a quotation's opening line needs no look
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
// few others ("(2", "e2", "<ro", "|bo"...), which are looked at and
// passed over.

namespace {

constexpr unsigned BIT_ATTR = 0;
constexpr unsigned BIT_TAG = 1;
constexpr unsigned BIT_WEITER = 2;
constexpr unsigned BIT_SKIP = 3;
constexpr unsigned BIT_INHALT = 4;
constexpr unsigned BIT_ZURUECK = 6;
// The top bit, where the vector code's movemask takes it from.
constexpr unsigned BIT_HTML = 7;
// The classes that look at three bytes, not two.
constexpr unsigned TRIPLE_BITS =
    1u << BIT_ATTR | 1u << BIT_TAG | 1u << BIT_WEITER | 1u << BIT_SKIP | 1u << BIT_INHALT | 1u << BIT_ZURUECK;

// Every byte of a class is ASCII: the vector code relies on it (see
// avx2_classes), and the test of the vector scan against the portable one
// would see a class that is not.
void add_class(Classes& c, int set, unsigned bit, const char* bytes)
{
    for (; *bytes; ++bytes) {
        unsigned char x = static_cast<unsigned char>(*bytes);
        c.lo[set][x & 15] = static_cast<unsigned char>(c.lo[set][x & 15] | (1u << bit));
        c.hi[set][x >> 4] = static_cast<unsigned char>(c.hi[set][x >> 4] | (1u << bit));
    }
}

}  // namespace

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
        {BIT_ATTR, {"%h", "2", "0 "}},
        {BIT_TAG, {"{<", "wb", "io"}},
        {BIT_WEITER, {"wW", "eE", "iI"}},
        {BIT_SKIP, {"/", "b", "ol"}},
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
        add_class(c, 1, BIT_TAG, "t");
        add_class(c, 2, BIT_TAG, "r");
    }
    // Of each link word the pair that is rarest in running text.
    const char* const words[][2] = {{"nN", "hH"}, {"wW", "eE"}, {"cC", "kK"}, {"\"", ">"}};
    for (unsigned bit = 0; bit < 4; ++bit) {
        add_class(c, 3, bit, words[bit][0]);
        add_class(c, 4, bit, words[bit][1]);
    }
    return c;
}

namespace {

// The classes of set that the pair x, y is in, one bit each.
inline unsigned pair_bits(const Classes& c, int set, unsigned char x, unsigned char y)
{
    return c.lo[set][x & 15] & c.hi[set][x >> 4] & c.lo[set + 1][y & 15] & c.hi[set + 1][y >> 4];
}

// Of the marks of html's "tm", those with a newline 3 to 6 bytes after the
// 't': only there can "html" stand in a piece of at most 8 bytes that ends in a
// newline. nl and next are the newlines of this word and the next one.
inline std::uint64_t html_near_newline(std::uint64_t html, std::uint64_t nl, std::uint64_t next)
{
    // Most words hold no "tm" at all.
    if (!html)
        return 0;
    // nl >> k for k = 3 to 6, and the next word's newlines moved in from
    // the top: next << (64 - k).
    std::uint64_t ahead = nl | nl >> 1;
    ahead |= ahead >> 2;
    std::uint64_t behind = next | next << 1;
    behind |= behind << 2;
    return html & (ahead >> 3 | behind << 58);
}

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
// A byte from 0x80 on looks up 0 in lo without its nibble being masked, as
// the shuffle gives 0 for it. That is right for the classes, whose bytes are
// all ASCII, but not for the "anything" of the third byte: any_byte keeps the
// mask.
template <bool any_byte = false>
QB_TARGET_AVX2 inline __m256i avx2_classes(const char* q, __m256i lo, __m256i hi)
{
    const __m256i nibble = _mm256_set1_epi8(0x0f);
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
    return _mm256_and_si256(_mm256_shuffle_epi8(lo, any_byte ? _mm256_and_si256(a, nibble) : a),
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
    c = _mm256_and_si256(c, avx2_classes<true>(q + 2, t.lo[2], t.hi[2]));
    // Any of the low seven bits carries into the top one when 0x7f is added.
    static_assert(BIT_HTML == 7);
    const __m256i low = _mm256_set1_epi8(0x7f);
    *k = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_add_epi8(_mm256_and_si256(c, low), low)));
    *h = static_cast<std::uint32_t>(_mm256_movemask_epi8(c));
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

}  // namespace

Marker pick_marker(bool portable)
{
    const Marker plain{mark_block_plain, mark_aux_plain};
    // Asked for, or the only code there is where no vector code is built
    // (other processors than x86-64): the byte-by-byte code.
    if (portable)
        return plain;
#if defined(QB_AVX2)
    if (__builtin_cpu_supports("avx2"))
        return {mark_block_avx2, mark_aux_avx2};
#endif
    return plain;
}

void mark_bytes(const char* p, std::size_t words, bool equal_table, bool portable, std::uint64_t* nl,
                std::uint64_t* cand, std::uint64_t* aux)
{
    const Marker marker = pick_marker(portable);
    const Classes classes = make_classes(equal_table);
    marker.block(p, words, classes, nl, cand);
    marker.aux(p, words, classes, aux);
}
