// The scan of the line rewriter: a block of input at a time, one bit per
// byte, it marks the newlines and the bytes where a pattern of the line rules
// may begin, so that the rules look only at the few lines that may need them.
// Vector code where the processor has it, and a portable path that must give
// the same bits.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

// The byte classes of the patterns, as nibble tables (see make_classes).
struct Classes {
    // [0] and [1]: first and second byte of a pattern; [2]: the byte after
    // them (only the classes of three ask anything of it); [3] and [4]: the
    // first and second byte for the link words and the tag end.
    unsigned char lo[5][16] = {};
    unsigned char hi[5][16] = {};
};

// The classes of the rewriter; equal_table adds the table rows.
Classes make_classes(bool equal_table);

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

// The vector code the processor has, or the byte-by-byte code when there is
// none or portable asks for it.
Marker pick_marker(bool portable = false);

// The marks for the bytes p[0, 64 words), reading the 2 bytes after them
// too: newlines (nl), where a pattern may begin (cand) and the byte pairs of
// a link word or a tag end (aux). portable picks the byte-by-byte code
// instead of the vector code the processor may have; both must give the same
// bits.
void mark_bytes(const char* p, std::size_t words, bool equal_table, bool portable, std::uint64_t* nl,
                std::uint64_t* cand, std::uint64_t* aux);
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

