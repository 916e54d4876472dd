#include "testutil.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qbtest {

const char* const STAMP = "veröffentlicht: Mo, 3.5.2021 09:05";
const std::string HEADER_END = "\nrequire_once(\"assets/include/header.php\");\n?>\n\n";
const std::string OPENER = "<div class=\"container\">\n\t<br>\n\t<div class=\"jumbotron\">\n";
const std::string STAMP_LINE =
    std::string("<p style=\"text-align: right; margin-top: -3em;\"><small>") + STAMP + "</small><p>\n";
const std::string NEWS_HEADER =
    "<?php\n"
    "$titel = \"Tarnido 2020 News\";\n"
    "$zeile1 = \"Hier finden Sie die neusten Nachrichten über Tarnido 2020\";\n"
    "$zeile2 = \"\";\n"
    "$menue = 3;\n" +
    HEADER_END;
const std::string NEWS_FOOTER =
    "<?php\n"
    "require_once(\"assets/include/quick_links.php\");\n"
    "require_once(\"assets/include/footer.php\");\n"
    "?>\n";

namespace {

void drain(int fd, std::string& into, bool& open)
{
    char buf[65536];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0)
        into.append(buf, static_cast<std::size_t>(n));
    else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        open = false;
}

}  // namespace

Result run(const Run& r)
{
    // Standard input comes from a file so that a large input cannot block.
    char in_path[] = "/tmp/qbtest-stdin-XXXXXX";
    int in_fd = ::mkstemp(in_path);
    if (in_fd < 0)
        throw std::runtime_error("mkstemp");
    if (!r.input.empty() && ::write(in_fd, r.input.data(), r.input.size()) != static_cast<ssize_t>(r.input.size()))
        throw std::runtime_error("write stdin");
    ::lseek(in_fd, 0, SEEK_SET);
    ::unlink(in_path);

    std::vector<std::string> env = {"TZ=UTC", "SOURCE_DATE_EPOCH=1620032700", "LC_ALL=C"};
    for (char** e = environ; *e; ++e) {
        std::string s = *e;
        if (s.rfind("TZ=", 0) && s.rfind("SOURCE_DATE_EPOCH=", 0) && s.rfind("LC_ALL=", 0))
            env.push_back(s);
    }
    for (const auto& kv : r.env) {
        std::string name = kv.substr(0, kv.find('=') + 1);
        env.erase(std::remove_if(env.begin(), env.end(), [&](const std::string& s) { return s.rfind(name, 0) == 0; }),
                  env.end());
        if (kv.size() > name.size())
            env.push_back(kv);
    }

    std::vector<std::string> argv_s = r.wrap;
    argv_s.push_back(QB_BINARY);
    argv_s.insert(argv_s.end(), r.args.begin(), r.args.end());
    std::vector<char*> argv;
    for (auto& a : argv_s)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2], err[2];
    if (::pipe(out) || ::pipe(err))
        throw std::runtime_error("pipe");
    pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork");
    if (pid == 0) {
        ::dup2(in_fd, 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::close(out[0]);
        ::close(err[0]);
        if (::chdir(r.cwd.c_str()) != 0)
            ::_exit(127);
        if (r.fsize_limit >= 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            struct rlimit rl = {static_cast<rlim_t>(r.fsize_limit), static_cast<rlim_t>(r.fsize_limit)};
            ::setrlimit(RLIMIT_FSIZE, &rl);
        }
        if (r.uid >= 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(static_cast<gid_t>(r.uid)) != 0 ||
                ::setuid(static_cast<uid_t>(r.uid)) != 0)
                ::_exit(126);
        }
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(in_fd);
    ::close(out[1]);
    ::close(err[1]);
    Result res;
    bool out_open = true, err_open = true;
    while (out_open || err_open) {
        struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        fds[0].fd = out_open ? out[0] : -1;
        fds[1].fd = err_open ? err[0] : -1;
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (out_open && fds[0].revents)
            drain(out[0], res.out, out_open);
        if (err_open && fds[1].revents)
            drain(err[0], res.err, err_open);
    }
    ::close(out[0]);
    ::close(err[0]);
    int st = 0;
    while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    res.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return res;
}

Result qb(const std::vector<std::string>& args, const std::string& cwd, const std::vector<std::string>& env)
{
    Run r;
    r.args = args;
    r.cwd = cwd;
    r.env = env;
    return run(r);
}

std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void spit(const std::string& path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

bool exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

std::vector<std::string> entries(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TempDir::TempDir()
{
    char tmpl[] = "/tmp/qbtest-XXXXXX";
    if (!::mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp");
    path = tmpl;
    // World-writable so that a test may also run the program as another user.
    ::chmod(path.c_str(), 0777);
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

}  // namespace qbtest
