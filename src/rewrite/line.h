// The rewritings of the special cases: each writes one line, rewritten, or
// as it is when the line lacks what its rewriting needs. i is the position
// that the classification found.
#pragma once

#include <cstddef>

#include "gather.h"
#include "rewrite/rules.h"

namespace rw {

inline void put(Sink& out, Lit l)
{
    out.put(l.s, l.n);
}

// Special case 1: the link's target keeps its name, gains "download".
void write_download(Sink& out, const char* line, std::size_t n, int i);
// Special case 2: "{width=…}" behind an image becomes its style; prints
// what it found to stdout.
void write_width(Sink& out, const char* line, std::size_t n, int i);
// Special case 3: the image's class.
void write_image(Sink& out, const char* line, std::size_t n, int i);
// Special case 4: the heading's class, h2_top while top is set (cleared).
void write_heading(Sink& out, const char* line, std::size_t n, int i, bool& top);
// Special cases 6 to 8: the icon after the first "\">".
void write_link(Sink& out, const char* line, std::size_t n, int i, int sonderbehandlung);
// The plain line after a quotation: its paragraph of class zitat.
void write_zitat(Sink& out, const char* line, std::size_t n);

}  // namespace rw
