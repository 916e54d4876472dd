#include "sitemap.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "page.h"

// ---- The base URL ----

namespace {

bool is_alpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool starts_with_nocase(const char* s, const char* prefix)
{
    for (; *prefix; ++s, ++prefix)
        if (lower(*s) != *prefix)
            return false;
    return true;
}

// The characters a URL may hold as they are (RFC 3986), "%" included.
bool is_url_char(char c)
{
    return is_alpha(c) || is_digit(c) || (c && std::strchr("-._~:/?#[]@!$&'()*+,;=%", c));
}

}  // namespace

bool parse_base_url(const char* text, BaseUrl& b, std::string& why)
{
    const char* rest = nullptr;
    if (starts_with_nocase(text, "https://")) {
        b.scheme = "https";
        rest = text + 8;
    } else if (starts_with_nocase(text, "http://")) {
        b.scheme = "http";
        rest = text + 7;
    } else {
        why = "sie muss mit http:// oder https:// beginnen";
        return false;
    }
    for (const char* p = rest; *p; ++p)
        if (!is_url_char(*p)) {
            why = "sie enthält ein Zeichen, das in Adressen nicht stehen darf (Umlaute als Punycode bzw. %XX)";
            return false;
        }
    if (std::strpbrk(rest, "?#")) {
        why = "sie darf weder ? noch # enthalten";
        return false;
    }
    std::size_t authority = std::strcspn(rest, "/");
    std::string host(rest, authority);
    if (host.find('@') != std::string::npos) {
        why = "sie darf keinen Benutzernamen enthalten";
        return false;
    }
    // An optional port after the host: digits only.
    std::size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
        std::string port = host.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) {
            why = "der Port nach dem Doppelpunkt muss eine Zahl sein";
            return false;
        }
        host.resize(colon);
    }
    bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
    if (host.empty() || (!bracketed && host.find_first_of("[]:") != std::string::npos)) {
        why = "ihr fehlt der Rechnername";
        return false;
    }
    for (char& c : host)
        c = lower(c);
    b.host = host;
    b.origin = b.scheme + "://" + std::string(rest, authority);
    std::string path = rest + authority;
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    b.url = b.origin + path + "/";
    return true;
}

int bad_base_url(const char* text, const std::string& why)
{
    std::printf("Fehler: Basis-URL \"%s\" ungültig: %s!\n", text, why.c_str());
    return STATUS_USAGE;
}

// ---- XML text ----

namespace {

const char REPLACEMENT[] = "\xEF\xBF\xBD";  // U+FFFD

// The escape of a byte below 0x80 in XML text, or null when it goes as it is.
const char* escape_of(unsigned char c)
{
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\'':
        return "&apos;";
    case '\r':
        return "&#13;";  // a parser would turn a bare one into a line end
    case '\t':
    case '\n':
        return nullptr;
    default:
        return c < 0x20 || c == 0x7F ? REPLACEMENT : nullptr;
    }
}

}  // namespace

void XmlText::put(const char* s, std::size_t n)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    const unsigned char* end = p + n;
    while (p < end) {
        unsigned char c = *p;
        if (need) {
            bool ok = (c & 0xC0) == 0x80;
            if (ok && have == 1) {
                // The second byte rules out overlong forms, surrogates and
                // code points beyond U+10FFFF.
                unsigned char lead = pending[0];
                ok = !(lead == 0xE0 && c < 0xA0) && !(lead == 0xED && c > 0x9F) && !(lead == 0xF0 && c < 0x90) &&
                     !(lead == 0xF4 && c > 0x8F);
            }
            if (!ok) {
                std::fputs(REPLACEMENT, fp);
                need = have = 0;
                continue;  // c starts afresh
            }
            pending[have++] = c;
            ++p;
            if (have == need) {
                // U+FFFE and U+FFFF are no XML characters.
                bool nonchar = need == 3 && pending[0] == 0xEF && pending[1] == 0xBF && pending[2] >= 0xBE;
                if (nonchar)
                    std::fputs(REPLACEMENT, fp);
                else
                    std::fwrite(pending, 1, need, fp);
                need = have = 0;
            }
            continue;
        }
        if (c < 0x80) {
            const unsigned char* run = p;
            while (p < end && *p < 0x80 && !escape_of(*p))
                ++p;
            std::fwrite(run, 1, static_cast<std::size_t>(p - run), fp);
            if (p < end && *p < 0x80)
                std::fputs(escape_of(*p++), fp);
            continue;
        }
        ++p;
        if (c >= 0xC2 && c <= 0xDF)
            need = 2;
        else if (c >= 0xE0 && c <= 0xEF)
            need = 3;
        else if (c >= 0xF0 && c <= 0xF4)
            need = 4;
        else {
            std::fputs(REPLACEMENT, fp);
            continue;
        }
        pending[0] = c;
        have = 1;
    }
}

