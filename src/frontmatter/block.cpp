// Finding the metadata block (delimited as pandoc delimits it, so that the
// renderer drops exactly what is read here) and reading it with libyaml's
// event parser: the events carry the lines for the messages, and nothing
// is built that the page does not need.
#include "frontmatter/block.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#include <yaml.h>

#include "fileio.h"
#include "markdown.h"
#include "quennelbrook.h"

namespace fm {
namespace {

std::string_view chomp(std::string_view l)
{
    if (l.ends_with('\n'))
        l.remove_suffix(1);
    if (l.ends_with('\r'))
        l.remove_suffix(1);
    return l;
}

bool blank(std::string_view l)
{
    return l.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

bool closing(std::string_view l)
{
    l = chomp(l);
    return l == "---" || l == "...";
}

// A line that begins a mapping's key: "name:" followed by a blank or its end.
bool looks_like_key(std::string_view l)
{
    l = chomp(l);
    std::size_t colon = l.find(':');
    if (colon == 0 || colon == std::string_view::npos || l[0] == ' ' || l[0] == '\t' || l[0] == '#')
        return false;
    return colon + 1 == l.size() || l[colon + 1] == ' ' || l[colon + 1] == '\t';
}

// The next line of text at *at (newline included), moving *at past it.
std::string_view next_line(std::string_view text, std::size_t* at)
{
    std::size_t end = text.find('\n', *at);
    end = end == std::string_view::npos ? text.size() : end + 1;
    std::string_view l = text.substr(*at, end - *at);
    *at = end;
    return l;
}

void message(const char* path, std::size_t line, const std::string& text)
{
    std::printf("Fehler in %s in Zeile %zu: %s\n", path, line, text.c_str());
}

struct Events {
    yaml_parser_t parser;
    yaml_event_t event;
    bool have = false;
    Events(const char* text, std::size_t n)
    {
        yaml_parser_initialize(&parser);
        yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text), n);
    }
    ~Events()
    {
        if (have)
            yaml_event_delete(&event);
        yaml_parser_delete(&parser);
    }
    Events(const Events&) = delete;
    Events& operator=(const Events&) = delete;
    bool next()
    {
        if (have)
            yaml_event_delete(&event);
        have = yaml_parser_parse(&parser, &event) != 0;
        return have;
    }
    yaml_event_type_t type() const { return event.type; }
    std::size_t line(std::size_t first) const { return event.start_mark.line + first; }
    std::string scalar() const
    {
        return std::string(reinterpret_cast<const char*>(event.data.scalar.value), event.data.scalar.length);
    }
    bool plain() const { return event.data.scalar.style == YAML_PLAIN_SCALAR_STYLE; }
};

struct Reader {
    const char* path;
    std::size_t first;  // the article's line of the block's first line
    Events ev;
    std::string key;    // the key being read, for the messages
    Block& b;
    // What the messages call the text: an article's block or a settings file.
    const char* what = "der Kopfblock";
    const char* in = "im Kopfblock";

