#include "page.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "fileio.h"
#include "markdown.h"
#include "rewrite.h"

namespace {

void ausgabe_nicht_lesbar(const char* output)
{
    std::printf("Fehler: Ausgabedatei \"%s\" kann nicht gelesen werden!\n", output);
}

}  // namespace

void writeLink(std::FILE* fp, const char* link, bool* breakWritten, int art)
{
    static const struct {
        const char* typ;
        const char* bez;
    } kinds[] = {
        {"icon-map", "Inhalt"},
        {"icon-arrow-right-circle", "Weiter"},
        {"icon-arrow-left-circle", "Zurück"},
    };
    constexpr int MAX = 3;
    if (!*breakWritten) {
        *breakWritten = true;
        put(fp, "\n<hr />\n");
    }
    if (art >= 0 && art < MAX)
        std::fprintf(fp, "<p><a href=\"%s\"><span class=\"%s\"></span>&nbsp;%s</a></p>", link,
                     kinds[art].typ, kinds[art].bez);
    put(fp, "\n");
}

int generate3(const char* input, const char* output, const char* title, const char* zeile1,
              const char* carousel, bool gen_menu, int menue, bool veroeffentlicht,
              bool equal_table, const char* datum, const char* seo_datei,
              const char* link_zurueck, const char* link_vor, const char* link_inhalt,
              const char* div_tag, const char* footer, const Seo_data* seo)
{
    std::FILE* fi = open_fragment(input);
    if (!fi)
        return STATUS_IO;
    SafeOut out;
    if (!safe_open(out, output)) {
        std::fclose(fi);
        ausgabe_nicht_schreibbar(output);
        return STATUS_IO;
    }
    std::FILE* fo = out.fp;
    if (write_header3(fo, title, zeile1, "", menue, veroeffentlicht, datum, seo_datei, output, seo) != STATUS_OK) {
        std::fclose(fi);
        safe_abort(out);
        return STATUS_IO;
    }
    schreibeInhalt(fi, fo, equal_table, div_tag);
    bool read_failed = std::ferror(fi) != 0;
    std::fclose(fi);
    if (read_failed) {
        safe_abort(out);
        eingabe_fehlt(input);
        return STATUS_IO;
    }
    put(fo, "\n");
    bool breakWritten = false;
    if (std::strlen(link_inhalt) > 2)
        writeLink(fo, link_inhalt, &breakWritten, 0);
    if (std::strlen(link_vor) > 2)
        writeLink(fo, link_vor, &breakWritten, 1);
    if (std::strlen(link_zurueck) > 2)
        writeLink(fo, link_zurueck, &breakWritten, 2);
    int status = write_footer3(fo, carousel, gen_menu, std::strcmp(zeile1, "X") != 0, footer);
    if (status != STATUS_OK) {
        safe_abort(out);
        return status;
    }
    if (!safe_commit(out)) {
        ausgabe_nicht_schreibbar(output);
        return STATUS_IO;
    }
    return STATUS_OK;
}

// ---- News and merged pages ----

