// The rewritings of the special cases, each writing one line, and
// writeParts.
#include "rewrite/line.h"

#include <cstdio>
#include <cstring>

#include "fileio.h"
#include "rewrite.h"

namespace rw {
namespace {

constexpr Lit P_OPEN = lit("<p>");
constexpr Lit IMG_END = lit(" />");

constexpr Lit DOWNLOAD_NEW = lit("\" download>");
constexpr Lit WIDTH_OPEN = lit(" style=\"width:");
constexpr Lit WIDTH_CLOSE = lit("\" /> ");
constexpr Lit IMG_FLUID = lit(" class=\"img-fluid\" />");
constexpr Lit H2_TOP = lit("class=\"h2_top");
constexpr Lit H2_MID = lit("class=\"h2_mid");
constexpr Lit ZITAT = lit(" class=\"zitat\"");
constexpr Lit ICON_WEITER = lit("<span class=\"icon-arrow-right-circle\"></span>&nbsp;");
constexpr Lit ICON_ZURUECK = lit("<span class=\"icon-arrow-left-circle\"></span>&nbsp;");
constexpr Lit ICON_INHALT = lit("<span class=\"icon-map\"></span>&nbsp;");

// Writes line[0, n) with part inserted at pos (pos <= n).
void write_parts(Sink& out, const char* line, std::size_t n, std::size_t pos, Lit part)
{
    out.put(line, pos);
    put(out, part);
    out.put(line + pos, n - pos);
}

// Appends the decimal digits of v (not negative) at p; returns the end.
char* digits(char* p, std::size_t v)
{
    char tmp[24];
    char* t = tmp + sizeof tmp;
    do {
        *--t = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    std::size_t len = static_cast<std::size_t>(tmp + sizeof tmp - t);
    std::memcpy(p, t, len);
    return p + len;
}

char* append(char* p, Lit l)
{
    std::memcpy(p, l.s, l.n);
    return p + l.n;
}

}  // namespace

void write_download(Sink& out, const char* line, std::size_t n, int i)
{
    std::size_t pos = static_cast<std::size_t>(i);
    // The byte after the pattern (the link's '>') is dropped; without one
    // there is nothing to rewrite.
    if (pos + DOWNLOAD.n >= n) {
        out.put(line, n);
        return;
    }
    out.put(line, pos);
    put(out, DOWNLOAD_NEW);
    out.put(line + pos + DOWNLOAD.n + 1, n - pos - DOWNLOAD.n - 1);
}

void write_width(Sink& out, const char* line, std::size_t n, int i)
{
    // Keep the page and the diagnostics in order when both go to stdout.
    if (out.fo == stdout)
        out.flush();
    std::size_t start = static_cast<std::size_t>(i);
    // The '=' of "{width="; the pattern itself guarantees where it is.
    std::size_t k = start + WIDTH.n - 1;
    const void* close = std::memchr(line + k + 1, '}', n - k - 1);
    std::size_t j = close ? static_cast<std::size_t>(static_cast<const char*>(close) - line) : n;
    // "gefunden: i=%d\n" and "i=%d  | j=%d  | k=%d", formatted by hand: a
    // page with many widths would otherwise spend its time in printf.
    char msg[96];
    char* p = append(msg, lit("gefunden: i="));
    p = digits(p, start);
    p = append(p, lit("\ni="));
    p = digits(p, start);
    p = append(p, lit("  | j="));
    p = digits(p, j);
    p = append(p, lit("  | k="));
    p = digits(p, k);
    std::fwrite(msg, 1, static_cast<std::size_t>(p - msg), stdout);
    if (!close) {
        std::fputs("\n=============\nFehler beim Ersetzen von width!\n==============\n", stdout);
        out.put(line, n);
        return;
    }
    // The image tag's own " />" in front of "{width=" makes way for the style.
    out.put(line, start - 3);
    put(out, WIDTH_OPEN);
    out.put(line + k + 1, j - k - 1);
    put(out, WIDTH_CLOSE);
    out.put(line + j + 1, n - j - 1);
}

void write_image(Sink& out, const char* line, std::size_t n, int i)
{
    // The image's own closing, not one of an earlier tag.
    int k = find(line, n, static_cast<std::size_t>(i), IMG_END);
    if (k < 0) {
        out.put(line, n);
        return;
    }
    std::size_t pos = static_cast<std::size_t>(k);
    out.put(line, pos);
    put(out, IMG_FLUID);
    out.put(line + pos + IMG_END.n, n - pos - IMG_END.n);
}

void write_heading(Sink& out, const char* line, std::size_t n, int i, bool& top)
{
    // The id goes; the rest resumes at the quote that closes it.
    int k = find(line, n, static_cast<std::size_t>(i), TAG_END);
    if (k < 0) {
        out.put(line, n);
        return;
    }
    out.put(line, static_cast<std::size_t>(i) + 4);
    put(out, top ? H2_TOP : H2_MID);
    top = false;
    out.put(line + k, n - static_cast<std::size_t>(k));
}

void write_link(Sink& out, const char* line, std::size_t n, int i, int sonderbehandlung)
{
    if (i < 0) {
        out.put(line, n);
        return;
    }
    Lit icon = sonderbehandlung == SPECIAL_WEITER    ? ICON_WEITER
               : sonderbehandlung == SPECIAL_ZURUECK ? ICON_ZURUECK
                                                     : ICON_INHALT;
    write_parts(out, line, n, static_cast<std::size_t>(i) + TAG_END.n, icon);
}

void write_zitat(Sink& out, const char* line, std::size_t n)
{
    int k = find(line, n, 0, P_OPEN);
    if (k >= 0)
        write_parts(out, line, n, static_cast<std::size_t>(k) + 2, ZITAT);
    else
        out.put(line, n);
}

}  // namespace rw

void writeParts(std::FILE* fo, const char* zeile, int i, const char* part)
{
    std::size_t n = std::strlen(zeile);
    std::size_t pos = i < 0 ? 0 : static_cast<std::size_t>(i) > n ? n : static_cast<std::size_t>(i);
    Sink out(fo, false);
    rw::write_parts(out, zeile, n, pos, rw::Lit{part, std::strlen(part)});
    out.flush();
}