void XmlText::end()
{
    if (need)
        std::fputs(REPLACEMENT, fp);
    need = have = 0;
}

std::string xml_escaped(const std::string& s)
{
    char* buf = nullptr;
    std::size_t len = 0;
    std::FILE* mem = open_memstream(&buf, &len);
    if (!mem)
        throw std::bad_alloc();
    XmlText x(mem);
    x.put(s);
    x.end();
    std::fclose(mem);
    std::string out(buf, len);
    std::free(buf);
    return out;
}

// ---- Times ----

std::string w3c_time(std::time_t when)
{
    std::tm tm{};
    long off = 0;
    if (localtime_r(&when, &tm)) {
        off = tm.tm_gmtoff;
        // An offset of whole minutes only: old local mean times are given in UTC.
        if (off % 60 != 0) {
            gmtime_r(&when, &tm);
            off = 0;
        }
    } else {
        gmtime_r(&when, &tm);
    }
    char sign = off < 0 ? '-' : '+';
    long a = off < 0 ? -off : off;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, sign, a / 3600, a / 60 % 60);
    return buf;
}

std::time_t clamped_mtime(std::FILE* fp)
{
    struct stat st;
    std::time_t m = ::fstat(::fileno(fp), &st) == 0 ? st.st_mtime : 0;
    std::time_t latest = publication_time();
    if (m > latest)
        m = latest;
    return m < 0 ? 0 : m;
}

// ---- A page's header block ----

namespace {

// The PHP literal after "$name = \"" at the start of line, escapes undone;
// false when line is no such assignment.
bool php_value(const std::string& line, const char* name, std::string& value)
{
    std::string head = std::string("$") + name + " = \"";
    if (line.compare(0, head.size(), head) != 0)
        return false;
    value.clear();
    for (std::size_t i = head.size(); i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && std::strchr("\\\"$", line[i + 1]))
            ++i;
        value += line[i];
    }
    return true;
}

// Whether the robots directives keep the page out of search engines.
bool says_noindex(const std::string& robots)
{
    std::size_t at = 0;
    while (at < robots.size()) {
        std::size_t start = robots.find_first_not_of(" \t,;", at);
        if (start == std::string::npos)
            break;
        std::size_t stop = robots.find_first_of(" \t,;", start);
        if (stop == std::string::npos)
            stop = robots.size();
        std::string word = robots.substr(start, stop - start);
        for (char& c : word)
            c = lower(c);
        if (word == "noindex" || word == "none")
            return true;
        at = stop;
    }
    return false;
}

}  // namespace

bool is_line(const char* piece, std::size_t n, const char* text)
{
    std::size_t len = std::strlen(text);
    return (n == len + 1 && piece[len] == '\n' && std::memcmp(piece, text, len) == 0) ||
           (n == len + 2 && piece[len] == '\r' && piece[len + 1] == '\n' && std::memcmp(piece, text, len) == 0);
}

std::size_t read_page_head(LineReader& r, PageHead& h)
{
    // Header lines are short; a longer one is kept only in part.
    constexpr std::size_t KEEP = 1 << 16;
    h = PageHead{};
    std::size_t pieces = 0;
    bool first_line = true;
    std::string line;
    std::size_t n = 0;
    while (const char* piece = next_piece(r, n)) {
        ++pieces;
        if (pieces == 1) {
            if (!is_line(piece, n, "<?php"))
                return pieces;
            continue;
        }
        if (line.size() < KEEP)
            line.append(piece, std::min(n, KEEP - line.size()));
        if (piece[n - 1] != '\n')
            continue;
        if (first_line && line.rfind("$titel = ", 0) != 0)
            return pieces;
        first_line = false;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        std::string value;
        if (line == "?>")
            return pieces;
        if (php_value(line, "titel", value)) {
            h.page = true;
            h.titel = value;
        } else if (php_value(line, "robots", value)) {
            h.noindex = says_noindex(value);
        }
        line.clear();
    }
    return pieces;
}

// ---- The sitemap ----

