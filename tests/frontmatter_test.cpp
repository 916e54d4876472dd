// An article's metadata block: every key makes the page its option makes,
// the command line wins, and a wrong block stops the run before any page
// is written, naming the article, the line and the key.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "testutil.h"

using namespace qbtest;

namespace {

const std::string BODY = "<p>x</p>\n\nText mit [Weiter](w.php).\n\n<table><tr class=\"odd\"><td>a</td></tr></table>\n";
const std::string HOSTILE = "Tour #3: Peter's \"Runde\" für 5 $ & mehr \\ ok";

void site(const TempDir& d)
{
    ::mkdir((d / "assets").c_str(), 0755);
    ::mkdir((d / "assets/include").c_str(), 0755);
    spit(d / "assets/include/extra.php", "<p>extra</p>\n");
    spit(d / "menu.txt", "## Karten\na.jpg|a.php|A|Text a\n");
    spit(d / "seo.txt", "keywords:a b\ndescription:Eine: Seite\nrobots:noindex\n");
    spit(d / "seo2.txt", "keywords:a, b c\n");
}

}  // namespace

TEST(FrontMatter, EveryKeyMakesThePageItsOptionMakes)
{
    const struct {
        std::string block;                // the block's lines
        std::vector<std::string> args;    // the same on the command line
        std::vector<std::string> env = {};
        std::vector<std::string> cli = {};  // given with the block as well
    } rows[] = {
        {"titel: '" + std::string("Tour #3: Peter''s \"Runde\" für 5 $ & mehr \\ ok") + "'", {"-t", HOSTILE}},
        {"title: \"Tour #3: Peter's \\\"Runde\\\" für 5 $ & mehr \\\\ ok\"", {"-t", HOSTILE}},
        {"ueberschrift: Am Meer", {"-u", "Am Meer"}},
        {"titel: T\nmenue: 5", {"-t", "T", "-n", "5"}},
        {"titel: T\nmenue: -3", {"-t", "T", "-n", "-3"}},
        {"menue: 5", {"-n", "5"}},  // a page option without title: stops in both
        {"titel: T\nkarussell: slider", {"-t", "T", "-c", "slider"}},
        {"titel: T\nmenuedatei: menu.txt", {"-t", "T", "-m", "menu.txt"}},
        {"titel: T\nseodatei: seo.txt", {"-t", "T", "-s", "seo.txt"}},
        {"titel: T\nzurueck: z.php\nweiter: w.php\ninhalt: i.php", {"-t", "T", "-z", "z.php", "-w", "w.php", "-i", "i.php"}},
        {"titel: T\ndekoration: p.lead", {"-t", "T", "-d", "p.lead"}},
        {"titel: T\ndekoration: [h2#oben]", {"-t", "T", "-d", "h2#oben"}},
        {"titel: T\ngleichezeilen: ja", {"-t", "T", "-e"}},
        {"titel: T\ngleichezeilen: Nein", {"-t", "T"}},
        {"titel: T\nfussdatei: extra.php", {"-t", "T", "-f", "extra.php"}},
        {"titel: T\nstempel: Frühjahr 2021", {"-t", "T", "-a", "Frühjahr 2021"}},
        {"titel: T\nohnestempel: yes", {"-t", "T", "-v"}},
        {"titel: T\nstichwoerter: a b\nbeschreibung: 'Eine: Seite'\nrobots: noindex", {"-t", "T", "-s", "seo.txt"}},
        {"titel: T\nkeywords: [a b]\ndescription: 'Eine: Seite'\nrobots: noindex", {"-t", "T", "-s", "seo.txt"}},
        // Closed by pandoc's other closing line.
        {"titel: T\nstichwoerter: [a, b c]\n...", {"-t", "T", "-s", "seo2.txt"}},
        // The block's values take the place of the file's, one by one.
        {"titel: T\nseodatei: seo.txt\nrobots: noindex", {"-t", "T", "-s", "seo.txt"}},
        {"titel: T\nveroeffentlicht: 2021-10-02 18:00", {"-t", "T"}, {"SOURCE_DATE_EPOCH=1633197600"}},
        {"titel: T\nveroeffentlicht: 2021-10-02T18:00:00+02:00", {"-t", "T"}, {"SOURCE_DATE_EPOCH=1633190400"}},
        {"titel: T\nveroeffentlicht: 2021-10-02", {"-t", "T"}, {"SOURCE_DATE_EPOCH=1633132800"}},
        {"titel: T\nveroeffentlicht: 2021-10-02 18:00:00.5+0200", {"-t", "T"}, {"SOURCE_DATE_EPOCH=1633190400"}},
        {"titel: T\nveroeffentlicht: 2020-02-29 23:59:30Z", {"-t", "T"}, {"SOURCE_DATE_EPOCH=1583020770"}},
        // A news entry: only its time.
        {"veroeffentlicht: 2021-10-02 18:00\nauthor: [A, B]\ndate: gestern\nlang: de", {}, {"SOURCE_DATE_EPOCH=1633197600"}},
        // The command line wins: over the title, over the menu file with
        // its carousel, over the block's SEO values with its SEO file.
        {"titel: Block\nueberschrift: U", {"-t", "Kommando", "-u", "U"}, {}, {"-t", "Kommando"}},
        {"titel: T\nmenuedatei: menu.txt", {"-t", "T", "-c", "slider"}, {}, {"-c", "slider"}},
        {"titel: T\nrobots: index", {"-t", "T", "-s", "seo.txt"}, {}, {"-s", "seo.txt"}},
        {"titel: T\nveroeffentlicht: 2021-10-02", {"-t", "T", "-a", "heute"}, {}, {"-a", "heute"}},
    };
    for (const auto& row : rows) {
        TempDir d;
        site(d);
        spit(d / "a.md", "---\n" + row.block + (row.block.ends_with("...") ? "\n" : "\n---\n") + BODY);
        spit(d / "b.md", BODY);
        std::vector<std::string> with_block = row.cli;
        with_block.insert(with_block.end(), {"a.md", "seite.php"});
        Result a = qb(with_block, d.path);
        std::string page_a = exists(d / "seite.php") ? slurp(d / "seite.php") : "(keine Seite)";
        ::unlink((d / "seite.php").c_str());
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {"b.md", "seite.php"});
        Result b = qb(args, d.path, row.env);
        std::string page_b = exists(d / "seite.php") ? slurp(d / "seite.php") : "(keine Seite)";
        EXPECT_EQ(a.status, b.status) << row.block;
        EXPECT_EQ(a.out, b.out) << row.block;
        EXPECT_EQ(page_a, page_b) << row.block;
    }
}

