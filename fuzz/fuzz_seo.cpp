// Feeds arbitrary bytes to the SEO file reader.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "seo.h"

namespace {

// A value is one line without its line end, zero-terminated in its field.
void check(const char* field)
{
    std::size_t len = strnlen(field, LINE_SIZE);
    if (len >= LINE_SIZE || std::memchr(field, '\n', len))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The reader's warnings are of no interest here.
    if (!std::freopen("/dev/null", "w", stdout))
        return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<char> bytes(data, data + size);
    bytes.push_back('\0');  // fmemopen wants a buffer even for no input
    std::FILE* fi = fmemopen(bytes.data(), size ? size : 1, "r");
    if (!fi)
        return 0;
    if (size == 0)
        std::fgetc(fi);
    Seo_data seo = read_seo_stream(fi, "seo.txt");
    std::fclose(fi);
    check(seo.keywords);
    check(seo.description);
    check(seo.robots);
    return 0;
}