namespace {

// Releases the page lock on every way out of a news run.
struct LockGuard {
    int fd = -1;
    ~LockGuard()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace

void write_header(std::FILE* fp)
{
    write_header3(fp, "Tarnido 2020 News", "Hier finden Sie die neusten Nachrichten über Tarnido 2020", "",
                  3, true, nullptr, nullptr, nullptr);
}

bool schreibeKopie(std::FILE* fi, std::FILE* fo)
{
    // Finding where the entries end takes a first pass; a second one copies,
    // so that memory stays the same however long the page is.
    char zeile[LINE_SIZE];
    EntryScan scan;
    {
        LineReader r(fi);
        std::time_t when;
        while (std::size_t n = read_piece(r, zeile))
            scan.step(zeile, n, &when);
        if (std::ferror(fi))
            return false;
    }
    if (scan.first == EntryScan::NONE)
        return true;
    const std::size_t end = scan.end();
    if (std::fseek(fi, 0, SEEK_SET) != 0)
        return false;
    LineReader r(fi);
    for (std::size_t i = 0; i < end; ++i) {
        std::size_t n = read_piece(r, zeile);
        if (n == 0)
            return false;  // shorter than a moment ago: not the page we measured
        if (i >= scan.first)
            std::fwrite(zeile, 1, n, fo);
    }
    return std::ferror(fi) == 0;
}

int generate(const char* input, const char* output)
{
    std::FILE* fi = open_fragment(input);
    if (!fi)
        return STATUS_IO;
    std::string target = resolve_target(output);
    struct stat st;
    bool exists = ::stat(output, &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        std::fclose(fi);
        ausgabe_nicht_schreibbar(output);
        return STATUS_IO;
    }
    // A terminal or pipe as output holds no earlier entries and has no
    // directory of its own to lock in; the page is simply written to it.
    bool page_file = !exists || S_ISREG(st.st_mode);

    // An unreadable page is refused before anything, even a lock file,
    // appears beside it.
    if (page_file && exists) {
        std::FILE* probe = std::fopen(target.c_str(), "rb");
        if (!probe && errno != ENOENT) {
            std::fclose(fi);
            ausgabe_nicht_lesbar(output);
            return STATUS_IO;
        }
        if (probe)
            std::fclose(probe);
    }
    // Held from reading the old entries until the new page is in place, so
    // that a run started meanwhile waits and then sees this run's entry.
    LockGuard lock;
    std::FILE* old = nullptr;
    if (page_file) {
        lock.fd = lock_beside(target);
        if (lock.fd < 0) {
            std::fclose(fi);
            ausgabe_nicht_schreibbar(output);
            return STATUS_IO;
        }
        old = std::fopen(target.c_str(), "rb");
        if (!old && errno != ENOENT) {
            std::fclose(fi);
            ausgabe_nicht_lesbar(output);
            return STATUS_IO;
        }
    }
    bool einfuegen = old != nullptr;

    SafeOut out;
    if (!safe_open(out, output)) {
        if (old)
            std::fclose(old);
        std::fclose(fi);
        ausgabe_nicht_schreibbar(output);
        return STATUS_IO;
    }
    std::FILE* fo = out.fp;
    write_header(fo);
    schreibeInhalt(fi, fo, false, nullptr);
    bool input_failed = std::ferror(fi) != 0;
    std::fclose(fi);
    put(fo, CLOSING_PAIR);
    put(fo, "\n");
    bool old_failed = false;
    if (einfuegen) {
        old_failed = !schreibeKopie(old, fo);
        std::fclose(old);
    }
    write_footer(fo, true);
    if (input_failed || old_failed) {
        safe_abort(out);
        if (input_failed)
            eingabe_fehlt(input);
        else
            ausgabe_nicht_lesbar(output);
        return STATUS_IO;
    }
    if (!safe_commit(out)) {
        ausgabe_nicht_schreibbar(output);
        return STATUS_IO;
    }
    return STATUS_OK;
}

int generate2(const char* input1, const char* input2, const char* output)
{
    std::FILE* fi1 = open_fragment(input1);
    if (!fi1)
        return STATUS_IO;
    std::FILE* fi2 = open_fragment(input2);
    if (!fi2) {
        std::fclose(fi1);
        return STATUS_IO;
    }
    SafeOut out;
    if (!safe_open(out, output)) {
        std::fclose(fi1);
        std::fclose(fi2);
        ausgabe_nicht_schreibbar(output);
        return STATUS_IO;
    }
    std::FILE* fo = out.fp;
    write_header(fo);
    schreibeInhalt(fi1, fo, false, nullptr);
    bool failed1 = std::ferror(fi1) != 0;
    std::fclose(fi1);
    write_div(fo);
    schreibeInhalt(fi2, fo, false, nullptr);
    bool failed2 = std::ferror(fi2) != 0;
    std::fclose(fi2);
    write_footer(fo, false);
    if (failed1 || failed2) {
        safe_abort(out);
        eingabe_fehlt(failed1 ? input1 : input2);
        return STATUS_IO;
    }
    if (!safe_commit(out)) {
        ausgabe_nicht_schreibbar(output);
        return STATUS_IO;
    }
    return STATUS_OK;
}
