// The keys of the metadata block: which option each stands for, what kind
// of value it takes, and the checks a value must pass before a page is
// written.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "frontmatter/block.h"
#include "frontmatter/frontmatter.h"

namespace fm {
namespace {

enum Kind {
    TEXT,         // a text, given to the option as it is
    NUMBER,       // the menu number: a whole number, not 0
    FLAG,         // ja/nein: "ja" gives the option, "nein" nothing
    TEXTS,        // a text, or a list of texts
    MENU_FILE,    // a text naming a file the run reads
    SEO_FILE,     // likewise
    FOOTER_FILE,  // a text naming an include the page reads
    KEYWORDS,     // the SEO values, a text or a list of texts
    DESCRIPTION,
    ROBOTS,
    TIME,         // the publication time
    IGNORED,      // pandoc's own metadata that means nothing to the page
    DRAFT,        // ja/nein: the site run leaves the page out of the upload
    SECOND,       // the article the site run puts below this one's page
};

struct Key {
    const char* name;
    char option;       // the command line's letter, or 0
    Kind kind;
    const char* same;  // the key this one is another name of, or null
};

// pandoc's own keys (and a few every site generator knows) are no errors:
// title, keywords and description set what they mean, the rest is ignored.
const Key KEYS[] = {
    {"titel", 't', TEXT, nullptr},
    {"ueberschrift", 'u', TEXT, nullptr},
    {"menue", 'n', NUMBER, nullptr},
    {"karussell", 'c', TEXT, nullptr},
    {"menuedatei", 'm', MENU_FILE, nullptr},
    {"seodatei", 's', SEO_FILE, nullptr},
    {"zurueck", 'z', TEXT, nullptr},
    {"weiter", 'w', TEXT, nullptr},
    {"inhalt", 'i', TEXT, nullptr},
    {"dekoration", 'd', TEXTS, nullptr},
    {"gleichezeilen", 'e', FLAG, nullptr},
    {"fussdatei", 'f', FOOTER_FILE, nullptr},
    {"stempel", 'a', TEXT, nullptr},
    {"ohnestempel", 'v', FLAG, nullptr},
    {"stichwoerter", 0, KEYWORDS, nullptr},
    {"beschreibung", 0, DESCRIPTION, nullptr},
    {"robots", 0, ROBOTS, nullptr},
    {"veroeffentlicht", 0, TIME, nullptr},
    {"entwurf", 0, DRAFT, nullptr},
    {"zweiterteil", 0, SECOND, nullptr},
    {"title", 't', TEXT, "titel"},
    {"keywords", 0, KEYWORDS, "stichwoerter"},
    {"description", 0, DESCRIPTION, "beschreibung"},
    {"subtitle", 0, IGNORED, nullptr},
    {"author", 0, IGNORED, nullptr},
    {"date", 0, IGNORED, nullptr},
    {"lang", 0, IGNORED, nullptr},
    {"dir", 0, IGNORED, nullptr},
    {"abstract", 0, IGNORED, nullptr},
    {"subject", 0, IGNORED, nullptr},
    {"category", 0, IGNORED, nullptr},
    {"institute", 0, IGNORED, nullptr},
    {"thanks", 0, IGNORED, nullptr},
    {"toc", 0, IGNORED, nullptr},
    {"toc-title", 0, IGNORED, nullptr},
    {"header-includes", 0, IGNORED, nullptr},
    {"include-before", 0, IGNORED, nullptr},
    {"include-after", 0, IGNORED, nullptr},
    {"css", 0, IGNORED, nullptr},
    {"bibliography", 0, IGNORED, nullptr},
    {"csl", 0, IGNORED, nullptr},
    {"nocite", 0, IGNORED, nullptr},
    {"link-citations", 0, IGNORED, nullptr},
    {"references", 0, IGNORED, nullptr},
    {"pagetitle", 0, IGNORED, nullptr},
    {"title-prefix", 0, IGNORED, nullptr},
    {"documentclass", 0, IGNORED, nullptr},
    {"geometry", 0, IGNORED, nullptr},
    {"papersize", 0, IGNORED, nullptr},
    {"fontsize", 0, IGNORED, nullptr},
    {"mainfont", 0, IGNORED, nullptr},
    {"linestretch", 0, IGNORED, nullptr},
};

const Key* find_key(const std::string& name)
{
    for (const Key& k : KEYS)
        if (name == k.name)
            return &k;
    return nullptr;
}

const char* canonical(const Key& k)
{
    return k.same ? k.same : k.name;
}

std::size_t distance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diag = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diag = up;
        }
    }
    return row[b.size()];
}

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool is_file(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string directory_of(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? std::string(path, static_cast<std::size_t>(slash - path) + 1) : std::string();
}

// Checks and takes the values of one article's block.
struct Check {
    const char* article;
    const char* output;
    FrontMatter& f;

    bool fail(const Entry& e, const std::string& what)
    {
        std::printf("Fehler in %s in Zeile %zu: „%s“ %s!\n", article, e.line, e.key.c_str(), what.c_str());
        return false;
    }
    // A text of the kind the command line takes: at most 1023 bytes, no zero byte.
    bool text(const Entry& e, const std::string& s)
    {
        if (s.size() > 1023)
            return fail(e, "ist zu lang (höchstens 1023 Zeichen)");
        if (std::strlen(s.c_str()) != s.size())
            return fail(e, "enthält ein Nullzeichen");
        return true;
    }
    bool single(const Entry& e)
    {
        if (e.value.kind == Value::list)
            return fail(e, "braucht einen Text, keine Liste");
        if (e.value.kind == Value::mapping)
            return fail(e, "braucht einen Text, keine Zuordnung");
        return text(e, e.value.text);
    }
    // A text or a list of texts, joined by sep.
    bool texts(const Entry& e, std::string* out, const char* sep)
    {
        if (e.value.kind == Value::mapping || e.value.nested)
            return fail(e, "braucht einen Text oder eine Liste von Texten");
        if (e.value.kind == Value::scalar) {
            *out = e.value.text;
        } else {
            out->clear();
            for (const std::string& item : e.value.items)
                out->append(out->empty() ? "" : sep).append(item);
        }
        return text(e, *out);
    }
    bool exists(const Entry& e, const std::string& name, const std::string& where)
    {
        if (is_file(where))
            return true;
        return fail(e, "nennt die Datei „" + name + "“, die es nicht gibt");
    }
    bool entry(const Entry& e)
    {
        const Key* k = find_key(e.key);
        if (!k) {
            std::string near = nearest_key(e.key);
            return fail(e, near.empty() ? "ist kein bekannter Schlüssel"
                                        : "ist kein bekannter Schlüssel (gemeint ist wohl „" + near + "“)");
        }
        const std::string& v = e.value.text;
        switch (k->kind) {
        case IGNORED:
            return true;
        case TEXT:
            if (!single(e))
                return false;
            break;
        case NUMBER: {
            if (!single(e))
                return false;
            std::size_t digits = v.find_first_not_of("+-") == 1 ? 1 : 0;
            bool ok = v.size() > digits && v.size() < digits + 10 &&
                      v.find_first_not_of("0123456789", digits) == std::string::npos && std::stol(v) != 0;
            if (!ok)
                return fail(e, "braucht eine ganze Zahl außer 0, nicht „" + v + "“");
            break;
        }
        case DRAFT:
        case FLAG: {
            if (!single(e))
                return false;
            std::string s = lower(v);
            bool yes = s == "ja" || s == "yes" || s == "true" || s == "on";
            bool no = s == "nein" || s == "no" || s == "false" || s == "off";
            if (!yes && !no)
                return fail(e, "braucht ja oder nein, nicht „" + v + "“");
            if (k->kind == DRAFT)
                f.draft = yes;
            else if (yes)
                f.options.emplace_back(k->option, "");
            return true;
        }
        case TEXTS: {
            // The rewriter takes several decorations one per line.
            std::string s;
            if (!texts(e, &s, "\n"))
                return false;
            f.options.emplace_back(k->option, s);
            return true;
        }
        case MENU_FILE:
        case SEO_FILE:
            if (!single(e))
                return false;
            // Names too short to count are no file to the page either.
            if (v.size() >= (k->kind == MENU_FILE ? 3u : 1u) && !exists(e, v, v))
                return false;
            break;
        case FOOTER_FILE: {
            if (!single(e))
                return false;
            // PHP looks for the include from the page's folder; the run
            // may copy it there after the page, so the site's own copy
            // counts too.
            std::string rel = v.find("assets/include") != std::string::npos ? v : "assets/include/" + v;
            if (v.size() >= 2 && !is_file(directory_of(output) + rel) && !exists(e, v, rel))
                return false;
            break;
        }
        case KEYWORDS:
        case DESCRIPTION:
        case ROBOTS: {
            std::string s;
            if (k->kind == KEYWORDS ? !texts(e, &s, ", ") : !single(e))
                return false;
            if (k->kind != KEYWORDS)
                s = v;
            char* field = k->kind == KEYWORDS ? f.seo.keywords : k->kind == DESCRIPTION ? f.seo.description : f.seo.robots;
            std::memcpy(field, s.c_str(), s.size() + 1);
            (k->kind == KEYWORDS ? f.keywords : k->kind == DESCRIPTION ? f.description : f.robots) = true;
            return true;
        }
        case SECOND:
            // Looked for beside the article, by the site run, which names
            // a missing one itself.
            if (!single(e))
                return false;
            if (v.empty())
                return fail(e, "braucht den Namen eines Artikels");
            f.second = v;
            f.second_line = e.line;
            return true;
        case TIME:
            if (!single(e))
                return false;
            if (!parse_time(v, &f.published))
                return fail(e, "braucht eine Zeit wie 2021-10-02 18:00, nicht „" + v + "“");
            f.with_time = true;
            return true;
        }
        f.options.emplace_back(k->option, v);
        return true;
    }
};

}  // namespace

