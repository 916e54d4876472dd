// The menu file and the card grid it describes.
#pragma once

#include <cstdio>

#include "quennelbrook.h"

// Writes the card grid described by the menu file to fp. Returns STATUS_OK,
// or STATUS_MENU when a card line lacks a field (the page is then not kept).
int generate_menu(std::FILE* fp, const char* menu);
void write_break(std::FILE* fp, bool showBreak);
void write_link(std::FILE* fp, const char* zeile, bool bImage);
// Text between brackets ([] when content, () otherwise); caller frees it.
char* getContent(bool content, const char* zeile);
