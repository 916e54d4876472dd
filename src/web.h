// What the sitemap and the feed write for the web: the site's base URL,
// addresses of files below it, XML text and W3C times.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string>

// An absolute http or https URL with a host, ending in exactly one slash.
struct BaseUrl {
    std::string url;     // "https://www.example.org:8080/wandern/"
    std::string origin;  // "https://www.example.org:8080"
    std::string scheme;  // "https"
    std::string host;    // "www.example.org", lower case, without the port
    std::string port;    // "8080", empty where none is given
    std::string path;    // "/wandern/": url after the origin
};

// Fills b from text. False, with the reason in German in why, for anything
// but an absolute http:// or https:// URL with a host and no query,
// fragment, user name, blank or character outside URLs.
bool parse_base_url(const char* text, BaseUrl& b, std::string& why);
// The usage error for a base URL that parse_base_url refused.
int bad_base_url(const char* text, const std::string& why);

// A path as it stands in a URL: its bytes percent-encoded but for the
// unreserved characters and the slash.
std::string url_path(const std::string& path);

// Writes text as XML character data or attribute value. Bytes that are not
// UTF-8, and characters XML does not allow, become U+FFFD, so the document
// stays well-formed whatever a hand-edited page holds. A character may be
// cut between two calls; end() finishes one left open.
struct XmlText {
    explicit XmlText(std::FILE* f) : fp(f) {}
    void put(const char* s, std::size_t n);
    void put(const std::string& s) { put(s.data(), s.size()); }
    void end();
    std::FILE* fp;
    unsigned char pending[4] = {};
    std::size_t have = 0;  // bytes of an unfinished character in pending
    std::size_t need = 0;  // its full length
};
// The same for a text as a whole, into a string.
std::string xml_escaped(const std::string& s);

// A W3C datetime (RFC 3339) with seconds and the run's time zone offset:
// "2021-05-03T11:05:00+02:00". UTC where the offset has seconds of its own.
std::string w3c_time(std::time_t when);

// ASCII letters in lower case; every other byte as it is.
inline char ascii_lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
