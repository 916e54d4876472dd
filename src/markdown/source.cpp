// Source preparation: front matter, the nesting limit, the lines that
// pandoc reads into a paragraph (interruptions), and the re-parse rounds.
#include "markdown/source.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "markdown/fences.h"

namespace md {
namespace {

bool blank_line(std::string_view l)
{
    return l.find_first_not_of(" \t\r") == std::string_view::npos;
}

// A YAML metadata block at the top is pandoc's, not the page's.
void drop_front_matter(std::string& src)
{
    if (!src.starts_with("---\n") && !src.starts_with("---\r\n"))
        return;
    Lines l(src);
    if (blank_line(l.line(2)))
        return;
    for (int k = 2; l.line(k).data(); ++k) {
        std::string_view x = l.line(k);
        if (x.ends_with('\r'))
            x.remove_suffix(1);
        if (x == "---" || x == "...") {
            std::size_t end = l.offset(x) + l.line(k).size();
            src.erase(0, std::min(end + 1, src.size()));
            return;
        }
    }
}

// The library's cost grows with the square of the nesting depth (every
// node it appends checks all its ancestors), so a line that opens more than
// MAX_NESTING quotations or list items at once gets the rest as text.
constexpr int MAX_NESTING = 128;

// The offset after the quotation or list marker at src[i], or i for none.
std::size_t after_container_marker(const std::string& src, std::size_t i, std::size_t end)
{
    if (i < end && src[i] == '>')
        return i + 1;
    if (i + 1 < end && std::strchr("-*+", src[i]) && src[i] != '\0' && src[i + 1] == ' ')
        return i + 2;
    std::size_t d = i;
    while (d < end && d < i + 9 && src[d] >= '0' && src[d] <= '9')
        ++d;
    if (d > i && d + 1 < end && (src[d] == '.' || src[d] == ')') && src[d + 1] == ' ')
        return d + 2;
    return i;
}

void limit_nesting(std::string& src)
{
    for (std::size_t at = 0; at < src.size();) {
        std::size_t end = src.find('\n', at);
        if (end == std::string::npos)
            end = src.size();
        int level = 0;
        std::size_t i = at;
        while (i < end) {
            while (i < end && (src[i] == ' ' || src[i] == '\t'))
                ++i;
            std::size_t next = after_container_marker(src, i, end);
            if (next == i)
                break;
            if (++level > MAX_NESTING) {
                src.insert(i, 1, '\\');
                ++end;
                break;
            }
            i = next;
        }
        at = end + 1;
    }
}

// Offset of the block marker that starts line l, or npos when the line
// holds none that a backslash should turn into text.
std::size_t marker_at(std::string_view l, std::size_t from)
{
    std::size_t i = std::min(from, l.size());
    std::size_t indent = 0;
    while (i < l.size() && (l[i] == ' ' || l[i] == '\t')) {
        ++i;
        ++indent;
    }
    if (i == l.size() || indent > 3)
        return std::string_view::npos;
    std::size_t digits = i;
    while (digits < l.size() && l[digits] >= '0' && l[digits] <= '9')
        ++digits;
    if (digits > i)
        return digits < l.size() && (l[digits] == '.' || l[digits] == ')') ? digits : std::string_view::npos;
    return l[i] != '\0' && std::strchr("-*+>#_", l[i]) ? i : std::string_view::npos;
}

bool fence_line(std::string_view l)
{
    std::size_t i = l.find_first_not_of(" \t");
    return i != std::string_view::npos && i < 4 && (l.substr(i).starts_with("```") || l.substr(i).starts_with("~~~"));
}

// Marks an offset at which a definition's ": " is removed rather than a
// backslash inserted.
constexpr std::size_t DEFINITION = std::size_t{1} << (sizeof(std::size_t) * 8 - 1);

// "```{name} ..." opens no code to pandoc: the line is text, and the next
// fence opens a block. The offset of its fence, or npos.
std::size_t fence_as_text(cmark_node* n, const Lines& src)
{
    const char* info = cmark_node_get_fence_info(n);
    if (!info || info[0] != '{' || pandoc_fence(info) || inline_fence(n, src))
        return std::string_view::npos;
    std::string_view l = src.line(cmark_node_get_start_line(n));
    std::size_t i = std::min(start_offset(n), l.size());
    while (i < l.size() && l[i] == ' ')
        ++i;
    if (i < l.size() && (l[i] == '`' || l[i] == '~'))
        return src.offset(l) + i;
    return std::string_view::npos;
}

// ": text" under a term of one line (right under it, or after a blank
// line) is a definition to pandoc: the marker goes.
void definition_markers(cmark_node* n, const Lines& src, std::vector<std::size_t>& at)
{
    std::size_t col = start_offset(n);
    cmark_node* prev = cmark_node_previous(n);
    bool term_before = prev && cmark_node_get_type(prev) == CMARK_NODE_PARAGRAPH &&
                       cmark_node_get_start_line(prev) == cmark_node_get_end_line(prev);
    int first = cmark_node_get_start_line(n);
    for (int k = term_before ? first : first + 1; k <= std::min(first + 1, cmark_node_get_end_line(n)); ++k) {
        std::string_view l = src.line(k);
        if (l.size() > col + 1 && l[col] == ':' && (l[col + 1] == ' ' || l[col + 1] == '\t'))
            at.push_back((src.offset(l) + col) | DEFINITION);
    }
}

// The lines right after paragraph n that pandoc reads as part of it.
void interrupting_lines(cmark_node* doc, cmark_node* n, const Lines& src, std::vector<std::size_t>& at)
{
    cmark_node* next = cmark_node_next(n);
    if (!next || cmark_node_get_start_line(next) != cmark_node_get_end_line(n) + 1)
        return;
    cmark_node_type ty = cmark_node_get_type(next);
    cmark_node* parent = cmark_node_parent(n);
    bool in_item = parent && cmark_node_get_type(parent) == CMARK_NODE_ITEM;
    bool atx = ty == CMARK_NODE_HEADING && cmark_node_get_start_line(next) == cmark_node_get_end_line(next);
    if (!(ty == CMARK_NODE_BLOCK_QUOTE || ty == CMARK_NODE_THEMATIC_BREAK || atx ||
          (ty == CMARK_NODE_LIST && !in_item)))
        return;
    int line = cmark_node_get_start_line(next);
    std::string_view l = src.line(line);
    if (l.data() == nullptr)
        return;
    std::size_t m = marker_at(l, start_offset(next));
    if (m == std::string_view::npos)
        return;
    at.push_back(src.offset(l) + m);
    if (parent != doc)
        return;
    for (int k = line + 1;; ++k) {
        l = src.line(k);
        if (l.data() == nullptr || blank_line(l) || fence_line(l))
            break;
        m = marker_at(l, 0);
        if (m != std::string_view::npos)
            at.push_back(src.offset(l) + m);
    }
}

// Where a paragraph is followed at once, without a blank line, by a list, a
// quotation, an ATX heading or a rule, pandoc's Markdown reads that line and
// the ones up to the next blank line as part of the paragraph. Returns the
// byte offsets at which a backslash makes the library read them so too. In
// a quotation only the first such line is found; the caller asks again.
std::vector<std::size_t> interruptions(cmark_node* doc, const Lines& src)
{
    std::vector<std::size_t> at;
    std::size_t fence = std::string_view::npos;
    walk(doc, [&](cmark_event_type ev, cmark_node* n) {
        if (ev != CMARK_EVENT_ENTER || fence != std::string_view::npos)
            return;
        if (cmark_node_get_type(n) == CMARK_NODE_CODE_BLOCK) {
            // The blocks after it change: one such fence per round.
            fence = fence_as_text(n, src);
            return;
        }
        if (cmark_node_get_type(n) != CMARK_NODE_PARAGRAPH)
            return;
        definition_markers(n, src, at);
        interrupting_lines(doc, n, src, at);
    });
    if (fence != std::string_view::npos)
        return {fence};
    return at;
}

// Removes a definition's marker at off with up to three blanks after it.
void drop_definition_marker(std::string& src, std::size_t off)
{
    std::size_t end = off + 1;
    while (end < src.size() && end < off + 4 && (src[end] == ' ' || src[end] == '\t'))
        ++end;
    src.erase(off, end - off);
}

}  // namespace

void prepare_source(std::string& src, Doc& d)
{
    drop_front_matter(src);
    limit_nesting(src);
    parse(d, src);
    // Lines in quotations are settled one per round, a few at most.
    for (int round = 0; round < 16; ++round) {
        std::vector<std::size_t> at = interruptions(d.root, Lines(src));
        if (at.empty())
            break;
        std::sort(at.begin(), at.end(),
                  [](std::size_t a, std::size_t b) { return (a & ~DEFINITION) < (b & ~DEFINITION); });
        // From the back, so that the offsets before each edit stay valid.
        for (std::size_t k = at.size(); k-- > 0;) {
            std::size_t off = at[k] & ~DEFINITION;
            if (at[k] & DEFINITION)
                drop_definition_marker(src, off);
            else
                src.insert(off, 1, '\\');
        }
        Doc again;
        parse(again, src);
        std::swap(d.parser, again.parser);
        std::swap(d.root, again.root);
    }
}

}  // namespace md
