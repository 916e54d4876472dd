// The command line as a user meets it: help, exit statuses, usage errors.
#include <gtest/gtest.h>

#include <string>

#include "testutil.h"

using namespace qbtest;

namespace {

const std::string USAGE_ERROR =
    "------ Fehler ----\nfalsche Parameter!\nEs müssen 2 Dateien angegeben sein\n------------------\n";

const std::string& help()
{
    static const std::string text = qb({"-h"}).out;
    return text;
}

std::string achtung(const std::string& titel, const std::string& kopf, const std::string& carousel)
{
    return "---Achtung-----\nTitel: " + titel + "\nÜberschrift: " + kopf + "\nCarousel: " + carousel +
           "\n------------\n";
}

bool ends_with(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TEST(Cli, HelpTextAndVersion)
{
    const std::string& h = help();
    EXPECT_EQ(h.rfind("\nquennelbrook\n------------\n\nVersion: 22.11.2021\n\nErzeugt aus einer html-Datei", 0), 0u);
    // The one item without a newline of its own runs on into the next.
    EXPECT_NE(h.find("\t\tAusgabedatei:\tZieldatei\n\n\nExistiert die Ausgabedatei und wurde eine Eingabedatei "
                     "angegeben, so wird die\nEingabedatei als erste <div> - Position in die Ausgabedatei "
                     "eingefügt.\n\n\nVariante 1:\n"),
              std::string::npos);
    EXPECT_NE(h.find("<Eingabedatei>.php verwendet. \n\n\nVariante 2:\n"), std::string::npos);
    EXPECT_NE(h.find("\t<seo>\t\tErzeugt eine SEO-optimierte Datei. Ist noch experimental!\n"
                     "\t<sitemap>\tErzeugt sitemap.xml aller Seiten: quennelbrook -g sitemap <Basis-URL> "
                     "[<Verzeichnis>]\n"
                     "\t<feed>\t\tErzeugt den Atom-Feed einer News-Seite: quennelbrook -g feed <Basis-URL> "
                     "<News-Seite> [<Titel>]\n"
                     "\t<website>\tBaut die ganze Website nach website.yaml: quennelbrook -g website "
                     "[<Verzeichnis>] [name=wert ...]\n"
                     "\t<einstellung>\tZeigt eine Einstellung aus website.yaml: quennelbrook -g einstellung "
                     "[<Verzeichnis>] <Name>\n\tEingangsdatei:"),
              std::string::npos);
    EXPECT_NE(h.find("\t-s <datei>\tDateiinhalt:\tkeywords: durch Leerstellen getrennte Schlüsselwerte\n"
                     "\t\t\t\t\tdescription: Beschreibungstext (100 Zeichen, max. 160 Zeichen)\n"),
              std::string::npos);
    EXPECT_TRUE(ends_with(h, "\tcarousel:\tName der php-Datei für das Carousel (ohne \".php\"; Datei befindet "
                             "sich im VZ asset/include)\n"));

    TempDir d;
    spit(d / "in.html", "<p>x</p>\n");
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"--help"}, {"-h", "in.html", "out.php"}}) {
        Result r = qb(args, d.path);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, h);
    }
    EXPECT_FALSE(exists(d / "out.php"));

    Result v = qb({"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "quennelbrook 22.11.2021\n");

    // Standard output on a full disk: what was to be shown is lost, and
    // that is an error, unless the run failed already or showed nothing.
    const struct {
        std::vector<std::string> args;
        int status;
        bool lost;
    } full[] = {
        {{"--help"}, 252, true},
        {{"--version"}, 252, true},
        {{"-x", "in.html", "out.php"}, 254, true},
        {{"-t", "T", "in.html", "out.php"}, 0, false},
    };
    for (const auto& c : full) {
        qbtest::Run run;
        run.wrap = {"sh", "-c", "exec \"$0\" \"$@\" >/dev/full"};
        run.args = c.args;
        run.cwd = d.path;
        Result r = qbtest::run(run);
        EXPECT_EQ(r.status, c.status) << c.args[0];
        EXPECT_EQ(r.err, c.lost ? "Fehler: Standardausgabe kann nicht geschrieben werden!\n" : "") << c.args[0];
    }
}

TEST(Cli, UsageErrorsEndWith254AndWriteNothing)
{
    TempDir d;
    spit(d / "in.html", "<p>x</p>\n");
    spit(d / "b.html", "<p>y</p>\n");
    struct Case {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"-x", "in.html", "out.php"}, "unbekannte Option: x\n"},
        {{"in.html", "-t"}, "unbekannte Option: t\n"},
        {{"--bogus", "in.html", "out.php"}, "unbekannte Option: --bogus\n"},
        // A page option needs a title or a heading, in every mode.
        {{"-v", "in.html", "out.php"}, achtung("", "", "")},
        {{"-c", "slider", "in.html", "out.php"}, achtung("", "", "slider")},
        {{"-e", "in.html", "b.html", "out.php"}, achtung("", "", "")},
        {{"-n", "3", "in.html", "out.php"}, achtung("", "", "")},
        {{"-g", "bilder", "in.html"}, "Fehler: unbekannte Art für -g: bilder\n"},
        {{"-g", "", "in.html", "out.php"}, "Fehler: unbekannte Art für -g: \n"},
        {{"in.html"}, USAGE_ERROR + help()},
        {{"-a", "2021", "in.html"}, USAGE_ERROR + help()},
        {{"in.html", "b.html", "c", "out.php"}, USAGE_ERROR + help()},
        {{"-t", "T", "in.html", "b", "c", "d", "e", "out.php"}, USAGE_ERROR + help()},
        {{"-t", "T"}, USAGE_ERROR + help()},
        {{"-t", std::string(1024, 'a'), "in.html", "out.php"},
         "Fehler: Argument von -t zu lang (höchstens 1023 Zeichen)!\n"},
        {{"-d", std::string(5000, '.'), "-t", "T", "in.html", "out.php"},
         "Fehler: Argument von -d zu lang (höchstens 1023 Zeichen)!\n"},
    };
    for (const auto& c : cases) {
        Result r = qb(c.args, d.path);
        std::string shown;
        for (const auto& a : c.args)
            shown += (a.size() > 40 ? a.substr(0, 10) + "..." : a) + " ";
        EXPECT_EQ(r.status, 254) << shown;
        EXPECT_EQ(r.out, c.out) << shown;
        EXPECT_EQ(entries(d.path), (std::vector<std::string>{"b.html", "in.html"})) << shown;
    }
}

