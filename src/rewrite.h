// Content rewriting: the line rules and the tag decoration. The search
// helpers they build on are in search.h, the scan that finds the lines
// worth a look in scan.h, the writer in gather.h; the parts of the rewriter
// are in rewrite/.
#pragma once

#include <cstddef>
#include <cstdio>

#include "quennelbrook.h"
#include "search.h"

// Writes zeile with part inserted at position i (clamped to the line).
void writeParts(std::FILE* fo, const char* zeile, int i, const char* part);
// The special case (0 to 8) of a line; stores the position found by the
// last position test in *i.
int getSonderbehandlung(const char* zeile, int* i);
// Copies fi to fo line by line, rewriting each line into the site's markup.
// equal_table makes odd and even table rows alike; div_tag ("tag.class" or
// "tag#id", may be null or empty) decorates the lines that hold the tag;
// several decorations (an article's block may ask for them) stand one per
// line of div_tag.
void schreibeInhalt(std::FILE* fi, std::FILE* fo, bool equal_table, const char* div_tag);
// Adds the div_tag attribute to zeile, a line buffer of LINE_SIZE bytes, in
// place, when the line holds the tag. A line that would outgrow the buffer
// stays as it is; schreibeInhalt itself decorates into a larger buffer, so
// the page never loses a decoration or a byte.
void check_div_tag(char* zeile, const char* div_tag);

// The classification of getSonderbehandlung for a line of n bytes that may
// hold zero bytes (they are ordinary bytes here). This is the form the
// rewriter uses; on a line without zero bytes it gives the same special case
// and, for cases 1 to 4 and 6 to 8, the same position.
int classify_line(const char* zeile, std::size_t n, int* i);
