// The sitemap of the pages the program made, and what it shares with the
// news feed: the base URL, XML text, W3C times and a page's header block.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "fileio.h"
#include "quennelbrook.h"

// ---- Shared with the feed ----

// An absolute http or https URL with a host, ending in exactly one slash.
struct BaseUrl {
    std::string url;     // "https://www.example.org/wandern/"
    std::string origin;  // "https://www.example.org"
    std::string scheme;  // "https"
    std::string host;    // "www.example.org", lower case, without the port
};

// Fills b from text. False, with the reason in German in why, for anything
// but an absolute http:// or https:// URL with a host and no query,
// fragment, user name, blank or character outside URLs.
bool parse_base_url(const char* text, BaseUrl& b, std::string& why);
// The usage error for a base URL that parse_base_url refused.
int bad_base_url(const char* text, const std::string& why);

// Writes text as XML character data or attribute value. Bytes that are not
// UTF-8, and characters XML does not allow, become U+FFFD, so the document
// stays well-formed whatever a hand-edited page holds. A character may be
// cut between two calls; end() finishes one left open.
struct XmlText {
    explicit XmlText(std::FILE* f) : fp(f) {}
    void put(const char* s, std::size_t n);
    void put(const std::string& s) { put(s.data(), s.size()); }
    void end();
    std::FILE* fp;
    unsigned char pending[4] = {};
    std::size_t have = 0;  // bytes of an unfinished character in pending
    std::size_t need = 0;  // its full length
};
// The same for a text as a whole, into a string.
std::string xml_escaped(const std::string& s);

// A W3C datetime (RFC 3339) with seconds and the run's time zone offset:
// "2021-05-03T11:05:00+02:00". UTC where the offset has seconds of its own.
std::string w3c_time(std::time_t when);
// A file's modification time, but no later than the publication time
// (SOURCE_DATE_EPOCH): reproducible builds stamp files no later than that.
std::time_t clamped_mtime(std::FILE* fp);

// A path as it stands in a URL: its bytes percent-encoded but for the
// unreserved characters and the slash.
std::string url_path(const std::string& path);
// Whether the piece of n bytes is the line text with its line end (\n or \r\n).
bool is_line(const char* piece, std::size_t n, const char* text);

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

// ---- The sitemap ----

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
// clamped modification time. False with ferror(fp) set on a read error.
bool read_sitemap_page(std::FILE* fp, std::time_t* lastmod);

// Writes <dir>/sitemap.xml, with one <url> for each page of the program
// found below dir, for the site at base. Returns the process status.
int generate_sitemap(const char* base, const char* dir);

// Splits the sorted urls into sitemap files of at most max_urls addresses
// and max_bytes bytes: the end of each file's range in urls, in order. One
// range (perhaps empty) when all fit into one file.
std::vector<std::size_t> sitemap_split(const std::vector<SitemapUrl>& urls, std::size_t max_urls,
                                       std::size_t max_bytes);
