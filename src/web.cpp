#include "web.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "quennelbrook.h"

// ---- The base URL ----

namespace {

bool is_alpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

bool starts_with_nocase(const char* s, const char* prefix)
{
    for (; *prefix; ++s, ++prefix)
        if (ascii_lower(*s) != *prefix)
            return false;
    return true;
}

// The characters a URL may hold as they are (RFC 3986), "%" included.
bool is_url_char(char c)
{
    return is_alpha(c) || is_digit(c) || (c && std::strchr("-._~:/?#[]@!$&'()*+,;=%", c));
}

}  // namespace

bool parse_base_url(const char* text, BaseUrl& b, std::string& why)
{
    const char* rest = nullptr;
    if (starts_with_nocase(text, "https://")) {
        b.scheme = "https";
        rest = text + 8;
    } else if (starts_with_nocase(text, "http://")) {
        b.scheme = "http";
        rest = text + 7;
    } else {
        why = "sie muss mit http:// oder https:// beginnen";
        return false;
    }
    for (const char* p = rest; *p; ++p)
        if (!is_url_char(*p)) {
            why = "sie enthält ein Zeichen, das in Adressen nicht stehen darf (Umlaute als Punycode bzw. %XX)";
            return false;
        }
    if (std::strpbrk(rest, "?#")) {
        why = "sie darf weder ? noch # enthalten";
        return false;
    }
    std::size_t authority = std::strcspn(rest, "/");
    std::string host(rest, authority);
    if (host.find('@') != std::string::npos) {
        why = "sie darf keinen Benutzernamen enthalten";
        return false;
    }
    // An optional port after the host: digits only.
    std::size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
        std::string port = host.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) {
            why = "der Port nach dem Doppelpunkt muss eine Zahl sein";
            return false;
        }
        b.port = port;
        host.resize(colon);
    }
    bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
    if (host.empty() || (!bracketed && host.find_first_of("[]:") != std::string::npos)) {
        why = "ihr fehlt der Rechnername";
        return false;
    }
    for (char& c : host)
        c = ascii_lower(c);
    b.host = host;
    b.origin = b.scheme + "://" + std::string(rest, authority);
    std::string path = rest + authority;
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    b.path = path + "/";
    b.url = b.origin + b.path;
    return true;
}

int bad_base_url(const char* text, const std::string& why)
{
    std::printf("Fehler: Basis-URL \"%s\" ungültig: %s!\n", text, why.c_str());
    return STATUS_USAGE;
}

// ---- XML text ----

namespace {

const char REPLACEMENT[] = "\xEF\xBF\xBD";  // U+FFFD

// The escape of a byte below 0x80 in XML text, or null when it goes as it is.
const char* escape_of(unsigned char c)
{
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\'':
        return "&apos;";
    case '\r':
        return "&#13;";  // a parser would turn a bare one into a line end
    case '\t':
    case '\n':
        return nullptr;
    default:
        return c < 0x20 || c == 0x7F ? REPLACEMENT : nullptr;
    }
}

}  // namespace

void XmlText::put(const char* s, std::size_t n)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    const unsigned char* end = p + n;
    while (p < end) {
        unsigned char c = *p;
        if (need) {
            bool ok = (c & 0xC0) == 0x80;
            if (ok && have == 1) {
                // The second byte rules out overlong forms, surrogates and
                // code points beyond U+10FFFF.
                unsigned char lead = pending[0];
                ok = !(lead == 0xE0 && c < 0xA0) && !(lead == 0xED && c > 0x9F) && !(lead == 0xF0 && c < 0x90) &&
                     !(lead == 0xF4 && c > 0x8F);
            }
            if (!ok) {
                std::fputs(REPLACEMENT, fp);
                need = have = 0;
                continue;  // c starts afresh
            }
            pending[have++] = c;
            ++p;
            if (have == need) {
                // U+FFFE and U+FFFF are no XML characters.
                bool nonchar = need == 3 && pending[0] == 0xEF && pending[1] == 0xBF && pending[2] >= 0xBE;
                if (nonchar)
                    std::fputs(REPLACEMENT, fp);
                else
                    std::fwrite(pending, 1, need, fp);
                need = have = 0;
            }
            continue;
        }
        if (c < 0x80) {
            const unsigned char* run = p;
            while (p < end && *p < 0x80 && !escape_of(*p))
                ++p;
            std::fwrite(run, 1, static_cast<std::size_t>(p - run), fp);
            if (p < end && *p < 0x80)
                std::fputs(escape_of(*p++), fp);
            continue;
        }
        ++p;
        if (c >= 0xC2 && c <= 0xDF)
            need = 2;
        else if (c >= 0xE0 && c <= 0xEF)
            need = 3;
        else if (c >= 0xF0 && c <= 0xF4)
            need = 4;
        else {
            std::fputs(REPLACEMENT, fp);
            continue;
        }
        pending[0] = c;
        have = 1;
    }
}

void XmlText::end()
{
    if (need)
        std::fputs(REPLACEMENT, fp);
    need = have = 0;
}

std::string xml_escaped(const std::string& s)
{
    char* buf = nullptr;
    std::size_t len = 0;
    std::FILE* mem = open_memstream(&buf, &len);
    if (!mem)
        throw std::bad_alloc();
    XmlText x(mem);
    x.put(s);
    x.end();
    std::fclose(mem);
    std::string out(buf, len);
    std::free(buf);
    return out;
}

// ---- Times ----

std::string w3c_time(std::time_t when)
{
    std::tm tm{};
    long off = 0;
    if (localtime_r(&when, &tm)) {
        off = tm.tm_gmtoff;
        // An offset of whole minutes only: old local mean times are given in UTC.
        if (off % 60 != 0) {
            gmtime_r(&when, &tm);
            off = 0;
        }
    } else {
        gmtime_r(&when, &tm);
    }
    char sign = off < 0 ? '-' : '+';
    long a = off < 0 ? -off : off;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, sign, a / 3600, a / 60 % 60);
    return buf;
}


// ---- Addresses below the base ----

std::string url_path(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : path) {
        auto c = static_cast<unsigned char>(ch);
        if (is_alpha(ch) || is_digit(ch) || std::strchr("-._~/", ch) != nullptr) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}
