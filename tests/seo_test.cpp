// The SEO file: the dialogue that writes it (in a terminal and through
// pipes), its format as a full page reads it with -s, and its safe writing.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testutil.h"

using namespace qbtest;

namespace {

const std::string PROMPT1 = "\nGeben Sie die Keywörter ein (getrennt durch Leerstellen):\n";
const std::string PROMPT2 = "Geben Sie die Seo-Beschreibung ein:\n";
const std::string PROMPT3 = "Geben Sie die Daten für robots ein:\n";
const std::string PROMPTS = PROMPT1 + PROMPT2 + PROMPT3;


// A run of quennelbrook whose standard input is typed while it runs: into a
// pseudo terminal (as a user at a terminal meets it) or into a pipe.
struct Dialogue {
    Dialogue(bool terminal, const std::string& cwd, const std::vector<std::string>& args)
    {
        std::vector<std::string> strs = {QB_BINARY};
        strs.insert(strs.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& s : strs)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        std::string env_s[] = {"TZ=UTC", "LC_ALL=C", "PATH=/usr/bin:/bin"};
        char* envp[] = {env_s[0].data(), env_s[1].data(), env_s[2].data(), nullptr};

        if (terminal) {
            int master = -1;
            pid = ::forkpty(&master, nullptr, nullptr, nullptr);
            if (pid == 0) {
                if (::chdir(cwd.c_str()) == 0)
                    ::execve(argv[0], argv.data(), envp);
                ::_exit(127);
            }
            to = from = master;
        } else {
            int in[2], out[2];
            if (::pipe(in) != 0 || ::pipe(out) != 0)
                return;
            pid = ::fork();
            if (pid == 0) {
                ::dup2(in[0], 0);
                ::dup2(out[1], 1);
                ::close(in[1]);
                ::close(out[0]);
                if (::chdir(cwd.c_str()) == 0)
                    ::execve(argv[0], argv.data(), envp);
                ::_exit(127);
            }
            ::close(in[0]);
            ::close(out[1]);
            to = in[1];
            from = out[0];
        }
    }

    ~Dialogue()
    {
        if (pid > 0 && !reaped) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (to >= 0 && to != from)
            ::close(to);
        if (from >= 0)
            ::close(from);
    }

