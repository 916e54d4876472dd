// Feeds arbitrary bytes to the Markdown rendering and the rendered text to
// the line rewriter, as a page with a Markdown input does.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "markdown.h"
#include "rewrite.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string html = render_markdown(reinterpret_cast<const char*>(data), size);
    // The library puts U+FFFD where a zero byte was; a zero byte in the
    // fragment would come from the writer itself.
    if (html.find('\0') != std::string::npos)
        __builtin_trap();
    std::FILE* fi = fmemopen(nullptr, html.size() + 1, "w+");
    if (!fi)
        return 0;
    std::fwrite(html.data(), 1, html.size(), fi);
    std::rewind(fi);
    char* buf = nullptr;
    std::size_t len = 0;
    std::FILE* fo = open_memstream(&buf, &len);
    if (fo) {
        schreibeInhalt(fi, fo, size % 2 == 1, size % 3 == 0 ? "table.table" : nullptr);
        std::fclose(fo);
    }
    std::fclose(fi);
    std::free(buf);
    return 0;
}
