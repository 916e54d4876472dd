// Feeds arbitrary bytes as an article to the metadata block's reader and
// checker: no crash, every option text one the command line could carry,
// and the renderer drops exactly the block that was read.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "frontmatter/block.h"
#include "frontmatter/frontmatter.h"
#include "markdown.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The messages are of no interest here.
    if (!std::freopen("/dev/null", "w", stdout))
        return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    fm::Block b;
    if (!fm::parse_block("a.md", text, size, b))
        return 0;
    fm::FrontMatter f;
    if (fm::check_block("a.md", "seite.php", b, f) == 0) {
        for (const auto& [c, arg] : f.options)
            if (!std::strchr("tunmcszwidefav", c) || arg.size() > 1023 || std::strlen(arg.c_str()) != arg.size())
                __builtin_trap();
    }
    if (!b.present)
        return 0;
    // The rest of the article after the closing line renders as the whole.
    std::string all(text, size);
    std::size_t at = 0;
    for (int line = 0;; ++line) {
        if (at >= size)
            __builtin_trap();  // a block present has a closing line
        std::size_t nl = all.find('\n', at);
        if (nl == std::string::npos)
            nl = size;
        std::string l = all.substr(at, nl - at);
        at = nl < size ? nl + 1 : size;
        if (l.ends_with('\r'))
            l.pop_back();
        if (line > 0 && (l == "---" || l == "...")) {
            // The rest behind an empty block: a rest that begins like a
            // block of its own is not read as one.
            std::string rest = "---\n...\n" + all.substr(at);
            if (render_markdown(text, size) != render_markdown(rest.data(), rest.size()))
                __builtin_trap();
            return 0;
        }
    }
}
