// The pages of the site run, each written by the program's own page
// generators into the staging folder, exactly as the per-page command line
// writes it.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "frontmatter/frontmatter.h"
#include "options.h"
#include "website/site.h"

namespace site {

// One page: an article with a block (and perhaps its second part).
struct Page {
    std::string article;  // as given to messages: "artikel/x.md"
    std::string name;     // the output: "x.php"
    fm::FrontMatter f;
    Options o;
    std::string second;   // the second part's article, "" for none
    std::time_t date = 0;
};

// One news entry.
struct Entry {
    std::string article;
    std::time_t date = 0;
};

// What the generators need besides: the site's folder (absolute), the
// staging folder, the renderer and the message capture.
struct Gen {
    std::string site;
    std::string staging;
    const Settings& s;
    Capture& cap;
};

// Writes page p to gen.staging/p.name. Returns the process status.
int make_page(Gen& gen, const Page& p);
// Writes the news page gen.staging/name from the entries (oldest first).
int make_news(Gen& gen, const std::vector<Entry>& entries, const std::string& name);
// Writes the carousel include of the list file (absolute) as
// gen.staging/assets/include/<name>.php.
int make_carousel(Gen& gen, const std::string& list, const std::string& name);

}  // namespace site
