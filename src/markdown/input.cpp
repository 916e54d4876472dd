// The page input: an HTML fragment opened as it is, a Markdown file read
// whole and rendered into a stream in memory.
#include "markdown.h"

#include <string>
#include <string_view>

#include "fileio.h"

bool is_markdown(const char* path)
{
    std::string_view p = path;
    return p.ends_with(".md") || p.ends_with(".markdown");
}

std::FILE* open_fragment(const char* path)
{
    std::FILE* fi = is_directory(path) ? nullptr : std::fopen(path, "rb");
    if (!fi || !is_markdown(path)) {
        if (!fi)
            eingabe_fehlt(path);
        return fi;
    }
    std::string text;
    char block[1 << 16];
    bool too_big = false;
    for (;;) {
        std::size_t got = std::fread(block, 1, sizeof block, fi);
        if (got == 0)
            break;
        if (text.size() + got > MARKDOWN_MAX) {
            too_big = true;
            break;
        }
        text.append(block, got);
    }
    bool failed = std::ferror(fi) != 0;
    std::fclose(fi);
    if (too_big) {
        std::printf("Fehler: Markdown-Datei \"%s\" ist größer als %zu MiB!\n", path, MARKDOWN_MAX >> 20);
        return nullptr;
    }
    if (failed) {
        eingabe_fehlt(path);
        return nullptr;
    }
    std::string html = render_markdown(text.data(), text.size());
    // The stream owns a copy of the text and releases it on fclose. One byte
    // more than the text: a full buffer would get its last byte overwritten
    // by the zero that the flush writes.
    std::FILE* mem = fmemopen(nullptr, html.size() + 1, "w+");
    if (!mem || std::fwrite(html.data(), 1, html.size(), mem) != html.size() || std::fseek(mem, 0, SEEK_SET) != 0) {
        if (mem)
            std::fclose(mem);
        eingabe_fehlt(path);
        return nullptr;
    }
    return mem;
}
