// The site run's plan: the sources found and dated, the output files and
// their keys, and the making of each one.
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
#include "website/plan.h"

namespace site {
namespace {

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



// Whether the page asks robots not to index it (its SEO values or file).
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



}  // namespace

std::string stat_key(Run& r, const std::string& path)
{
    const struct stat* st = stat_of(r, path);
    if (!st)
        return "-";
    return std::to_string(st->st_size) + ":" + std::to_string(st->st_mtim.tv_sec) + "." +
           std::to_string(st->st_mtim.tv_nsec) + ":" + std::to_string(st->st_ino);
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
    // A page is several KB (its SEO values are fixed buffers): no moving them on growth.
    r.pages.reserve(articles.size());
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

}  // namespace site
