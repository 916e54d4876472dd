// quennelbrook: turns an HTML fragment into a PHP page of the site.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>
#include <utility>
#include <vector>
#if __has_include(<stdio_ext.h>)
#include <stdio_ext.h>
#endif

#include "carousel.h"
#include "feed.h"
#include "frontmatter/frontmatter.h"
#include "markdown.h"
#include "options.h"
#include "page.h"
#include "quennelbrook.h"
#include "seo.h"
#include "sitemap.h"
#include "website/website.h"

namespace {

void show_usage()
{
    static const char* const items[] = {
        "\nquennelbrook",
        "------------",
        "\nVersion: 22.11.2021\n",
        "Erzeugt aus einer html-Datei eine angepasste php-Datei.",
        "Die Erzeugung der html-Datei kann aus einer markdown-Datei erfolgen, z.B. mit remarkable",
        // `make html` is the example site's: its fragments with pandoc (examples/site/Makefile).
        "oder, wenn pandoc installiert ist, mit \"make html\".",
        "\nAufruf:",
        "quennelbrook <option> <Eingangsdateien> <Ausgabedatei>",
        "Option:\t-h\tZeigt diese Hilfe",
        "\t-a <datum>\tVerwendet anstatt dem aktuellen Datum bei veröffentlicht <datum>",
        "\t-c\tName der php-Datei für das Carousel (ohne \".php\"; Datei befindet sich im VZ asset/include)",
        "\t-d <tag.class>\tFügt dem Tag <tag> eine Klasse <class> hinzu",
        "\t   <tag#id>\tFügt dem Tag <tag> eine ID <id> hinzu",
        "\t-e\tTabellenzeilen gerade und ungerade werden gleich dargestellt",
        "\t-f\t<datei>\tFooter - Datei, die ans Ende der erzeugten php-Datei angefügt wird",
        "\t-m\tName der Datei für das Menü",
        "\t-n\tNummer des Menüs für navbar (default: 2)",
        "\t-s <datei>\tDateiinhalt:\tkeywords: durch Leerstellen getrennte Schlüsselwerte",
        "\t\t\t\t\tdescription: Beschreibungstext (100 Zeichen, max. 160 Zeichen)",
        "\t\t\t\t\trobots: (optional): Festlegungen für robots-Einstellungen",
        "\t\t\t\tAchtung: in assets/include/header.php müssen die Variablen keywords, description und robots definiert sein!",
        "\t\t\t\t========",
        "\t-i <link>\tLink zum übergeorneten Inhaltsverzeichnis",
        "\t-w <link>\tLink zur nächsten Seite",
        "\t-z <link>\tLink zur vorherigen Seite",
        "\t-t\tTitel der Webseite",
        "\t-u\tÜberschrift der Webseite",
        "\t-v\tUnterdrückt die Sektion \"veröffentlicht am\", d.h. sie erscheint nicht",
        "\tAlle Seitenoptionen kann ein Markdown-Artikel oben in einem YAML-Kopfblock tragen (siehe man quennelbrook).",
        "\n\tEingangsdatei(en):\tMaximal zwei HTML-Dateien durch Leerzeichen getrennt, aus denen die php - Datei erstellt wird.",
        "\t\tAusgabedatei:\tZieldatei",
        // Two lines of text, but one item: the first has no newline of its own.
        ("\n\nExistiert die Ausgabedatei und wurde eine Eingabedatei angegeben, so wird die"
         "\nEingabedatei als erste <div> - Position in die Ausgabedatei eingefügt."),
        "\n\nVariante 1:",
        "quennelbrook -g <art> <Eingangsdateien> <Ausgabedatei>",
        "\t<carousel>\tErzeugt eine Carousel-Datei (mehrere Bilder nacheinander angezeigt)",
        "\t<seo>\t\tErzeugt eine SEO-optimierte Datei. Ist noch experimental!",
        "\t<sitemap>\tErzeugt sitemap.xml aller Seiten: quennelbrook -g sitemap <Basis-URL> [<Verzeichnis>]",
        "\t<feed>\t\tErzeugt den Atom-Feed einer News-Seite: quennelbrook -g feed <Basis-URL> <News-Seite> [<Titel>]",
        "\t<website>\tBaut die ganze Website nach website.yaml: quennelbrook -g website [<Verzeichnis>] [name=wert ...]",
        "\t<einstellung>\tZeigt eine Einstellung aus website.yaml: quennelbrook -g einstellung [<Verzeichnis>] <Name>",
        "\tEingangsdatei:\tDatei mit Bildnamen für das Carousel",
        "\tAusgabedatei:\tZiel-Datei: php-Datei mit fertigem Carousel (ohne Pfadangabe und Extension)",
        "\t\t\tAusgabedatei ist optional! Fehlt diese Angabe wird assets/include/<Eingabedatei>.php verwendet. ",
        "\n\nVariante 2:",
        "quennelbrook <Eingangsdatei> <Ausgabedatei> <Titel> <Überschrift> <Carousel>",
        "\tEingangsdatei:\tzu verwendende HTML-Datei",
        "\tAusgabedatei:\tZiel-Datei",
        "\tTitel:\t\tTitel der Webseite",
        "\tÜberschrift:\tÜberschrift der Webseite",
        "\tcarousel:\tName der php-Datei für das Carousel (ohne \".php\"; Datei befindet sich im VZ asset/include)",
    };
    for (const char* item : items) {
        std::fputs(item, stdout);
        std::fputc('\n', stdout);
    }
}

int wrong_arguments()
{
    std::printf("------ Fehler ----\nfalsche Parameter!\nEs müssen 2 Dateien angegeben sein\n------------------\n");
    show_usage();
    return STATUS_USAGE;
}

// Messages, help and prompts all go to standard output; a run whose output
// could not be written there (a full disk, a broken device) must not end
// with success. A closed pipe still ends the process with SIGPIPE.
int close_stdout(int status)
{
#if __has_include(<stdio_ext.h>)
    bool pending = __fpending(stdout) != 0;
#else
    bool pending = true;
#endif
    bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    // A close that fails with nothing of ours on the way has lost nothing.
    if (std::fclose(stdout) != 0 && pending)
        failed = true;
    if (!failed)
        return status;
    std::fputs("Fehler: Standardausgabe kann nicht geschrieben werden!\n", stderr);
    return status == STATUS_OK ? STATUS_IO : status;
}

int dispatch(int argc, char* argv[])
{
    if (argc <= 1) {
        show_usage();
        return STATUS_OK;
    }

    static const option long_options[] = {
        {"help", no_argument, nullptr, 'H'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    // The options are kept in their order and set only once an article's
    // block (if any) has been read, so that the command line wins over it.
    std::vector<std::pair<char, std::string>> given;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, "hevt:u:c:d:m:n:g:a:f:i:s:w:z:", long_options, nullptr)) != -1) {
        if (optarg && std::strlen(optarg) > LINE_MAX_READ) {
            std::printf("Fehler: Argument von -%c zu lang (höchstens 1023 Zeichen)!\n", c);
            return STATUS_USAGE;
        }
        switch (c) {
        case 'h':
        case 'H':
            show_usage();
            return STATUS_OK;
        case 'V':
            std::printf("quennelbrook 22.11.2021\n");
            return STATUS_OK;
        case '?':
        case ':':
            if (optopt)
                std::printf("unbekannte Option: %c\n", optopt);
            else
                std::printf("unbekannte Option: %s\n", argv[optind - 1]);
            return STATUS_USAGE;
        default: {
            // Read now for its warning, in the order of the options.
            Options scratch;
            apply_option(scratch, c, optarg ? optarg : "");
            given.emplace_back(static_cast<char>(c), optarg ? optarg : "");
        }
        }
    }
    int params = argc - optind;
    char** arg = argv + optind;

