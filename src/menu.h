// The menu file and the card grid it describes.
#pragma once

#include <cstdio>

#include "quennelbrook.h"

// Writes the card grid described by the menu file to fp. Returns STATUS_OK,
// STATUS_MENU when a card line lacks a field, or STATUS_IO when the menu file
// could not be read to its end (the page is then not kept).
int generate_menu(std::FILE* fp, const char* menu);
// The same for an open menu stream; menu only names the file in messages.
int generate_menu_stream(std::FILE* fp, std::FILE* fi, const char* menu);
// Closes the open card group and opens the next container; showBreak adds a rule.
void write_break(std::FILE* fp, bool showBreak);
// Writes the image with caption (bImage) or the plain link of a line in
// Markdown link syntax; nothing when a bracket pair is missing.
void write_link(std::FILE* fp, const char* zeile, bool bImage);
// Text between brackets ([] when content, () otherwise): between the first
// closing bracket and the last opening one before it. A copy the caller
// frees with free(), or null when there is no such pair.
char* getContent(bool content, const char* zeile);
