#include "sitemap.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pageformat.h"
#include "web.h"

bool read_sitemap_page(std::FILE* fp, std::time_t* lastmod, bool* failed)
{
    *failed = false;
    LineReader r(fp);
    PageHead h;
    read_page_head(r, h);
    if (!h.page || h.noindex) {
        *failed = std::ferror(fp) != 0;
        return false;
    }
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
    if (std::ferror(fp) || (!stamped && !clamped_mtime(fp, lastmod))) {
        *failed = true;
        return false;
    }
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
    if (!d) {
        if (!rel.empty() && errno == ENOENT)
            return STATUS_OK;  // gone meanwhile
        return unreadable("Verzeichnis", name_shown);
    }
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
        if (::lstat(full.c_str(), &st) != 0) {
            if (errno == ENOENT)
                continue;  // gone meanwhile
            return unreadable("Verzeichniseintrag", shown(dir, relname));
        }
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
        if (S_ISLNK(st.st_mode) && ::stat(full.c_str(), &st) != 0) {
            // A link to nothing, or into a loop, is no page; anything else
            // would drop a page from the sitemap unnoticed.
            if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP)
                continue;
            return unreadable("Verzeichniseintrag", shown(dir, relname));
        }
        if (!S_ISREG(st.st_mode) || !ends_with(name, ".php"))
            continue;
        std::FILE* fp = std::fopen(full.c_str(), "rb");
        if (!fp) {
            if (errno == ENOENT)
                continue;  // gone meanwhile
            return unreadable("Datei", shown(dir, relname));
        }
        std::time_t lastmod = 0;
        bool failed = false;
        bool listed = read_sitemap_page(fp, &lastmod, &failed);
        std::fclose(fp);
        if (failed)
            return unreadable("Datei", shown(dir, relname));
        if (!listed)
            continue;
        add_sitemap_url(w.base, relname, lastmod, w.urls);
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

void add_sitemap_url(const BaseUrl& base, const std::string& page, std::time_t lastmod, std::vector<SitemapUrl>& urls)
{
    // A folder's index page is the folder's address.
    std::size_t slash = page.rfind('/');
    std::string name = slash == std::string::npos ? page : page.substr(slash + 1);
    std::string at = name == "index.php" ? page.substr(0, page.size() - name.size()) : page;
    std::string loc = base.url + url_path(at);
    if (loc.size() >= MAX_LOC) {
        std::printf("Warnung: Adresse länger als %zu Zeichen, nicht in der Sitemap: %s\n", MAX_LOC - 1,
                    loc.c_str());
        return;
    }
    urls.push_back({xml_escaped(base.url) + url_path(at), lastmod});
}

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
    return write_sitemap(root, w.loc_base, w.urls);
}

int write_sitemap(const std::string& root, const std::string& loc_base, std::vector<SitemapUrl>& urls)
{
    struct {
        const std::string& loc_base;
        std::vector<SitemapUrl>& urls;
    } w{loc_base, urls};
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