std::string nearest_key(const std::string& key)
{
    std::vector<std::pair<const char*, const char*>> names;
    for (const Key& c : KEYS)
        if (c.kind != IGNORED)
            names.emplace_back(c.name, canonical(c));
    return nearest(key, names);
}

std::string nearest(const std::string& key, const std::vector<std::pair<const char*, const char*>>& names)
{
    std::string best;
    std::size_t best_d = 0;
    std::string k = lower(key);
    for (const auto& [name, shown] : names) {
        std::size_t d = distance(k, name);
        if (best.empty() || d < best_d) {
            best = shown;
            best_d = d;
        }
    }
    // Near means a few typing mistakes, not a different word.
    return best_d <= std::max<std::size_t>(2, key.size() / 3) ? best : std::string();
}

int read_front_matter(const char* article, const char* output, FrontMatter& f)
{
    f = FrontMatter{};
    Block b;
    if (int status = read_block(article, b); status != STATUS_OK)
        return status;
    return check_block(article, output, b, f);
}

int check_block(const char* article, const char* output, const Block& b, FrontMatter& f)
{
    f = FrontMatter{};
    f.present = b.present;
    // title and titel are one key under two names: both at once is a duplicate.
    for (std::size_t i = 0; i < b.entries.size(); ++i) {
        const Key* k = find_key(b.entries[i].key);
        for (std::size_t j = 0; k && k->kind != IGNORED && j < i; ++j) {
            const Key* earlier = find_key(b.entries[j].key);
            if (earlier && std::strcmp(canonical(*earlier), canonical(*k)) == 0) {
                std::printf("Fehler in %s in Zeile %zu: „%s“ sagt dasselbe wie „%s“ in Zeile %zu!\n", article,
                            b.entries[i].line, b.entries[i].key.c_str(), b.entries[j].key.c_str(),
                            b.entries[j].line);
                return STATUS_USAGE;
            }
        }
    }
    Check c{article, output, f};
    for (const Entry& e : b.entries)
        if (!c.entry(e))
            return STATUS_USAGE;
    return STATUS_OK;
}

