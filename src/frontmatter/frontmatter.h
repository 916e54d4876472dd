// What an article's metadata block asks of its page: the options it sets,
// as if they stood on the command line, its own SEO values and its
// publication time, each checked before any page is written.
#pragma once

#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "options.h"

namespace fm {

struct FrontMatter {
    bool present = false;
    // Options in the block's order: a command-line letter and its argument.
    std::vector<std::pair<char, std::string>> options;
    // SEO values the block sets itself; which ones in the flags.
    bool keywords = false, description = false, robots = false;
    Seo_data seo{};
    bool with_time = false;
    std::time_t published = 0;
    // For the site run: a draft page, and the article its page continues
    // with (a merged page) and that key's line.
    bool draft = false;
    std::string second;
    std::size_t second_line = 0;
};

// Reads and checks the block of the Markdown article (its page is written
// to output; the files the block names are looked up where the run and that
// page will look for them) and returns the process status. A wrong block
// gives a message naming the article, the line and the key, and
// STATUS_USAGE; an article that cannot be read, STATUS_IO.
int read_front_matter(const char* article, const char* output, FrontMatter& f);
// The checking half of it, for a block already read.
struct Block;
int check_block(const char* article, const char* output, const Block& b, FrontMatter& f);

// Sets o from f, then from the command line's options (letters and
// arguments in their order), so that the command line wins: a -c or -m
// there also takes the place of the block's carousel and menu file, and a
// -s that of its SEO file and values. Returns the process status (an SEO
// file that cannot be read to its end fails).
int apply_front_matter(Options& o, const FrontMatter& f, const std::vector<std::pair<char, std::string>>& cli);

// A publication time written in ISO 8601 ("2021-10-02", "2021-10-02 18:00",
// with seconds, with "T", with "Z" or an offset such as "+02:00"); without
// an offset it is local time of the run's time zone.
bool parse_time(const std::string& text, std::time_t* when);

// The known key nearest to a misspelt one, or "" when none is near.
std::string nearest_key(const std::string& key);
// The same among other names (each a name and what to suggest for it), for
// the site's settings.
std::string nearest(const std::string& key, const std::vector<std::pair<const char*, const char*>>& names);

}  // namespace fm