bool read_sitemap_page(std::FILE* fp, std::time_t* lastmod)
{
    LineReader r(fp);
    PageHead h;
    read_page_head(r, h);
    if (!h.page || h.noindex)
        return false;
    bool stamped = false;
    bool line_start = true;
    std::size_t n = 0;
    while (const char* piece = next_piece(r, n)) {
        std::time_t when;
        if (line_start && read_stamp(piece, n, &when) && (!stamped || when > *lastmod)) {
            *lastmod = when;
            stamped = true;
        }
        line_start = piece[n - 1] == '\n';
    }
    if (std::ferror(fp))
        return false;
    if (!stamped)
        *lastmod = clamped_mtime(fp);
    return true;
}

namespace {

const char* const URLSET_OPEN =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
const char* const URLSET_CLOSE = "</urlset>\n";
const char* const INDEX_OPEN =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
const char* const INDEX_CLOSE = "</sitemapindex>\n";
const char* const URL_OPEN = "  <url>\n    <loc>";
const char* const URL_MIDDLE = "</loc>\n    <lastmod>";
const char* const URL_CLOSE = "</lastmod>\n  </url>\n";
constexpr std::size_t W3C_TIME_LEN = 25;  // "2021-05-03T09:05:00+00:00"
// The protocol takes addresses of fewer characters.
constexpr std::size_t MAX_LOC = 2048;

std::size_t url_bytes(const SitemapUrl& u)
{
    return std::strlen(URL_OPEN) + u.loc.size() + std::strlen(URL_MIDDLE) + W3C_TIME_LEN + std::strlen(URL_CLOSE);
}

}  // namespace

std::string url_path(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : path) {
        auto c = static_cast<unsigned char>(ch);
        if (is_alpha(ch) || is_digit(ch) || std::strchr("-._~/", ch) != nullptr) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

namespace {

bool ends_with(const std::string& s, const char* tail)
{
    std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

struct Walk {
    const BaseUrl& base;
    std::string loc_base;  // base.url, XML-escaped
    std::vector<SitemapUrl> urls;
};

std::string shown(const std::string& dir, const std::string& rel)
{
    return dir == "." ? rel : dir + "/" + rel;
}

int unreadable(const std::string& what, const std::string& name)
{
    std::printf("Fehler: %s \"%s\" kann nicht gelesen werden!\n", what.c_str(), name.c_str());
    return STATUS_IO;
}

// Adds the pages below dir/rel (rel empty or ending in "/") to w.urls.
// Directory entries are read first and the directory closed before going
// down, so that a deep tree does not hold a descriptor per level.
int walk(Walk& w, const std::string& dir, const std::string& rel)
{
    std::string path = rel.empty() ? dir : dir + "/" + rel;
    const std::string name_shown = rel.empty() ? dir : shown(dir, rel.substr(0, rel.size() - 1));
    DIR* d = ::opendir(path.c_str());
    if (!d)
        return unreadable("Verzeichnis", name_shown);
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* e = ::readdir(d)) {
        // Hidden entries (., .., .git, temporary files) are no part of the site.
        if (e->d_name[0] != '.')
            names.emplace_back(e->d_name);
        errno = 0;
    }
    int read_errno = errno;
    ::closedir(d);
    if (read_errno)
        return unreadable("Verzeichnis", name_shown);

    for (const auto& name : names) {
        std::string relname = rel + name;
        std::string full = dir + "/" + relname;
        struct stat st;
        if (::lstat(full.c_str(), &st) != 0)
            continue;  // gone meanwhile
        if (S_ISDIR(st.st_mode)) {
            // assets/ holds the includes, no pages.
            if (name != "assets") {
                int status = walk(w, dir, relname + "/");
                if (status != STATUS_OK)
                    return status;
            }
            continue;
        }
        // A link to a page counts; a link to a directory is not followed,
        // so that a loop of links cannot hold the walk.
        if (S_ISLNK(st.st_mode) && ::stat(full.c_str(), &st) != 0)
            continue;
        if (!S_ISREG(st.st_mode) || !ends_with(name, ".php"))
            continue;
        std::FILE* fp = std::fopen(full.c_str(), "rb");
        if (!fp)
            return unreadable("Datei", shown(dir, relname));
        std::time_t lastmod = 0;
        bool listed = read_sitemap_page(fp, &lastmod);
        bool failed = std::ferror(fp) != 0;
        std::fclose(fp);
        if (failed)
            return unreadable("Datei", shown(dir, relname));
        if (!listed)
            continue;
        // A folder's index page is the folder's address.
        std::string at = name == "index.php" ? rel : relname;
        std::string loc = w.base.url + url_path(at);
        if (loc.size() >= MAX_LOC) {
            std::printf("Warnung: Adresse länger als %zu Zeichen, nicht in der Sitemap: %s\n", MAX_LOC - 1,
                        loc.c_str());
            continue;
        }
        w.urls.push_back({w.loc_base + url_path(at), lastmod});
    }
    return STATUS_OK;
}

void write_urlset(std::FILE* fp, const std::vector<SitemapUrl>& urls, std::size_t from, std::size_t to)
{
    std::fputs(URLSET_OPEN, fp);
    for (std::size_t i = from; i < to; ++i) {
        std::fputs(URL_OPEN, fp);
        std::fputs(urls[i].loc.c_str(), fp);
        std::fputs(URL_MIDDLE, fp);
        std::fputs(w3c_time(urls[i].lastmod).c_str(), fp);
        std::fputs(URL_CLOSE, fp);
    }
    std::fputs(URLSET_CLOSE, fp);
}

}  // namespace

std::vector<std::size_t> sitemap_split(const std::vector<SitemapUrl>& urls, std::size_t max_urls,
                                       std::size_t max_bytes)
{
    std::vector<std::size_t> ends;
    const std::size_t frame = std::strlen(URLSET_OPEN) + std::strlen(URLSET_CLOSE);
    std::size_t count = 0, bytes = frame;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        std::size_t more = url_bytes(urls[i]);
        if (count > 0 && (count == max_urls || bytes + more > max_bytes)) {
            ends.push_back(i);
            count = 0;
            bytes = frame;
        }
        ++count;
        bytes += more;
    }
    ends.push_back(urls.size());
    return ends;
}

