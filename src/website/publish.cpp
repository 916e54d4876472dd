// Writing the site's files: each is made whole in the staging folder, then
// renamed over the old one only when its bytes differ, so an unchanged file
// keeps its time (the upload sends what is newer) and a killed run leaves
// every output file old or new, never half.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "fileio.h"
#include "website/site.h"

namespace site {
namespace {

constexpr std::size_t CHUNK = 1 << 16;

// Whether the two files hold the same bytes; false also when one cannot
// be read (the new one is then put in place).
bool same_bytes(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode) ||
        sa.st_size != sb.st_size)
        return false;
    int fa = ::open(a.c_str(), O_RDONLY | O_CLOEXEC);
    int fb = fa < 0 ? -1 : ::open(b.c_str(), O_RDONLY | O_CLOEXEC);
    bool same = fa >= 0 && fb >= 0;
    std::unique_ptr<char[]> ba(new char[CHUNK]), bb(new char[CHUNK]);
    while (same) {
        ssize_t na = ::read(fa, ba.get(), CHUNK);
        if (na <= 0) {
            same = na == 0;
            break;
        }
        std::size_t got = 0;
        while (got < static_cast<std::size_t>(na)) {
            ssize_t nb = ::read(fb, bb.get() + got, static_cast<std::size_t>(na) - got);
            if (nb <= 0)
                break;
            got += static_cast<std::size_t>(nb);
        }
        same = got == static_cast<std::size_t>(na) && std::memcmp(ba.get(), bb.get(), got) == 0;
    }
    if (fa >= 0)
        ::close(fa);
    if (fb >= 0)
        ::close(fb);
    return same;
}

std::string parent(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

}  // namespace

bool make_dirs(const std::string& dir)
{
    if (dir.empty() || is_directory(dir.c_str()))
        return true;
    if (!make_dirs(parent(dir)))
        return false;
    return ::mkdir(dir.c_str(), 0777) == 0 || (errno == EEXIST && is_directory(dir.c_str()));
}

void remove_tree(const std::string& dir)
{
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n == "." || n == "..")
                continue;
            std::string p = dir + "/" + n;
            struct stat st;
            if (::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                remove_tree(p);
            else
                ::unlink(p.c_str());
        }
        ::closedir(d);
    }
    ::rmdir(dir.c_str());
}

Put publish(const std::string& staged, const std::string& final_path)
{
    if (same_bytes(staged, final_path)) {
        ::unlink(staged.c_str());
        return Put::same;
    }
    if (!make_dirs(parent(final_path)) || ::rename(staged.c_str(), final_path.c_str()) != 0) {
        int e = errno;
        ::unlink(staged.c_str());
        std::printf("Fehler: Datei \"%s\" kann nicht geschrieben werden (%s)!\n", final_path.c_str(), std::strerror(e));
        return Put::failed;
    }
    return Put::written;
}

bool write_text(const std::string& dst, const std::string& text)
{
    SafeOut out;
    if (make_dirs(parent(dst)) && safe_open(out, dst.c_str())) {
        std::fwrite(text.data(), 1, text.size(), out.fp);
        if (safe_commit(out))
            return true;
    }
    safe_abort(out);
    ausgabe_nicht_schreibbar(dst.c_str());
    return false;
}

bool copy_file(const std::string& src, const std::string& dst)
{
    std::FILE* fi = std::fopen(src.c_str(), "rb");
    if (!fi) {
        eingabe_fehlt(src.c_str());
        return false;
    }
    SafeOut out;
    if (!make_dirs(parent(dst)) || !safe_open(out, dst.c_str())) {
        std::fclose(fi);
        ausgabe_nicht_schreibbar(dst.c_str());
        return false;
    }
    std::unique_ptr<char[]> buf(new char[CHUNK]);
    while (std::size_t got = std::fread(buf.get(), 1, CHUNK, fi))
        std::fwrite(buf.get(), 1, got, out.fp);
    bool read_failed = std::ferror(fi) != 0;
    std::fclose(fi);
    if (read_failed) {
        safe_abort(out);
        eingabe_fehlt(src.c_str());
        return false;
    }
    if (!safe_commit(out)) {
        ausgabe_nicht_schreibbar(dst.c_str());
        return false;
    }
    return true;
}

}  // namespace site
