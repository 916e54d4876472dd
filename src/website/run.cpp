// The site run: what the site is made of, what each output file is made
// from, which of them changed; then the changed ones written, the stale
// ones deleted, the links checked, and the record kept for the next run.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include "feed.h"
#include "markdown.h"
#include "pageformat.h"
#include "seo.h"
#include "sitemap.h"
#include "web.h"
#include "website/pages.h"
#include "website/website.h"

namespace site {
namespace {

constexpr const char* SETTINGS = "website.yaml";
constexpr const char* NEWS_PAGE = "neuigkeiten.php";
constexpr const char* NEWS_FEED = "neuigkeiten.xml";

// What an output file is, so that the run knows how to make it.
struct Output {
    enum Kind { page, news, feed, carousel, copy, photo, sitemap_part, sitemap, robots };
    Kind kind;
    std::size_t index = 0;  // into the run's pages, or its sources
    std::string key;
};

struct Run {
    Settings s;
    std::string site;     // absolute
    std::string out;      // absolute
    std::string staging;  // absolute
    std::string program;  // what the program binary is: its size and time
    std::vector<Page> pages;
    std::vector<Entry> entries;
    std::vector<std::string> sources;   // copied files and photos, below the site
    std::vector<std::string> carousels; // list files, below the site
    std::map<std::string, Output> outputs;
    // Each source is looked at once a run: its size, time and inode.
    std::map<std::string, struct stat> stats;
    int status = STATUS_OK;
    bool fail(int st)
    {
        if (status == STATUS_OK)
            status = st;
        return false;
    }
};

// The status of path, or null when it cannot be had (asked again next time).
const struct stat* stat_of(Run& r, const std::string& path)
{
    auto it = r.stats.find(path);
    if (it != r.stats.end())
        return &it->second;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return nullptr;
    return &r.stats.emplace(path, st).first->second;
}

std::string stat_key(Run& r, const std::string& path)
{
    const struct stat* st = stat_of(r, path);
    if (!st)
        return "-";
    return std::to_string(st->st_size) + ":" + std::to_string(st->st_mtim.tv_sec) + "." +
           std::to_string(st->st_mtim.tv_nsec) + ":" + std::to_string(st->st_ino);
}

std::string key_of(const std::string& text)
{
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(hash(text)));
    return buf;
}

// A file's modification time.
std::time_t file_time(Run& r, const std::string& path)
{
    const struct stat* st = stat_of(r, path);
    if (!st) {
        eingabe_fehlt(path.c_str());
        r.fail(STATUS_IO);
        return 0;
    }
    return st->st_mtime;
}

// No time later than SOURCE_DATE_EPOCH where that is set: a reproducible
// build stamps nothing later.
std::time_t clamped(std::time_t t)
{
    const char* sde = std::getenv("SOURCE_DATE_EPOCH");
    if (sde && *sde && std::strspn(sde, "0123456789") == std::strlen(sde))
        t = std::min(t, static_cast<std::time_t>(std::atoll(sde)));
    return t;
}

bool add_output(Run& r, const std::string& path, Output o, const std::string& from)
{
    if (!r.outputs.emplace(path, o).second) {
        std::printf("Fehler: %s ergäbe „%s“, das schon ein anderer Teil der Website schreibt!\n", from.c_str(),
                    path.c_str());
        return r.fail(STATUS_USAGE);
    }
    return true;
}

// The articles with a block and what they name; the news entries.
void find_pages(Run& r)
{
    std::set<std::string> seconds;
    std::vector<std::string> blockless;
    std::vector<std::string> articles, news;
    if (!markdown_files(r.s.artikel, articles) || !markdown_files(r.s.neuigkeiten, news)) {
        std::printf("Fehler: Ordner \"%s\" oder \"%s\" kann nicht gelesen werden!\n", r.s.artikel.c_str(),
                    r.s.neuigkeiten.c_str());
        r.fail(STATUS_IO);
        return;
    }
    for (const std::string& name : articles) {
        Page p;
        p.article = r.s.artikel + "/" + name;
        p.name = stem(name) + ".php";
        // Too large to render: named here, not taken for an article without block.
        const struct stat* st = stat_of(r, p.article);
        if (st && static_cast<std::size_t>(st->st_size) > MARKDOWN_MAX) {
            std::printf("Fehler: Markdown-Datei \"%s\" ist größer als %zu MiB!\n", p.article.c_str(), MARKDOWN_MAX >> 20);
            r.fail(STATUS_USAGE);
            continue;
        }
        if (int read = fm::read_front_matter(p.article.c_str(), (r.out + "/" + p.name).c_str(), p.f); read != STATUS_OK) {
            r.fail(read);
            continue;
        }
        if (!p.f.present) {
            blockless.push_back(p.article);
            continue;
        }
        if (fm::apply_front_matter(p.o, p.f, {}) != STATUS_OK) {
            r.fail(STATUS_IO);
            continue;
        }
        // The generators run in the staging folder: files the block names
        // are the site's.
        if (p.o.gen_menu && !p.o.carousel.empty() && p.o.carousel[0] != '/')
            p.o.carousel = r.site + "/" + p.o.carousel;
        if (!p.o.seo_datei.empty() && p.o.seo_datei[0] != '/')
            p.o.seo_datei = r.site + "/" + p.o.seo_datei;
        if (!p.f.second.empty()) {
            p.second = r.s.artikel + "/" + p.f.second;
            if (!is_markdown(p.second.c_str()))
                p.second += ".md";
            if (::access(p.second.c_str(), R_OK) != 0) {
                std::printf("Fehler in %s in Zeile %zu: „zweiterteil“ nennt den Artikel „%s“, den es nicht gibt!\n",
                            p.article.c_str(), p.f.second_line, p.f.second.c_str());
                r.fail(STATUS_USAGE);
                continue;
            }
            seconds.insert(p.second);
        }
        if (p.f.draft && !r.s.entwuerfe)
            continue;
        r.pages.push_back(std::move(p));
    }
    for (const std::string& a : blockless)
        if (!seconds.count(a))
            std::printf("Warnung: %s hat keinen Kopfblock (--- … ---) und wird keine Seite.\n", a.c_str());
    for (const std::string& name : news) {
        Entry e;
        e.article = r.s.neuigkeiten + "/" + name;
        fm::FrontMatter f;
        if (int read = fm::read_front_matter(e.article.c_str(), (r.out + "/" + NEWS_PAGE).c_str(), f); read != STATUS_OK) {
            r.fail(read);
            continue;
        }
        if (f.draft && !r.s.entwuerfe)
            continue;
        e.date = f.with_time ? f.published : -1;
        r.entries.push_back(e);
    }
}

// Dates: the block's, else the last commit's, else the file's.
void date_pages(Run& r)
{
    bool need = std::any_of(r.pages.begin(), r.pages.end(), [](const Page& p) { return !p.f.with_time; }) ||
                std::any_of(r.entries.begin(), r.entries.end(), [](const Entry& e) { return e.date < 0; });
    std::map<std::string, std::time_t> commits;
    if (need)
        commits = commit_times({r.s.artikel, r.s.neuigkeiten});
    auto date_of = [&](const std::string& article) {
        auto it = commits.find(article);
        return clamped(it != commits.end() ? it->second : file_time(r, article));
    };
    for (Page& p : r.pages) {
        p.date = p.f.with_time ? p.f.published : date_of(p.article);
        // A merged page is as new as its newer part.
        if (!p.second.empty())
            p.date = std::max(p.date, date_of(p.second));
    }
    for (Entry& e : r.entries)
        if (e.date < 0)
            e.date = date_of(e.article);
    std::stable_sort(r.entries.begin(), r.entries.end(), [](const Entry& a, const Entry& b) {
        return a.date != b.date ? a.date < b.date : a.article < b.article;
    });
}

// Every output file and the key of what it is made from.
bool noindex(const Page& p)
{
    std::string robots = p.o.seo.robots;
    if (!p.o.with_seo && !p.o.seo_datei.empty()) {
        bool failed = false;
        robots = read_seo(p.o.seo_datei.c_str(), &failed).robots;
    }
    for (char& c : robots)
        c = ascii_lower(c);
    return robots.find("noindex") != std::string::npos || robots.find("none") != std::string::npos;
}

// The sitemap's addresses: every page not marked noindex, and the news page.
std::vector<SitemapUrl> sitemap_urls(const Run& r)
{
    BaseUrl b;
    std::string why;
    parse_base_url(r.s.basis_url.c_str(), b, why);
    std::vector<SitemapUrl> urls;
    for (const Page& p : r.pages)
        if (!noindex(p))
            add_sitemap_url(b, p.name, p.date, urls);
    if (!r.entries.empty())
        add_sitemap_url(b, NEWS_PAGE, r.entries.back().date, urls);
    return urls;
}

// How many part files the sitemap needs beside its index (0: it is one file).
std::size_t sitemap_parts(const Run& r)
{
    std::vector<SitemapUrl> urls = sitemap_urls(r);
    std::sort(urls.begin(), urls.end(), [](const SitemapUrl& x, const SitemapUrl& y) { return x.loc < y.loc; });
    std::size_t files = sitemap_split(urls, SITEMAP_MAX_URLS, SITEMAP_MAX_BYTES).size();
    return files > 1 ? files : 0;
}

void plan(Run& r)
{
    std::string render = r.s.render == "intern" ? "intern" : r.s.render;
    for (std::size_t i = 0; i < r.pages.size(); ++i) {
        const Page& p = r.pages[i];
        std::string k = "page|" + r.program + "|" + render + "|" + std::to_string(p.date) + "|" + stat_key(r, p.article);
        if (!p.second.empty())
            k += "|" + stat_key(r, p.second);
        if (p.o.gen_menu)
            k += "|" + stat_key(r, p.o.carousel);
        if (!p.o.seo_datei.empty())
            k += "|" + stat_key(r, p.o.seo_datei);
        add_output(r, p.name, {Output::page, i, key_of(k)}, p.article);
        // A carousel include comes from the list of the same name beside
        // the settings, where there is one.
        if (!p.o.gen_menu && p.o.carousel.size() > 2 && p.o.carousel.find('/') == std::string::npos &&
            ::access((p.o.carousel + ".txt").c_str(), R_OK) == 0 &&
            std::find(r.carousels.begin(), r.carousels.end(), p.o.carousel) == r.carousels.end()) {
            r.carousels.push_back(p.o.carousel);
            std::string list = p.o.carousel + ".txt";
            add_output(r, "assets/include/" + p.o.carousel + ".php",
                       {Output::carousel, r.carousels.size() - 1, key_of("carousel|" + r.program + "|" + stat_key(r, list))},
                       list);
        }
    }
    if (!r.entries.empty()) {
        std::string k = "news|" + r.program + "|" + render;
        for (const Entry& e : r.entries)
            k += "|" + e.article + "|" + std::to_string(e.date) + "|" + stat_key(r, e.article);
        add_output(r, NEWS_PAGE, {Output::news, 0, key_of(k)}, r.s.neuigkeiten);
        add_output(r, NEWS_FEED, {Output::feed, 0, key_of(k + "|" + r.s.basis_url + "|" + r.s.titel)}, r.s.neuigkeiten);
    }
    std::string photo = "photo|" + r.s.imagemagick + "|" + std::to_string(r.s.bild_max) + "|" +
                        std::to_string(r.s.bild_qualitaet) + "|";
    for (const char* dir : {"img", "assets", "dateien"}) {
        std::vector<std::string> files;
        if (!files_below(dir, files)) {
            std::printf("Fehler: Ordner \"%s\" kann nicht gelesen werden!\n", dir);
            r.fail(STATUS_IO);
            continue;
        }
        for (const std::string& f : files) {
            std::string src = std::string(dir) + "/" + f;
            bool is = std::strcmp(dir, "img") == 0 && is_photo(f);
            r.sources.push_back(src);
            add_output(r, src,
                       {is ? Output::photo : Output::copy, r.sources.size() - 1,
                        key_of((is ? photo : std::string("copy|")) + stat_key(r, src))},
                       src);
        }
    }
    std::string k = "sitemap|" + r.program + "|" + r.s.basis_url;
    for (const Page& p : r.pages)
        k += "|" + p.name + "|" + std::to_string(p.date) + "|" + p.o.seo_datei + "|" + p.o.seo.robots;
    if (!r.entries.empty())
        k += "|" + std::to_string(r.entries.back().date);
    add_output(r, "sitemap.xml", {Output::sitemap, 0, key_of(k)}, SETTINGS);
    // A sitemap of more than 50,000 addresses (or 50 MiB) is an index of parts.
    std::size_t parts = sitemap_parts(r);
    for (std::size_t n = 1; n <= parts; ++n)
        add_output(r, "sitemap-" + std::to_string(n) + ".xml",
                   {Output::sitemap_part, n, key_of(k + "|" + std::to_string(n) + "/" + std::to_string(parts))}, SETTINGS);
    add_output(r, "robots.txt", {Output::robots, 0, key_of("robots|" + r.s.basis_url)}, SETTINGS);
}

// Makes the output path into the staging folder; the status of the run.
int produce(Run& r, Gen& gen, const std::string& path, const Output& o)
{
    std::string staged = r.staging + "/" + path;
    switch (o.kind) {
    case Output::page:
        return make_page(gen, r.pages[o.index]);
    case Output::news:
        return make_news(gen, r.entries, path);
    case Output::carousel:
        return make_carousel(gen, r.site + "/" + r.carousels[o.index] + ".txt", r.carousels[o.index]);
    case Output::copy:
        return copy_file(r.sources[o.index], staged) ? STATUS_OK : STATUS_IO;
    case Output::photo:
        return STATUS_OK;  // converted together beforehand
    case Output::robots: {
        std::string base = r.s.basis_url;
        while (!base.empty() && base.back() == '/')
            base.pop_back();
        return write_text(staged, "User-agent: *\nAllow: /\nSitemap: " + base + "/sitemap.xml\n") ? STATUS_OK
                                                                                                      : STATUS_IO;
    }
    case Output::sitemap_part:
    case Output::sitemap: {
        // One writing makes the index and all its parts; whichever of them
        // comes first makes them, the others find theirs made.
        if (::access(staged.c_str(), F_OK) == 0)
            return STATUS_OK;
        BaseUrl b;
        std::string why;
        parse_base_url(r.s.basis_url.c_str(), b, why);
        std::vector<SitemapUrl> urls = sitemap_urls(r);
        return write_sitemap(r.staging, xml_escaped(b.url), urls);
    }
    case Output::feed: {
        BaseUrl b;
        std::string why;
        parse_base_url(r.s.basis_url.c_str(), b, why);
        std::string page = r.out + "/" + NEWS_PAGE;
        std::FILE* fp = std::fopen(page.c_str(), "rb");
        if (!fp) {
            eingabe_fehlt(page.c_str());
            return STATUS_IO;
        }
        SafeOut out;
        if (!safe_open(out, staged.c_str())) {
            std::fclose(fp);
            ausgabe_nicht_schreibbar(staged.c_str());
            return STATUS_IO;
        }
        FeedRead got = write_feed(out.fp, fp, b, NEWS_PAGE, NEWS_FEED, r.s.titel.empty() ? nullptr : r.s.titel.c_str());
        std::fclose(fp);
        if (got != FeedRead::ok || !safe_commit(out)) {
            safe_abort(out);
            ausgabe_nicht_schreibbar(staged.c_str());
            return STATUS_IO;
        }
        return STATUS_OK;
    }
    }
    return STATUS_IO;
}

}  // namespace
}  // namespace site

