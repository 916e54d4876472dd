// The typographic replacements that pandoc makes where the library's smart
// punctuation does not reach (the text of HTML blocks), and TeX commands in
// running text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace md {

// At the start of rest: "---" appends an em dash, "--" an en dash, "..." an
// ellipsis. Returns the bytes replaced, 0 for none.
std::size_t dash_at(std::string_view rest, std::string& out);

// s[i] is a backslash before a letter: a TeX command, which pandoc leaves out
// of an HTML page. Returns the offset after the command and what it takes
// with it (a one-letter accent the next character, a braced argument); in
// *dropped the part of that in which quotation marks are to be counted.
std::size_t tex_command(std::string_view s, std::size_t i, std::string_view* dropped);

}  // namespace md
