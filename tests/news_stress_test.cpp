// The news page under pressure: runs at the same time on one page, and runs
// killed with SIGKILL at random moments. Bounded in rounds and in time.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "testutil.h"

using namespace qbtest;
using Clock = std::chrono::steady_clock;

namespace {

const std::string& HEADER = NEWS_HEADER;
const std::string& FOOTER = NEWS_FOOTER;

std::string entry(const std::string& body)
{
    return "<div class=\"container\">\n\t<br>\n\t<div class=\"jumbotron\">\n"
           "<p style=\"text-align: right; margin-top: -3em;\"><small>" +
           std::string(STAMP) + "</small><p>\n" + body + "\t</div>\n\n</div>\n\n";
}

// The page after a run that put body on top of old.
std::string with_entry(const std::string& old, const std::string& body)
{
    if (old.empty())
        return HEADER + entry(body) + FOOTER;
    return HEADER + entry(body) + old.substr(HEADER.size(), old.size() - HEADER.size() - FOOTER.size()) + FOOTER;
}

// Starts the binary on input and the page news.php in dir, output discarded.
pid_t spawn(const std::string& dir, const std::string& input)
{
    std::vector<std::string> args = {QB_BINARY, input, "news.php"};
    std::vector<std::string> env = {"TZ=UTC", "SOURCE_DATE_EPOCH=1620032700", "LC_ALL=C"};
    std::vector<char*> argv, envp;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        if (null < 0 || ::dup2(null, 1) < 0 || ::chdir(dir.c_str()) != 0)
            ::_exit(127);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

int wait_status(pid_t pid)
{
    int st = 0;
    while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

// Removes what a killed run left beside the page, the lock file aside;
// returns how many files there were.
int sweep(const std::string& dir)
{
    int n = 0;
    for (const auto& name : entries(dir))
        if (name != "news.php" && name != ".news.php.lock" && name != "n.html" && name != "big.html") {
            ::unlink((dir + "/" + name).c_str());
            ++n;
        }
    return n;
}

}  // namespace

TEST(NewsStress, SimultaneousRunsBothLand)
{
    TempDir d;
    const int max_rounds = 600;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    std::string page;
    int rounds = 0;
    auto start = Clock::now();
    for (int k = 1; k <= max_rounds && Clock::now() < deadline; ++k, ++rounds) {
        const std::string a = "<p>A " + std::to_string(k) + "</p>\n";
        const std::string b = "<p>B " + std::to_string(k) + "</p>\n";
        spit(d / "a.html", a);
        spit(d / "b.html", b);
        pid_t pa = spawn(d.path, "a.html");
        pid_t pb = spawn(d.path, "b.html");
        ASSERT_EQ(wait_status(pa), 0) << "round " << k;
        ASSERT_EQ(wait_status(pb), 0) << "round " << k;
        std::string now = slurp(d / "news.php");
        std::string ab = with_entry(with_entry(page, a), b);
        std::string ba = with_entry(with_entry(page, b), a);
        ASSERT_TRUE(now == ab || now == ba) << "round " << k << ": an entry is missing or damaged";
        page = now;
    }
    double secs = std::chrono::duration<double>(Clock::now() - start).count();
    std::cout << "[ stress   ] " << rounds << " rounds of two simultaneous runs in " << secs << " s\n";
    EXPECT_GE(rounds, 20);
}

TEST(NewsStress, KilledRunsNeverLoseEntries)
{
    TempDir d;
    // A large earlier page gives every run enough to do that a kill can
    // land in the middle of reading, writing or syncing.
    std::string big;
    for (int i = 0; i < 40000; ++i)
        big += "<p>Zeile " + std::to_string(i) + " einer alten, langen Nachricht.</p>\n";
    spit(d / "big.html", big);
    ASSERT_EQ(wait_status(spawn(d.path, "big.html")), 0);
    std::string page = slurp(d / "news.php");
    ASSERT_EQ(page, with_entry("", big));

    // How long an undisturbed run takes sets the range of kill moments.
    spit(d / "n.html", "<p>Messung</p>\n");
    auto t0 = Clock::now();
    ASSERT_EQ(wait_status(spawn(d.path, "n.html")), 0);
    auto run_us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count();
    page = with_entry(page, "<p>Messung</p>\n");
    ASSERT_EQ(slurp(d / "news.php"), page);

    std::mt19937 rng(20211122);
    std::uniform_int_distribution<long> delay(0, run_us + run_us / 5);
    // At least 300 rounds; more while time allows.
    const int min_rounds = 300, max_rounds = 600;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    int rounds = 0, kept = 0, added_killed = 0, finished = 0, leftovers = 0;
    auto start = Clock::now();
    for (int k = 1; k <= max_rounds && (k <= min_rounds || Clock::now() < deadline); ++k, ++rounds) {
        const std::string body = "<p>Runde " + std::to_string(k) + "</p>\n";
        spit(d / "n.html", body);
        pid_t pid = spawn(d.path, "n.html");
        ::usleep(static_cast<useconds_t>(delay(rng)));
        ::kill(pid, SIGKILL);
        int status = wait_status(pid);
        std::string now = slurp(d / "news.php");
        std::string grown = with_entry(page, body);
        if (status == 0) {
            ++finished;
            ASSERT_EQ(now, grown) << "round " << k;
        } else {
            ASSERT_EQ(status, 128 + SIGKILL);
            ASSERT_TRUE(now == page || now == grown) << "round " << k << ": page damaged, " << now.size()
                                                     << " bytes instead of " << page.size() << " or "
                                                     << grown.size();
            if (now == page)
                ++kept;
            else
                ++added_killed;
        }
        page = now;
        if (sweep(d.path) > 0) {
            EXPECT_NE(status, 0) << "round " << k << ": a finished run left a file beside the page";
            ++leftovers;
        }
    }
    double secs = std::chrono::duration<double>(Clock::now() - start).count();
    std::cout << "[ stress   ] " << rounds << " kill rounds in " << secs << " s (one run " << run_us
              << " us): " << kept << " killed before the new page, " << added_killed
              << " killed after it was in place, " << finished << " finished; " << leftovers
              << " killed runs left a file beside the page\n";
    EXPECT_GE(rounds, min_rounds);
    // Some kills must land inside the run, or the test proved nothing.
    EXPECT_GT(kept, 0);
    // Only a kill between naming the new page and the rename leaves a file.
    EXPECT_LE(leftovers * 50, kept + added_killed) << "more than 2 % of killed runs left a file";
}
