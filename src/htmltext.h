// The text a reader of a page sees in a piece of its HTML: what a feed
// takes as an entry's title.
#pragma once

#include <cstddef>
#include <string>

// A title is cut here, at a character's start.
inline constexpr std::size_t MAX_TITLE = 1024;

// The text of the first heading (h1 to h6) in the bytes it is given, which
// may come in any pieces: tags left out, character references decoded, a
// "<" that starts no tag kept, and white space (no-break spaces too) run
// together and trimmed, as a browser shows it.
struct HeadingText {
    void feed(const char* p, std::size_t n);
    bool begun() const { return state == text || state == inner_tag || state == finished; }
    bool done() const { return state == finished; }
    // Empty until a heading has begun, and for one of blanks alone.
    std::string result() const;

    enum State { seek, tag, heading_tag, text, inner_tag, finished };
    State state = seek;
    bool lt = false;      // a "<" waits for the byte that tells whether it opens a tag
    std::string name;     // the tag name being read
    bool naming = false;  // still in the tag's name
    char quote = 0;       // inside a quoted attribute value
    char level = 0;       // the heading's digit
    std::string text_;
    bool space = false;   // white space is due before the next text
    bool lead_c2 = false; // a 0xC2 byte waits: a no-break space is white space
    bool in_ref = false;  // reading a character reference after "&"
    std::string ref;      // its bytes after the "&"

private:
    void step(char c);
    void tag_step(char c);
    bool is_heading(const std::string& s, bool closing) const;
    void end_of_tag();
    void text_byte(char c);
    void end_ref(bool semicolon);
    void add_text(const std::string& s);
    void add(char c);
    void add_byte(char c);
};

// HTML's white space, and the bytes of a tag or attribute name.
bool html_space(char c);
bool html_name_char(char c);

// The UTF-8 text of the character reference "&ref;" (ref without the "&"
// and ";": "amp", "#228", "#xE4"), or empty when it names no character.
std::string decode_reference(const std::string& ref);
// The same for the start of ref, as far as a browser reads it without a
// ";": a number, or a name that may go without one ("copy" of "copy2021").
// *used tells how much of ref it took; empty when nothing.
std::string decode_prefix(const std::string& ref, std::size_t* used);
