// The option values of one page run, and how an option (from the command
// line or from an article's block) sets them.
#pragma once

#include <ctime>
#include <string>

#include "seo.h"

struct Options {
    std::string titel;
    std::string ueberschrift;
    std::string carousel;  // -c and -m share it: the later one wins
    std::string datum;
    std::string seo_datei;
    std::string link_zurueck;
    std::string link_weiter;
    std::string link_inhalt;
    std::string div_tag;
    std::string footer;
    std::string gen_option;
    bool use_options = false;
    bool generation = false;
    bool gen_menu = false;
    int menue = 2;
    bool veroeffentlicht = true;
    bool equal_table = false;
    // SEO values an article's block sets itself (with_seo), in place of
    // what the SEO file alone would give.
    bool with_seo = false;
    Seo_data seo{};
    // The publication time an article's block names (with_time).
    bool with_time = false;
    std::time_t published = 0;
};

// Sets the value of option c (an option letter of the command line) from
// arg, as getopt hands it over; -n takes 2 for no number or 0, with a
// warning when warn is set.
void apply_option(Options& o, int c, const char* arg, bool warn = true);
