// The site run's plan: what the site is made of, each output file and
// what it is made from (a key that changes when that does), and how each
// one is made into the staging folder.
#pragma once

#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "website/pages.h"
#include "quennelbrook.h"
#include "website/site.h"

namespace site {

inline constexpr const char* SETTINGS = "website.yaml";
inline constexpr const char* NEWS_PAGE = "neuigkeiten.php";
inline constexpr const char* NEWS_FEED = "neuigkeiten.xml";

// What an output file is, so that the run knows how to make it.
struct Output {
    enum Kind { page, news, feed, carousel, copy, photo, sitemap_part, sitemap, robots };
    Kind kind;
    std::size_t index = 0;  // into the run's pages, or its sources
    std::string key;
};

struct Run {
    Settings s;
    std::string site;     // absolute
    std::string out;      // absolute
    std::string staging;  // absolute
    std::string program;  // what the program binary is: its size and time
    std::vector<Page> pages;
    std::vector<Entry> entries;
    std::vector<std::string> sources;   // copied files and photos, below the site
    std::vector<std::string> carousels; // list files, below the site
    std::map<std::string, Output> outputs;
    // Each source is looked at once a run: its size, time and inode.
    std::map<std::string, struct stat> stats;
    int status = STATUS_OK;
    bool fail(int st)
    {
        if (status == STATUS_OK)
            status = st;
        return false;
    }
};

// The key of the source path as it is now: size, time and inode.
std::string stat_key(Run& r, const std::string& path);
// The articles with a block and what they name; the news entries.
void find_pages(Run& r);
// Dates: the block's, else the last commit's, else the file's.
void date_pages(Run& r);
// Every output file and the key of what it is made from.
void plan(Run& r);
// Makes the output path into the staging folder; the status of the run.
int produce(Run& r, Gen& gen, const std::string& path, const Output& o);

}  // namespace site
