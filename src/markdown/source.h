// The Markdown source made ready for the library: what pandoc reads
// otherwise is rewritten in the text before it is parsed.
#pragma once

#include <string>

#include "markdown/nodes.h"

namespace md {

// Drops a YAML metadata block at the top, turns the markers of deeply
// nested lines and of lines that pandoc reads as part of the paragraph
// before them into text, removes the markers of definitions, and leaves
// the parsed result of the rewritten src in d.
void prepare_source(std::string& src, Doc& d);

}  // namespace md
