#include "fileio.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

std::size_t refill(LineReader& r)
{
    if (r.done)
        return 0;
    char* b = r.buf.get();
    std::size_t tail = r.end - r.pos;
    std::size_t start = tail <= LineReader::CARRY ? LineReader::CARRY - tail : 0;
    std::memmove(b + start, b + r.pos, tail);
    r.pos = start;
    r.end = start + tail;
    // A whole block per read: stdio then reads straight into our buffer.
    std::size_t got = std::fread(b + r.end, 1, LineReader::CARRY + LineReader::BLOCK - r.end, r.fp);
    if (got == 0)
        r.done = true;
    r.end += got;
    std::memset(b + r.end, 0, LineReader::PAD);
    return got;
}

const char* next_piece(LineReader& r, std::size_t& n)
{
    for (;;) {
        std::size_t avail = r.end - r.pos;
        const char* src = r.buf.get() + r.pos;
        std::size_t look = avail < LINE_MAX_READ ? avail : LINE_MAX_READ;
        const void* nl = std::memchr(src, '\n', look);
        if (nl)
            n = static_cast<std::size_t>(static_cast<const char*>(nl) - src) + 1;
        else if (avail >= LINE_MAX_READ || (r.done && avail > 0))
            n = look;
        else if (refill(r) > 0 || r.end > r.pos)
            continue;
        else
            return nullptr;
        r.pos += n;
        return src;
    }
}

std::size_t read_piece(LineReader& r, char* line)
{
    std::size_t n = 0;
    const char* p = next_piece(r, n);
    if (p)
        std::memcpy(line, p, n);
    line[n] = '\0';
    return n;
}

