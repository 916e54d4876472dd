#include "pageformat.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "menu.h"
#include "seo.h"
#include "web.h"

std::time_t t;
std::tm* ts;
const char* const tage[7] = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};

namespace {

const char* const STAMP_OPEN = "<p style=\"text-align: right; margin-top: -3em;\"><small>";
const char* const STAMP_CLOSE = "</small><p>\n";
const char* const STAMP_LABEL = "veröffentlicht: ";
const char* const HEADER_INCLUDE = "\nrequire_once(\"assets/include/header.php\");\n";
const char* const INCLUDE_DIR = "assets/include/";
const char* const FOOTER_INCLUDE = "require_once(\"assets/include/footer.php\");\n";
const char* const QUICK_LINKS_INCLUDE = "require_once(\"assets/include/quick_links.php\");\n";

void put_line(std::FILE* fp, const char* line)
{
    std::fputs(line, fp);
    std::fputc('\n', fp);
}

}  // namespace

// ---- Writers ----

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

namespace {
bool stamp_set = false;
std::time_t stamp_time = 0;
}  // namespace

void stamp_with(const std::time_t* when)
{
    stamp_set = when != nullptr;
    stamp_time = when ? *when : 0;
}

std::time_t publication_time()
{
    if (stamp_set)
        return stamp_time;
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
    put_line(fp, CONTAINER);
    put_line(fp, SECTION_BREAK);
    put_line(fp, JUMBOTRON);
    if (schreibeVeroeffentlicht && ts) {
        char when[64];
        std::snprintf(when, sizeof when, "%s, %d.%d.%d %02d:%02d", tage[ts->tm_wday], ts->tm_mday, ts->tm_mon + 1,
                      ts->tm_year + 1900, ts->tm_hour, ts->tm_min);
        write_stamp(fp, when);
    }
}

void write_stamp(std::FILE* fp, const char* when)
{
    put(fp, STAMP_OPEN);
    put(fp, STAMP_LABEL);
    put(fp, when);
    put(fp, STAMP_CLOSE);
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
    return local_time(year, month, day, hour, minute, 0, when);
}

bool local_time(int year, int month, int day, int hour, int minute, int second, std::time_t* when)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
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
                  const char* dateiname, const Seo_data* seo_werte)
{
    put_line(fp, PHP_OPEN);
    put(fp, TITEL_ASSIGN);
    put(fp, "\"");
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
    if (seo_datei || seo_werte) {
        bool read_failed = false;
        Seo_data seo = seo_werte ? *seo_werte : read_seo(seo_datei, &read_failed);
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
    put(fp, HEADER_INCLUDE);
    put_line(fp, PHP_CLOSE);
    put(fp, "\n");
    if (std::strcmp(zeile1, "X") != 0)
        write_section(fp, veroeffentlicht);
    if (!veroeffentlicht && datum && std::strlen(datum) >= 4) {
        write_stamp(fp, datum);
    }
    return STATUS_OK;
}

int write_footer3(std::FILE* fp, const char* carousel, bool menu, bool writeDiff, const char* footer)
{
    if (writeDiff)
        put(fp, CLOSING_PAIR);
    put(fp, "\n");
    bool named = std::strlen(carousel) > 2;
    if (menu && named) {
        int status = generate_menu(fp, carousel);
        if (status != STATUS_OK)
            return status;
    }
    put_line(fp, PHP_OPEN);
    if (!menu && named) {
        put(fp, "require_once(\"");
        put(fp, INCLUDE_DIR);
        write_php_string(fp, carousel);
        put(fp, ".php\");\n");
    }
    if (footer && std::strlen(footer) > 1) {
        put(fp, "require_once(\"");
        // A name that already holds the include directory is taken as it is.
        if (!std::strstr(footer, "assets/include"))
            put(fp, INCLUDE_DIR);
        write_php_string(fp, footer);
        put(fp, "\");\n");
    }
    put(fp, FOOTER_INCLUDE);
    put_line(fp, PHP_CLOSE);
    return STATUS_OK;
}

void write_div(std::FILE* fp)
{
    put(fp, CLOSING_PAIR);
    put(fp, "\n");
    put_line(fp, PAGE_BREAK);
    write_section(fp, true);
}

void write_footer(std::FILE* fp, bool einfuegen)
{
    if (!einfuegen) {
        put(fp, CLOSING_PAIR);
        put(fp, "\n");
    }
    put_line(fp, PHP_OPEN);
    put(fp, QUICK_LINKS_INCLUDE);
    put(fp, FOOTER_INCLUDE);
    put_line(fp, PHP_CLOSE);
}

// ---- Readers ----

bool clamped_mtime(std::FILE* fp, std::time_t* when)
{
    std::time_t latest = publication_time();
    // A stream without a file (one in memory) has no time of its own.
    std::time_t m = latest;
    int fd = ::fileno(fp);
    if (fd >= 0) {
        struct stat st;
        if (::fstat(fd, &st) != 0)
            return false;
        m = st.st_mtime;
    }
    *when = m > latest ? latest : m < 0 ? 0 : m;
    return true;
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
            c = ascii_lower(c);
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
            if (!is_line(piece, n, PHP_OPEN))
                return pieces;
            continue;
        }
        if (line.size() < KEEP)
            line.append(piece, std::min(n, KEEP - line.size()));
        if (piece[n - 1] != '\n')
            continue;
        if (first_line && line.rfind(TITEL_ASSIGN, 0) != 0)
            return pieces;
        first_line = false;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        std::string value;
        if (line == PHP_CLOSE)
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

// ---- Entries ----

namespace {

// Whether the piece holds the container of an opener, and "<?php": both
// looked for in one pass over its "<"s, as every piece of a page is.
void find_markers(const char* piece, std::size_t n, bool* container, bool* php)
{
    static const std::size_t container_len = std::strlen(CONTAINER);
    static const std::size_t php_len = std::strlen(PHP_OPEN);
    *container = *php = false;
    const char* end = piece + n;
    for (const char* p = piece; p < end; ++p) {
        p = static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(end - p)));
        if (!p)
            break;
        std::size_t left = static_cast<std::size_t>(end - p);
        *container = *container || (left >= container_len && std::memcmp(p, CONTAINER, container_len) == 0);
        *php = *php || (left >= php_len && std::memcmp(p, PHP_OPEN, php_len) == 0);
    }
}

}  // namespace

EntryScan::Kind EntryScan::step(const char* piece, std::size_t n, std::time_t* when)
{
    const std::size_t at = pieces++;
    const bool starts_line = line_start;
    line_start = n > 0 && piece[n - 1] == '\n';
    // The container is looked for anywhere, as hand-edited pages may have
    // it inside a line: an entry that is not found would be lost from the
    // news page's copy.
    bool container, php;
    find_markers(piece, n, &container, &php);
    if (container) {
        if (first == NONE)
            first = at;
        footer = php ? at : NONE;
        // Break, jumbotron and stamp follow an opener of the program's own.
        in_head = starts_line && is_line(piece, n, CONTAINER);
        return opener;
    }
    if (first == NONE)
        return outside;
    if (php)
        footer = at;
    if (in_head && starts_line) {
        if (is_line(piece, n, SECTION_BREAK) || is_line(piece, n, JUMBOTRON))
            return head;
        if (read_stamp(piece, n, when)) {
            in_head = false;
            return stamp;
        }
    }
    in_head = false;
    return body;
}
