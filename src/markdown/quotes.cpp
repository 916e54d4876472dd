// Pairing of quotation marks into the German „…“ and ‚…‘.
//
// The library's smart punctuation turns every straight quotation mark of
// the text into a curly one (an escaped one stays straight); in table cells
// it does not work, so there the straight ones count. Which of them pair up
// is decided here the way pandoc decides it: a mark opens when no letter or
// digit stands before it and no blank after it, and the first mark of its
// kind that may close it does (a single one only when no letter or digit
// follows); a double mark that opens nothing is an opening one when a
// non-blank follows, else a closing one; a single one is an apostrophe.
#include "markdown/quotes.h"

#include "markdown/nodes.h"
#include "markdown/utf8.h"

namespace md {
namespace {

constexpr char32_t LDQ = 0x201C, RDQ = 0x201D, LSQ = 0x2018, RSQ = 0x2019;

bool is_double(char32_t c)
{
    return c == LDQ || c == RDQ || c == '"';
}

struct Mark {
    std::size_t at;
    std::size_t len;
    char32_t c;
};

char32_t after_mark(std::string_view text, const Mark& m)
{
    std::size_t len = 0;
    return m.at + m.len < text.size() ? decode(text, m.at + m.len, &len) : 0;
}

// The mark that closes marks[k], or to when none does.
std::size_t closing_mark(std::string_view text, const std::vector<Mark>& marks, std::size_t k, std::size_t to)
{
    const Mark& m = marks[k];
    bool dbl = is_double(m.c);
    for (std::size_t j = k + 1; j < to; ++j) {
        if (is_double(marks[j].c) != dbl)
            continue;
        if (!dbl && is_alnum(after_mark(text, marks[j])))
            continue;
        return marks[j].at > m.at + m.len ? j : to;
    }
    return to;
}

void pair_range(std::string_view text, const std::vector<Mark>& marks, std::size_t from, std::size_t to,
                bool in_double, bool in_single, std::vector<Quote>& result)
{
    for (std::size_t k = from; k < to; ++k) {
        const Mark& m = marks[k];
        bool dbl = is_double(m.c);
        char32_t next = after_mark(text, m);
        char32_t prev = decode_before(text, m.at);
        bool can_open = !is_alnum(prev) && !is_blank(next) && !(dbl ? in_double : in_single);
        if (can_open) {
            std::size_t close = closing_mark(text, marks, k, to);
            if (close < to) {
                result[k] = {dbl ? char32_t{0x201E} : char32_t{0x201A}, OPENS};
                result[close] = {dbl ? char32_t{0x201C} : char32_t{0x2018}, CLOSES};
                pair_range(text, marks, k + 1, close, in_double || dbl, in_single || !dbl, result);
                k = close;
                continue;
            }
        }
        result[k] = {dbl ? (is_blank(next) ? RDQ : LDQ) : RSQ, LONE};
    }
}

std::vector<Quote> pair_all(std::string_view text, const std::vector<Mark>& marks)
{
    std::vector<Quote> result(marks.size());
    pair_range(text, marks, 0, marks.size(), false, false, result);
    return result;
}

}  // namespace

bool is_quote(char32_t c, std::size_t len, bool straight)
{
    if (len == 3)
        return c == LDQ || c == RDQ || c == LSQ || c == RSQ;
    return straight && len == 1 && (c == '"' || c == '\'');
}

std::vector<Quote> block_quotes(cmark_node* block, bool straight)
{
    // The running text of the block; code counts as a non-blank that is no
    // letter, so a quotation mark may open in front of it.
    std::string run;
    std::vector<Mark> marks;
    walk(block, [&](cmark_event_type ev, cmark_node* n) {
        if (ev != CMARK_EVENT_ENTER)
            return;
        cmark_node_type ty = cmark_node_get_type(n);
        if (ty == CMARK_NODE_TEXT) {
            std::string_view s = literal(n);
            for (std::size_t i = 0; i < s.size();) {
                std::size_t len = 0;
                char32_t c = decode(s, i, &len);
                if (is_quote(c, len, straight))
                    marks.push_back({run.size() + i, len, c});
                i += len;
            }
            run += s;
        } else if (ty == CMARK_NODE_CODE) {
            run += '\x01';
        } else if (ty == CMARK_NODE_SOFTBREAK || ty == CMARK_NODE_LINEBREAK) {
            run += ' ';
        }
    });
    return pair_all(run, marks);
}

std::vector<Quote> straight_quotes(std::string_view run)
{
    std::vector<Mark> marks;
    for (std::size_t k = 0; k < run.size(); ++k)
        if (run[k] == '"' || run[k] == '\'')
            marks.push_back({k, 1, static_cast<char32_t>(run[k])});
    return pair_all(run, marks);
}

}  // namespace md
