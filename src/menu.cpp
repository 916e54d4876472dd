#include "menu.h"

#include <cstdlib>
#include <cstring>

#include "fileio.h"

namespace {

// A part of the line buffer; lines are handled by length, so that a zero
// byte in the menu file is copied like any other.
struct Text {
    const char* p = nullptr;
    std::size_t len = 0;
};

bool starts_with(const char* zeile, std::size_t n, const char* prefix)
{
    std::size_t len = std::strlen(prefix);
    return n >= len && std::memcmp(zeile, prefix, len) == 0;
}

void put(std::FILE* fp, Text s)
{
    std::fwrite(s.p, 1, s.len, fp);
}

// Splits a card line at "|" into at most four non-empty fields; returns how
// many were found. Fields after the fourth are dropped.
int split_card(const char* zeile, std::size_t n, Text fields[4])
{
    int count = 0;
    std::size_t i = 0;
    while (count < 4) {
        while (i < n && zeile[i] == '|')
            ++i;
        if (i == n)
            break;
        std::size_t start = i;
        while (i < n && zeile[i] != '|')
            ++i;
        fields[count++] = Text{zeile + start, i - start};
    }
    return count;
}

void write_card(std::FILE* fp, const Text fields[4], long long lineCount, int& colCount)
{
    const Text& image = fields[0];
    const Text& link = fields[1];
    const Text& titel = fields[2];
    const Text& text = fields[3];
    if (colCount % 3 == 0) {
        put(fp, "  </div>\n</div>\n  <br>\n");
        colCount = 0;
    }
    if (colCount == 0)
        put(fp, "<div class=\"container\">\n  <div class=\"row row-cols-1 row-cols-md-3 g-4\">\n");
    ++colCount;
    put(fp, "    <div class=\"col\">\n");
    put(fp, "      <div class=\"card h-100\">\n");
    put(fp, "        <img src=\"");
    put(fp, image);
    std::fprintf(fp, "\" class=\"card-img-top\" alt=\"Übersichtsbild %lld\" />\n", lineCount);
    put(fp, "        <div class=\"card-body\">\n");
    put(fp, "          <h5 class=\"card-title\">");
    put(fp, titel);
    put(fp, "</h5>\n");
    put(fp, "            <p class=\"card-text\">\n");
    // The description brings its own line end when it is the last field.
    put(fp, "            ");
    put(fp, text);
    put(fp, "            </p>\n");
    put(fp, "        </div>\n");
    put(fp, "        <div class=\"card-footer\">\n");
    if (link.len == 1 && link.p[0] == '#') {
        // No button; the footer's closing tag follows on the same line.
        put(fp, "<p></p>");
    } else {
        put(fp, "          <a class=\"btn btn-primary\" href=\"");
        put(fp, link);
        put(fp, "\" role=\"button\">Weiterlesen ...</a>\n");
    }
    put(fp, "        </div>\n");
    put(fp, "      </div>\n");
    put(fp, "    </div>\n");
}

}  // namespace

char* getContent(bool content, const char* zeile)
{
    const char open = content ? '[' : '(';
    const char close = content ? ']' : ')';
    long start = -1;
    long ende = -1;
    for (long i = 0; zeile[i]; ++i) {
        if (zeile[i] == open) {
            start = i;
        } else if (zeile[i] == close) {
            ende = i;
            break;
        }
    }
    if (start >= ende || start < 0 || ende <= 1)
        return nullptr;
    std::size_t len = static_cast<std::size_t>(ende - start - 1);
    char* copy = static_cast<char*>(std::malloc(len + 1));
    if (!copy)
        return nullptr;
    std::memcpy(copy, zeile + start + 1, len);
    copy[len] = '\0';
    return copy;
}

void write_break(std::FILE* fp, bool showBreak)
{
    put(fp, "  </div>\n");
    put(fp, "</div>\n");
    if (showBreak)
        put(fp, "<hr>\n");
    put(fp, "<br>\n");
    put(fp, "<div class=\"container\">\n");
}

void write_link(std::FILE* fp, const char* zeile, bool bImage)
{
    char* caption = getContent(true, zeile);
    if (!caption)
        return;
    char* image = getContent(false, zeile);
    if (!image) {
        std::free(caption);
        return;
    }
    if (bImage) {
        std::fprintf(fp, "  <img src=\"%s\" alt=\"%s\" />\n", image, caption);
        std::fprintf(fp, "  <figcaption>%s</figcaption>\n", caption);
    } else {
        std::fprintf(fp, "<a href=\"%s\">%s</a>\n", image, caption);
    }
    std::free(caption);
    std::free(image);
}

int generate_menu_stream(std::FILE* fp, std::FILE* fi, const char* menu)
{
    bool inComment = false;
    int colCount = 0;
    long long lineCount = 0;
    Text fields[4];
    char zeile[LINE_SIZE];
    LineReader r(fi);

    put(fp, "<div class=\"container\">\n");
    bool stopped = false;
    while (std::size_t n = read_piece(r, zeile)) {
        ++lineCount;
        if (inComment) {
            if (starts_with(zeile, n, "*/"))
                inComment = false;
            continue;
        }
        if (starts_with(zeile, n, "/*")) {
            inComment = true;
            continue;
        }
        if (starts_with(zeile, n, "## ")) {
            if (colCount > 0)
                write_break(fp, true);
            // The heading keeps the line end, so "</h2>" begins the next line.
            put(fp, "  <h2>");
            put(fp, Text{zeile + 3, n - 3});
            put(fp, "</h2>\n");
            colCount = 0;
            continue;
        }
        if (starts_with(zeile, n, "~~")) {
            write_break(fp, false);
            colCount = 0;
            continue;
        }
        bool image = starts_with(zeile, n, "![");
        if (image || starts_with(zeile, n, "[")) {
            if (colCount > 0)
                write_break(fp, true);
            write_link(fp, zeile, image);
            colCount = 0;
            continue;
        }
        if (!std::memchr(zeile, '|', n)) {
            if (zeile[0] == '\n')
                continue;
            std::printf("Fehler in Menüdatei %s in Zeile %lld: <", menu, lineCount);
            std::fwrite(zeile, 1, n, stdout);
            std::printf(">.\n");
            stopped = true;
            break;
        }
        int found = split_card(zeile, n, fields);
        if (found < 4) {
            static const char* const missing[] = {"image-Datei", "Link", "Titel", "Beschreibung"};
            std::printf("Fehler in Menüdatei %s in Zeile %lld: %s fehlt!\n", menu, lineCount, missing[found]);
            return STATUS_MENU;
        }
        write_card(fp, fields, lineCount, colCount);
    }
    // A read error is no end of the menu: half a grid must not pass as a page.
    if (!stopped && std::ferror(fi)) {
        std::printf("Fehler: Menüdatei \"%s\" kann nicht gelesen werden!\n", menu);
        return STATUS_IO;
    }
    if (colCount > 0)
        put(fp, "  </div>\n");
    put(fp, "</div>\n");
    return STATUS_OK;
}

int generate_menu(std::FILE* fp, const char* menu)
{
    // A directory opens but yields nothing; it is as absent as a missing file.
    std::FILE* fi = is_directory(menu) ? nullptr : std::fopen(menu, "rb");
    if (!fi) {
        std::printf("Fehler: angegebene Menüdatei fehlt!\n");
        return STATUS_OK;
    }
    int status = generate_menu_stream(fp, fi, menu);
    std::fclose(fi);
    return status;
}
