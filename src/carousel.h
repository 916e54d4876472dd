// The carousel include file built from a list of image names.
#pragma once

#include <cstdio>

#include "quennelbrook.h"

// Writes the carousel include file named after output from the image list
// input. Returns the process status.
int generate_carousel(const char* input, const char* output, const char* img);
// "img" when the current directory has an entry of that name, else "images".
const char* getImageVerzeichnis();
void write_carousel_header(std::FILE* fo, int anz);
void schreibeCarouselInhalt(std::FILE* fo, char carousel[][LINE_SIZE], int anz, const char* img);
void write_carousel_footer(std::FILE* fo);
