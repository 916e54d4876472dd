// Fenced code whose info string starts with "{": where pandoc reads it
// otherwise than the library does.
#pragma once

#include <string>
#include <string_view>

#include "markdown/nodes.h"

namespace md {

// Whether pandoc reads a fence whose info string starts with "{" as a
// fence: only when nothing follows the closing brace.
bool pandoc_fence(std::string_view info);

// Whether the code block n is, to pandoc, a paragraph of inline code: a
// fence it does not read as one, closed and without a blank line inside
// ("```" opens a code span that the closing "```" ends).
bool inline_fence(cmark_node* n, const Lines& src);

// Writes such a block as the paragraph pandoc makes of it.
void write_inline_fence(std::string& out, cmark_node* n);

}  // namespace md