    // An article given with its page may say what the page is, in a block
    // at its top; its options count as if they stood before the command
    // line's.
    Options o;
    fm::FrontMatter front;
    bool generation = std::any_of(given.begin(), given.end(), [](const auto& g) { return g.first == 'g'; });
    if (!generation && params == 2 && is_markdown(arg[0]))
        if (int status = fm::read_front_matter(arg[0], arg[1], front); status != STATUS_OK)
            return status;
    if (int status = fm::apply_front_matter(o, front, given); status != STATUS_OK)
        return status;
    stamp_with(o.with_time ? &o.published : nullptr);

    if (o.use_options && o.titel.empty() && o.ueberschrift.empty()) {
        std::printf("---Achtung-----\nTitel: %s\nÜberschrift: %s\nCarousel: %s\n------------\n", o.titel.c_str(),
                    o.ueberschrift.c_str(), o.carousel.c_str());
        return STATUS_USAGE;
    }
    bool carousel_mode = o.generation && std::strcmp(o.gen_option.c_str(), "carousel") == 0;
    bool seo_mode = o.generation && std::strcmp(o.gen_option.c_str(), "seo") == 0;
    bool sitemap_mode = o.generation && std::strcmp(o.gen_option.c_str(), "sitemap") == 0;
    bool feed_mode = o.generation && std::strcmp(o.gen_option.c_str(), "feed") == 0;
    bool website_mode = o.generation && std::strcmp(o.gen_option.c_str(), "website") == 0;
    bool setting_mode = o.generation && std::strcmp(o.gen_option.c_str(), "einstellung") == 0;
    if (o.generation && !carousel_mode && !seo_mode && !sitemap_mode && !feed_mode && !website_mode && !setting_mode) {
        std::printf("Fehler: unbekannte Art für -g: %s\n", o.gen_option.c_str());
        return STATUS_USAGE;
    }

