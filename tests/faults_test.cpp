// Every mode under one failing system call at a time (strace's fault
// injection), and the order of calls that makes a page survive a power cut.
// The promise checked: status 0 means the complete new file; any other
// status means a message, the old file byte for byte and nothing new beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <sys/stat.h>

#include "testutil.h"

using namespace qbtest;

namespace {

struct Call {
    std::string name;
    std::string args;
    long ret = 0;
};

// The calls of an strace log, in order.
std::vector<Call> calls_of(const std::string& log)
{
    std::vector<Call> calls;
    std::size_t at = 0;
    while (at < log.size()) {
        std::size_t nl = log.find('\n', at);
        std::string line = log.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        at = nl == std::string::npos ? log.size() : nl + 1;
        // strace pads short calls with blanks before " = ".
        std::size_t open = line.find('('), eq = line.rfind(" = ");
        std::size_t close = eq == std::string::npos ? eq : line.find_last_not_of(' ', eq);
        if (open == std::string::npos || close == std::string::npos || close <= open || line[close] != ')')
            continue;
        calls.push_back({line.substr(0, open), line.substr(open + 1, close - open - 1), std::stol(line.substr(eq + 3))});
    }
    return calls;
}

struct Traced {
    Result result;
    std::vector<Call> calls;
};

Traced traced(const std::string& dir, const std::vector<std::string>& args, const std::string& input,
              const std::string& trace, const std::string& inject = "")
{
    qbtest::Run r;
    std::string log = dir + "/../strace.log";
    r.wrap = {"strace", "-qq", "-o", log, "-e", "trace=" + trace};
    if (!inject.empty())
        r.wrap.insert(r.wrap.end(), {"-e", "inject=" + inject});
    r.args = args;
    r.cwd = dir;
    r.input = input;
    r.env = {"ASAN_OPTIONS=detect_leaks=0"};  // the leak checker refuses to run under ptrace
    Traced t{run(r), calls_of(slurp(log))};
    ::unlink(log.c_str());
    return t;
}

bool have_strace()
{
    return std::system("strace -V >/dev/null 2>&1") == 0;
}

// A site directory inside a scratch directory, so that the trace log lies
// outside the directory whose entries are compared.
struct Site {
    TempDir scratch;
    std::string dir = scratch / "site";
    Site() { ::mkdir(dir.c_str(), 0755); }
    std::string operator/(const std::string& name) const { return dir + "/" + name; }
};

struct Mode {
    const char* name;
    std::vector<std::string> args;
    std::string target;                       // relative to the site
    std::string input;                        // standard input
    std::vector<std::string> not_an_error;    // files whose failed open is no error
    std::function<void(const Site&)> setup;
};

std::string lines(const std::string& stem, int count)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += "<p>" + stem + " " + std::to_string(i) + " <a href=\"x.php\">Weiter</a></p>\n";
    return s;
}

}  // namespace

