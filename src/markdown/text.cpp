// Running text: blanks collapsed, quotation marks paired, TeX commands left
// out, pandoc's ^super^ and ~sub~scripts.
#include "markdown/escape.h"
#include "markdown/typography.h"
#include "markdown/utf8.h"
#include "markdown/writer.h"

namespace md {
namespace {

// ^hoch^ and ~tief~, pandoc's own: the offset of the closing mark of the
// one that opens at s[i], or npos. No blank inside, and ~~ is strikethrough.
std::size_t script_end(std::string_view s, std::size_t i)
{
    char c = s[i];
    if (c != '^' && (c != '~' || s.substr(i).starts_with("~~")))
        return std::string_view::npos;
    std::size_t close = s.find(c, i + 1);
    if (close != std::string_view::npos && close > i + 1 &&
        s.substr(i + 1, close - i - 1).find_first_of(" \t\n") == std::string_view::npos)
        return close;
    return std::string_view::npos;
}

}  // namespace

void Writer::prepare_quotes(cmark_node* block)
{
    quotes = block_quotes(block, straight);
    next_quote = 0;
}

// Text left out keeps the quotation marks of the block in step.
void Writer::pass_over(std::string_view part)
{
    for (std::size_t k = 0; k < part.size();) {
        std::size_t l = 0;
        if (is_quote(decode(part, k, &l), l, straight) && next_quote < quotes.size())
            ++next_quote;
        k += l;
    }
}

void Writer::put_chunk(std::string& chunk, bool attr, std::string* into)
{
    if (chunk.empty())
        return;
    if (attr) {
        escape_attr(*into, chunk);
    } else {
        flush_space();
        escape_text(out, chunk);
        written = true;
    }
    chunk.clear();
}

void Writer::script(std::string_view inner, bool sup)
{
    flush_space();
    out += sup ? "<sup>" : "<sub>";
    std::string text;
    for (std::size_t k = 0; k < inner.size();) {
        std::size_t l = 0;
        char32_t q = decode(inner, k, &l);
        if (is_quote(q, l, straight) && next_quote < quotes.size())
            encode(text, quotes[next_quote++].c);
        else
            text.append(inner.substr(k, l));
        k += l;
    }
    escape_text(out, text);
    out += sup ? "</sup>" : "</sub>";
    written = true;
}

// Writes text with its blanks collapsed and its quotation marks replaced,
// to out or, for an attribute, to *into. A backslash before letters is a
// TeX command to pandoc, which leaves it out of an HTML page; a backslash
// before a blank makes a non-breaking space.
void Writer::text(std::string_view s, bool attr, std::string* into)
{
    std::string chunk;
    for (std::size_t i = 0; i < s.size();) {
        char c = s[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (attr) {
                put_chunk(chunk, attr, into);
                if (!into->empty() && into->back() != ' ')
                    *into += ' ';
            } else if (!(chunk.empty() && just_opened)) {
                put_chunk(chunk, attr, into);
                space();
            }
            ++i;
            continue;
        }
        if (c == '\\' && i + 1 < s.size() && s[i + 1] == ' ') {
            chunk += "\u00a0";
            i += 2;
            continue;
        }
        if (c == '\\' && i + 1 < s.size() && ascii_letter(s[i + 1])) {
            std::string_view dropped;
            i = tex_command(s, i, &dropped);
            pass_over(dropped);
            continue;
        }
        if (std::size_t close = attr ? std::string_view::npos : script_end(s, i); close != std::string_view::npos) {
            put_chunk(chunk, attr, into);
            script(s.substr(i + 1, close - i - 1), c == '^');
            i = close + 1;
            continue;
        }
        std::size_t len = 0;
        char32_t cp = decode(s, i, &len);
        if (is_quote(cp, len, straight) && next_quote < quotes.size()) {
            const Quote& q = quotes[next_quote++];
            if (q.role == CLOSES && chunk.empty())
                pending_space = false;
            encode(chunk, q.c);
            if (q.role == OPENS && !attr) {
                put_chunk(chunk, attr, into);
                just_opened = true;
            }
        } else {
            chunk.append(s.substr(i, len));
        }
        i += len;
    }
    put_chunk(chunk, attr, into);
}

}  // namespace md
