// Markdown inputs: read whole, rendered in-process into the HTML fragment
// that the site's pandoc call writes, and handed to the rewriter as a stream.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// The largest Markdown input read; a larger one is refused with a message.
inline constexpr std::size_t MARKDOWN_MAX = std::size_t{16} << 20;

// Whether path names a Markdown input: it ends in ".md" or ".markdown".
bool is_markdown(const char* path);

// The HTML fragment for the Markdown text (n bytes, zero bytes allowed):
// one line per paragraph, pandoc's heading identifiers, German quotation
// marks, tables with header/odd/even row classes.
std::string render_markdown(const char* text, std::size_t n);

// Opens a page input for the rewriter. An HTML fragment is opened as it is;
// a Markdown input is read whole and rendered, and the stream reads the
// rendered text from memory that fclose releases. On failure it writes the
// message itself and returns nullptr.
std::FILE* open_fragment(const char* path);
