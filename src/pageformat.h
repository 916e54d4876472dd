// The page format: the skeleton every page of the program shares, its
// writers, and the readers that find their way through a page again (the
// sitemap, the feed and the news page's copy of its earlier entries).
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string>

#include "fileio.h"
#include "quennelbrook.h"

// ---- The skeleton ----

// Lines of the skeleton, without their line end.
inline constexpr const char* PHP_OPEN = "<?php";
inline constexpr const char* PHP_CLOSE = "?>";
inline constexpr const char* TITEL_ASSIGN = "$titel = ";
// A section opener is these three lines; the stamp paragraph may follow.
inline constexpr const char* CONTAINER = "<div class=\"container\">";
inline constexpr const char* SECTION_BREAK = "\t<br>";
inline constexpr const char* JUMBOTRON = "\t<div class=\"jumbotron\">";
// The closing pair of a section, line ends included: the jumbotron, an
// empty line, the container.
inline constexpr const char* CLOSING_PAIR = "\t</div>\n\n</div>\n";
inline constexpr const char* JUMBOTRON_CLOSE = "\t</div>";
inline constexpr const char* CONTAINER_CLOSE = "</div>";
// What stands between the two sections of a merged page.
inline constexpr const char* PAGE_BREAK = "<br>";

// Publication time of the last section opener and its local broken-down form.
extern std::time_t t;
extern std::tm* ts;
// German weekday abbreviations, Sunday first.
extern const char* const tage[7];

// ---- Writers ----

// Writes s as the inside of a PHP double-quoted literal.
void write_php_string(std::FILE* fp, const char* s);
// The publication time: the time set with stamp_with, else
// SOURCE_DATE_EPOCH when it holds a non-negative decimal number, else now.
std::time_t publication_time();
// Sets the time the next pages are stamped with (an article's own
// publication time); nullptr goes back to SOURCE_DATE_EPOCH or now.
void stamp_with(const std::time_t* when);

// The PHP block with the page variables, then the section opener. Returns
// STATUS_IO, with a message, when the SEO file opens but cannot be read.
// With seo, its values stand in place of the SEO file's.
struct Seo_data;
int write_header3(std::FILE* fp, const char* titel, const char* zeile1, const char* zeile2,
                  int menue, bool veroeffentlicht, const char* datum, const char* seo_datei,
                  const char* dateiname, const Seo_data* seo = nullptr);
// Opens a section; with schreibeVeroeffentlicht, stamps it with the time.
void write_section(std::FILE* fp, bool schreibeVeroeffentlicht);
// The stamp paragraph with the text "veröffentlicht: " and when.
void write_stamp(std::FILE* fp, const char* when);
// Closes the section and writes the closing PHP block. Returns the status
// of the card grid (STATUS_MENU when the menu file has a broken card).
int write_footer3(std::FILE* fp, const char* carousel, bool menu, bool writeDiff, const char* footer);
// The border between the two sections of a merged page.
void write_div(std::FILE* fp);
// The end of a news or merged page: without einfuegen the closing pair
// first, then the closing PHP block with the quick links.
void write_footer(std::FILE* fp, bool einfuegen);

// ---- Readers ----

// Whether the piece of n bytes is the line text with its line end (\n or \r\n).
bool is_line(const char* piece, std::size_t n, const char* text);

// Reads the time of a stamp line that write_section wrote ("veröffentlicht:
// Mo, 3.5.2021 09:05" in its paragraph), n bytes at line, as local time of
// the run's time zone. False for any other line, a date the calendar does
// not have among them, and a free text stamp (-a).
bool read_stamp(const char* line, std::size_t n, std::time_t* when);

// The time of a date and time of day in the run's time zone. False for a
// day the calendar does not have (a 31.2.) and a time it cannot show.
bool local_time(int year, int month, int day, int hour, int minute, int second, std::time_t* when);

// What the PHP header block of a page says, as far as the sitemap and the
// feed need it.
struct PageHead {
    bool page = false;     // begins with "<?php" and a $titel line
    bool noindex = false;  // $robots says noindex or none
    std::string titel;     // the value of $titel, PHP escapes undone
};
// Reads a page's header block from r, up to and including its "?>" line,
// and returns the number of pieces read. Stops after the first piece when
// the file is no page.
std::size_t read_page_head(LineReader& r, PageHead& h);

// A file's modification time, but no later than the publication time
// (SOURCE_DATE_EPOCH): reproducible builds stamp files no later than that.
// False when the file's status cannot be read.
bool clamped_mtime(std::FILE* fp, std::time_t* when);

// Where a page's entries are, for everything that reads them back. Each
// piece that holds the container of a section opener begins an entry; the
// entries end where the page's closing PHP block begins: the last piece
// that holds "<?php" with no opener after it (an entry may embed PHP of its
// own). A page whose closing block is missing has its entries run to its
// end. Fed the pieces of a page in order, step tells what each one is.
struct EntryScan {
    enum Kind {
        outside,  // before the first opener
        opener,   // the container's piece: an entry begins
        head,     // the opener's break or jumbotron line
        stamp,    // the opener's stamp line (its time in *when)
        body,     // anything else after the first opener
    };
    static constexpr std::size_t NONE = static_cast<std::size_t>(-1);
    std::size_t pieces = 0;    // pieces stepped so far
    std::size_t first = NONE;  // the first opener's piece
    std::size_t footer = NONE; // the closing block's piece, as far as known
    bool line_start = true;    // the next piece begins a line
    bool in_head = false;      // after an opener, before its body

    Kind step(const char* piece, std::size_t n, std::time_t* when);
    // Where the entries end, once every piece has been stepped.
    std::size_t end() const { return footer == NONE ? pieces : footer; }
};
