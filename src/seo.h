// The SEO file: its reader and the dialogue that writes it.
#pragma once

#include <cstdio>

#include "quennelbrook.h"

// Keywords, description and robots text of a page, as read from its SEO file
// (and written into the page's header block).
struct Seo_data {
    char keywords[LINE_SIZE];
    char description[LINE_SIZE];
    char robots[LINE_SIZE];
};

// Reads keywords, description and robots from the SEO file; fields the file
// does not set, and all three when it cannot be opened, are empty. A file
// that opens but cannot be read to its end is reported and sets *read_failed.
Seo_data read_seo(const char* seo_datei, bool* read_failed);
// The same for an open stream; seo_datei only names the file in warnings.
Seo_data read_seo_stream(std::FILE* fi, const char* seo_datei);
// Asks for the three texts on standard input and writes the SEO file.
// Returns the process status: STATUS_OK, also when the input ends at a
// prompt (no file is written then), or STATUS_IO when output cannot be
// written, a prompt cannot be shown or the input cannot be read (an existing
// file is left as it was).
int generate_seo(const char* output);
