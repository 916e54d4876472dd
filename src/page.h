// Page assembly: the page generators and the navigation links. The
// skeleton's writers (header block, section opener, closing block) are the
// page format's.
#pragma once

#include <cstdio>

#include "pageformat.h"
#include "quennelbrook.h"

// ---- The full page ----

// Writes the PHP page output from the HTML fragment input. Returns the
// process status; on failure the output is left as it was. With seo, its
// values stand in place of the SEO file's.
int generate3(const char* input, const char* output, const char* title, const char* zeile1,
              const char* carousel, bool gen_menu, int menue, bool veroeffentlicht,
              bool equal_table, const char* datum, const char* seo_datei,
              const char* link_zurueck, const char* link_vor, const char* link_inhalt,
              const char* div_tag, const char* footer, const Seo_data* seo = nullptr);
// One navigation link of kind art (0 contents, 1 next, 2 previous).
void writeLink(std::FILE* fp, const char* link, bool* breakWritten, int art);

// ---- News and merged pages ----

// Puts the fragment input as the newest entry on top of the news page output.
int generate(const char* input, const char* output);
// Writes the two fragments one after the other into the page output.
int generate2(const char* input1, const char* input2, const char* output);
// The news page's header block, with its built-in values.
void write_header(std::FILE* fp);
// Copies the entries of the earlier page fi to fo unchanged, as the entry
// scanner finds them: from the first section opener up to the page's
// closing PHP block. fi must be a regular file (it is read twice). Returns
// false when fi could not be read.
bool schreibeKopie(std::FILE* fi, std::FILE* fo);