TEST(Cli, OptionValues)
{
    TempDir d;
    spit(d / "in.html", "<p>x</p>\n");
    // An argument of exactly 1023 bytes is taken whole.
    std::string longest(1023, 'T');
    Result r = qb({"-t", longest, "in.html", "out.php"}, d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(slurp(d / "out.php").find("$titel = \"" + longest + "\";\n"), std::string::npos);

    struct Case {
        std::string n;
        std::string warning;
        std::string menue;
    } cases[] = {
        {"0", "Warnung: -n ergab falsche Menünummer, verwende 2!\n", "2"},
        {"abc", "Warnung: -n ergab falsche Menünummer, verwende 2!\n", "2"},
        {"5x", "", "5"},
        {"-3", "", "-3"},
        {" 7", "", "7"},
        {"99999999999", "", "2147483647"},
    };
    for (const auto& c : cases) {
        r = qb({"-n", c.n, "-t", "T", "in.html", "out.php"}, d.path);
        EXPECT_EQ(r.status, 0) << c.n;
        EXPECT_EQ(r.out, c.warning) << c.n;
        EXPECT_NE(slurp(d / "out.php").find("$menue = " + c.menue + ";\n"), std::string::npos) << c.n;
    }

    // Options may stand between the positional arguments; the last one wins.
    r = qb({"in.html", "-t", "Erster", "out.php", "-t", "Zweiter"}, d.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(slurp(d / "out.php").find("$titel = \"Zweiter\";\n"), std::string::npos);

    // The five-argument form: title, heading and carousel from the positions.
    r = qb({"in.html", "out.php", "Titel", "Kopf", "slider"}, d.path);
    EXPECT_EQ(r.status, 0);
    std::string page = slurp(d / "out.php");
    EXPECT_EQ(page.rfind("<?php\n$titel = \"Titel\";\n$zeile1 = \"Kopf\";\n", 0), 0u);
    EXPECT_NE(page.find("require_once(\"assets/include/slider.php\");\n"), std::string::npos);
}
