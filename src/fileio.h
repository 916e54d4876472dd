// Reading input in line-buffer pieces, writing an output file so that it is
// either replaced whole or left as it was, and writing text to a stream.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "quennelbrook.h"

// Block reader for inputs that are read to their end. Each piece it yields is
// what one read into a line buffer yields: at most 1023 bytes, ending after
// the first newline when that fits. Bytes are kept as they are, NUL included.
//
// The unread bytes are buf[pos, end). In front of each block there is room
// for the unfinished piece carried over from the block before, so a piece
// always lies whole in the buffer, and behind the bytes read there are PAD
// zero bytes, so that a scanner may read a little past the end.
struct LineReader {
    // Only the carry area is cleared: each read fills the block area before
    // it is looked at, and pages of it that a short input never reaches are
    // never touched (a page fault costs more than a small page's rewriting).
    explicit LineReader(std::FILE* f) : fp(f), buf(new char[CARRY + BLOCK + PAD]) { std::memset(buf.get(), 0, CARRY); }
    static constexpr std::size_t BLOCK = 1 << 16;
    static constexpr std::size_t CARRY = LINE_SIZE;
    static constexpr std::size_t PAD = 128;
    std::FILE* fp;
    std::size_t pos = 0;
    std::size_t end = 0;
    bool done = false;  // end of input or read error seen: read no further
    std::unique_ptr<char[]> buf;
};

// Moves the unread bytes (fewer than CARRY, as left by a piece that a block
// ends in the middle of) to just before the block area and reads the next
// block behind them. Returns the number of bytes added: 0 at the end of the
// input and on a read error (ferror(r.fp) tells the two apart).
std::size_t refill(LineReader& r);

// The next piece in place: a pointer into r.buf and its length in n, valid
// until the next call. Returns nullptr at the end of the input and on a read
// error; ferror(r.fp) tells the two apart.
const char* next_piece(LineReader& r, std::size_t& n);

// Copies the next piece into line (room for LINE_SIZE bytes), terminates it
// with a zero byte and returns its length. Returns 0 at the end of the input
// and on a read error; ferror(r.fp) tells the two apart.
std::size_t read_piece(LineReader& r, char* line);

// The same for a stream that must not be read ahead, such as a terminal:
// reads at most max bytes (max < LINE_SIZE), stopping after a newline.
std::size_t read_line(std::FILE* fp, char* line, std::size_t max);

// An output file under construction. Unless the target exists and is not a
// regular file (a terminal, /dev/stdout, a FIFO), the text goes to a file in
// the target's directory that replaces it only on commit: an unnamed one,
// named only just before the rename, or a hidden named one where the
// filesystem refuses unnamed files.
struct SafeOut {
    std::FILE* fp = nullptr;
    std::string target;    // the file that is replaced, symlinks resolved
    std::string tmp;       // the temporary file's name while it has one
    bool replace = false;  // false when writing to the target directly
    std::unique_ptr<char[]> buffer;
};

// The file that writing to path replaces: path with its symlinks followed,
// so that a link stays a link and the file it points to gets the new text.
std::string resolve_target(const char* path);

// Opens o for writing to path. Returns false, with errno set, when that is
// impossible (missing directory, a directory in the way, no permission).
bool safe_open(SafeOut& o, const char* path);

// Flushes, syncs and closes the text and puts it in place. Returns false when
// any of that failed; the old file is then unchanged and no temporary file
// remains.
bool safe_commit(SafeOut& o);

// Drops what was written: closes the stream and removes the temporary file.
// Harmless when o was never opened or has been committed.
void safe_abort(SafeOut& o);

// Takes an exclusive lock that serialises read-modify-write runs on the file
// target (a resolved path). The lock lives on a small hidden file beside it
// that may stay behind. Returns the descriptor to close to release it, or -1.
int lock_beside(const std::string& target);

// Whether path names a directory (symlinks followed).
bool is_directory(const char* path);

// Writes the text s as it is, with no line end added.
inline void put(std::FILE* fp, const char* s)
{
    std::fputs(s, fp);
}

// The messages of every mode for an input that cannot be opened or read to
// its end, and for an output that cannot be written.
void eingabe_fehlt(const char* input);
void ausgabe_nicht_schreibbar(const char* output);
