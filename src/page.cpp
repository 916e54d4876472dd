#include "page.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "fileio.h"
#include "markdown.h"
#include "menu.h"
#include "rewrite.h"
#include "seo.h"

std::time_t t;
std::tm* ts;
const char* const tage[7] = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};

namespace {

void put(std::FILE* fp, const char* s)
{
    std::fputs(s, fp);
}

const char* const STAMP_OPEN = "<p style=\"text-align: right; margin-top: -3em;\"><small>";
const char* const STAMP_CLOSE = "</small><p>\n";
const char* const STAMP_LABEL = "veröffentlicht: ";

}  // namespace

void write_php_string(std::FILE* fp, const char* s)
{
    // Backslash, quote and dollar would end the literal or start an
    // interpolation; everything else is taken literally by PHP.
    while (*s) {
        std::size_t plain = std::strcspn(s, "\\\"$");
        std::fwrite(s, 1, plain, fp);
        s += plain;
        if (*s) {
            std::fputc('\\', fp);
            std::fputc(*s, fp);
            ++s;
        }
    }
}

std::time_t publication_time()
{
    const char* sde = std::getenv("SOURCE_DATE_EPOCH");
    if (sde && *sde && std::strspn(sde, "0123456789") == std::strlen(sde)) {
        errno = 0;
        char* end = nullptr;
        unsigned long long v = std::strtoull(sde, &end, 10);
        constexpr unsigned long long max_time = static_cast<unsigned long long>(LLONG_MAX);
        if (errno == 0 && v <= max_time) {
            std::time_t when = static_cast<std::time_t>(v);
            // A time the calendar cannot show is as good as no setting.
            if (std::localtime(&when))
                return when;
        }
    }
    return std::time(nullptr);
}

void write_section(std::FILE* fp, bool schreibeVeroeffentlicht)
{
    t = publication_time();
    ts = std::localtime(&t);
    put(fp, "<div class=\"container\">\n");
    put(fp, "\t<br>\n");
    put(fp, "\t<div class=\"jumbotron\">\n");
    if (schreibeVeroeffentlicht && ts) {
        put(fp, STAMP_OPEN);
        std::fprintf(fp, "%s%s, %d.%d.%d %02d:%02d", STAMP_LABEL, tage[ts->tm_wday], ts->tm_mday,
                     ts->tm_mon + 1, ts->tm_year + 1900, ts->tm_hour, ts->tm_min);
        put(fp, STAMP_CLOSE);
    }
}

namespace {

// Reads 1 to max_digits decimal digits at *p into *v and advances *p.
bool digits(const char*& p, const char* end, int max_digits, int* v)
{
    int n = 0;
    *v = 0;
    while (p < end && n < max_digits && *p >= '0' && *p <= '9') {
        *v = *v * 10 + (*p++ - '0');
        ++n;
    }
    return n > 0;
}

bool take(const char*& p, const char* end, const char* s)
{
    std::size_t len = std::strlen(s);
    if (static_cast<std::size_t>(end - p) < len || std::memcmp(p, s, len) != 0)
        return false;
    p += len;
    return true;
}

}  // namespace

bool read_stamp(const char* line, std::size_t n, std::time_t* when)
{
    const char* p = line;
    const char* end = line + n;
    if (!take(p, end, STAMP_OPEN) || !take(p, end, STAMP_LABEL))
        return false;
    bool weekday = false;
    for (const char* tag : tage)
        weekday = weekday || take(p, end, tag);
    int day, month, year, hour, minute;
    if (!weekday || !take(p, end, ", ") || !digits(p, end, 2, &day) || !take(p, end, ".") ||
        !digits(p, end, 2, &month) || !take(p, end, ".") || !digits(p, end, 4, &year) || !take(p, end, " ") ||
        !digits(p, end, 2, &hour) || !take(p, end, ":") || !digits(p, end, 2, &minute) || !take(p, end, "</small>"))
        return false;
    if (year < 1000 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59)
        return false;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    std::time_t v = std::mktime(&tm);
    // mktime moves a 31.2. on to March: no such day.
    if (v == static_cast<std::time_t>(-1) || tm.tm_mday != day || tm.tm_mon != month - 1)
        return false;
    *when = v;
    return true;
}

int write_header3(std::FILE* fp, const char* titel, const char* zeile1, const char* zeile2,
                  int menue, bool veroeffentlicht, const char* datum, const char* seo_datei,
                  const char* dateiname)
{
    put(fp, "<?php\n");
    put(fp, "$titel = \"");
    write_php_string(fp, titel);
    put(fp, "\";\n$zeile1 = \"");
    write_php_string(fp, zeile1);
    put(fp, "\";\n$zeile2 = \"");
    write_php_string(fp, zeile2);
    put(fp, "\";\n");
    std::fprintf(fp, "$menue = %d;\n", menue);
    if (dateiname && std::strlen(dateiname) > 3) {
        put(fp, "$seite = \"");
        write_php_string(fp, dateiname);
        put(fp, "\";\n");
    }
    if (seo_datei) {
        bool read_failed = false;
        Seo_data seo = read_seo(seo_datei, &read_failed);
        if (read_failed)
            return STATUS_IO;
        const struct {
            const char* name;
            const char* value;
        } vars[] = {{"keywords", seo.keywords}, {"description", seo.description}, {"robots", seo.robots}};
        for (const auto& v : vars) {
            if (!v.value[0])
                continue;
            std::fprintf(fp, "$%s = \"", v.name);
            write_php_string(fp, v.value);
            put(fp, "\";\n");
        }
    }
    put(fp, "\nrequire_once(\"assets/include/header.php\");\n");
    put(fp, "?>\n");
    put(fp, "\n");
    if (std::strcmp(zeile1, "X") != 0)
        write_section(fp, veroeffentlicht);
    if (!veroeffentlicht && datum && std::strlen(datum) >= 4) {
        put(fp, STAMP_OPEN);
        std::fprintf(fp, "veröffentlicht: %s", datum);
        put(fp, STAMP_CLOSE);
    }
    return STATUS_OK;
}

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

