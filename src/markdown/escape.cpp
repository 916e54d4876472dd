// HTML escaping of text, attributes, code and addresses.
#include "markdown/escape.h"

namespace md {

void escape(std::string& out, std::string_view s, Escape level)
{
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"':
            out += level == Escape::text ? "\"" : "&quot;";
            break;
        case '\'':
            out += level == Escape::code ? "&#39;" : "'";
            break;
        default: out += c;
        }
    }
}

void escape_url(std::string& out, std::string_view s)
{
    for (char c : s) {
        switch (c) {
        case ' ': out += "%20"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
}

}  // namespace md
