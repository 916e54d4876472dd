// Helpers for tests that run the quennelbrook binary as a user would.
#pragma once

#include <string>
#include <vector>

namespace qbtest {

// The stamp every test run gets unless it asks otherwise:
// TZ=UTC, SOURCE_DATE_EPOCH=1620032700.
extern const char* const STAMP;  // "veröffentlicht: Mo, 3.5.2021 09:05"

// Pieces that every page of the program shares, for whole-page comparisons.
extern const std::string HEADER_END;   // the header include and the end of the PHP block
extern const std::string OPENER;       // a section's container and jumbotron
extern const std::string STAMP_LINE;   // the paragraph with STAMP
extern const std::string NEWS_HEADER;  // the PHP block of news and merged pages
extern const std::string NEWS_FOOTER;  // the closing PHP block of news and merged pages

struct Result {
    int status = -1;       // exit status, or 128 + signal
    std::string out;       // standard output
    std::string err;       // standard error
};

// Inside a TEST body, name it qbtest::Run: gtest's Test::Run hides the bare name.
struct Run {
    std::vector<std::string> args;  // arguments after the program name
    std::string cwd = ".";
    std::string input;              // standard input
    std::vector<std::string> env;   // extra NAME=VALUE; NAME= alone unsets
    long fsize_limit = -1;          // RLIMIT_FSIZE in bytes, SIGXFSZ ignored
    int uid = -1;                   // run as this user (needs root)
    std::vector<std::string> wrap;  // a command the binary runs under (strace ...), found on PATH
};

Result run(const Run& r);
// Shorthand: the binary with args, in cwd, with extra NAME=VALUE in env.
Result qb(const std::vector<std::string>& args, const std::string& cwd = ".", const std::vector<std::string>& env = {});

std::string slurp(const std::string& path);
void spit(const std::string& path, const std::string& text);
bool exists(const std::string& path);
// Names in a directory, sorted, without . and ..
std::vector<std::string> entries(const std::string& dir);

// A fresh directory that is removed with everything in it.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

}  // namespace qbtest
