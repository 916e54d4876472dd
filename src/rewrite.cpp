// schreibeInhalt: the input read a block at a time, and the pieces that the
// scan marked handed to the line rules.
#include "rewrite.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include "fileio.h"
#include "gather.h"
#include "rewrite/line.h"
#include "rewrite/rules.h"
#include "scan.h"

namespace rw {
namespace {

constexpr Lit ROW_ODD = lit("<tr class=\"odd\">");
constexpr Lit ROW_EVEN = lit("<tr class=\"even\">");
constexpr Lit ROW_EQUAL = lit("<tr class=\"equal\">\n");

// The rewriting of one call: its state from line to line and its buffers.
// The rewriting of a piece stays beside the loop that hands the pieces
// over: called for every piece, it must not cost a call of its own.
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
        std::size_t largest = LINE_SIZE + deco.growth;
        words = largest / 64 + 1;
        bits.reset(new std::uint64_t[3 * words]);
        if (!deco.active)
            return;
        scratch_size = largest * 4 > (1u << 15) ? largest * 4 : (1u << 15);
        scratch.reset(new char[scratch_size + LineReader::PAD]());
    }

    // Writes the piece rewritten; tags is what its marks found.
    void piece(Piece p, Tags tags);
    // Points p at a decorated copy when it holds the -d tag and a '>'.
    void decorate(Piece& p, Tags& tags);
    // A plain line: the quotation and table-row rules.
    void plain(const char* line, std::size_t n);
};

void Rewriter::decorate(Piece& p, Tags& tags)
{
    bool any = false;
    for (const Decoration::Rule& r : deco.rules)
        any = any || find(p.line, p.n, 0, Lit{r.pattern.data(), r.pattern.size()}) >= 0;
    if (!any || !std::memchr(p.line, '>', p.n))
        return;
    std::size_t room = p.n + deco.growth;
    if (scratch_size - scratch_used < room) {
        out.flush();
        scratch_used = 0;
    }
    char* d = scratch.get() + scratch_used;
    std::memcpy(d, p.line, p.n);
    std::size_t size = apply_decoration(deco, d, p.n, room);
    scratch_used += size;
    marker.block(d, (size + 63) / 64, classes, bits.get(), bits.get() + words);
    p = Piece{d, size, bits.get() + words, 0};
    tags = tags_of(p);
}

void Rewriter::plain(const char* line, std::size_t n)
{
    if (blockquote) {
        blockquote = false;
        write_zitat(out, line, n);
    } else if (equal_table && (find(line, n, 0, ROW_ODD) >= 0 || find(line, n, 0, ROW_EVEN) >= 0)) {
        put(out, ROW_EQUAL);
    } else {
        out.put(line, n);
    }
}

void Rewriter::piece(Piece p, Tags tags)
{
    // The renderer's page skeleton: the body tags and the short html lines.
    if (tags.body || (p.n <= 8 && short_html(p.line, p.n)))
        return;
    if (deco.active)
        decorate(p, tags);

    int i = NOT_FOUND;
    Aux aux(marker, classes, p, bits.get() + 2 * words);
    const int sonderbehandlung = classify(aux, tags, &i);
    switch (sonderbehandlung) {
    case SPECIAL_DOWNLOAD:
        write_download(out, p.line, p.n, i);
        break;
    case SPECIAL_WIDTH:
        write_width(out, p.line, p.n, i);
        break;
    case SPECIAL_IMAGE:
        write_image(out, p.line, p.n, i);
        break;
    case SPECIAL_HEADING:
        write_heading(out, p.line, p.n, i, top);
        break;
    case SPECIAL_QUOTE_END:
        out.put(p.line, p.n);
        blockquote = true;
        break;
    case SPECIAL_WEITER:
    case SPECIAL_ZURUECK:
    case SPECIAL_INHALT:
        write_link(out, p.line, p.n, i, sonderbehandlung);
        break;
    default:
        plain(p.line, p.n);
        break;
    }
}

// Where the first piece that needs a look starts, at or after s (the start
// of a piece) in the block b[0, end): the piece of the first mark, or of a
// last short html line, which is never marked. When nothing needs a look,
// the piece the block ends in, or end once the input is done.
std::size_t first_to_look_at(const char* b, std::size_t s, std::size_t end, bool done, const std::uint64_t* nl,
                             const std::uint64_t* cand)
{
    std::size_t c = next_bit(cand, s, end);
    if (c == end && done) {
        // A last piece without a newline was not marked for html.
        std::size_t q = prev_bit(nl, s, end);
        std::size_t line_start = q < end ? q + 1 : s;
        std::size_t last = line_start + (end - line_start) / LINE_MAX_READ * LINE_MAX_READ;
        if (last < end && end - last <= 8 && rw::short_html(b + last, end - last))
            c = last;
    }
    if (c == end && done)
        return end;
    // A newline always ends a piece; after the last one before the mark (or
    // the block's end), a long line makes pieces of 1023 bytes.
    std::size_t q = prev_bit(nl, s, c);
    std::size_t ps = q < c ? q + 1 : s;
    // Lines are short: only a long one needs the division.
    if (c - ps >= LINE_MAX_READ)
        ps += (c - ps) / LINE_MAX_READ * LINE_MAX_READ;
    return ps;
}

}  // namespace
}  // namespace rw

void schreibeInhalt(std::FILE* fi, std::FILE* fo, bool equal_table, const char* div_tag)
{
    const rw::Decoration deco = rw::prepare_decoration(div_tag);
    const Classes classes = make_classes(equal_table);
    const Marker marker = pick_marker();
    std::unique_ptr<Sink> sink(new Sink(fo, true));
    Sink& out = *sink;
    rw::Rewriter writer(out, deco, equal_table, marker, classes);

    // The input is read a block at a time and marked in one pass: where the
    // newlines are and where a pattern may begin. Pieces without a mark are
    // copied as they are, many at once; only marked pieces are looked at,
    // in place. A quotation's next line and a -d tag need every piece.
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
        std::size_t ps = writer.blockquote || deco.active ? s : rw::first_to_look_at(b, s, end, reader.done, nl, cand);
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
        rw::Piece p{b + ps, e - ps, cand, ps};
        writer.piece(p, rw::tags_of(p));
        s = run = e;
    }
    out.put(reader.buf.get() + run, s - run);
    out.flush();
}
