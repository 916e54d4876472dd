#include "seo.h"

#include <cstring>

#include "fileio.h"
#include "search.h"

namespace {

// The keys of the SEO file, in the order the dialogue writes them.
const char* const KEY_KEYWORDS = "keywords";
const char* const KEY_DESCRIPTION = "description";
const char* const KEY_ROBOTS = "robots";

bool is_key(const char* zeile, std::size_t len, const char* key)
{
    return len == std::strlen(key) && std::memcmp(zeile, key, len) == 0;
}

}  // namespace

Seo_data read_seo_stream(std::FILE* fi, const char* seo_datei)
{
    Seo_data seo{};
    LineReader r(fi);
    char zeile[LINE_SIZE];
    while (std::size_t n = read_piece(r, zeile)) {
        if (n < 2)
            continue;
        // A key never holds a zero byte: the colon is looked for only up to one.
        int colon = getPos(zeile, ':');
        if (colon == NOT_FOUND) {
            std::printf("Warnung: Ignoriere SEO (Datei: %s); fehlerhafter Text: ", seo_datei);
            std::fwrite(zeile, 1, n, stdout);
            std::printf("\n");
            continue;
        }
        std::size_t key_len = static_cast<std::size_t>(colon);
        const char* value = zeile + key_len + 1;
        std::size_t value_len = n - key_len - 1;
        // Only the line end goes; a last line without one keeps all its text.
        if (value_len > 0 && value[value_len - 1] == '\n')
            --value_len;

        char* field = nullptr;
        if (is_key(zeile, key_len, KEY_KEYWORDS))
            field = seo.keywords;
        else if (is_key(zeile, key_len, KEY_DESCRIPTION))
            field = seo.description;
        else if (is_key(zeile, key_len, KEY_ROBOTS))
            field = seo.robots;
        if (!field) {
            zeile[key_len] = '\0';
            std::printf("Warnung: Ignoriere SEO-Eintrag <%s> in Datei: %s\n", zeile, seo_datei);
            continue;
        }
        // value_len < LINE_SIZE: the value is a part of the piece.
        std::memcpy(field, value, value_len);
        field[value_len] = '\0';
    }
    return seo;
}

Seo_data read_seo(const char* seo_datei, bool* read_failed)
{
    *read_failed = false;
    // A directory opens but cannot be read; it is as absent as a missing file.
    std::FILE* fi = seo_datei[0] && !is_directory(seo_datei) ? std::fopen(seo_datei, "rb") : nullptr;
    if (!fi)
        return Seo_data{};
    Seo_data seo = read_seo_stream(fi, seo_datei);
    if (std::ferror(fi)) {
        // Part of the values would pass for all of them.
        std::printf("Fehler: SEO-Datei \"%s\" kann nicht gelesen werden!\n", seo_datei);
        *read_failed = true;
    }
    std::fclose(fi);
    return seo;
}

namespace {

// Writes the prompt and reads one answer of at most 1022 bytes into answer,
// setting its length in n (0 when the input has ended before it). Returns
// false when the prompt could not be shown or the answer not be read: an
// answer to an unseen question, or a cut one, must not become the file.
bool ask(const char* prompt, char* answer, std::size_t& n)
{
    std::fputs(prompt, stdout);
    // The prompt must be seen before the read blocks, also through a pipe.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return false;
    n = read_line(stdin, answer, LINE_MAX_READ - 1);
    if (std::ferror(stdin)) {
        std::printf("Fehler: Standardeingabe kann nicht gelesen werden!\n");
        return false;
    }
    return true;
}

}  // namespace

int generate_seo(const char* output)
{
    char keywords[LINE_SIZE];
    char description[LINE_SIZE];
    char robots[LINE_SIZE];
    std::size_t n_keywords = 0, n_description = 0, n_robots = 0;
    if (!ask("\nGeben Sie die Keywörter ein (getrennt durch Leerstellen):\n", keywords, n_keywords))
        return STATUS_IO;
    if (n_keywords == 0)
        return STATUS_OK;
    if (!ask("Geben Sie die Seo-Beschreibung ein:\n", description, n_description))
        return STATUS_IO;
    if (n_description == 0)
        return STATUS_OK;
    if (!ask("Geben Sie die Daten für robots ein:\n", robots, n_robots))
        return STATUS_IO;
    if (n_robots == 0)
        return STATUS_OK;

    SafeOut out;
    if (safe_open(out, output)) {
        const struct {
            const char* key;
            const char* text;
            std::size_t len;
        } entries[] = {
            {KEY_KEYWORDS, keywords, n_keywords},
            {KEY_DESCRIPTION, description, n_description},
            {KEY_ROBOTS, robots, n_robots},
        };
        // Answers are stored exactly as typed, their line end included.
        for (const auto& e : entries) {
            std::fprintf(out.fp, "%s:", e.key);
            std::fwrite(e.text, 1, e.len, out.fp);
        }
        if (safe_commit(out))
            return STATUS_OK;
    }
    safe_abort(out);
    std::printf("Fehler: SEO-Datei \"%s\" kann nicht geschrieben werden!\n", output);
    return STATUS_IO;
}
