// An entry of a news page as its feed gives it: read by an HTML5 parser,
// so that its title is the text a browser shows for its first heading, and
// its copy holds nothing a feed reader would run.
#pragma once

#include <cstddef>
#include <string>

#include "web.h"

// A title is cut here, between two characters.
inline constexpr std::size_t MAX_TITLE = 1024;
// An entry is parsed whole up to this size; of a longer one, the feed has
// what these first bytes hold complete.
inline constexpr std::size_t MAX_ENTRY = 64 * 1024;

struct FeedEntry {
    std::string title;    // empty for an entry without a heading, or one of blanks
    std::string content;  // the entry's HTML for the feed
};

// Reads html, an entry's HTML (its first MAX_ENTRY bytes when cut is set).
// The content is html as written, but for what a reader must not run
// (script and style elements, on... attributes, javascript:, vbscript: and
// data: addresses but data: images), which is left out, and href, src,
// srcset and poster addresses, which are made absolute for the page at
// page_url in the folder of b.
FeedEntry read_entry(const std::string& html, bool cut, const BaseUrl& b, const std::string& page_url);
