#include "carousel.h"

#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>

#include "fileio.h"

namespace {

const char* const PREFIX = "assets/include/";
const char* const SUFFIX = ".php";

// The include file's name: output inside the include directory, with ".php".
std::string include_name(const char* output)
{
    std::string datei = output;
    if (datei.compare(0, std::strlen(PREFIX), PREFIX) != 0)
        datei.insert(0, PREFIX);
    std::size_t len = std::strlen(output);
    std::size_t n = std::strlen(SUFFIX);
    if (len < n || std::strcmp(output + len - n, SUFFIX) != 0)
        datei += SUFFIX;
    return datei;
}

// Whether writing datei would overwrite the list that fi reads.
bool same_file(const char* input, const std::string& datei, std::FILE* fi)
{
    if (datei == input)
        return true;
    struct stat list_st, out_st;
    return ::fstat(::fileno(fi), &list_st) == 0 && ::stat(datei.c_str(), &out_st) == 0 &&
           list_st.st_dev == out_st.st_dev && list_st.st_ino == out_st.st_ino;
}

int nicht_vorhanden(const char* input)
{
    eingabe_fehlt(input);
    return STATUS_CAROUSEL;
}

}  // namespace

const char* getImageVerzeichnis()
{
    DIR* dir = ::opendir(".");
    if (!dir)
        return "images";
    const char* found = "images";
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, "img") == 0) {
            found = "img";
            break;
        }
    }
    ::closedir(dir);
    return found;
}

int read_image_list(std::FILE* fi, char carousel[][LINE_SIZE])
{
    LineReader r(fi);
    char zeile[LINE_SIZE];
    int anz_zeilen = 0;
    while (std::size_t n = read_piece(r, zeile)) {
        if (n < 3)
            continue;
        if (anz_zeilen == ANZ) {
            std::printf("Warnung: Zuviele Bilder angegeben (max = 10)!, Ignoriere Rest.\n");
            break;
        }
        // Only the line end goes: a last line without one keeps its last letter.
        if (zeile[n - 1] == '\n')
            zeile[--n] = '\0';
        std::memcpy(carousel[anz_zeilen], zeile, n + 1);
        ++anz_zeilen;
    }
    return anz_zeilen;
}

void write_carousel_header(std::FILE* fo, int anz)
{
    put(fo, "<div class=\" container \">\n");
    put(fo, "    <div id=\"carouselExampleIndicators\" class=\"carousel slide\" data-ride=\"carousel\">\n");
    put(fo, "        <ol class=\"carousel-indicators\">\n");
    put(fo, "              <li data-target=\"#carouselExampleIndicators\" data-slide-to=\"0\" class=\"active\"></li>\n");
    for (int i = 1; i < anz; ++i)
        std::fprintf(fo, "%s%d%s", "            <li data-target=\"#carouselExampleIndicators\" data-slide-to=\"", i,
                     "\"></li>\n");
    put(fo, "        </ol>\n");
}

void schreibeCarouselInhalt(std::FILE* fo, char carousel[][LINE_SIZE], int anz, const char* img)
{
    const char* const IMG_OPEN = "                <img class=\"d-block w-100\" src=\"";
    put(fo, "        <div class=\"carousel-inner\">\n");
    put(fo, "            <div class=\"carousel-item active\">\n");
    std::fprintf(fo, "%s%s%s%s%s", IMG_OPEN, img, "/", carousel[0], "\" alt=\"First slide\">\n");
    put(fo, "            </div>\n");
    for (int n = 2; n <= anz; ++n) {
        put(fo, "            <div class=\"carousel-item\">\n");
        std::fprintf(fo, "%s%s%s%s%s%d%s", IMG_OPEN, img, "/", carousel[n - 1], "\" alt=\"", n, ". slide\">\n");
        put(fo, "            </div>\n");
    }
    put(fo, "        </div>\n");
}

void write_carousel_footer(std::FILE* fo)
{
    put(fo, "        <a class=\"carousel-control-prev\" href=\"#carouselExampleIndicators\" role=\"button\" data-slide=\"prev\">\n");
    put(fo, "            <span class=\"carousel-control-prev-icon\" aria-hidden=\"true\"></span>\n");
    put(fo, "            <span class=\"sr-only\">Previous</span>\n");
    put(fo, "        </a>\n");
    put(fo, "        <a class=\"carousel-control-next\" href=\"#carouselExampleIndicators\" role=\"button\" data-slide=\"next\">\n");
    put(fo, "            <span class=\"carousel-control-next-icon\" aria-hidden=\"true\"></span>\n");
    put(fo, "            <span class=\"sr-only\">Next</span>\n");
    put(fo, "        </a>\n");
    put(fo, "    </div>\n");
    put(fo, "</div>\n");
}

int generate_carousel(const char* input, const char* output, const char* img)
{
    std::string datei = include_name(output);
    std::FILE* fi = is_directory(input) ? nullptr : std::fopen(input, "rb");
    if (!fi)
        return nicht_vorhanden(input);
    if (same_file(input, datei, fi)) {
        std::fclose(fi);
        std::printf("Fehler: Bildliste \"%s\" und Carousel-Datei sind dieselbe Datei!\n", input);
        return STATUS_CAROUSEL;
    }
    // The whole list is read before the include file is touched, so that a
    // failed run leaves the old include file as it was.
    char carousel[ANZ][LINE_SIZE];
    int anz_zeilen = read_image_list(fi, carousel);
    bool read_failed = std::ferror(fi) != 0;
    std::fclose(fi);
    if (read_failed)
        return nicht_vorhanden(input);
    if (anz_zeilen == 0) {
        std::printf("Fehler: Eingabedatei \"%s\" fehlerhaft!\n", input);
        return STATUS_LIST;
    }
    // The list was read: a failure from here on is the include file's.
    SafeOut out;
    if (safe_open(out, datei.c_str())) {
        write_carousel_header(out.fp, anz_zeilen);
        schreibeCarouselInhalt(out.fp, carousel, anz_zeilen, img);
        write_carousel_footer(out.fp);
        if (safe_commit(out))
            return STATUS_OK;
    }
    ausgabe_nicht_schreibbar(datei.c_str());
    return STATUS_CAROUSEL;
}
