// The carousel include file built from a list of image names.
#pragma once

#include <cstdio>

#include "quennelbrook.h"

// The most images one carousel takes.
inline constexpr int ANZ = 10;

// Writes the carousel include file named after output from the image list
// input. Returns the process status; on failure an existing include file is
// left as it was.
int generate_carousel(const char* input, const char* output, const char* img);
// "img" when the current directory has an entry of that name, else "images".
const char* getImageVerzeichnis();
void write_carousel_header(std::FILE* fo, int anz);
void schreibeCarouselInhalt(std::FILE* fo, char carousel[][LINE_SIZE], int anz, const char* img);
void write_carousel_footer(std::FILE* fo);

// Reads the image names of the list fi into carousel (ANZ rows) and returns
// how many there are. Warns on standard output when the list holds more.
int read_image_list(std::FILE* fi, char carousel[][LINE_SIZE]);