TEST(Faults, EveryFailedCallIsReportedAndChangesNothing)
{
    ASSERT_TRUE(have_strace()) << "strace is needed (make installs it)";
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer runtime's own start-up calls would be failed too; the release build runs this";
#endif
    const std::string old = "<?php\n// so war es vorher\n?>\n";
    // Inputs larger than a read block, so that reads and writes come in several calls.
    const std::string big = lines("Zeile", 1500);
    const Mode modes[] = {
        {"full page", {"-t", "T", "-u", "U", "-m", "menu.txt", "-s", "seo.txt", "-w", "n.php", "in.html", "seite.php"},
         "seite.php", "", {"menu.txt", "seo.txt"},
         [&](const Site& s) {
             spit(s / "in.html", big);
             spit(s / "menu.txt", "## Karten\na.jpg|a.php|A|Text a\nb.jpg|#|B|Text b\n");
             spit(s / "seo.txt", "keywords:a b\ndescription:Eine Seite\nrobots:noindex\n");
             spit(s / "seite.php", old);
         }},
        {"markdown page", {"-t", "T", "-u", "U", "in.md", "seite.php"}, "seite.php", "", {},
         [&](const Site& s) {
             // Larger than a read block too: the whole file is read before rendering.
             std::string md;
             for (int i = 0; i < 1500; ++i)
                 md += "Absatz " + std::to_string(i) + " mit [Weiter](x.php) und \"Zitat\".\n\n";
             spit(s / "in.md", md);
             spit(s / "seite.php", old);
         }},
        // The block names the menu and SEO files and the time: read and
        // checked before the page, every call of it may fail. Once checked,
        // the two files are read as -m and -s read them.
        {"markdown page with a block", {"-w", "n.php", "in.md", "seite.php"}, "seite.php", "", {"menu.txt", "seo.txt"},
         [&](const Site& s) {
             spit(s / "menu.txt", "## Karten\na.jpg|a.php|A|Text a\n");
             spit(s / "seo.txt", "keywords:a b\ndescription:Eine Seite\n");
             spit(s / "in.md", "---\ntitel: 'T #1'\nmenuedatei: menu.txt\nseodatei: seo.txt\nrobots: noindex\n"
                               "veroeffentlicht: 2021-10-02 18:00\n---\n" + lines("Zeile", 1500));
             spit(s / "seite.php", old);
         }},
        {"news page", {"in.html", "news.php"}, "news.php", "", {},
         [&](const Site& s) {
             spit(s / "first.html", big);
             ASSERT_EQ(qb({"first.html", "news.php"}, s.dir).status, 0);
             ::unlink((s / "first.html").c_str());
             spit(s / "in.html", "<p>Neu</p>\n");
         }},
        {"merged page", {"a.html", "b.html", "zwei.php"}, "zwei.php", "", {},
         [&](const Site& s) {
             spit(s / "a.html", big);
             spit(s / "b.html", "<p>B</p>\n");
             spit(s / "zwei.php", old);
         }},
        {"carousel", {"-g", "carousel", "bilder.txt"}, "assets/include/bilder.txt.php", "", {},
         [&](const Site& s) {
             ::mkdir((s / "assets").c_str(), 0755);
             ::mkdir((s / "assets/include").c_str(), 0755);
             spit(s / "bilder.txt", "a.jpg\nb.jpg\nc.jpg\n");
             spit(s / "assets/include/bilder.txt.php", old);
         }},
        {"seo dialogue", {"-g", "seo", "seo.txt"}, "seo.txt", "a b\nEine Seite\nnoindex\n", {},
         [&](const Site& s) { spit(s / "seo.txt", "keywords:alt\n"); }},
        {"sitemap", {"-g", "sitemap", "https://x.example/"}, "sitemap.xml", "", {},
         [&](const Site& s) {
             ::mkdir((s / "touren").c_str(), 0755);
             spit(s / "in.html", big);
             ASSERT_EQ(qb({"-t", "T", "in.html", "index.php"}, s.dir).status, 0);
             ASSERT_EQ(qb({"-t", "T", "in.html", "touren/a.php"}, s.dir).status, 0);
             // Without a stamp the file's time is its lastmod.
             ASSERT_EQ(qb({"-t", "T", "-v", "in.html", "touren/b.php"}, s.dir).status, 0);
             spit(s / "sitemap.xml", old);
         }},
        {"feed", {"-g", "feed", "https://x.example/", "news.php"}, "news.xml", "", {},
         [&](const Site& s) {
             spit(s / "in.html", big);
             ASSERT_EQ(qb({"in.html", "news.php"}, s.dir).status, 0);
             ASSERT_EQ(qb({"in.html", "news.php"}, s.dir).status, 0);
             spit(s / "news.xml", old);
         }},
    };
    // Every call that touches a file or a directory: the sitemap's walk and
    // the feed's two passes stat, list and seek, besides reading and writing.
    const std::vector<std::string> syscalls = {"openat", "read",     "write",      "writev", "fsync",
                                               "close",  "rename",   "linkat",     "lseek",  "newfstatat",
                                               "getdents64", "unlink", "readlink", "fchmod", "fcntl",
                                               "faccessat2"};
    std::string all;
    for (const auto& c : syscalls)
        all += (all.empty() ? "" : ",") + c;

    int runs = 0, succeeded = 0, failed = 0, loader = 0;
    std::string per_mode;
    for (const auto& m : modes) {
        const int runs_before = runs;
        Site s;
        m.setup(s);
        const std::string target = s / m.target;
        const std::string before = slurp(target);
        std::string target_dir = target.substr(0, target.rfind('/'));
        // Built piece by piece: g++ 12 warns falsely about "." + std::string&&.
        std::string lock = ".";
        lock += m.target.substr(m.target.rfind('/') + 1);
        lock += ".lock";
        auto beside = [&] {
            auto names = entries(target_dir);
            std::erase(names, lock);
            return names;
        };
        const auto names_before = beside();

        Traced clean = traced(s.dir, m.args, m.input, all);
        ASSERT_EQ(clean.result.status, 0) << m.name << clean.result.out;
        const std::string page = slurp(target);
        ASSERT_NE(page, before) << m.name;
        spit(target, before);
        std::map<std::string, std::vector<const Call*>> by_name;
        for (const auto& c : clean.calls)
            by_name[c.name].push_back(&c);

        for (const auto& sys : syscalls) {
            const auto& list = by_name[sys];
            for (std::size_t n = 1; n <= list.size(); ++n) {
                bool open_without_error = false;
                for (const auto& f : m.not_an_error)
                    open_without_error |= sys == "openat" && list[n - 1]->args.find("\"" + f + "\"") != std::string::npos;
                if (open_without_error)
                    continue;
                for (const char* err : {"EIO", "ENOSPC"}) {
                    std::string what = std::string(m.name) + ": " + sys + " #" + std::to_string(n) + " (" +
                                       list[n - 1]->args.substr(0, 60) + ") fails with " + err;
                    Traced t = traced(s.dir, m.args, m.input, sys,
                                      sys + ":error=" + err + ":when=" + std::to_string(n));
                    const Result& r = t.result;
                    ++runs;
                    if (r.status == 127 && r.err.find("error while loading shared libraries") != std::string::npos) {
                        ++loader;  // the dynamic loader's call, before the program runs
                        continue;
                    }
                    std::string now = slurp(target);
                    if (r.status == 0) {
                        ++succeeded;
                        EXPECT_EQ(now, page) << what << ": status 0 but not the page of a clean run";
                    } else {
                        ++failed;
                        EXPECT_FALSE(r.out.empty() && r.err.empty()) << what << ": status " << r.status
                                                                     << " without a message";
                        EXPECT_EQ(now, before) << what << ": status " << r.status << " but the file changed";
                    }
                    EXPECT_EQ(beside(), names_before) << what << ": left something beside the file";
                    spit(target, before);
                    for (const auto& name : beside())
                        if (std::find(names_before.begin(), names_before.end(), name) == names_before.end())
                            ::unlink((target_dir + "/" + name).c_str());
                }
            }
        }
        per_mode += std::string(per_mode.empty() ? "" : ", ") + m.name + " " + std::to_string(runs - runs_before);
    }
    std::cout << "[ faults   ] " << runs << " runs with one failed call: " << succeeded << " status 0 with the full page, "
              << failed << " failed cleanly, " << loader << " failed in the dynamic loader (" << per_mode << ")\n";
    // The program's own failures must have been met, in every mode.
    EXPECT_GT(failed, 100);
}

