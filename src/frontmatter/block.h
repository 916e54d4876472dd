// The YAML metadata block at the top of a Markdown article: where it is,
// and its entries as the YAML library reads them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace fm {

// One value of the block's top mapping.
struct Value {
    enum Kind { scalar, list, mapping };
    Kind kind = scalar;
    bool plain = true;               // an unquoted scalar (a null is an empty plain one)
    std::string text;                // kind scalar
    std::vector<std::string> items;  // kind list: its scalars (nested lists and mappings are kept out)
    bool nested = false;             // kind list: it held more than scalars
};

struct Entry {
    std::string key;
    std::size_t line = 0;  // of the key, in the article (1 = its first line)
    Value value;
};

struct Block {
    bool present = false;
    std::vector<Entry> entries;
};

// Reads the block of the article at path into b and returns the process
// status. A file without a block leaves b empty. A block that is not valid
// YAML, is never closed, is no mapping or repeats a key gives a message
// naming the article and the line, and STATUS_USAGE; an article that
// cannot be read gives STATUS_IO (its page could not be built either).
int read_block(const char* path, Block& b);

// The same for the article's text in memory (n bytes): the fuzzer's way in.
// Returns false after the message.
bool parse_block(const char* path, const char* text, std::size_t n, Block& b);

// The same reading for a whole YAML document of n bytes that is one mapping
// (a site's settings file); its lines count from 1.
bool parse_mapping(const char* path, const char* text, std::size_t n, Block& b);

}  // namespace fm
