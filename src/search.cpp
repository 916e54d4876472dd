// The text search helpers of the line rules and the SEO reader.
#include "search.h"

#include <cstddef>
#include <cstring>

int getPos(const char* haystack, char needle)
{
    if (needle == '\0')
        return NOT_FOUND;
    const char* p = std::strchr(haystack, needle);
    return p ? static_cast<int>(p - haystack) : NOT_FOUND;
}

int checkPos(const char* haystack, const char* needle)
{
    const char* p = std::strstr(haystack, needle);
    // An empty text has no position to report, not even for an empty needle.
    if (!p || !*haystack)
        return NOT_FOUND;
    return static_cast<int>(p - haystack);
}

bool strstrUpper(const char* haystack, const char* needle)
{
    std::size_t hn = std::strlen(haystack);
    std::size_t nn = std::strlen(needle);
    if (nn > hn)
        return false;
    for (std::size_t pos = 0; pos + nn <= hn; ++pos) {
        std::size_t k = 0;
        while (k < nn && ascii_upper(static_cast<unsigned char>(haystack[pos + k])) ==
                             ascii_upper(static_cast<unsigned char>(needle[k])))
            ++k;
        if (k == nn)
            return true;
    }
    return false;
}
