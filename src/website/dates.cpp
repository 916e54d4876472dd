// The dates of articles and entries without one in their block: the time
// of the last commit where the site is a git work tree and the file is
// committed unchanged, so that a fresh clone dates every page as before.
#include <cstdlib>
#include <set>
#include <unistd.h>

#include "website/site.h"

namespace site {
namespace {

constexpr std::size_t GIT_MAX = std::size_t{64} << 20;

// Lines of text; a quoted name (git's way with odd bytes) stays quoted and
// so matches no file: that file falls back to its own time.
std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t nl = text.find('\n', at);
        if (nl == std::string::npos)
            nl = text.size();
        out.push_back(text.substr(at, nl - at));
        at = nl + 1;
    }
    return out;
}

// Whether git would find a work tree from here: a .git in this folder or
// one above, no higher than GIT_CEILING_DIRECTORIES allows. Looked up
// without starting git, which costs more than a run with nothing to do.
bool in_git_tree()
{
    if (std::getenv("GIT_DIR"))
        return true;
    char* cwd = ::getcwd(nullptr, 0);
    std::string dir = cwd ? cwd : "";
    std::free(cwd);
    std::set<std::string> ceilings;
    if (const char* c = std::getenv("GIT_CEILING_DIRECTORIES")) {
        std::string all = c;
        for (std::size_t at = 0; at <= all.size();) {
            std::size_t colon = all.find(':', at);
            if (colon == std::string::npos)
                colon = all.size();
            std::string one = all.substr(at, colon - at);
            while (one.size() > 1 && one.back() == '/')
                one.pop_back();
            ceilings.insert(one);
            at = colon + 1;
        }
    }
    while (!dir.empty()) {
        if (::access((dir + "/.git").c_str(), F_OK) == 0)
            return true;
        std::size_t slash = dir.rfind('/');
        std::string up = slash == 0 ? "/" : dir.substr(0, slash);
        if (up == dir || ceilings.count(up) || slash == std::string::npos)
            return false;
        dir = up;
    }
    return false;
}

}  // namespace

std::map<std::string, std::time_t> commit_times(const std::vector<std::string>& dirs)
{
    std::map<std::string, std::time_t> times;
    if (!in_git_tree())
        return times;
    std::vector<std::string> log = {"git", "-c", "core.quotepath=off", "log", "--relative", "--format=@%ct",
                                    "--name-only", "--"};
    std::vector<std::string> status = {"git", "-c", "core.quotepath=off", "diff", "--name-only", "--relative",
                                       "HEAD", "--"};
    for (const std::string& d : dirs) {
        log.push_back(d);
        status.push_back(d);
    }
    std::string out, changed;
    if (!run_output(status, changed, GIT_MAX, true) || !run_output(log, out, GIT_MAX, true))
        return times;
    // What is changed since the last commit, staged or not, is dated by
    // its file; what git does not know has no commit time anyway.
    std::set<std::string> differs;
    for (const std::string& l : lines(changed))
        differs.insert(l);
    // git log names the newest commit first: the first time of a path counts.
    std::time_t when = 0;
    for (const std::string& l : lines(out)) {
        if (l.empty())
            continue;
        if (l[0] == '@')
            when = static_cast<std::time_t>(std::atoll(l.c_str() + 1));
        else if (!differs.count(l))
            times.emplace(l, when);
    }
    return times;
}

}  // namespace site