    bool syntax()
    {
        const yaml_parser_t& p = ev.parser;
        // A scalar left open is best found where it began.
        std::size_t line = (p.context ? p.context_mark.line : p.problem_mark.line) + first;
        std::string text = std::string(what) + " ist kein gültiges YAML";
        if (!key.empty())
            text += " (nach dem Schlüssel „" + key + "“)";
        text += ": ";
        text += p.problem ? p.problem : "unbekannter Fehler";
        if (p.context)
            text += std::string(" ") + p.context;
        message(path, line, text + "!");
        return false;
    }
    bool next() { return ev.next() || syntax(); }
    bool alias()
    {
        message(path, ev.line(first), "„" + key + "“: Verweise (*name) gibt es " + in + " nicht!");
        return false;
    }
    // Skips the collection whose start event is the current one.
    bool skip()
    {
        for (int depth = 1; depth > 0;) {
            if (!next())
                return false;
            yaml_event_type_t t = ev.type();
            if (t == YAML_ALIAS_EVENT)
                return alias();
            if (t == YAML_SEQUENCE_START_EVENT || t == YAML_MAPPING_START_EVENT)
                ++depth;
            else if (t == YAML_SEQUENCE_END_EVENT || t == YAML_MAPPING_END_EVENT)
                --depth;
        }
        return true;
    }
    bool value(Value& v)
    {
        if (!next())
            return false;
        switch (ev.type()) {
        case YAML_SCALAR_EVENT:
            v.text = ev.scalar();
            v.plain = ev.plain();
            return true;
        case YAML_MAPPING_START_EVENT:
            v.kind = Value::mapping;
            return skip();
        case YAML_SEQUENCE_START_EVENT:
            v.kind = Value::list;
            for (;;) {
                if (!next())
                    return false;
                yaml_event_type_t t = ev.type();
                if (t == YAML_SEQUENCE_END_EVENT)
                    return true;
                if (t == YAML_SCALAR_EVENT) {
                    v.items.push_back(ev.scalar());
                } else if (t == YAML_ALIAS_EVENT) {
                    return alias();
                } else {
                    v.nested = true;
                    if (!skip())
                        return false;
                }
            }
        default:
            return alias();
        }
    }
    bool mapping()
    {
        for (;;) {
            if (!next())
                return false;
            if (ev.type() == YAML_MAPPING_END_EVENT)
                return true;
            std::size_t line = ev.line(first);
            if (ev.type() != YAML_SCALAR_EVENT) {
                message(path, line, std::string("ein Schlüssel ") + in + " muss ein einfacher Text sein!");
                return false;
            }
            key = ev.scalar();
            for (const Entry& e : b.entries) {
                if (e.key == key) {
                    message(path, line,
                            "„" + key + "“ steht doppelt " + in + " (zuerst in Zeile " + std::to_string(e.line) + ")!");
                    return false;
                }
            }
            Entry e;
            e.key = key;
            e.line = line;
            if (!value(e.value))
                return false;
            b.entries.push_back(std::move(e));
        }
    }
    bool document()
    {
        if (!next() || ev.type() != YAML_STREAM_START_EVENT || !next())
            return false;
        if (ev.type() == YAML_STREAM_END_EVENT)
            return true;  // only comments
        if (!next())
            return false;
        if (ev.type() == YAML_MAPPING_START_EVENT) {
            if (!mapping())
                return false;
        } else if (ev.type() != YAML_SCALAR_EVENT || !ev.plain() || ev.event.data.scalar.length != 0) {
            message(path, ev.line(first), std::string(what) + " muss aus Zeilen „Schlüssel: Wert“ bestehen!");
            return false;
        }
        // The document's end, then the stream's: a second document cannot
        // stand here, its "---" would have closed the block.
        return next() && next();
    }
};

}  // namespace

bool parse_block(const char* path, const char* text, std::size_t n, Block& b)
{
    b = Block{};
    std::string_view all(text, n);
    std::size_t at = 0;
    std::string_view first = next_line(all, &at);
    if (chomp(first) != "---" || first.size() == 3 || first.size() > 5)
        return true;
    std::size_t inner = at;
    std::string_view second = next_line(all, &at);
    if (blank(second))
        return true;
    for (std::string_view l = second; !l.empty(); l = next_line(all, &at)) {
        if (!closing(l))
            continue;
        std::size_t end = static_cast<std::size_t>(l.data() - text);
        b.present = true;
        Reader r{path, 2, Events(text + inner, end - inner), {}, b};
        return r.document();
    }
    // No closing line: a page that begins with a rule stays a page, but
    // what begins like a block and never ends is an error.
    if (!looks_like_key(second))
        return true;
    message(path, 1, "der Kopfblock wird nie geschlossen (es fehlt die Zeile --- oder ...)!");
    return false;
}

bool parse_mapping(const char* path, const char* text, std::size_t n, Block& b)
{
    b = Block{};
    b.present = true;
    Reader r{path, 1, Events(text, n), {}, b, "die Datei", "in der Datei"};
    return r.document();
}

int read_block(const char* path, Block& b)
{
    b = Block{};
    std::FILE* fi = is_directory(path) ? nullptr : std::fopen(path, "rb");
    if (!fi) {
        eingabe_fehlt(path);
        return STATUS_IO;
    }
    // Only the head is read: up to the closing line, and never more than
    // the whole article may hold.
    std::string head;
    std::size_t scanned = 0;  // where the first line not yet looked at starts
    std::size_t lines = 0;
    bool more = true;
    char chunk[1 << 16];
    while (more && head.size() <= MARKDOWN_MAX) {
        std::size_t got = std::fread(chunk, 1, sizeof chunk, fi);
        if (got == 0)
            break;
        head.append(chunk, got);
        std::string_view all(head);
        for (std::size_t nl; more && (nl = all.find('\n', scanned)) != std::string_view::npos; scanned = nl + 1) {
            std::string_view l = all.substr(scanned, nl + 1 - scanned);
            ++lines;
            more = lines == 1 ? chomp(l) == "---" : lines == 2 ? !blank(l) && !closing(l) : !closing(l);
        }
    }
    bool failed = std::ferror(fi) != 0;
    std::fclose(fi);
    if (failed) {
        eingabe_fehlt(path);
        return STATUS_IO;
    }
    // An article too large is its page run's to report.
    if (more && head.size() > MARKDOWN_MAX)
        return STATUS_OK;
    return parse_block(path, head.data(), head.size(), b) ? STATUS_OK : STATUS_USAGE;
}

}  // namespace fm
