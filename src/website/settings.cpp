// The site's settings file: one YAML mapping the author edits, read with
// the same reader as an article's block, so that a value may hold any
// character YAML can quote; then the command line's "name=wert".
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "frontmatter/block.h"
#include "website/site.h"

namespace site {
namespace {

enum Kind { TEXT, NUMBER, FLAG, LIST };

struct Key {
    const char* name;
    Kind kind;
};

const Key KEYS[] = {
    {"basis_url", TEXT},   {"titel", TEXT},     {"ausgabe", TEXT},      {"artikel", TEXT},
    {"neuigkeiten", TEXT}, {"imagemagick", TEXT}, {"bild_max", NUMBER}, {"bild_qualitaet", NUMBER},
    {"render", TEXT},      {"entwuerfe", FLAG}, {"linkfehler", FLAG},   {"behalten", LIST},
};

bool fail(const char* where, std::size_t line, const std::string& key, const std::string& what)
{
    if (line)
        std::printf("Fehler in %s in Zeile %zu: „%s“ %s!\n", where, line, key.c_str(), what.c_str());
    else
        std::printf("Fehler in %s: „%s“ %s!\n", where, key.c_str(), what.c_str());
    return false;
}

bool take(Settings& s, const char* where, const fm::Entry& e)
{
    const Key* k = nullptr;
    for (const Key& c : KEYS)
        if (e.key == c.name)
            k = &c;
    if (!k)
        return fail(where, e.line, e.key, "ist keine Einstellung der Website");
    const fm::Value& v = e.value;
    if (k->kind == LIST) {
        if (v.kind == fm::Value::mapping || v.nested)
            return fail(where, e.line, e.key, "braucht einen Text oder eine Liste von Texten");
        std::vector<std::string> items = v.kind == fm::Value::list ? v.items : std::vector<std::string>{v.text};
        if (e.key == "behalten")
            s.behalten = items;
        return true;
    }
    if (v.kind != fm::Value::scalar)
        return fail(where, e.line, e.key, "braucht einen Text, keine Liste");
    const std::string& t = v.text;
    if (t.size() > 1023 || std::strlen(t.c_str()) != t.size())
        return fail(where, e.line, e.key, "ist zu lang oder enthält ein Nullzeichen");
    if (k->kind == NUMBER) {
        char* end = nullptr;
        errno = 0;
        long n = std::strtol(t.c_str(), &end, 10);
        if (t.empty() || *end || errno || n < 1 || n > 100000)
            return fail(where, e.line, e.key, "braucht eine ganze Zahl ab 1, nicht „" + t + "“");
        if (e.key == "bild_max")
            s.bild_max = n;
        else if (e.key == "bild_qualitaet") {
            if (n > 100)
                return fail(where, e.line, e.key, "braucht eine Zahl von 1 bis 100, nicht „" + t + "“");
            s.bild_qualitaet = n;
        }
        return true;
    }
    if (k->kind == FLAG) {
        bool yes = t == "ja" || t == "yes" || t == "true" || t == "on";
        bool no = t == "nein" || t == "no" || t == "false" || t == "off" || t.empty();
        if (!yes && !no)
            return fail(where, e.line, e.key, "braucht ja oder nein, nicht „" + t + "“");
        (e.key == "entwuerfe" ? s.entwuerfe : s.linkfehler) = yes;
        return true;
    }
    std::string* field = e.key == "basis_url"     ? &s.basis_url
                         : e.key == "titel"       ? &s.titel
                         : e.key == "ausgabe"     ? &s.ausgabe
                         : e.key == "artikel"     ? &s.artikel
                         : e.key == "neuigkeiten" ? &s.neuigkeiten
                         : e.key == "imagemagick" ? &s.imagemagick
                         : e.key == "render"      ? &s.render
                                                  : nullptr;
    if (field) {
        bool folder = field == &s.ausgabe || field == &s.artikel || field == &s.neuigkeiten;
        if (folder && t.empty())
            return fail(where, e.line, e.key, "braucht einen Ordner");
        *field = t;
    }
    return true;
}

}  // namespace

bool read_settings(const std::string& path, const std::vector<std::string>& overrides, Settings& s)
{
    s.file = path;
    std::FILE* fi = std::fopen(path.c_str(), "rb");
    if (!fi) {
        std::printf("Fehler: die Einstellungen der Website \"%s\" fehlen (%s)!\n", path.c_str(), std::strerror(errno));
        return false;
    }
    std::string text;
    char chunk[1 << 14];
    while (std::size_t got = std::fread(chunk, 1, sizeof chunk, fi)) {
        text.append(chunk, got);
        if (text.size() > (1u << 20))
            break;
    }
    bool failed = std::ferror(fi) != 0 || text.size() > (1u << 20);
    std::fclose(fi);
    if (failed) {
        std::printf("Fehler: die Einstellungen der Website \"%s\" können nicht gelesen werden!\n", path.c_str());
        return false;
    }
    fm::Block b;
    if (!fm::parse_mapping(path.c_str(), text.data(), text.size(), b))
        return false;
    for (const fm::Entry& e : b.entries)
        if (!take(s, path.c_str(), e))
            return false;
    for (const std::string& o : overrides) {
        std::size_t eq = o.find('=');
        if (eq == std::string::npos || eq == 0)
            return fail("der Kommandozeile", 0, o, "ist keine Einstellung der Form name=wert");
        fm::Entry e;
        e.key = o.substr(0, eq);
        e.value.text = o.substr(eq + 1);
        if (!take(s, "der Kommandozeile", e))
            return false;
    }
    if (s.basis_url.empty())
        return fail(path.c_str(), 0, "basis_url", "fehlt: die Adresse der Website im Netz");
    return true;
}

}  // namespace site
