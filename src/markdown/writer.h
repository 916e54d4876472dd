// The HTML writer: the state of one rendering and the functions that write
// blocks, inlines and notes the way pandoc writes them.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "markdown/nodes.h"
#include "markdown/quotes.h"

namespace md {

struct Writer {
    std::string out;
    const Lines* source = nullptr;
    std::set<std::string> ids;
    // The quotation marks of the current leaf block, in document order.
    std::vector<Quote> quotes;
    std::size_t next_quote = 0;
    // In a table cell the library's smart punctuation makes dashes but leaves
    // the quotation marks straight; an escaped \-\- stays as it is there too.
    bool straight = false;
    bool pending_space = false;
    bool written = false;       // inline content written in the current block
    bool just_opened = false;   // the last thing written opens a quotation
    bool in_note = false;
    std::string task_box;  // a task item's box, due in its first paragraph
    // Footnotes: the definitions by label, and the notes in the order of
    // their references (pandoc numbers every reference as a note of its own).
    std::vector<cmark_node*> definitions;
    std::vector<std::string> labels;
    std::vector<cmark_node*> notes;

    // text.cpp: running text.
    void prepare_quotes(cmark_node* block);
    void text(std::string_view s, bool attr, std::string* into);
    void pass_over(std::string_view part);
    void put_chunk(std::string& chunk, bool attr, std::string* into);
    void script(std::string_view inner, bool sup);
    // inlines.cpp
    void inlines(cmark_node* block);
    void inline_node(cmark_node* n, bool enter, std::vector<cmark_node*>& swapped);
    void link(cmark_node* n, bool enter);
    std::string alt_text(cmark_node* image);
    // blocks.cpp
    void leaf(cmark_node* node, bool tight);
    void code_block(cmark_node* node);
    void html_block(std::string_view html);
    void open_container(cmark_node* n, bool* inner_tight);
    void close_container(cmark_node* n);
    // table.cpp
    void table(cmark_node* node);
    void column_widths(cmark_node* node, std::size_t cols);
    // footnotes.cpp
    void footnote_ref(cmark_node* ref);

    void flush_space()
    {
        if (pending_space && written && !just_opened)
            out += ' ';
        pending_space = false;
        just_opened = false;
    }
    void space()
    {
        if (!just_opened)
            pending_space = true;
    }
};

// The blocks below root, each written whole, separated by newlines.
void write_document(Writer& w, cmark_node* root);

// The notes referred to, at the end of the document.
void write_notes(Writer& w);

}  // namespace md
