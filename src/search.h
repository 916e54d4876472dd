// The text search helpers: where a byte or a text stands in a line, and
// whether a word occurs in it when the case of ASCII letters is ignored.
#pragma once

#include "quennelbrook.h"

// Position of the first byte equal to needle, or NOT_FOUND. The terminating
// zero is never tested.
int getPos(const char* haystack, char needle);
// Position of the first occurrence of needle, or NOT_FOUND. An empty
// haystack yields NOT_FOUND even for an empty needle.
int checkPos(const char* haystack, const char* needle);
// Whether needle occurs in haystack when the letters a to z ignore case.
// Every other byte (those of umlauts included) must match as it is.
bool strstrUpper(const char* haystack, const char* needle);

// toupper of the C locale, which the program never leaves: only a to z
// change, so the bytes of an umlaut stay as they are.
inline unsigned char ascii_upper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}
