// The SEO file: its reader and the dialogue that writes it.
#pragma once

#include <cstdio>

#include "quennelbrook.h"

// Reads keywords, description and robots from the SEO file; fields the file
// does not set, and all three when it cannot be opened, are empty.
Seo_data read_seo(const char* seo_datei);
// The same for an open stream; seo_datei only names the file in warnings.
Seo_data read_seo_stream(std::FILE* fi, const char* seo_datei);
// Asks for the three texts on standard input and writes the SEO file.
// Returns the process status: STATUS_OK, also when the input ends at a
// prompt (no file is written then), or STATUS_IO when output cannot be
// written (an existing file is left as it was).
int generate_seo(const char* output);