std::size_t read_line(std::FILE* fp, char* line, std::size_t max)
{
    std::size_t n = 0;
    while (n < max) {
        int c = std::getc(fp);
        if (c == EOF)
            break;
        line[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    line[n] = '\0';
    return n;
}

namespace {

std::string dir_of(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string base_of(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Makes sure the data and the new directory entry reach the disk.
void sync_dir(const std::string& dir)
{
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::string resolve_target(const char* path)
{
    std::string p = path;
    // A loop of links ends here after as many hops as the kernel allows;
    // opening the last name then fails with the kernel's own ELOOP.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        ssize_t len = ::readlink(p.c_str(), link.data(), link.size());
        if (len < 0 || static_cast<std::size_t>(len) >= link.size())
            break;
        link.resize(static_cast<std::size_t>(len));
        if (!link.empty() && link[0] == '/')
            p = link;
        else
            p = dir_of(p) + "/" + link;
    }
    return p;
}

namespace {

// The name a temporary file beside target gets: hidden, and telling whose it is.
std::string temp_name(const std::string& target, const char* suffix)
{
    std::string base = base_of(target);
    return dir_of(target) + "/" + (base.size() <= 200 ? "." + base : std::string()) + ".qb-" + suffix;
}

#ifdef O_TMPFILE
// Whether the kernel lets us write into an unnamed file in dir and name it
// later. The errors that mean "not here" send the caller to a named file;
// any other error is the run's.
enum class Unnamed { ok, unsupported, failed };

Unnamed open_unnamed(const std::string& dir, int& fd)
{
    fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL ? Unnamed::unsupported
                                                                          : Unnamed::failed;
    // The name is given through /proc later; without /proc there is none.
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::faccessat(AT_FDCWD, self.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) != 0) {
        ::close(fd);
        fd = -1;
        return Unnamed::unsupported;
    }
    return Unnamed::ok;
}

// Gives the unnamed file a hidden name beside the target, at the last
// moment, so that a killed run leaves nothing behind but in that instant.
bool name_unnamed(SafeOut& o)
{
    std::string self = "/proc/self/fd/" + std::to_string(::fileno(o.fp));
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    auto seed = static_cast<unsigned long long>(now.tv_nsec) ^ (static_cast<unsigned long long>(::getpid()) << 20);
    static const char digits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[7];
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        for (int i = 0; i < 6; ++i)
            suffix[i] = digits[(seed >> (16 + 7 * i)) % (sizeof digits - 1)];
        suffix[6] = '\0';
        std::string name = temp_name(o.target, suffix);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            o.tmp = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}
#endif

}  // namespace

bool safe_open(SafeOut& o, const char* path)
{
    safe_abort(o);
    o.tmp.clear();
    o.replace = false;
    o.buffer.reset(new char[LineReader::BLOCK]);

    struct stat st;
    bool exists = ::stat(path, &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        // Devices and pipes cannot be replaced; write to them as they are.
        o.target = path;
        o.fp = std::fopen(path, "w");
        if (!o.fp)
            return false;
        std::setvbuf(o.fp, o.buffer.get(), _IOFBF, LineReader::BLOCK);
        return true;
    }

    o.target = resolve_target(path);
    int fd = -1;
#ifdef O_TMPFILE
    Unnamed how = open_unnamed(dir_of(o.target), fd);
    if (how == Unnamed::failed)
        return false;
    if (how == Unnamed::unsupported)
#endif
    {
        // Where unnamed files are refused, a hidden named one stands in.
        std::string tmpl = temp_name(o.target, "XXXXXX");
        fd = ::mkstemp(tmpl.data());
        if (fd < 0)
            return false;
        o.tmp = tmpl;
    }
    o.replace = true;

    mode_t mode;
    if (exists) {
        mode = st.st_mode & 07777;
        // Keep the page's owner when we may (a root run on a user's site).
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Not permitted for ordinary users; the new file is theirs then.
        }
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) == 0)
        o.fp = ::fdopen(fd, "w");
    if (!o.fp) {
        int e = errno;
        ::close(fd);
        safe_abort(o);
        errno = e;
        return false;
    }
    std::setvbuf(o.fp, o.buffer.get(), _IOFBF, LineReader::BLOCK);
    return true;
}

bool safe_commit(SafeOut& o)
{
    if (!o.fp) {
        errno = EBADF;
        return false;
    }
    // Every byte reaches the file before the fsync, and the fsync comes
    // before the rename: a power cut then finds the old page or all of
    // the new one.
    bool ok = !std::ferror(o.fp) && std::fflush(o.fp) == 0;
    int e = ok ? 0 : (errno ? errno : EIO);
    if (ok && o.replace && ::fsync(::fileno(o.fp)) != 0) {
        ok = false;
        e = errno;
    }
#ifdef O_TMPFILE
    if (ok && o.replace && o.tmp.empty() && !name_unnamed(o)) {
        ok = false;
        e = errno;
    }
#endif
    if (std::fclose(o.fp) != 0 && ok) {
        ok = false;
        e = errno;
    }
    o.fp = nullptr;
    if (ok && o.replace) {
        if (::rename(o.tmp.c_str(), o.target.c_str()) != 0) {
            ok = false;
            e = errno;
        } else {
            o.tmp.clear();
            sync_dir(dir_of(o.target));
        }
    }
    if (!ok) {
        safe_abort(o);
        errno = e;
    }
    return ok;
}

void safe_abort(SafeOut& o)
{
    if (o.fp) {
        std::fclose(o.fp);
        o.fp = nullptr;
    }
    if (!o.tmp.empty()) {
        ::unlink(o.tmp.c_str());
        o.tmp.clear();
    }
}

int lock_beside(const std::string& target)
{
    std::string base = base_of(target);
    std::string name = base.size() <= 200 ? "." + base + ".lock" : std::string(".qb.lock");
    std::string path = dir_of(target) + "/" + name;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

bool is_directory(const char* path)
{
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

void eingabe_fehlt(const char* input)
{
    std::printf("Fehler: Eingabedatei \"%s\" nicht vorhanden oder Platte voll!\n", input);
}

void ausgabe_nicht_schreibbar(const char* output)
{
    std::printf("Fehler: Ausgabedatei \"%s\" kann nicht geschrieben werden!\n", output);
}
