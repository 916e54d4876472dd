// Page assembly: the writers of a page's parts and the page generators.
#pragma once

#include <cstdio>

#include "quennelbrook.h"

// ---- The full page ----

// Writes the PHP page output from the HTML fragment input. Returns the
// process status; on failure the output is left as it was.
int generate3(const char* input, const char* output, const char* title, const char* zeile1,
              const char* carousel, bool gen_menu, int menue, bool veroeffentlicht,
              bool equal_table, const char* datum, const char* seo_datei,
              const char* link_zurueck, const char* link_vor, const char* link_inhalt,
              const char* div_tag, const char* footer);
// The PHP block with the page variables, then the section opener. Returns
// STATUS_IO, with a message, when the SEO file opens but cannot be read.
int write_header3(std::FILE* fp, const char* titel, const char* zeile1, const char* zeile2,
                  int menue, bool veroeffentlicht, const char* datum, const char* seo_datei,
                  const char* dateiname);
// Opens a section; with schreibeVeroeffentlicht, stamps it with the time.
void write_section(std::FILE* fp, bool schreibeVeroeffentlicht);
// One navigation link of kind art (0 contents, 1 next, 2 previous).
void writeLink(std::FILE* fp, const char* link, bool* breakWritten, int art);
// Closes the section and writes the closing PHP block. Returns the status
// of the card grid (STATUS_MENU when the menu file has a broken card).
int write_footer3(std::FILE* fp, const char* carousel, bool menu, bool writeDiff, const char* footer);

// Writes s as the inside of a PHP double-quoted literal.
void write_php_string(std::FILE* fp, const char* s);
// The publication time: SOURCE_DATE_EPOCH when it holds a non-negative
// decimal number, else now.
std::time_t publication_time();
// Reads the time of a stamp line that write_section wrote ("veröffentlicht:
// Mo, 3.5.2021 09:05" in its paragraph), n bytes at line, as local time of
// the run's time zone. False for any other line, a date the calendar does
// not have among them, and a free text stamp (-a).
bool read_stamp(const char* line, std::size_t n, std::time_t* when);

// ---- News and merged pages ----

// Puts the fragment input as the newest entry on top of the news page output.
int generate(const char* input, const char* output);
// Writes the two fragments one after the other into the page output.
int generate2(const char* input1, const char* input2, const char* output);
void write_header(std::FILE* fp);
void write_div(std::FILE* fp);
void write_footer(std::FILE* fp, bool einfuegen);
// Copies the entries of the earlier page fi to fo unchanged: from the first
// section opener up to the page's closing PHP block. fi must be a regular
// file (it is read twice). Returns false when fi could not be read.
bool schreibeKopie(std::FILE* fi, std::FILE* fo);
