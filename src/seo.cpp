#include "seo.h"

#include <cstdio>

// Not built yet: no SEO file is read or written.
Seo_data read_seo(const char*)
{
    return Seo_data{};
}

int generate_seo(const char*)
{
    std::printf("Fehler: -g seo ist noch nicht eingebaut!\n");
    return STATUS_USAGE;
}
