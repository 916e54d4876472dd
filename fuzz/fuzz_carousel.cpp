// Fuzzes the image-list reader of the carousel against a plain model of how
// a list splits into names, then writes the carousel from what it read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "carousel.h"

namespace {

// The names a list yields: pieces of at most 1023 bytes that end after a
// newline, the short ones skipped, a final newline removed.
std::vector<std::string> model(const char* data, std::size_t size)
{
    std::vector<std::string> names;
    std::size_t pos = 0;
    while (pos < size && names.size() <= static_cast<std::size_t>(ANZ)) {
        std::size_t len = 0;
        while (pos + len < size && len < LINE_MAX_READ) {
            ++len;
            if (data[pos + len - 1] == '\n')
                break;
        }
        std::string piece(data + pos, len);
        pos += len;
        if (piece.size() < 3)
            continue;
        if (piece.back() == '\n')
            piece.pop_back();
        names.push_back(piece.c_str());  // the table holds C strings
    }
    if (names.size() > static_cast<std::size_t>(ANZ))
        names.resize(ANZ);
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The reader warns on standard output about long lists.
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    std::FILE* fi = size ? fmemopen(const_cast<char*>(text), size, "rb") : std::fopen("/dev/null", "rb");
    if (!fi)
        return 0;
    static char carousel[ANZ][LINE_SIZE];
    std::memset(carousel, 'X', sizeof carousel);
    int anz = read_image_list(fi, carousel);
    std::fclose(fi);

    std::vector<std::string> expected = model(text, size);
    if (anz < 0 || static_cast<std::size_t>(anz) != expected.size())
        std::abort();
    for (int i = 0; i < anz; ++i)
        if (std::memchr(carousel[i], '\0', LINE_SIZE) == nullptr || expected[static_cast<std::size_t>(i)] != carousel[i])
            std::abort();
    if (anz == 0)
        return 0;

    char* out = nullptr;
    std::size_t out_size = 0;
    std::FILE* fo = open_memstream(&out, &out_size);
    if (!fo)
        return 0;
    write_carousel_header(fo, anz);
    schreibeCarouselInhalt(fo, carousel, anz, "img");
    write_carousel_footer(fo);
    std::fclose(fo);
    static const char end[] = "    </div>\n</div>\n";
    std::size_t names = 0;
    for (int i = 0; i < anz; ++i)
        names += std::strlen(carousel[i]);
    if (out_size < names + sizeof end - 1 || std::strcmp(out + out_size - (sizeof end - 1), end) != 0 ||
        std::strncmp(out, "<div class=\" container \">\n", 26) != 0)
        std::abort();
    std::free(out);
    return 0;
}