namespace {

using namespace site;

std::string read_all(const std::string& path)
{
    std::string text;
    std::FILE* fi = std::fopen(path.c_str(), "rb");
    if (!fi)
        return text;
    char buf[1 << 14];
    while (std::size_t got = std::fread(buf, 1, sizeof buf, fi)) {
        text.append(buf, got);
        if (text.size() > MARKDOWN_MAX)
            break;
    }
    std::fclose(fi);
    return text;
}

void add_links(std::vector<Link>& links, const std::string& page, const std::string& article)
{
    std::string text = read_all(article);
    for (auto& [line, target] : find_links(text.data(), text.size()))
        links.push_back({page, article, line, target});
}

// Removes dir and its parents up to (not including) top while they are empty.
void remove_empty(std::string dir, const std::string& top)
{
    while (dir.size() > top.size() && dir.compare(0, top.size() + 1, top + "/") == 0 && ::rmdir(dir.c_str()) == 0)
        dir.resize(dir.rfind('/'));
}

bool kept(const Settings& s, const std::string& path)
{
    for (const std::string& pattern : s.behalten)
        if (fnmatch(pattern.c_str(), path.c_str(), FNM_PATHNAME) == 0)
            return true;
    return false;
}

std::string seconds(double s)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", s);
    for (char* c = buf; *c; ++c)
        if (*c == '.')
            *c = ',';
    return buf;
}

}  // namespace

