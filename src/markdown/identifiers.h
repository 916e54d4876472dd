// Heading identifiers as pandoc forms them, made unique within a document.
#pragma once

#include <set>
#include <string>

namespace md {

// The identifier of a heading whose plain text is text: lower case, blanks
// to hyphens, other punctuation but _ - . dropped, nothing before the first
// letter; "section" when nothing is left.
std::string identifier(const std::string& text);

// identifier(text), with "-1", "-2", … added while ids already holds it;
// the result is added to ids.
std::string unique_identifier(std::set<std::string>& ids, const std::string& text);

}  // namespace md
