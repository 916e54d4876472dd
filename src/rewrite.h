// Content rewriting: search helpers, the line rewriter and tag decoration.
#pragma once

#include <cstdio>

#include "quennelbrook.h"

// Position of the first byte equal to needle, or NOT_FOUND.
int getPos(const char* haystack, char needle);
// Position of the first occurrence of needle, or NOT_FOUND.
int checkPos(const char* haystack, const char* needle);
// Whether needle occurs in haystack when the letters a to z ignore case.
bool strstrUpper(const char* haystack, const char* needle);
// Writes zeile with part inserted at position i.
void writeParts(std::FILE* fo, const char* zeile, int i, const char* part);
// The special case (0 to 8) of a line; stores the position found in *i.
int getSonderbehandlung(const char* zeile, int* i);
// Copies fi to fo line by line, rewriting each line into the site's markup.
void schreibeInhalt(std::FILE* fi, std::FILE* fo, bool equal_table, const char* div_tag);
// Adds the -d attribute (tag.class or tag#id) to zeile when it holds the tag.
void check_div_tag(char* zeile, const char* div_tag);