int generate_website(const char* dir, const std::vector<std::string>& settings)
{
    auto started = std::chrono::steady_clock::now();
    Run r;
    if (::chdir(dir) != 0) {
        std::printf("Fehler: Verzeichnis \"%s\" kann nicht gelesen werden!\n", dir);
        return STATUS_USAGE;
    }
    char* cwd = ::getcwd(nullptr, 0);
    r.site = cwd ? cwd : ".";
    std::free(cwd);
    if (!read_settings(SETTINGS, settings, r.s))
        return STATUS_USAGE;
    BaseUrl base;
    std::string why;
    if (!parse_base_url(r.s.basis_url.c_str(), base, why))
        return bad_base_url(r.s.basis_url.c_str(), why);
    r.out = r.s.ausgabe[0] == '/' ? r.s.ausgabe : r.site + "/" + r.s.ausgabe;
    while (r.out.size() > 1 && r.out.back() == '/')
        r.out.pop_back();
    if (r.out == r.site || r.out == r.site + "/." || r.site.compare(0, r.out.size() + 1, r.out + "/") == 0) {
        std::printf("Fehler in %s: „ausgabe“ darf nicht der Ordner der Website sein!\n", SETTINGS);
        return STATUS_USAGE;
    }
    std::string state = r.out + "/.quennelbrook";
    std::string record_path = state + "/bau.txt";
    if (!make_dirs(state)) {
        ausgabe_nicht_schreibbar(state.c_str());
        return STATUS_IO;
    }
    // One run at a time per output folder: a second waits for the first.
    int lock = lock_beside(record_path);
    if (lock < 0) {
        ausgabe_nicht_schreibbar(record_path.c_str());
        return STATUS_IO;
    }
    struct Unlock {
        int fd;
        ~Unlock() { ::close(fd); }
    } unlock{lock};
    r.staging = state + "/neu";
    remove_tree(r.staging);
    if (!make_dirs(r.staging)) {
        ausgabe_nicht_schreibbar(r.staging.c_str());
        return STATUS_IO;
    }
    r.program = stat_key(r, "/proc/self/exe");
    Record old;
    if (!read_record(record_path, old)) {
        eingabe_fehlt(record_path.c_str());
        return STATUS_IO;
    }
    find_pages(r);
    date_pages(r);
    plan(r);
    // Bad input changes nothing: every fault is named first.
    if (r.status != STATUS_OK) {
        remove_tree(r.staging);
        return r.status;
    }

    std::set<std::string> todo;
    for (const auto& [path, o] : r.outputs) {
        auto it = old.files.find(path);
        Written now;
        bool same = it != old.files.end() && it->second.key == o.key && stat_written(r.out + "/" + path, now) &&
                    now.size == it->second.size && now.mtime == it->second.mtime;
        if (!same)
            todo.insert(path);
    }
    // Before anything is written, the record names it: a run killed
    // meanwhile leaves nothing behind that the next run does not know.
    Record rec = old;
    bool grows = false;
    for (const auto& [path, o] : r.outputs)
        if (!rec.files.count(path)) {
            rec.files[path] = Written{};
            grows = true;
        }
    if (grows && !write_record(record_path, rec))
        return STATUS_IO;

    Capture cap;
    Gen gen{r.site, r.staging, r.s, cap};
    std::size_t written = 0, deleted = 0, warnings = 0, photos = 0;
    std::set<std::string> failed;
    std::vector<PhotoJob> jobs;
    std::vector<std::string> job_paths;
    for (const std::string& path : todo)
        if (r.outputs.at(path).kind == Output::photo) {
            if (!make_dirs((r.staging + "/" + path).substr(0, (r.staging + "/" + path).rfind('/'))))
                continue;
            jobs.push_back({r.site + "/" + path, r.staging + "/" + path});
            job_paths.push_back(path);
        }
    for (std::size_t i : convert_photos(r.s, jobs)) {
        failed.insert(job_paths[i]);
        r.fail(STATUS_IO);
    }
    // The feed reads the news page; the sitemap comes last, its parts
    // before the index that names them.
    for (Output::Kind kind : {Output::photo, Output::copy, Output::carousel, Output::page, Output::news, Output::feed,
                              Output::sitemap_part, Output::sitemap, Output::robots}) {
        for (const std::string& path : todo) {
            const Output& o = r.outputs.at(path);
            if (o.kind != kind || failed.count(path))
                continue;
            int st = produce(r, gen, path, o);
            Put put = st == STATUS_OK ? publish(r.staging + "/" + path, r.out + "/" + path) : Put::failed;
            if (put == Put::failed) {
                failed.insert(path);
                r.fail(st == STATUS_OK ? STATUS_IO : st);
                continue;
            }
            if (put == Put::written) {
                ++written;
                std::printf("geschrieben: %s\n", path.c_str());
            }
            photos += kind == Output::photo;
        }
    }
    capture_close(cap);

    // The record: what is in place now, and the links of every page.
    for (const auto& [path, o] : r.outputs) {
        Written w;
        if (failed.count(path) || !stat_written(r.out + "/" + path, w)) {
            // Made again next time; deleted once it is no longer wanted.
            rec.files[path].key.clear();
            continue;
        }
        w.key = o.key;
        rec.files[path] = w;
    }
    rec.links.clear();
    for (const Page& p : r.pages) {
        if (!todo.count(p.name) && !failed.count(p.name)) {
            for (const Link& l : old.links)
                if (l.page == p.name)
                    rec.links.push_back(l);
            continue;
        }
        add_links(rec.links, p.name, p.article);
        if (!p.second.empty())
            add_links(rec.links, p.name, p.second);
    }
    // What an earlier run wrote and this one does not goes, once this run
    // has all it wants in place.
    if (failed.empty()) {
        for (auto it = rec.files.begin(); it != rec.files.end();) {
            if (r.outputs.count(it->first)) {
                ++it;
                continue;
            }
            std::string path = r.out + "/" + it->first;
            if (::unlink(path.c_str()) == 0) {
                ++deleted;
                std::printf("gelöscht: %s\n", it->first.c_str());
            } else if (errno != ENOENT) {
                std::printf("Fehler: Datei \"%s\" kann nicht gelöscht werden (%s)!\n", path.c_str(), std::strerror(errno));
                r.fail(STATUS_IO);
                ++it;  // tried again next time
                continue;
            }
            remove_empty(path.substr(0, path.rfind('/')), r.out);
            it = rec.files.erase(it);
        }
    }
    std::vector<std::string> present;
    files_below(r.out, present);
    const std::set<std::string> there(present.begin(), present.end());
    // Checked once the stale files are gone: a link to a deleted page counts.
    for (const Link& l : rec.links) {
        if (r.outputs.count(l.target) || there.count(l.target) || kept(r.s, l.target))
            continue;
        ++warnings;
        std::printf("%s: %s, Zeile %zu: „%s“ gibt es in der Website nicht.\n", r.s.linkfehler ? "Fehler" : "Warnung",
                    l.article.c_str(), l.line, l.target.c_str());
        if (r.s.linkfehler)
            r.fail(STATUS_USAGE);
    }
    for (const std::string& f : present)
        if (!rec.files.count(f) && !kept(r.s, f)) {
            ++warnings;
            std::printf("Warnung: %s/%s stammt nicht aus dem Bau; es bleibt liegen und wird mit hochgeladen.\n",
                        r.s.ausgabe.c_str(), f.c_str());
        }
    bool same_record = rec.files.size() == old.files.size() && rec.links.size() == old.links.size() &&
                       std::equal(rec.files.begin(), rec.files.end(), old.files.begin(), [](const auto& a, const auto& b) {
                           return a.first == b.first && a.second.key == b.second.key && a.second.size == b.second.size &&
                                  a.second.mtime == b.second.mtime;
                       });
    if ((!same_record || grows) && !write_record(record_path, rec))
        r.fail(STATUS_IO);
    remove_tree(r.staging);
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    auto count = [](std::size_t n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); };
    std::printf("Website: %s, %s, %s umgewandelt; %s geschrieben, %zu gelöscht, %s; %s s\n",
                count(r.pages.size(), "Seite", "Seiten").c_str(), count(r.entries.size(), "Eintrag", "Einträge").c_str(),
                count(photos, "Foto", "Fotos").c_str(), count(written, "Datei", "Dateien").c_str(), deleted,
                count(warnings, "Warnung", "Warnungen").c_str(), seconds(took).c_str());
    return r.status;
}
