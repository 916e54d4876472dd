// Outside programs (git, ImageMagick, a renderer) started without a shell,
// so that any file name reaches them as one argument.
#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "website/site.h"

extern char** environ;

namespace site {

pid_t start(const std::vector<std::string>& argv, int out_fd, bool quiet, const char* in_path)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    if (posix_spawn_file_actions_init(&fa) != 0)
        return -1;
    posix_spawn_file_actions_addopen(&fa, 0, in_path ? in_path : "/dev/null", O_RDONLY, 0);
    if (out_fd >= 0)
        posix_spawn_file_actions_adddup2(&fa, out_fd, 1);
    if (quiet)
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
}

int finish(pid_t pid)
{
    int st = 0;
    while (::waitpid(pid, &st, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

bool run_output(const std::vector<std::string>& argv, std::string& out, std::size_t max, bool quiet)
{
    out.clear();
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0)
        return false;
    pid_t pid = start(argv, p[1], quiet);
    ::close(p[1]);
    if (pid < 0) {
        ::close(p[0]);
        return false;
    }
    char buf[1 << 14];
    bool too_much = false;
    for (;;) {
        ssize_t n = ::read(p[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        // Read on to the end, so that the program is not stopped by a full pipe.
        if (out.size() + static_cast<std::size_t>(n) > max)
            too_much = true;
        else
            out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(p[0]);
    return finish(pid) == 0 && !too_much;
}

}  // namespace site