int write_footer3(std::FILE* fp, const char* carousel, bool menu, bool writeDiff, const char* footer)
{
    if (writeDiff)
        put(fp, "\t</div>\n\n</div>\n");
    put(fp, "\n");
    bool named = std::strlen(carousel) > 2;
    if (menu && named) {
        int status = generate_menu(fp, carousel);
        if (status != STATUS_OK)
            return status;
    }
    put(fp, "<?php\n");
    if (!menu && named) {
        put(fp, "require_once(\"assets/include/");
        write_php_string(fp, carousel);
        put(fp, ".php\");\n");
    }
    if (footer && std::strlen(footer) > 1) {
        put(fp, std::strstr(footer, "assets/include") ? "require_once(\"" : "require_once(\"assets/include/");
        write_php_string(fp, footer);
        put(fp, "\");\n");
    }
    put(fp, "require_once(\"assets/include/footer.php\");\n");
    put(fp, "?>\n");
    return STATUS_OK;
}

int generate3(const char* input, const char* output, const char* title, const char* zeile1,
              const char* carousel, bool gen_menu, int menue, bool veroeffentlicht,
              bool equal_table, const char* datum, const char* seo_datei,
              const char* link_zurueck, const char* link_vor, const char* link_inhalt,
              const char* div_tag, const char* footer)
{
    std::FILE* fi = open_fragment(input);
    if (!fi)
        return STATUS_IO;
    SafeOut out;
    if (!safe_open(out, output)) {
        std::fclose(fi);
        std::printf("Fehler: Ausgabedatei \"%s\" kann nicht geschrieben werden!\n", output);
        return STATUS_IO;
    }
    std::FILE* fo = out.fp;
    if (write_header3(fo, title, zeile1, "", menue, veroeffentlicht, datum, seo_datei, output) != STATUS_OK) {
        std::fclose(fi);
        safe_abort(out);
        return STATUS_IO;
    }
    schreibeInhalt(fi, fo, equal_table, div_tag);
    bool read_failed = std::ferror(fi) != 0;
    std::fclose(fi);
    if (read_failed) {
        safe_abort(out);
        std::printf("Fehler: Eingabedatei \"%s\" nicht vorhanden oder Platte voll!\n", input);
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
        std::printf("Fehler: Ausgabedatei \"%s\" kann nicht geschrieben werden!\n", output);
        return STATUS_IO;
    }
    return STATUS_OK;
}

// ---- News and merged pages ----

namespace {

const char* const CLOSING_PAIR = "\t</div>\n\n</div>\n";

bool holds(const char* piece, std::size_t n, std::string_view needle)
{
    return std::string_view(piece, n).find(needle) != std::string_view::npos;
}

void eingabe_fehlt(const char* input)
{
    std::printf("Fehler: Eingabedatei \"%s\" nicht vorhanden oder Platte voll!\n", input);
}

void ausgabe_nicht_schreibbar(const char* output)
{
    std::printf("Fehler: Ausgabedatei \"%s\" kann nicht geschrieben werden!\n", output);
}

void ausgabe_nicht_lesbar(const char* output)
{
    std::printf("Fehler: Ausgabedatei \"%s\" kann nicht gelesen werden!\n", output);
}

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

void write_div(std::FILE* fp)
{
    put(fp, CLOSING_PAIR);
    put(fp, "\n<br>\n");
    write_section(fp, true);
}

void write_footer(std::FILE* fp, bool einfuegen)
{
    if (!einfuegen) {
        put(fp, CLOSING_PAIR);
        put(fp, "\n");
    }
    put(fp, "<?php\n");
    put(fp, "require_once(\"assets/include/quick_links.php\");\n");
    put(fp, "require_once(\"assets/include/footer.php\");\n");
    put(fp, "?>\n");
}

bool schreibeKopie(std::FILE* fi, std::FILE* fo)
{
    // The entries run from the first section opener to the page's closing
    // PHP block, which is the last "<?php" line: an entry may embed PHP of
    // its own. Finding that last line takes a first pass; a second one
    // copies, so that memory stays the same however long the page is.
    constexpr std::size_t NONE = static_cast<std::size_t>(-1);
    char zeile[LINE_SIZE];
    std::size_t start = NONE;
    std::size_t end = NONE;
    std::size_t count = 0;
    {
        LineReader r(fi);
        while (std::size_t n = read_piece(r, zeile)) {
            if (start == NONE && holds(zeile, n, "<div class=\"container\">"))
                start = count;
            if (start != NONE && holds(zeile, n, "<?php"))
                end = count;
            ++count;
        }
        if (std::ferror(fi))
            return false;
    }
    if (start == NONE)
        return true;
    if (end == NONE)
        end = count;
    if (std::fseek(fi, 0, SEEK_SET) != 0)
        return false;
    LineReader r(fi);
    for (std::size_t i = 0; i < end; ++i) {
        std::size_t n = read_piece(r, zeile);
        if (n == 0)
            return false;  // shorter than a moment ago: not the page we measured
        if (i >= start)
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
