// The links of an article that point into the site: found in its text, so
// that each can be checked against what the run writes and named with its
// line when it points nowhere.
#include <cstring>

#include "website/site.h"

namespace site {
namespace {

int hex(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The path below the output folder that the target names, or "" for one
// that leaves the site (a scheme, an absolute path, only an anchor).
std::string internal(std::string t)
{
    while (!t.empty() && (t.front() == ' ' || t.front() == '<'))
        t.erase(0, 1);
    std::size_t blank = t.find_first_of(" \t>");
    if (blank != std::string::npos)
        t.resize(blank);
    std::size_t cut = t.find_first_of("#?");
    if (cut != std::string::npos)
        t.resize(cut);
    if (t.empty() || t[0] == '/' || t.find(':') < t.find('/') || t.find("..") != std::string::npos ||
        t.find_first_of("<$\"'{") != std::string::npos)
        return "";
    std::string out;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '%' && i + 2 < t.size() && hex(t[i + 1]) >= 0 && hex(t[i + 2]) >= 0) {
            out += static_cast<char>(hex(t[i + 1]) * 16 + hex(t[i + 2]));
            i += 2;
        } else {
            out += t[i];
        }
    }
    // The rewriter's "%20download" marks a download, it is no part of the name.
    const std::string dl = " download";
    if (out.size() > dl.size() && out.compare(out.size() - dl.size(), dl.size(), dl) == 0)
        out.resize(out.size() - dl.size());
    while (out.compare(0, 2, "./") == 0)
        out.erase(0, 2);
    if (out.empty() || out.back() == '/')
        return "";
    return out;
}

void add(std::vector<std::pair<std::size_t, std::string>>& out, std::size_t line, const std::string& target)
{
    std::string t = internal(target);
    if (!t.empty())
        out.emplace_back(line, t);
}

std::string unquote(std::string v)
{
    while (!v.empty() && (v.back() == ' ' || v.back() == '\r'))
        v.pop_back();
    while (!v.empty() && v.front() == ' ')
        v.erase(0, 1);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

}  // namespace

std::vector<std::pair<std::size_t, std::string>> find_links(const char* text, std::size_t n)
{
    std::vector<std::pair<std::size_t, std::string>> out;
    std::string_view all(text, n);
    std::size_t line = 1, at = 0;
    bool in_block = all.compare(0, 4, "---\n") == 0;
    bool fence = false;
    while (at < n) {
        std::size_t nl = all.find('\n', at);
        std::size_t end = nl == std::string_view::npos ? n : nl;
        std::string_view l = all.substr(at, end - at);
        if (in_block && line > 1) {
            if (l == "---" || l == "..." || l == "---\r" || l == "...\r") {
                in_block = false;
            } else {
                for (const char* key : {"zurueck:", "weiter:", "inhalt:"})
                    if (l.compare(0, std::strlen(key), key) == 0)
                        add(out, line, unquote(std::string(l.substr(std::strlen(key)))));
            }
        } else if (!in_block) {
            if (l.compare(0, 3, "```") == 0 || l.compare(0, 3, "~~~") == 0)
                fence = !fence;
            for (std::size_t i = 0; !fence && i < l.size(); ++i) {
                std::size_t start = std::string_view::npos;
                if (l.compare(i, 2, "](") == 0)
                    start = i + 2;
                else if (l.compare(i, 6, "href=\"") == 0)
                    start = i + 6;
                else if (l.compare(i, 5, "src=\"") == 0)
                    start = i + 5;
                if (start == std::string_view::npos)
                    continue;
                std::size_t stop = l.find_first_of(start == i + 2 ? ")" : "\"", start);
                if (stop == std::string_view::npos)
                    continue;
                add(out, line, std::string(l.substr(start, stop - start)));
                i = stop;
            }
        }
        at = end + 1;
        ++line;
    }
    return out;
}

}  // namespace site
