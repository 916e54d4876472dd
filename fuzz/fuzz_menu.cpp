// Feeds arbitrary bytes to the menu file reader as a menu file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "menu.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The reader's messages are of no interest here.
    if (!std::freopen("/dev/null", "w", stdout))
        return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<char> bytes(data, data + size);
    bytes.push_back('\0');
    std::FILE* fi = fmemopen(bytes.data(), size ? size : 1, "r");
    if (!fi)
        return 0;
    if (size == 0)
        std::fgetc(fi);
    char* page = nullptr;
    std::size_t page_len = 0;
    std::FILE* fo = open_memstream(&page, &page_len);
    if (!fo) {
        std::fclose(fi);
        return 0;
    }
    int status = generate_menu_stream(fo, fi, "menu.txt");
    std::fclose(fi);
    std::fclose(fo);
    // The grid always opens its container; a finished grid closes it.
    static const char start[] = "<div class=\"container\">\n";
    static const char end[] = "</div>\n";
    if (status != STATUS_OK && status != STATUS_MENU)
        __builtin_trap();
    if (page_len < sizeof start - 1 || std::memcmp(page, start, sizeof start - 1) != 0)
        __builtin_trap();
    if (status == STATUS_OK &&
        (page_len < sizeof end - 1 || std::memcmp(page + page_len - (sizeof end - 1), end, sizeof end - 1) != 0))
        __builtin_trap();
    std::free(page);
    return 0;
}