    // Reads what the program writes until text appears after what an earlier
    // call found. False when it does not appear within a few seconds.
    bool wait_for(const std::string& text)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (seen.find(text, pos) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !read_some(static_cast<int>(left.count())))
                return false;
        }
        pos = seen.find(text, pos) + text.size();
        return true;
    }

    void type(const std::string& keys)
    {
        ASSERT_EQ(::write(to, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }

    // Reads the rest of the output and returns the exit status.
    int finish()
    {
        if (to != from) {
            ::close(to);
            to = -1;
        }
        while (read_some(10000)) {
        }
        int st = 0;
        ::waitpid(pid, &st, 0);
        reaped = true;
        return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    }

    bool read_some(int ms)
    {
        struct pollfd p = {from, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return false;
        char buf[4096];
        ssize_t n = ::read(from, buf, sizeof buf);
        if (n <= 0)  // a terminal's master side reports EIO once the program is gone
            return false;
        seen.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid = -1;
    int to = -1;
    int from = -1;
    bool reaped = false;
    std::string seen;
    std::size_t pos = 0;
};

Result dialogue(const std::string& dir, const std::string& input, const std::string& file = "seo.txt")
{
    qbtest::Run r;
    r.args = {"-g", "seo", file};
    r.cwd = dir;
    r.input = input;
    return run(r);
}

// The full page with the SEO file seo.txt; seo holds its SEO variable lines.
std::string page(const std::string& seo)
{
    return "<?php\n$titel = \"T\";\n$zeile1 = \"K\";\n$zeile2 = \"\";\n$menue = 2;\n$seite = \"out.php\";\n" + seo +
           HEADER_END + OPENER + STAMP_LINE + "<p>x</p>\n\n\t</div>\n\n</div>\n\n<?php\nrequire_once(\"assets/include/footer.php\");\n?>\n";
}

// Writes seo.txt, builds a full page with -s seo.txt and checks that the
// page is exactly the frame with the given SEO variable lines. Returns what
// the run printed.
std::string page_with_seo(const std::string& file_text, const std::string& seo_lines)
{
    TempDir d;
    spit(d / "seo.txt", file_text);
    spit(d / "in.html", "<p>x</p>\n");
    Result r = qb({"-t", "T", "-u", "K", "-s", "seo.txt", "in.html", "out.php"}, d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(slurp(d / "out.php"), page(seo_lines)) << "SEO file: " << file_text;
    return r.out;
}

}  // namespace

TEST(SeoDialogue, InATerminal)
{
    TempDir d;
    Dialogue t(true, d.path, {"-g", "seo", "seo.txt"});
    ASSERT_TRUE(t.wait_for("Keywörter ein (getrennt durch Leerstellen):")) << t.seen;
    t.type("Kochen Rezepte Suppe\r");  // Enter sends a carriage return
    ASSERT_TRUE(t.wait_for("Geben Sie die Seo-Beschreibung ein:")) << t.seen;
    t.type("Rezepte aus der Region\r");
    ASSERT_TRUE(t.wait_for("Geben Sie die Daten für robots ein:")) << t.seen;
    t.type("index, follow\r");
    EXPECT_EQ(t.finish(), 0);
    // The terminal echoes the answers and ends its lines with CR LF.
    EXPECT_EQ(t.seen,
              "\r\nGeben Sie die Keywörter ein (getrennt durch Leerstellen):\r\nKochen Rezepte Suppe\r\n"
              "Geben Sie die Seo-Beschreibung ein:\r\nRezepte aus der Region\r\n"
              "Geben Sie die Daten für robots ein:\r\nindex, follow\r\n");
    EXPECT_EQ(slurp(d / "seo.txt"),
              "keywords:Kochen Rezepte Suppe\ndescription:Rezepte aus der Region\nrobots:index, follow\n");
}

TEST(SeoDialogue, EndOfInputTypedInATerminalWritesNothing)
{
    TempDir d;
    spit(d / "seo.txt", "keywords:alt\n");
    Dialogue t(true, d.path, {"-g", "seo", "seo.txt"});
    ASSERT_TRUE(t.wait_for("(getrennt durch Leerstellen):")) << t.seen;
    t.type("neu\r");
    ASSERT_TRUE(t.wait_for("Seo-Beschreibung ein:")) << t.seen;
    t.type("\x04");  // Ctrl-D at the start of a line
    EXPECT_EQ(t.finish(), 0);
    EXPECT_EQ(t.seen.find("robots"), std::string::npos) << t.seen;
    EXPECT_EQ(slurp(d / "seo.txt"), "keywords:alt\n");
    EXPECT_EQ(entries(d.path), std::vector<std::string>{"seo.txt"});
}

TEST(SeoDialogue, PromptsAppearThroughAPipeBeforeEachRead)
{
    // Each answer is sent only after its prompt has arrived: a prompt kept
    // in the output buffer would leave both sides waiting.
    TempDir d;
    Dialogue p(false, d.path, {"-g", "seo", "seo.txt"});
    ASSERT_TRUE(p.wait_for(PROMPT1)) << p.seen;
    p.type("a\n");
    ASSERT_TRUE(p.wait_for(PROMPT2)) << p.seen;
    p.type("b\n");
    ASSERT_TRUE(p.wait_for(PROMPT3)) << p.seen;
    p.type("c\n");
    EXPECT_EQ(p.finish(), 0);
    EXPECT_EQ(p.seen, PROMPTS);
    EXPECT_EQ(slurp(d / "seo.txt"), "keywords:a\ndescription:b\nrobots:c\n");
}

TEST(SeoDialogue, PipedAnswersRoundTripThroughAFullPage)
{
    TempDir d;
    Result r = dialogue(d.path, "Kochen \"Rezepte\" $x\\y\n\nindex, follow\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, PROMPTS);
    // An answer of Enter alone keeps its key, which reads back as empty.
    EXPECT_EQ(slurp(d / "seo.txt"), "keywords:Kochen \"Rezepte\" $x\\y\ndescription:\nrobots:index, follow\n");

    spit(d / "in.html", "<p>x</p>\n");
    r = qb({"-t", "T", "-u", "K", "-s", "seo.txt", "in.html", "out.php"}, d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    // Quote, dollar and backslash are escaped so that PHP gives back the answer.
    EXPECT_EQ(slurp(d / "out.php"), page("$keywords = \"Kochen \\\"Rezepte\\\" \\$x\\\\y\";\n"
                                         "$robots = \"index, follow\";\n"));
}

TEST(SeoDialogue, LongAnswerIsCutAndItsRestAnswersTheNextPrompt)
{
    TempDir d;
    std::string a(1500, 'A');
    Result r = dialogue(d.path, a + "\nd\nnot read\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, PROMPTS);
    EXPECT_EQ(slurp(d / "seo.txt"),
              "keywords:" + a.substr(0, 1022) + "description:" + a.substr(1022) + "\nrobots:d\n");
}

TEST(SeoDialogue, EndOfInputAtAnyPromptLeavesFilesAlone)
{
    const std::string inputs[] = {"", "eins\n", "eins\nzwei\n", "eins\nzwei"};
    for (const auto& input : inputs) {
        TempDir fresh;
        Result r = dialogue(fresh.path, input);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(entries(fresh.path).empty()) << input;

        TempDir old;
        spit(old / "seo.txt", "keywords:alt\n");
        r = dialogue(old.path, input);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(slurp(old / "seo.txt"), "keywords:alt\n");
        EXPECT_EQ(entries(old.path), std::vector<std::string>{"seo.txt"});
    }
    // A last answer without line end is an answer.
    TempDir d;
    EXPECT_EQ(dialogue(d.path, "a\nb\nc").status, 0);
    EXPECT_EQ(slurp(d / "seo.txt"), "keywords:a\ndescription:b\nrobots:c");
}

TEST(SeoDialogue, FileThatCannotBeWritten)
{
    TempDir d;
    ::mkdir((d / "dir").c_str(), 0755);
    for (const std::string file : {"fehlt/seo.txt", "dir"}) {
        Result r = dialogue(d.path, "a\nb\nc\n", file);
        EXPECT_EQ(r.status, 252);
        EXPECT_EQ(r.out, PROMPTS + "Fehler: SEO-Datei \"" + file + "\" kann nicht geschrieben werden!\n");
    }
    EXPECT_EQ(entries(d.path), std::vector<std::string>{"dir"});
    EXPECT_TRUE(entries(d / "dir").empty());

    // The disk fills up while the file is written: the old file stays.
    std::string old = "keywords:" + std::string(100, 'k') + "\n";
    spit(d / "seo.txt", old);
    qbtest::Run r;
    r.args = {"-g", "seo", "seo.txt"};
    r.cwd = d.path;
    r.input = "a\n" + std::string(1000, 'b') + "\nc\n";
    r.fsize_limit = 500;
    Result res = run(r);
    EXPECT_EQ(res.status, 252);
    EXPECT_EQ(res.out, PROMPTS + "Fehler: SEO-Datei \"seo.txt\" kann nicht geschrieben werden!\n");
    EXPECT_EQ(slurp(d / "seo.txt"), old);
    EXPECT_EQ(entries(d.path), (std::vector<std::string>{"dir", "seo.txt"}));
}

TEST(SeoFile, ValuesAndKeys)
{
    EXPECT_EQ(page_with_seo("keywords:a b c\n", "$keywords = \"a b c\";\n"), "");
    // Nothing is trimmed, only the first colon splits; the order is fixed.
    EXPECT_EQ(page_with_seo("robots:noindex\ndescription:Beginn: 10 Uhr\nkeywords: a b\n",
                            "$keywords = \" a b\";\n$description = \"Beginn: 10 Uhr\";\n$robots = \"noindex\";\n"),
              "");
    // A later entry replaces an earlier one, also with the empty text.
    EXPECT_EQ(page_with_seo("keywords:a\nrobots:all\nkeywords:b\nrobots:\n", "$keywords = \"b\";\n"), "");
    // The last line keeps its last character when no line end follows.
    EXPECT_EQ(page_with_seo("description:d\nrobots:noindex", "$description = \"d\";\n$robots = \"noindex\";\n"), "");
    EXPECT_EQ(page_with_seo("robots:n", "$robots = \"n\";\n"), "");
    EXPECT_EQ(page_with_seo("robots:", ""), "");
    // A carriage return before the line end belongs to the value.
    EXPECT_EQ(page_with_seo("robots:index\r\n", "$robots = \"index\r\";\n"), "");
    // A zero byte ends the value.
    EXPECT_EQ(page_with_seo(std::string("robots:in\0dex\n", 14), "$robots = \"in\";\n"), "");
}

TEST(SeoFile, FaultyLinesAreReportedAndSkipped)
{
    EXPECT_EQ(page_with_seo("Keywords:x\n keywords:y\n:z\nrobots:r\n", "$robots = \"r\";\n"),
              "Warnung: Ignoriere SEO-Eintrag <Keywords> in Datei: seo.txt\n"
              "Warnung: Ignoriere SEO-Eintrag < keywords> in Datei: seo.txt\n"
              "Warnung: Ignoriere SEO-Eintrag <> in Datei: seo.txt\n");
    // A line end alone is skipped silently; a letter and a line end is text
    // without a colon, quoted with its line end.
    EXPECT_EQ(page_with_seo("\n\na\nkeywords\nx", ""),
              "Warnung: Ignoriere SEO (Datei: seo.txt); fehlerhafter Text: a\n\n"
              "Warnung: Ignoriere SEO (Datei: seo.txt); fehlerhafter Text: keywords\n\n");
}

TEST(SeoFile, LongLinesAreReadInPieces)
{
    // 1023 bytes make a piece: the rest of the line is a line of its own.
    std::string k(1014, 'k');
    std::string rest(86, 'r');
    EXPECT_EQ(page_with_seo("keywords:" + k + rest + "\nrobots:r\n", "$keywords = \"" + k + "\";\n$robots = \"r\";\n"),
              "Warnung: Ignoriere SEO (Datei: seo.txt); fehlerhafter Text: " + rest + "\n\n");
    // A piece that begins with a key is an entry.
    std::string dsc(1011, 'd');
    EXPECT_EQ(page_with_seo("description:" + dsc + "robots:noindex\n",
                            "$description = \"" + dsc + "\";\n$robots = \"noindex\";\n"),
              "");
}

TEST(SeoFile, MissingFileGivesNoVariables)
{
    TempDir d;
    spit(d / "in.html", "<p>x</p>\n");
    ::mkdir((d / "dir").c_str(), 0755);
    for (const std::string file : {"fehlt.txt", "", "dir"}) {
        Result r = qb({"-t", "T", "-u", "K", "-s", file, "in.html", "out.php"}, d.path);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(slurp(d / "out.php"), page("")) << file;
    }
}
