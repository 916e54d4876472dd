// The Atom feed of a news page.
#pragma once

#include <cstdio>
#include <ctime>
#include <string>

#include "web.h"

// The most entries a feed carries: the newest ones.
inline constexpr std::size_t FEED_MAX_ENTRIES = 50;
// The date of an entry that has no stamp and no older entry with one: no
// time a page's file or a newer entry could move, the start of Unix time.
inline constexpr std::time_t NO_DATE = 0;

// Writes the Atom feed of the news page page beside it (neuigkeiten.php
// gives neuigkeiten.xml), for a page whose folder is at the URL base. The
// feed is called title, or like the page ($titel) when title is null or
// empty. Returns the process status.
int generate_feed(const char* base, const char* page, const char* title);

enum class FeedRead { ok, not_a_page, read_error };

// Writes the feed of the page fp (read twice, so it must be seekable) to
// out. page_name and feed_name are the file names that go after the base
// URL in the page's and the feed's address; title as for generate_feed.
FeedRead write_feed(std::FILE* out, std::FILE* fp, const BaseUrl& b, const std::string& page_name,
                    const std::string& feed_name, const char* title);