    if (website_mode)
        return generate_website(params > 0 ? arg[0] : ".",
                                std::vector<std::string>(arg + (params > 0 ? 1 : 0), arg + params));
    if (setting_mode && (params == 1 || params == 2))
        return print_setting(params == 2 ? arg[0] : ".", arg[params - 1]);
    if (sitemap_mode && (params == 1 || params == 2))
        return generate_sitemap(arg[0], params == 2 ? arg[1] : ".");
    if (feed_mode && (params == 2 || params == 3))
        return generate_feed(arg[0], arg[1], params == 3 ? arg[2] : nullptr);
    if (sitemap_mode || feed_mode || setting_mode)
        return wrong_arguments();
    switch (params) {
    case 1:
        if (carousel_mode)
            return generate_carousel(arg[0], arg[0], getImageVerzeichnis());
        if (seo_mode)
            return generate_seo(arg[0]);
        return wrong_arguments();
    case 2:
        if (carousel_mode)
            return generate_carousel(arg[0], arg[1], getImageVerzeichnis());
        if (seo_mode)
            return generate_seo(arg[0]);
        if (o.use_options)
            return generate3(arg[0], arg[1], o.titel.c_str(), o.ueberschrift.c_str(), o.carousel.c_str(),
                             o.gen_menu, o.menue, o.veroeffentlicht, o.equal_table, o.datum.c_str(),
                             o.seo_datei.c_str(), o.link_zurueck.c_str(), o.link_weiter.c_str(),
                             o.link_inhalt.c_str(), o.div_tag.c_str(), o.footer.c_str(),
                             o.with_seo ? &o.seo : nullptr);
        return generate(arg[0], arg[1]);
    case 3:
        return generate2(arg[0], arg[1], arg[2]);
    case 5:
        return generate3(arg[0], arg[1], arg[2], arg[3], arg[4], false, o.menue, o.veroeffentlicht, false,
                         o.datum.c_str(), "", "", "", "", "", o.footer.c_str());
    default:
        return wrong_arguments();
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    return close_stdout(dispatch(argc, argv));
}
