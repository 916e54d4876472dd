// Tables as pandoc writes them: column widths for wide tables, header,
// odd and even rows, alignment; the straight quotation marks of a cell are
// paired here, since the library's smart punctuation leaves them.
#include <algorithm>
#include <cstdint>

#include <cmark-gfm-core-extensions.h>

#include "markdown/utf8.h"
#include "markdown/writer.h"

namespace md {
namespace {

// The number of dashes and colons of each column in a separator line.
std::vector<std::size_t> separator_widths(std::string_view sep)
{
    std::vector<std::size_t> lens;
    std::size_t cur = 0;
    bool any = false;
    for (char c : sep) {
        if (c == '|') {
            if (any)
                lens.push_back(cur);
            cur = 0;
            any = false;
        } else if (c == '-' || c == ':') {
            ++cur;
            any = true;
        }
    }
    if (any)
        lens.push_back(cur);
    return lens;
}

const char* align_style(char a)
{
    switch (a) {
    case 'l': return " style=\"text-align: left;\"";
    case 'c': return " style=\"text-align: center;\"";
    case 'r': return " style=\"text-align: right;\"";
    default: return "";
    }
}

}  // namespace

// Pandoc gives the columns relative widths from the dashes of the
// separator line once any line of the table is wider than 72 characters.
void Writer::column_widths(cmark_node* node, std::size_t cols)
{
    int first = cmark_node_get_start_line(node), last = cmark_node_get_end_line(node);
    std::size_t skip = start_offset(node);
    std::size_t widest = 0;
    for (int l = first; l <= last; ++l) {
        std::string_view line = source->line(l);
        widest = std::max(widest, chars(line.substr(std::min(skip, line.size()))));
    }
    if (widest <= 72)
        return;
    std::vector<std::size_t> lens = separator_widths(source->line(first + 1));
    std::size_t total = 0;
    for (std::size_t l : lens)
        total += l;
    if (lens.size() != cols || total == 0)
        return;
    out += "<colgroup>\n";
    for (std::size_t l : lens) {
        double w = static_cast<double>(l) / static_cast<double>(total);
        out += "<col style=\"width: " + std::to_string(static_cast<long long>(100 * w)) + "%\" />\n";
    }
    out += "</colgroup>\n";
}

void Writer::table(cmark_node* node)
{
    uint16_t cols = cmark_gfm_extensions_get_table_columns(node);
    const uint8_t* align = cmark_gfm_extensions_get_table_alignments(node);
    out += "<table>\n";
    column_widths(node, cols);
    bool body_open = false;
    int row_number = 0;
    for (cmark_node* row = cmark_node_first_child(node); row; row = cmark_node_next(row)) {
        bool header = cmark_gfm_extensions_get_table_row_is_header(row) != 0;
        if (header) {
            out += "<thead>\n<tr class=\"header\">\n";
        } else {
            if (!body_open)
                out += "<tbody>\n";
            body_open = true;
            out += ++row_number % 2 ? "<tr class=\"odd\">\n" : "<tr class=\"even\">\n";
        }
        const char* tag = header ? "th" : "td";
        std::size_t col = 0;
        for (cmark_node* cell = cmark_node_first_child(row); cell; cell = cmark_node_next(cell), ++col) {
            out += '<';
            out += tag;
            out += align_style(align && col < cols ? static_cast<char>(align[col]) : 0);
            out += '>';
            straight = true;
            prepare_quotes(cell);
            inlines(cell);
            straight = false;
            out += "</";
            out += tag;
            out += ">\n";
        }
        out += header ? "</tr>\n</thead>\n" : "</tr>\n";
    }
    if (body_open)
        out += "</tbody>\n";
    out += "</table>";
}

}  // namespace md
