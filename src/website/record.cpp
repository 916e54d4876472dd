// The record of what the site run wrote, beside the output: every file with
// what it was made from and how it was left, and the links of the pages.
// Only with it does the run know what it may delete and what it may skip.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "fileio.h"
#include "website/site.h"

namespace site {
namespace {

constexpr const char* HEAD = "quennelbrook-website 1\n";

// Fields are separated by tabs, records by line ends: both, and the
// backslash, are escaped in a name.
void field(std::string& out, const std::string& s)
{
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
}

std::vector<std::string> split(const std::string& line)
{
    std::vector<std::string> f(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\t') {
            f.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            char n = line[++i];
            f.back() += n == 't' ? '\t' : n == 'n' ? '\n' : n;
        } else {
            f.back() += c;
        }
    }
    return f;
}

}  // namespace

bool stat_written(const std::string& path, Written& w)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    w.size = static_cast<long long>(st.st_size);
    w.mtime = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return true;
}

bool read_record(const std::string& path, Record& r)
{
    r = Record{};
    std::FILE* fi = std::fopen(path.c_str(), "rb");
    if (!fi)
        return errno == ENOENT;
    std::string line;
    bool first = true, known = true;
    char buf[1 << 16];
    std::size_t got = 0, at = 0;
    for (;;) {
        if (at == got) {
            got = std::fread(buf, 1, sizeof buf, fi);
            at = 0;
            if (got == 0)
                break;
        }
        const char* nl = static_cast<const char*>(std::memchr(buf + at, '\n', got - at));
        std::size_t end = nl ? static_cast<std::size_t>(nl - buf) : got;
        line.append(buf + at, end - at);
        at = nl ? end + 1 : end;
        if (!nl)
            continue;
        if (first) {
            // A record of another version is no record: the run starts over.
            known = line + "\n" == HEAD;
            first = false;
        } else if (known) {
            std::vector<std::string> f = split(line);
            if (f.size() == 5 && f[0] == "D")
                r.files[f[1]] = {f[2], std::atoll(f[3].c_str()), std::atoll(f[4].c_str())};
            else if (f.size() == 5 && f[0] == "L")
                r.links.push_back({f[1], f[2], static_cast<std::size_t>(std::atoll(f[3].c_str())), f[4]});
        }
        line.clear();
    }
    bool ok = !std::ferror(fi);
    std::fclose(fi);
    if (!known)
        r = Record{};
    return ok;
}

bool write_record(const std::string& path, const Record& r)
{
    SafeOut out;
    if (!safe_open(out, path.c_str())) {
        ausgabe_nicht_schreibbar(path.c_str());
        return false;
    }
    std::string text = HEAD;
    for (const auto& [name, w] : r.files) {
        text += "D\t";
        field(text, name);
        text += '\t';
        field(text, w.key);
        text += '\t' + std::to_string(w.size) + '\t' + std::to_string(w.mtime) + '\n';
    }
    for (const Link& l : r.links) {
        text += "L\t";
        field(text, l.page);
        text += '\t';
        field(text, l.article);
        text += '\t' + std::to_string(l.line) + '\t';
        field(text, l.target);
        text += '\n';
    }
    std::fwrite(text.data(), 1, text.size(), out.fp);
    if (!safe_commit(out)) {
        ausgabe_nicht_schreibbar(path.c_str());
        return false;
    }
    return true;
}

}  // namespace site
