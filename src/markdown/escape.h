// HTML escaping as pandoc does it: running text, attribute values, code and
// addresses.
#pragma once

#include <string>
#include <string_view>

namespace md {

// Running text escapes &, < and >; an attribute value also "; code, as
// pandoc writes it, also '.
enum class Escape { text, attr, code };

void escape(std::string& out, std::string_view s, Escape level);

inline void escape_text(std::string& out, std::string_view s) { escape(out, s, Escape::text); }
inline void escape_attr(std::string& out, std::string_view s) { escape(out, s, Escape::attr); }
inline void escape_code(std::string& out, std::string_view s) { escape(out, s, Escape::code); }

// An address inside an attribute: blanks become %20, & and " entities.
void escape_url(std::string& out, std::string_view s);

}  // namespace md
