// Quotation marks: which straight or curly marks of a block pair up, the way
// pandoc decides it, and the German marks they become.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <cmark-gfm.h>

namespace md {

enum Role : unsigned char { LONE, OPENS, CLOSES };

// What one mark of the text becomes.
struct Quote {
    char32_t c = 0;
    Role role = LONE;
};

// Whether the character c of len bytes is a quotation mark: a curly one
// always, a straight one only where smart punctuation does not reach
// (straight, in a table cell).
bool is_quote(char32_t c, std::size_t len, bool straight);

// The marks of the inlines below block, in document order.
std::vector<Quote> block_quotes(cmark_node* block, bool straight);

// The straight marks of run, the text parts of an HTML block joined.
std::vector<Quote> straight_quotes(std::string_view run);

}  // namespace md
