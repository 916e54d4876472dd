// The cmark-gfm side: parsing, walking the tree, a node's texts, and the
// source lines that the library's positions point into.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <cmark-gfm.h>

namespace md {

// A parsed document, freed with its parser.
struct Doc {
    cmark_parser* parser = nullptr;
    cmark_node* root = nullptr;
    Doc() = default;
    Doc(const Doc&) = delete;
    Doc& operator=(const Doc&) = delete;
    ~Doc();
};

// Parses text with smart punctuation, raw HTML, footnotes, tables,
// strikethrough and task lists.
void parse(Doc& d, std::string_view text);

std::string_view literal(cmark_node* n);
std::string_view type_name(cmark_node* n);

// Every event below node (node included), in document order.
template <class F>
void walk(cmark_node* node, F&& f)
{
    std::unique_ptr<cmark_iter, void (*)(cmark_iter*)> it(cmark_iter_new(node), cmark_iter_free);
    cmark_event_type ev;
    while ((ev = cmark_iter_next(it.get())) != CMARK_EVENT_DONE)
        f(ev, cmark_iter_get_node(it.get()));
}

// The text of the inlines below node, as pandoc's stringify gives it.
std::string plain_text(cmark_node* node);

// The start of every line of a text, for finding a node's source lines.
struct Lines {
    std::string_view text;
    std::vector<std::size_t> starts;
    explicit Lines(std::string_view all);
    // Line number (from 1) without its newline; data() is null past the end.
    std::string_view line(int number) const;
    // The byte offset of a view into text.
    std::size_t offset(std::string_view part) const
    {
        return static_cast<std::size_t>(part.data() - text.data());
    }
};

// A node's first column as an offset from the start of its line.
std::size_t start_offset(cmark_node* n);

}  // namespace md
