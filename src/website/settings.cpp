// The site's settings file: one YAML mapping the author edits, read with
// the same reader as an article's block, so that a value may hold any
// character YAML can quote; then the command line's "name=wert".
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "frontmatter/block.h"
#include "frontmatter/frontmatter.h"
#include "website/site.h"

namespace site {
namespace {

// Each setting and the field it sets: one of text, number, flag or list.
struct Key {
    const char* name;
    std::string Settings::*text = nullptr;
    long Settings::*number = nullptr;
    bool Settings::*flag = nullptr;
    std::vector<std::string> Settings::*list = nullptr;
    long most = 100000;     // a number's largest value
    bool folder = false;    // never empty
    bool one_line = false;  // no control characters: a URL, a path, patterns handed to a script line by line
};

const Key KEYS[] = {
    {.name = "basis_url", .text = &Settings::basis_url},
    {.name = "titel", .text = &Settings::titel},
    {.name = "ausgabe", .text = &Settings::ausgabe, .folder = true},
    {.name = "artikel", .text = &Settings::artikel, .folder = true},
    {.name = "neuigkeiten", .text = &Settings::neuigkeiten, .folder = true},
    {.name = "imagemagick", .text = &Settings::imagemagick},
    {.name = "bild_max", .number = &Settings::bild_max},
    {.name = "bild_qualitaet", .number = &Settings::bild_qualitaet, .most = 100},
    {.name = "render", .text = &Settings::render},
    {.name = "entwuerfe", .flag = &Settings::entwuerfe},
    {.name = "linkfehler", .flag = &Settings::linkfehler},
    {.name = "behalten", .list = &Settings::behalten},
    {.name = "hochladen", .text = &Settings::hochladen, .one_line = true},
    {.name = "hochladen_behalten", .list = &Settings::hochladen_behalten, .one_line = true},
    {.name = "hochladen_ssh_konfig", .text = &Settings::hochladen_ssh_konfig, .one_line = true},
};

const Key* find(const std::string& name)
{
    for (const Key& k : KEYS)
        if (name == k.name)
            return &k;
    return nullptr;
}

bool fail(const char* where, std::size_t line, const std::string& key, const std::string& what)
{
    if (line)
        std::printf("Fehler in %s in Zeile %zu: „%s“ %s!\n", where, line, key.c_str(), what.c_str());
    else
        std::printf("Fehler in %s: „%s“ %s!\n", where, key.c_str(), what.c_str());
    return false;
}

bool unknown(const char* where, std::size_t line, const std::string& key)
{
    std::vector<std::pair<const char*, const char*>> names;
    for (const Key& k : KEYS)
        names.emplace_back(k.name, k.name);
    std::string near = fm::nearest(key, names);
    return fail(where, line, key,
                near.empty() ? "ist keine Einstellung der Website"
                             : "ist keine Einstellung der Website (gemeint ist wohl „" + near + "“)");
}

// A text of a setting: at most 1023 bytes, no NUL (it reaches C strings),
// and where asked no control character.
bool plain(const char* where, const fm::Entry& e, const Key& k, const std::string& t)
{
    if (t.size() > 1023 || std::strlen(t.c_str()) != t.size())
        return fail(where, e.line, e.key, "ist zu lang oder enthält ein Nullzeichen");
    if (k.one_line)
        for (char c : t)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                return fail(where, e.line, e.key, "enthält ein Steuerzeichen (etwa einen Zeilenumbruch)");
    return true;
}

bool take(Settings& s, const char* where, const fm::Entry& e)
{
    const Key* k = find(e.key);
    if (!k)
        return unknown(where, e.line, e.key);
    const fm::Value& v = e.value;
    if (k->list) {
        if (v.kind == fm::Value::mapping || v.nested)
            return fail(where, e.line, e.key, "braucht einen Text oder eine Liste von Texten");
        std::vector<std::string> items = v.kind == fm::Value::list ? v.items : std::vector<std::string>{v.text};
        for (const std::string& item : items)
            if (!plain(where, e, *k, item))
                return false;
        s.*k->list = items;
        return true;
    }
    if (v.kind != fm::Value::scalar)
        return fail(where, e.line, e.key, "braucht einen Text, keine Liste");
    const std::string& t = v.text;
    if (!plain(where, e, *k, t))
        return false;
    if (k->number) {
        char* end = nullptr;
        errno = 0;
        long n = std::strtol(t.c_str(), &end, 10);
        if (t.empty() || *end || errno || n < 1 || n > 100000)
            return fail(where, e.line, e.key, "braucht eine ganze Zahl ab 1, nicht „" + t + "“");
        if (n > k->most)
            return fail(where, e.line, e.key,
                        "braucht eine Zahl von 1 bis " + std::to_string(k->most) + ", nicht „" + t + "“");
        s.*k->number = n;
        return true;
    }
    if (k->flag) {
        bool yes = t == "ja" || t == "yes" || t == "true" || t == "on";
        bool no = t == "nein" || t == "no" || t == "false" || t == "off" || t.empty();
        if (!yes && !no)
            return fail(where, e.line, e.key, "braucht ja oder nein, nicht „" + t + "“");
        s.*k->flag = yes;
        return true;
    }
    if (k->folder && t.empty())
        return fail(where, e.line, e.key, "braucht einen Ordner");
    s.*k->text = t;
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

bool setting_lines(const Settings& s, const std::string& name, std::string& out)
{
    const Key* k = find(name);
    if (!k)
        return unknown("der Kommandozeile", 0, name);
    if (k->list) {
        for (const std::string& item : s.*k->list) {
            // One item a line: an item that holds a line break would read as two.
            if (item.find('\n') != std::string::npos)
                return fail(s.file.c_str(), 0, name, "hat einen Eintrag mit Zeilenumbruch, der sich nicht zeilenweise ausgeben lässt");
            out += item + "\n";
        }
    } else if (k->number)
        out += std::to_string(s.*k->number) + "\n";
    else if (k->flag)
        out += s.*k->flag ? "ja\n" : "nein\n";
    else if (!(s.*k->text).empty())
        out += s.*k->text + "\n";
    return true;
}

}  // namespace site
