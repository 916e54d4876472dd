#include "carousel.h"

// Not built yet.
int generate_carousel(const char*, const char*, const char*)
{
    std::printf("Fehler: -g carousel ist noch nicht eingebaut!\n");
    return STATUS_USAGE;
}

const char* getImageVerzeichnis()
{
    return "images";
}
