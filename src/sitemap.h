// The sitemap of the pages the program made.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

// The sitemaps protocol's limits for one file.
inline constexpr std::size_t SITEMAP_MAX_URLS = 50000;
inline constexpr std::size_t SITEMAP_MAX_BYTES = 50u * 1024 * 1024;

// One page of the sitemap: its address, XML-escaped, and its lastmod.
struct SitemapUrl {
    std::string loc;
    std::time_t lastmod;
};

// Whether the page fp is one for the sitemap (a page of the program without
// noindex), and its lastmod: the newest publication stamp, else the file's
// clamped modification time. False with *failed set when fp cannot be read.
bool read_sitemap_page(std::FILE* fp, std::time_t* lastmod, bool* failed);

// Writes <dir>/sitemap.xml, with one <url> for each page of the program
// found below dir, for the site at base. Returns the process status.
int generate_sitemap(const char* base, const char* dir);

// Adds the page (a path below the site's folder) to urls, with its
// address below base; a folder's index.php stands for the folder. An
// address too long for the protocol is left out with a warning.
struct BaseUrl;
void add_sitemap_url(const BaseUrl& base, const std::string& page, std::time_t lastmod, std::vector<SitemapUrl>& urls);

// Writes <root>/sitemap.xml (and its parts, when urls need more than one
// file) with urls, sorted, below the XML-escaped base address loc_base.
// Returns the process status.
int write_sitemap(const std::string& root, const std::string& loc_base, std::vector<SitemapUrl>& urls);

// Splits the sorted urls into sitemap files of at most max_urls addresses
// and max_bytes bytes: the end of each file's range in urls, in order. One
// range (perhaps empty) when all fit into one file.
std::vector<std::size_t> sitemap_split(const std::vector<SitemapUrl>& urls, std::size_t max_urls,
                                       std::size_t max_bytes);
