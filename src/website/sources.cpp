// Finding what the site is made of: the articles and entries in their
// folders, and every file below the folders that are copied.
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

#include "markdown.h"
#include "website/site.h"

namespace site {
namespace {

bool walk(const std::string& root, const std::string& rel, std::vector<std::string>& out, int depth)
{
    std::string dir = rel.empty() ? root : root + "/" + rel;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return errno == ENOENT && rel.empty();
    std::vector<std::string> names;
    errno = 0;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] != '.')
            names.emplace_back(e->d_name);
        errno = 0;
    }
    int e = errno;
    ::closedir(d);
    if (e) {
        errno = e;
        return false;
    }
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        std::string r = rel.empty() ? n : rel + "/" + n;
        struct stat st;
        if (::stat((root + "/" + r).c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ELOOP)
                continue;  // a dangling link is nothing to copy
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            // A link loop ends here rather than in the file system's limit.
            if (depth < 32 && !walk(root, r, out, depth + 1))
                return false;
        } else if (S_ISREG(st.st_mode)) {
            out.push_back(r);
        }
    }
    return true;
}

}  // namespace

bool markdown_files(const std::string& dir, std::vector<std::string>& out)
{
    out.clear();
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return errno == ENOENT;
    errno = 0;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] != '.' && is_markdown(e->d_name))
            out.emplace_back(e->d_name);
        errno = 0;
    }
    int e = errno;
    ::closedir(d);
    std::sort(out.begin(), out.end());
    return e == 0;
}

bool files_below(const std::string& dir, std::vector<std::string>& out)
{
    return walk(dir, "", out, 0);
}

bool is_photo(const std::string& name)
{
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return ext == "jpg" || ext == "jpeg" || ext == "png" || ext == "webp";
}

std::string stem(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace site