int generate_sitemap(const char* base, const char* dir)
{
    BaseUrl b;
    std::string why;
    if (!parse_base_url(base, b, why))
        return bad_base_url(base, why);
    std::string root = dir;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    if (!is_directory(root.c_str()))
        return unreadable("Verzeichnis", dir);

    // The whole list is held, to be sorted: its size grows with the number
    // of pages, a few hundred bytes each, not with their length.
    Walk w{b, xml_escaped(b.url), {}};
    int status = walk(w, root, "");
    if (status != STATUS_OK)
        return status;
    std::sort(w.urls.begin(), w.urls.end(),
              [](const SitemapUrl& x, const SitemapUrl& y) { return x.loc < y.loc; });
    std::vector<std::size_t> ends = sitemap_split(w.urls, SITEMAP_MAX_URLS, SITEMAP_MAX_BYTES);

    // Every file is written before any is put in place, the index last: a
    // failure before that leaves the old sitemap whole.
    std::size_t parts = ends.size() > 1 ? ends.size() : 0;
    std::vector<std::string> names;
    for (std::size_t k = 1; k <= parts; ++k)
        names.push_back(root + "/sitemap-" + std::to_string(k) + ".xml");
    names.push_back(root + "/sitemap.xml");
    std::vector<SafeOut> outs(names.size());
    std::size_t failed = names.size();
    for (std::size_t k = 0; k < names.size() && failed == names.size(); ++k)
        if (!safe_open(outs[k], names[k].c_str()))
            failed = k;
    if (failed == names.size()) {
        if (parts == 0) {
            write_urlset(outs[0].fp, w.urls, 0, w.urls.size());
        } else {
            std::FILE* index = outs[parts].fp;
            std::fputs(INDEX_OPEN, index);
            for (std::size_t k = 0; k < parts; ++k) {
                std::size_t from = k == 0 ? 0 : ends[k - 1];
                write_urlset(outs[k].fp, w.urls, from, ends[k]);
                std::time_t newest = w.urls[from].lastmod;
                for (std::size_t i = from; i < ends[k]; ++i)
                    newest = std::max(newest, w.urls[i].lastmod);
                std::fprintf(index, "  <sitemap>\n    <loc>%ssitemap-%zu.xml</loc>\n    <lastmod>%s</lastmod>\n  </sitemap>\n",
                             w.loc_base.c_str(), k + 1, w3c_time(newest).c_str());
            }
            std::fputs(INDEX_CLOSE, index);
        }
        for (std::size_t k = 0; k < names.size() && failed == names.size(); ++k)
            if (!safe_commit(outs[k]))
                failed = k;
    }
    if (failed != names.size()) {
        for (auto& o : outs)
            safe_abort(o);
        std::printf("Fehler: Datei \"%s\" kann nicht geschrieben werden!\n", names[failed].c_str());
        return STATUS_IO;
    }
    // Files of an earlier, longer sitemap would point search engines at
    // stale lists.
    for (std::size_t k = parts + 1;; ++k) {
        std::string stale = root + "/sitemap-" + std::to_string(k) + ".xml";
        if (::unlink(stale.c_str()) != 0)
            break;
    }
    return STATUS_OK;
}