TEST(SafeOutput, EveryWriteThenFsyncThenRenameThenTheDirectorysFsync)
{
    ASSERT_TRUE(have_strace()) << "strace is needed (make installs it)";
    Site s;
    // A page several times the output buffer, so that the last of it is
    // still buffered when the page is complete.
    spit(s / "in.html", lines("Zeile", 6000));
    const std::vector<std::string> args = {"-t", "T", "in.html", "seite.php"};
    const std::string trace = "openat,write,writev,fsync,linkat,rename,close";
    auto index_of = [](const std::vector<Call>& calls, auto&& pred) {
        auto it = std::find_if(calls.begin(), calls.end(), pred);
        return it == calls.end() ? -1L : static_cast<long>(it - calls.begin());
    };
    Traced clean = traced(s.dir, args, "", trace);
    ASSERT_EQ(clean.result.status, 0);
    const std::string page = slurp(s / "seite.php");
    ASSERT_GT(page.size(), 4u * 65536);
    long tmpfile = 0;
    for (const auto& c : clean.calls)
        if (c.name == "openat") {
            ++tmpfile;
            if (c.args.find("O_TMPFILE") != std::string::npos)
                break;
        }

    // The unnamed file, and the named one that stands in where unnamed ones are refused.
    for (bool refused : {false, true}) {
        spit(s / "seite.php", "alt\n");
        Traced t = traced(s.dir, args, "", trace,
                          refused ? "openat:error=EOPNOTSUPP:when=" + std::to_string(tmpfile) : "");
        ASSERT_EQ(t.result.status, 0) << refused;
        EXPECT_EQ(slurp(s / "seite.php"), page) << refused;
        EXPECT_EQ(entries(s.dir), (std::vector<std::string>{"in.html", "seite.php"})) << refused;
        const auto& c = t.calls;
        long opened = index_of(c, [&](const Call& k) {
            return k.name == "openat" && k.ret >= 0 &&
                   k.args.find(refused ? ".seite.php.qb-" : "O_TMPFILE") != std::string::npos;
        });
        ASSERT_GE(opened, 0) << refused;
        const std::string fd_num = std::to_string(c[static_cast<std::size_t>(opened)].ret);
        const std::string fd = fd_num + ", ";
        long fsync = index_of(c, [&](const Call& k) { return k.name == "fsync" && k.args == fd_num; });
        long rename = index_of(c, [](const Call& k) { return k.name == "rename"; });
        long dir_sync = -1;
        for (long i = rename + 1; i < static_cast<long>(c.size()) && dir_sync < 0; ++i)
            if (c[static_cast<std::size_t>(i)].name == "fsync")
                dir_sync = i;
        long last_write = -1;
        for (long i = opened; i < static_cast<long>(c.size()); ++i) {
            const Call& k = c[static_cast<std::size_t>(i)];
            if (k.name == "close" && k.args == fd_num)
                break;
            if ((k.name == "write" || k.name == "writev") && k.args.rfind(fd, 0) == 0)
                last_write = i;
        }
        EXPECT_GT(last_write, opened) << refused;
        EXPECT_GT(fsync, last_write) << refused << ": the page was not complete when it was synced";
        EXPECT_GT(rename, fsync) << refused;
        EXPECT_GT(dir_sync, rename) << refused << ": the directory was not synced after the rename";
    }
}

TEST(Faults, MenuOrSeoFileThatOpensButCannotBeRead)
{
    // Reading /proc/self/mem at its start fails after a good open: a real
    // read error, without strace.
    TempDir d;
    spit(d / "in.html", "<p>x</p>\n");
    for (const auto& [option, message] :
         {std::pair{"-m", "Fehler: Menüdatei \"/proc/self/mem\" kann nicht gelesen werden!\n"},
          std::pair{"-s", "Fehler: SEO-Datei \"/proc/self/mem\" kann nicht gelesen werden!\n"}}) {
        spit(d / "seite.php", "alt\n");
        Result r = qb({"-t", "T", option, "/proc/self/mem", "in.html", "seite.php"}, d.path);
        EXPECT_EQ(r.status, 252) << option;
        EXPECT_EQ(r.out, message);
        EXPECT_EQ(slurp(d / "seite.php"), "alt\n") << option;
        EXPECT_EQ(entries(d.path), (std::vector<std::string>{"in.html", "seite.php"})) << option;
    }
}
