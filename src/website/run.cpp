// The site run: the plan (plan.cpp) says what each output file is made
// from; here the changed ones are written, the stale ones deleted, the links
// checked, and the record kept for the next run.
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
#include "website/website.h"

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
    // The old links by page: a site of many pages with many links each
    // would otherwise compare every page with every link.
    std::map<std::string, std::vector<const Link*>> old_links;
    for (const Link& l : old.links)
        old_links[l.page].push_back(&l);
    for (const Page& p : r.pages) {
        if (!todo.count(p.name) && !failed.count(p.name)) {
            if (auto it = old_links.find(p.name); it != old_links.end())
                for (const Link* l : it->second)
                    rec.links.push_back(*l);
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
