#include "htmltext.h"

#include <cctype>
#include <cstdint>
#include <cstring>

#include "markdown/utf8.h"
#include "web.h"

namespace {

bool is_alpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The named references a German text is likely to hold: HTML's Latin-1
// set, the typographic ones and the few others of HTML 4.
struct Named {
    const char* name;
    std::uint32_t code;
};
const Named NAMED[] = {
    {"quot", 34}, {"amp", 38}, {"apos", 39}, {"lt", 60}, {"gt", 62},
    {"nbsp", 160}, {"iexcl", 161}, {"cent", 162}, {"pound", 163}, {"curren", 164}, {"yen", 165},
    {"brvbar", 166}, {"sect", 167}, {"uml", 168}, {"copy", 169}, {"ordf", 170}, {"laquo", 171},
    {"not", 172}, {"shy", 173}, {"reg", 174}, {"macr", 175}, {"deg", 176}, {"plusmn", 177},
    {"sup2", 178}, {"sup3", 179}, {"acute", 180}, {"micro", 181}, {"para", 182}, {"middot", 183},
    {"cedil", 184}, {"sup1", 185}, {"ordm", 186}, {"raquo", 187}, {"frac14", 188}, {"frac12", 189},
    {"frac34", 190}, {"iquest", 191}, {"Agrave", 192}, {"Aacute", 193}, {"Acirc", 194}, {"Atilde", 195},
    {"Auml", 196}, {"Aring", 197}, {"AElig", 198}, {"Ccedil", 199}, {"Egrave", 200}, {"Eacute", 201},
    {"Ecirc", 202}, {"Euml", 203}, {"Igrave", 204}, {"Iacute", 205}, {"Icirc", 206}, {"Iuml", 207},
    {"ETH", 208}, {"Ntilde", 209}, {"Ograve", 210}, {"Oacute", 211}, {"Ocirc", 212}, {"Otilde", 213},
    {"Ouml", 214}, {"times", 215}, {"Oslash", 216}, {"Ugrave", 217}, {"Uacute", 218}, {"Ucirc", 219},
    {"Uuml", 220}, {"Yacute", 221}, {"THORN", 222}, {"szlig", 223}, {"agrave", 224}, {"aacute", 225},
    {"acirc", 226}, {"atilde", 227}, {"auml", 228}, {"aring", 229}, {"aelig", 230}, {"ccedil", 231},
    {"egrave", 232}, {"eacute", 233}, {"ecirc", 234}, {"euml", 235}, {"igrave", 236}, {"iacute", 237},
    {"icirc", 238}, {"iuml", 239}, {"eth", 240}, {"ntilde", 241}, {"ograve", 242}, {"oacute", 243},
    {"ocirc", 244}, {"otilde", 245}, {"ouml", 246}, {"divide", 247}, {"oslash", 248}, {"ugrave", 249},
    {"uacute", 250}, {"ucirc", 251}, {"uuml", 252}, {"yacute", 253}, {"thorn", 254}, {"yuml", 255},
    {"OElig", 338}, {"oelig", 339}, {"Scaron", 352}, {"scaron", 353}, {"Yuml", 376}, {"fnof", 402},
    {"circ", 710}, {"tilde", 732}, {"ensp", 8194}, {"emsp", 8195}, {"thinsp", 8201}, {"zwnj", 8204},
    {"zwj", 8205}, {"lrm", 8206}, {"rlm", 8207}, {"ndash", 8211}, {"mdash", 8212}, {"lsquo", 8216},
    {"rsquo", 8217}, {"sbquo", 8218}, {"ldquo", 8220}, {"rdquo", 8221}, {"bdquo", 8222}, {"dagger", 8224},
    {"Dagger", 8225}, {"bull", 8226}, {"hellip", 8230}, {"permil", 8240}, {"prime", 8242}, {"Prime", 8243},
    {"lsaquo", 8249}, {"rsaquo", 8250}, {"euro", 8364}, {"trade", 8482}, {"larr", 8592}, {"uarr", 8593},
    {"rarr", 8594}, {"darr", 8595}, {"harr", 8596}, {"minus", 8722}, {"AMP", 38}, {"LT", 60},
    {"GT", 62}, {"QUOT", 34}, {"COPY", 169}, {"REG", 174},
};

// The names a browser takes without their ";" too, at the start of a longer
// word ("&copy2021"): HTML's Latin-1 set, "&amp", "&lt", "&gt", "&quot".
bool legacy(const Named& e)
{
    return e.code <= 255 && std::strcmp(e.name, "apos") != 0;
}

// The longest reference worth reading: longer names are none of HTML's, and
// longer numbers are out of range anyway.
constexpr std::size_t MAX_REF = 32;

std::string utf8(std::uint32_t c)
{
    // What a browser makes of a number that is no character.
    if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    std::string s;
    md::encode(s, static_cast<char32_t>(c));
    return s;
}

}  // namespace

