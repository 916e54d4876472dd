// Feeds arbitrary bytes, as a page to the sitemap's reader and as a news
// page to the feed writer: pages may have been edited by hand.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "feed.h"
#include "sitemap.h"

namespace {

// Whether s is UTF-8 with only characters XML allows, and every "&" starts
// one of the entities the writer uses.
bool well_formed_text(const std::string& s)
{
    static const char* const entities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&#13;"};
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c == '&') {
            bool known = false;
            for (const char* e : entities)
                known = known || s.compare(i, std::strlen(e), e) == 0;
            if (!known)
                return false;
        }
        if (c < 0x80) {
            if (c < 0x20 && c != '\n' && c != '\t')
                return false;
            ++i;
            continue;
        }
        std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (len == 0 || i + len > s.size())
            return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

std::size_t count(const std::string& s, const char* what)
{
    std::size_t n = 0;
    for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
        ++n;
    return n;
}

std::FILE* open_bytes(std::vector<char>& bytes, std::size_t size)
{
    std::FILE* fi = fmemopen(bytes.data(), size ? size : 1, "r");
    if (fi && size == 0)
        std::fgetc(fi);
    return fi;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<char> bytes(data, data + size);
    bytes.push_back('\0');  // fmemopen wants a buffer even for no input

    std::FILE* fi = open_bytes(bytes, size);
    if (!fi)
        return 0;
    const std::time_t unset = std::numeric_limits<std::time_t>::min();
    std::time_t lastmod = unset;
    bool failed = false;
    bool listed = read_sitemap_page(fi, &lastmod, &failed);
    std::fclose(fi);
    // A listed page has a time, and one a sitemap can show.
    if (failed || (listed && (lastmod == unset || w3c_time(lastmod).size() != 25)))
        __builtin_trap();

    fi = open_bytes(bytes, size);
    char* out = nullptr;
    std::size_t out_len = 0;
    std::FILE* fo = open_memstream(&out, &out_len);
    if (!fi || !fo) {
        if (fi)
            std::fclose(fi);
        if (fo)
            std::fclose(fo);
        std::free(out);
        return 0;
    }
    BaseUrl b;
    std::string why;
    if (!parse_base_url("https://www.example.org/a&b'", b, why))
        __builtin_trap();
    FeedRead got = write_feed(fo, fi, b, "news.php", "news.xml", nullptr);
    std::fclose(fi);
    std::fclose(fo);
    std::string feed(out, out_len);
    std::free(out);
    if (got == FeedRead::read_error)
        __builtin_trap();
    if (got == FeedRead::ok) {
        // Markup only where the writer puts it, and text that XML takes.
        std::size_t entries = count(feed, "<entry>");
        if (entries > FEED_MAX_ENTRIES || entries != count(feed, "</entry>") ||
            entries != count(feed, "<content type=\"html\">") || count(feed, "<") != 15 + 13 * entries ||
            feed.rfind("</feed>\n") != feed.size() - 8 || !well_formed_text(feed))
            __builtin_trap();
    }
    return 0;
}
