// The site run's pages through the program's page generators: each runs in
// the staging folder, as the per-page command line runs in the output
// folder, so that $seite is the page's own name.
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "carousel.h"
#include "page.h"
#include "pageformat.h"
#include "website/pages.h"

namespace site {
namespace {

// The renderer's words: the command as the settings give it, split at
// blanks (no shell, so no quoting), the article last.
std::vector<std::string> render_command(const Settings& s, const std::string& article)
{
    std::vector<std::string> argv;
    std::size_t at = 0;
    while (at < s.render.size()) {
        std::size_t start = s.render.find_first_not_of(" \t", at);
        if (start == std::string::npos)
            break;
        std::size_t end = s.render.find_first_of(" \t", start);
        if (end == std::string::npos)
            end = s.render.size();
        argv.push_back(s.render.substr(start, end - start));
        at = end;
    }
    argv.push_back(article);
    return argv;
}

// The input of one part: the article itself, or the fragment an outside
// renderer makes of it. "" when the renderer failed (named in a message).
std::string input_of(Gen& gen, const std::string& article)
{
    std::string path = gen.site + "/" + article;
    if (gen.s.render == "intern")
        return path;
    std::string frag = gen.staging + "/.fragment-" + std::to_string(hash(article)) + ".html";
    int fd = ::open(frag.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_t pid = fd < 0 ? -1 : start(render_command(gen.s, path), fd, false);
    int status = pid < 0 ? -1 : finish(pid);
    bool closed = fd >= 0 && ::close(fd) == 0;
    if (status != 0 || !closed) {
        std::printf("Fehler: %s kann „%s“ nicht umwandeln!\n", gen.s.render.c_str(), article.c_str());
        ::unlink(frag.c_str());
        return "";
    }
    return frag;
}

// Runs f in the staging folder with the generators' messages captured.
template <class F>
int in_staging(Gen& gen, F f)
{
    if (::chdir(gen.staging.c_str()) != 0) {
        ausgabe_nicht_schreibbar(gen.staging.c_str());
        return STATUS_IO;
    }
    bool captured = capture_begin(gen.cap);
    int status = f();
    if (captured)
        capture_end(gen.cap);
    stamp_with(nullptr);
    if (::chdir(gen.site.c_str()) != 0)
        return STATUS_IO;
    return status;
}

}  // namespace

int make_page(Gen& gen, const Page& p)
{
    std::string in1 = input_of(gen, p.article);
    std::string in2 = p.second.empty() || in1.empty() ? "" : input_of(gen, p.second);
    if (in1.empty() || (!p.second.empty() && in2.empty()))
        return STATUS_IO;
    int status = in_staging(gen, [&] {
        stamp_with(&p.date);
        if (!p.second.empty())
            return generate2(in1.c_str(), in2.c_str(), p.name.c_str());
        const Options& o = p.o;
        // A page whose block names no title is called like its article.
        std::string titel = o.titel.empty() && o.ueberschrift.empty() ? stem(p.article) : o.titel;
        return generate3(in1.c_str(), p.name.c_str(), titel.c_str(), o.ueberschrift.c_str(), o.carousel.c_str(),
                         o.gen_menu, o.menue, o.veroeffentlicht, o.equal_table, o.datum.c_str(), o.seo_datei.c_str(),
                         o.link_zurueck.c_str(), o.link_weiter.c_str(), o.link_inhalt.c_str(), o.div_tag.c_str(),
                         o.footer.c_str(), o.with_seo ? &o.seo : nullptr);
    });
    if (in1 != gen.site + "/" + p.article)
        ::unlink(in1.c_str());
    if (!in2.empty() && in2 != gen.site + "/" + p.second)
        ::unlink(in2.c_str());
    return status;
}

int make_news(Gen& gen, const std::vector<Entry>& entries, const std::string& name)
{
    std::string page = gen.staging + "/" + name;
    ::unlink(page.c_str());
    for (const Entry& e : entries) {
        std::string in = input_of(gen, e.article);
        if (in.empty())
            return STATUS_IO;
        int status = in_staging(gen, [&] {
            stamp_with(&e.date);
            return generate(in.c_str(), name.c_str());
        });
        if (in != gen.site + "/" + e.article)
            ::unlink(in.c_str());
        if (status != STATUS_OK)
            return status;
    }
    return STATUS_OK;
}

int make_carousel(Gen& gen, const std::string& list, const std::string& name)
{
    if (!make_dirs(gen.staging + "/assets/include"))
        return STATUS_IO;
    return in_staging(gen, [&] { return generate_carousel(list.c_str(), name.c_str(), "img"); });
}

}  // namespace site
