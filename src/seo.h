// The SEO file: its reader and the dialogue that writes it.
#pragma once

#include "quennelbrook.h"

// Reads keywords, description and robots from the SEO file; fields the file
// does not set, and all three when it cannot be opened, are empty.
Seo_data read_seo(const char* seo_datei);
// Asks for the three texts on standard input and writes the SEO file.
// Returns the process status.
int generate_seo(const char* output);
