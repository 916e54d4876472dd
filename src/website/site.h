// The site run's shared pieces: its settings, the record of what it wrote,
// the files it reads, and the helpers each concern of the run brings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace site {

// ---- Settings (settings.cpp) ----

struct Settings {
    std::string file;                 // where they were read, for messages
    std::string basis_url;            // the site's address; sitemap, feed, robots.txt
    std::string titel;                // the site's name, over the news feed
    std::string ausgabe = "public";   // the output folder
    std::string artikel = "artikel";  // the articles' folder
    std::string neuigkeiten = "neuigkeiten";  // the news entries' folder
    std::string imagemagick = "convert";      // the photo converter
    long bild_max = 1600;             // pixels on a photo's long side at most
    long bild_qualitaet = 82;         // JPEG/WebP quality
    std::string render = "intern";    // "intern" or an outside renderer's command
    bool entwuerfe = false;           // drafts are built (the preview)
    bool linkfehler = false;          // a broken link fails the run
    std::vector<std::string> behalten;  // output paths others write (patterns)
    // For make deploy (hochladen.sh), which asks for them by name: the
    // target, the patterns kept on the host, another ssh config file.
    std::string hochladen;
    std::vector<std::string> hochladen_behalten;
    std::string hochladen_ssh_konfig;
};

// Reads the settings file path (missing: an error), then the overrides
// "name=wert" of the command line. A wrong one gives a message naming the
// file and line (or the argument), and false.
bool read_settings(const std::string& path, const std::vector<std::string>& overrides, Settings& s);
// Appends to out what `quennelbrook -g einstellung` prints for the setting
// name: a list one item a line, a number in digits, a flag as ja or nein, a
// text as it is (an empty one: nothing). False, with a message, for an
// unknown name or a list item that holds a line break.
bool setting_lines(const Settings& s, const std::string& name, std::string& out);

// ---- Finding the sources (sources.cpp) ----

// The Markdown files directly in dir, sorted by name; none when dir is
// missing. False when dir cannot be read.
bool markdown_files(const std::string& dir, std::vector<std::string>& out);
// Every file below dir (relative to it, sorted), hidden names left out.
// False with errno when a folder cannot be read.
bool files_below(const std::string& dir, std::vector<std::string>& out);
// Whether the file name ends in a photo's extension (any case).
bool is_photo(const std::string& name);
// The name without its folder and its last extension.
std::string stem(const std::string& path);

// ---- The record of written files (record.cpp) ----

struct Written {
    std::string key;       // what the file was made from
    long long size = -1;   // the file as written
    long long mtime = -1;  // nanoseconds
};
struct Link {
    std::string page;     // the output whose article holds the link
    std::string article;  // as shown in messages
    std::size_t line = 0;
    std::string target;   // a path below the output folder
};
struct Record {
    std::map<std::string, Written> files;  // by path below the output folder
    std::vector<Link> links;
};
// Reads the record; a missing one is empty. False when it cannot be read.
bool read_record(const std::string& path, Record& r);
// Writes it whole in place of the old one.
bool write_record(const std::string& path, const Record& r);
// size and mtime of path into w; false when it is no regular file.
bool stat_written(const std::string& path, Written& w);

// ---- Writing the output (publish.cpp) ----

enum class Put { same, written, failed };
// Puts the finished file staged at final (creating its folders): renamed
// into place when its bytes differ from final's, else dropped so that final
// keeps its time. A failure leaves final as it was and names it.
Put publish(const std::string& staged, const std::string& final_path);
// Copies src whole to dst (a new file in the staging folder). False, with
// a message, when that fails.
bool copy_file(const std::string& src, const std::string& dst);
// Writes text whole to dst. False, with a message, when that fails.
bool write_text(const std::string& dst, const std::string& text);
// mkdir -p; false when a folder cannot be made.
bool make_dirs(const std::string& dir);
// Removes dir and everything in it (no symlinks followed).
void remove_tree(const std::string& dir);

// ---- Dates (dates.cpp) ----

// The commit times of the files below dirs (paths as given, relative to
// the current folder) that are committed unchanged: one git diff, one git
// log. Empty where the folder is no git work tree or git is missing.
std::map<std::string, std::time_t> commit_times(const std::vector<std::string>& dirs);

// ---- Outside programs (spawn.cpp) ----

// Starts argv without a shell (argv[0] looked up on PATH when it has no
// slash), standard input from in_path (null: /dev/null), standard output to
// out_fd (-1: inherited), standard error to /dev/null when quiet. -1 when it
// cannot start.
pid_t start(const std::vector<std::string>& argv, int out_fd, bool quiet, const char* in_path = nullptr);
// Waits for pid: its exit status, or -1 when it died of a signal.
int finish(pid_t pid);
// Runs argv and gathers at most max bytes of its standard output. False when
// it cannot run, ends with a status other than 0 or writes more.
bool run_output(const std::vector<std::string>& argv, std::string& out, std::size_t max, bool quiet);

// ---- Photos (photos.cpp) ----

struct PhotoJob {
    std::string src;     // absolute
    std::string staged;  // where the converter writes it
};
// Converts the photos, several at once. Returns the indexes that failed
// (each named in a message).
std::vector<std::size_t> convert_photos(const Settings& s, const std::vector<PhotoJob>& jobs);

// ---- Links (links.cpp) ----

// The internal link targets of an article's text (n bytes): Markdown link
// and image targets, href and src attributes, and the block's zurueck,
// weiter and inhalt; each with its line, as a path below the output folder.
std::vector<std::pair<std::size_t, std::string>> find_links(const char* text, std::size_t n);

// ---- Messages of the page generators (capture.cpp) ----

// Standard output of the page generators, gathered so that the line
// rewriter's diagnostics ("gefunden: i=…") stay out of the site run's
// report and its messages go through.
struct Capture {
    int saved = -1;
    int tmp = -1;
};
bool capture_begin(Capture& c);
void capture_end(Capture& c);
void capture_close(Capture& c);
// The text without the rewriter's diagnostics.
std::string without_diagnostics(const std::string& text);

// ---- A small hash for the record's keys ----
inline std::uint64_t hash(const std::string& s, std::uint64_t h = 1469598103934665603ull)
{
    for (char c : s) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

}  // namespace site