bool html_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool html_name_char(char c)
{
    return is_alpha(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == ':';
}

std::string decode_prefix(const std::string& ref, std::size_t* used)
{
    *used = 0;
    if (ref.size() >= 2 && ref[0] == '#') {
        bool hex = ref[1] == 'x' || ref[1] == 'X';
        std::size_t i = hex ? 2 : 1;
        while (i < ref.size() && (std::isdigit(static_cast<unsigned char>(ref[i])) ||
                                  (hex && std::isxdigit(static_cast<unsigned char>(ref[i])))))
            ++i;
        if (i == (hex ? 2u : 1u))
            return "";
        *used = i;
        return decode_reference(ref.substr(0, i));
    }
    const Named* best = nullptr;
    for (const auto& e : NAMED) {
        std::size_t len = std::strlen(e.name);
        if (legacy(e) && ref.compare(0, len, e.name) == 0 && (!best || len > std::strlen(best->name)))
            best = &e;
    }
    if (!best)
        return "";
    *used = std::strlen(best->name);
    return utf8(best->code);
}

std::string decode_reference(const std::string& ref)
{
    if (ref.size() >= 2 && ref[0] == '#') {
        bool hex = ref[1] == 'x' || ref[1] == 'X';
        std::size_t i = hex ? 2 : 1;
        if (i == ref.size())
            return "";
        std::uint32_t v = 0;
        for (; i < ref.size(); ++i) {
            char c = ascii_lower(ref[i]);
            int d = c >= '0' && c <= '9' ? c - '0' : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (d < 0)
                return "";
            v = v * (hex ? 16u : 10u) + static_cast<std::uint32_t>(d);
            if (v > 0x10FFFF)
                v = 0x110000;  // stays out of range, however many digits follow
        }
        return utf8(v);
    }
    for (const auto& e : NAMED)
        if (ref == e.name)
            return utf8(e.code);
    return "";
}

void HeadingText::feed(const char* p, std::size_t n)
{
    for (const char* end = p + n; p < end && state != finished; ++p)
        step(*p);
}

void HeadingText::step(char c)
{
    if (lt) {
        // "<" opens a tag only before a letter, "/", "!" or "?"; otherwise
        // it is text, as in "3 < 4".
        lt = false;
        if (is_alpha(c) || c == '/' || c == '!' || c == '?') {
            name.clear();
            naming = true;
            quote = 0;
            state = state == seek ? tag : inner_tag;
            tag_step(c);
            return;
        }
        if (state == text)
            add('<');
    }
    switch (state) {
    case seek:
        lt = c == '<';
        break;
    case text:
        if (c == '<') {
            if (in_ref)
                end_ref(false);
            lt = true;
        } else {
            text_byte(c);
        }
        break;
    case tag:
    case inner_tag:
    case heading_tag:
        tag_step(c);
        break;
    case finished:
        break;
    }
}

void HeadingText::tag_step(char c)
{
    if (quote) {
        if (c == quote)
            quote = 0;
    } else if (c == '>') {
        end_of_tag();
    } else if (naming && (html_name_char(c) || (c == '/' && name.empty()))) {
        if (name.size() < 8)
            name += ascii_lower(c);
    } else {
        if (naming && state == tag && is_heading(name, false))
            state = heading_tag;
        naming = false;
        if (c == '"' || c == '\'')
            quote = c;
    }
}

bool HeadingText::is_heading(const std::string& s, bool closing) const
{
    std::size_t at = closing ? 1 : 0;
    if (closing && (s.empty() || s[0] != '/'))
        return false;
    return s.size() == at + 2 && s[at] == 'h' && s[at + 1] >= '1' && s[at + 1] <= '6' &&
           (!closing || s[at + 1] == level);
}

void HeadingText::end_of_tag()
{
    if (state == tag && naming && is_heading(name, false))
        state = heading_tag;
    if (state == heading_tag) {
        level = name[1];
        state = text;
    } else if (state == inner_tag) {
        state = is_heading(name, true) ? finished : text;
    } else {
        state = seek;
    }
}

void HeadingText::text_byte(char c)
{
    if (in_ref) {
        if (c == ';') {
            end_ref(true);
            return;
        }
        if ((is_alpha(c) || (c >= '0' && c <= '9') || (c == '#' && ref.empty())) && ref.size() < MAX_REF) {
            ref += c;
            return;
        }
        end_ref(false);
    }
    if (c == '&') {
        in_ref = true;
        ref.clear();
        return;
    }
    add(c);
}

// A reference without its ";", or with a name HTML does not know, is read
// as a browser reads it: a number, or the longest name that may go without
// the ";", at its start; what follows stays as written, as does a
// reference that starts with neither.
void HeadingText::end_ref(bool semicolon)
{
    in_ref = false;
    std::string decoded = semicolon ? decode_reference(ref) : "";
    if (!decoded.empty()) {
        add_text(decoded);
        return;
    }
    std::size_t used = 0;
    decoded = decode_prefix(ref, &used);
    if (decoded.empty())
        add('&');
    add_text(decoded);
    add_text(ref.substr(used));
    if (semicolon)
        add(';');
}

void HeadingText::add_text(const std::string& s)
{
    for (char c : s)
        add(c);
}

void HeadingText::add(char c)
{
    // A no-break space (U+00A0, C2 A0) is white space like any other.
    if (lead_c2) {
        lead_c2 = false;
        if (c == '\xA0') {
            add_byte(' ');
            return;
        }
        add_byte('\xC2');
    }
    if (c == '\xC2') {
        lead_c2 = true;
        return;
    }
    add_byte(c);
}

void HeadingText::add_byte(char c)
{
    if (html_space(c)) {
        space = !text_.empty();
        return;
    }
    if (space && text_.size() < MAX_TITLE)
        text_ += ' ';
    space = false;
    // Continuation bytes of a character already begun are kept, so that
    // the cut never splits a character.
    bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
    if (text_.size() < MAX_TITLE || (continuation && !text_.empty() && text_.size() < MAX_TITLE + 3))
        text_ += c;
}

std::string HeadingText::result() const
{
    if (!begun())
        return "";
    // What is still open at the end counts as written.
    HeadingText rest = *this;
    if (rest.in_ref)
        rest.end_ref(false);
    if (rest.lt)
        rest.add('<');
    if (rest.lead_c2)
        rest.add_byte('\xC2');
    return rest.text_;
}