TEST(FrontMatter, SeveralDecorations)
{
    TempDir d;
    spit(d / "a.md", "---\ntitel: T\ndekoration: [p.lead, 'li#oben', p#x]\n---\n- Punkt\n\nText\n");
    ASSERT_EQ(qb({"a.md", "seite.php"}, d.path).status, 0);
    std::string page = slurp(d / "seite.php");
    EXPECT_NE(page.find("<p class=\"lead\" id=\"x\">Text</p>"), std::string::npos) << page;
    EXPECT_NE(page.find("<li id=\"oben\">Punkt</li>"), std::string::npos) << page;
}

TEST(FrontMatter, AWrongBlockNamesArticleLineAndKeyAndWritesNothing)
{
    const struct {
        std::string article;
        std::string message;  // what the first line of output says
        int status = 254;
    } rows[] = {
        {"---\ntitel: T\ntitl: x\n---\n", "Fehler in a.md in Zeile 3: „titl“ ist kein bekannter Schlüssel (gemeint ist wohl „titel“)!"},
        {"---\nUeberschrft: x\n---\n", "Fehler in a.md in Zeile 2: „Ueberschrft“ ist kein bekannter Schlüssel (gemeint ist wohl „ueberschrift“)!"},
        {"---\nwetter: sonnig\n---\n", "Fehler in a.md in Zeile 2: „wetter“ ist kein bekannter Schlüssel (gemeint ist wohl „weiter“)!"},
        {"---\nmenü: 3\n---\n", "Fehler in a.md in Zeile 2: „menü“ ist kein bekannter Schlüssel (gemeint ist wohl „menue“)!"},
        {"---\nfarbe: blau\n---\n", "Fehler in a.md in Zeile 2: „farbe“ ist kein bekannter Schlüssel!"},
        {"---\ntitel: [a, b]\n---\n", "Fehler in a.md in Zeile 2: „titel“ braucht einen Text, keine Liste!"},
        {"---\ntitel: T\nweiter:\n  a: b\n---\n", "Fehler in a.md in Zeile 3: „weiter“ braucht einen Text, keine Zuordnung!"},
        {"---\nstichwoerter: [a, [b]]\n---\n", "Fehler in a.md in Zeile 2: „stichwoerter“ braucht einen Text oder eine Liste von Texten!"},
        {"---\nmenue: fünf\n---\n", "Fehler in a.md in Zeile 2: „menue“ braucht eine ganze Zahl außer 0, nicht „fünf“!"},
        {"---\nmenue: 0\n---\n", "Fehler in a.md in Zeile 2: „menue“ braucht eine ganze Zahl außer 0, nicht „0“!"},
        {"---\nmenue: 99999999999\n---\n", "Fehler in a.md in Zeile 2: „menue“ braucht eine ganze Zahl außer 0, nicht „99999999999“!"},
        {"---\ngleichezeilen: vielleicht\n---\n", "Fehler in a.md in Zeile 2: „gleichezeilen“ braucht ja oder nein, nicht „vielleicht“!"},
        {"---\nveroeffentlicht: 8.12.2026 09:00\n---\n", "Fehler in a.md in Zeile 2: „veroeffentlicht“ braucht eine Zeit wie 2021-10-02 18:00, nicht „8.12.2026 09:00“!"},
        {"---\nveroeffentlicht: 2021-02-29\n---\n", "Fehler in a.md in Zeile 2: „veroeffentlicht“ braucht eine Zeit wie 2021-10-02 18:00, nicht „2021-02-29“!"},
        {"---\nveroeffentlicht: 2021-10-02 24:00\n---\n", "Fehler in a.md in Zeile 2: „veroeffentlicht“ braucht eine Zeit wie 2021-10-02 18:00, nicht „2021-10-02 24:00“!"},
        {"---\nveroeffentlicht: 2021-10-02 18:00 +2\n---\n", "Fehler in a.md in Zeile 2: „veroeffentlicht“ braucht eine Zeit wie 2021-10-02 18:00, nicht „2021-10-02 18:00 +2“!"},
        {"---\ntitel: A\nueberschrift: U\ntitel: B\n---\n", "Fehler in a.md in Zeile 4: „titel“ steht doppelt im Kopfblock (zuerst in Zeile 2)!"},
        {"---\ntitle: A\ntitel: B\n---\n", "Fehler in a.md in Zeile 3: „titel“ sagt dasselbe wie „title“ in Zeile 2!"},
        {"---\ntitel: \"offen\nueberschrift: x\n---\n", "Fehler in a.md in Zeile 2: der Kopfblock ist kein gültiges YAML (nach dem Schlüssel „titel“): found unexpected end of stream while scanning a quoted scalar!"},
        {"---\ntitel: a: b\n---\n", "Fehler in a.md in Zeile 2: der Kopfblock ist kein gültiges YAML (nach dem Schlüssel „titel“): mapping values are not allowed in this context!"},
        {"---\ntitel: T\nText ohne Ende\n", "Fehler in a.md in Zeile 1: der Kopfblock wird nie geschlossen (es fehlt die Zeile --- oder ...)!"},
        {"---\ntitel: T\n? [a, b]\n: c\n---\n", "Fehler in a.md in Zeile 3: ein Schlüssel im Kopfblock muss ein einfacher Text sein!"},
        {"---\n- a\n- b\n---\n", "Fehler in a.md in Zeile 2: der Kopfblock muss aus Zeilen „Schlüssel: Wert“ bestehen!"},
        {"---\ntitel: &t T\nueberschrift: *t\n---\n", "Fehler in a.md in Zeile 3: „ueberschrift“: Verweise (*name) gibt es im Kopfblock nicht!"},
        {"---\ntitel: &t T\ndekoration:\n  - p.a\n  - *t\n---\n", "Fehler in a.md in Zeile 5: „dekoration“: Verweise (*name) gibt es im Kopfblock nicht!"},
        {"---\ntitel: T\nmenuedatei: menue.txt\n---\n", "Fehler in a.md in Zeile 3: „menuedatei“ nennt die Datei „menue.txt“, die es nicht gibt!"},
        {"---\ntitel: T\nseodatei: seo.text\n---\n", "Fehler in a.md in Zeile 3: „seodatei“ nennt die Datei „seo.text“, die es nicht gibt!"},
        {"---\ntitel: T\nfussdatei: extra.htm\n---\n", "Fehler in a.md in Zeile 3: „fussdatei“ nennt die Datei „extra.htm“, die es nicht gibt!"},
        {"---\ntitel: T\nfussdatei: assets\n---\n", "Fehler in a.md in Zeile 3: „fussdatei“ nennt die Datei „assets“, die es nicht gibt!"},
        {"---\ntitel: \"a\\0b\"\n---\n", "Fehler in a.md in Zeile 2: „titel“ enthält ein Nullzeichen!"},
        {"---\ntitel: " + std::string(1024, 'x') + "\n---\n", "Fehler in a.md in Zeile 2: „titel“ ist zu lang (höchstens 1023 Zeichen)!"},
    };
    for (const auto& row : rows) {
        TempDir d;
        site(d);
        spit(d / "a.md", row.article + "Text\n");
        for (bool old : {false, true}) {
            if (old)
                spit(d / "seite.php", "alt\n");
            Result r = qb({"a.md", "seite.php"}, d.path);
            EXPECT_EQ(r.status, row.status) << row.article;
            EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), row.message + "\n") << row.article;
            EXPECT_EQ(exists(d / "seite.php") ? slurp(d / "seite.php") : "", old ? "alt\n" : "") << row.article;
            EXPECT_EQ(entries(d.path).size(), old ? 6u : 5u) << row.article;
        }
    }
    // A page that begins with a rule, not a block, and the command line's
    // leniency about a missing SEO file, stay as they were.
    TempDir d;
    for (const char* text : {"---\n\ntitl: x\n---\nText\n", "---\nText ohne Doppelpunkt\n", "--- \ntitl: x\n---\n", "---\n---\nText\n"}) {
        spit(d / "a.md", text);
        Result r = qb({"-t", "T", "-s", "fehlt.txt", "a.md", "seite.php"}, d.path);
        EXPECT_EQ(r.status, 0) << text;
        EXPECT_EQ(r.out, "") << text;
    }
}
