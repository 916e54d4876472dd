// The page generators write their messages to standard output, and the line
// rewriter its width diagnostics too ("gefunden: i=…", the second line
// without a line end). The site run gathers them per page and passes on
// only the messages.
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "website/site.h"

namespace site {
namespace {

// The digits at text[at…]; their end, or npos when there are none.
std::size_t digits(const std::string& text, std::size_t at)
{
    std::size_t end = at;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    return end == at ? std::string::npos : end;
}

// The end of the diagnostic at text[at…], or npos when none stands there.
std::size_t diagnostic(const std::string& text, std::size_t at)
{
    static const char* const parts[] = {"gefunden: i=", "\ni=", "  | j=", "  | k="};
    for (const char* p : parts) {
        std::size_t n = std::strlen(p);
        if (text.compare(at, n, p) != 0)
            return std::string::npos;
        at = digits(text, at + n);
        if (at == std::string::npos)
            return at;
    }
    return at;
}

}  // namespace

std::string without_diagnostics(const std::string& text)
{
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = diagnostic(text, at);
        if (end != std::string::npos) {
            at = end;
            continue;
        }
        out += text[at++];
    }
    return out;
}

bool capture_begin(Capture& c)
{
    std::fflush(stdout);
    if (c.tmp < 0) {
        c.tmp = ::memfd_create("quennelbrook", MFD_CLOEXEC);
        if (c.tmp < 0)
            return false;
    }
    if (::ftruncate(c.tmp, 0) != 0 || ::lseek(c.tmp, 0, SEEK_SET) != 0)
        return false;
    c.saved = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    if (c.saved < 0)
        return false;
    if (::dup2(c.tmp, 1) < 0) {
        ::close(c.saved);
        c.saved = -1;
        return false;
    }
    return true;
}

void capture_end(Capture& c)
{
    if (c.saved < 0)
        return;
    std::fflush(stdout);
    std::clearerr(stdout);
    ::dup2(c.saved, 1);
    ::close(c.saved);
    c.saved = -1;
    std::string text;
    char buf[1 << 12];
    ::lseek(c.tmp, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(c.tmp, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    text = without_diagnostics(text);
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void capture_close(Capture& c)
{
    capture_end(c);
    if (c.tmp >= 0)
        ::close(c.tmp);
    c.tmp = -1;
}

}  // namespace site