int apply_front_matter(Options& o, const FrontMatter& f, const std::vector<std::pair<char, std::string>>& cli)
{
    auto given = [&](const char* letters) {
        return std::any_of(cli.begin(), cli.end(), [&](const auto& opt) { return std::strchr(letters, opt.first); });
    };
    bool menu_or_carousel = given("cm");
    for (const auto& [c, arg] : f.options) {
        bool shared = c == 'c' || c == 'm';
        if (shared ? !menu_or_carousel : !given(std::string(1, c).c_str()))
            apply_option(o, c, arg.c_str());
    }
    // The command line's warnings came while it was read.
    for (const auto& [c, arg] : cli)
        apply_option(o, c, arg.c_str(), false);
    if (f.with_time) {
        o.with_time = true;
        o.published = f.published;
    }
    if (given("s") || !(f.keywords || f.description || f.robots))
        return STATUS_OK;
    bool read_failed = false;
    o.seo = read_seo(o.seo_datei.c_str(), &read_failed);
    if (read_failed)
        return STATUS_IO;
    if (f.keywords)
        std::memcpy(o.seo.keywords, f.seo.keywords, sizeof o.seo.keywords);
    if (f.description)
        std::memcpy(o.seo.description, f.seo.description, sizeof o.seo.description);
    if (f.robots)
        std::memcpy(o.seo.robots, f.seo.robots, sizeof o.seo.robots);
    o.with_seo = true;
    return STATUS_OK;
}

}  // namespace fm
