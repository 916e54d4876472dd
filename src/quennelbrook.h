// Declarations that modules of quennelbrook share: the line buffer, the
// search helpers' "nothing found" and the process statuses.
#pragma once

#include <cstddef>

// A line buffer holds at most 1023 bytes of one input line and its
// terminating zero; longer physical lines are read in pieces of this size.
inline constexpr std::size_t LINE_SIZE = 1024;
inline constexpr std::size_t LINE_MAX_READ = LINE_SIZE - 1;

// Position returned by the search helpers when nothing is found.
inline constexpr int NOT_FOUND = -1;

// Process statuses. Every generator returns one of these to main, which is
// the only place that ends the process.
inline constexpr int STATUS_OK = 0;
inline constexpr int STATUS_USAGE = 254;     // bad command line
inline constexpr int STATUS_MENU = 253;      // menu card lacks a field
inline constexpr int STATUS_IO = 252;        // page input/output failed
inline constexpr int STATUS_LIST = 251;      // carousel list has no name
inline constexpr int STATUS_CAROUSEL = 250;  // carousel list/include failed
