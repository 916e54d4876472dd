#include "options.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The leading decimal integer of s, as the C library reads one, kept in int.
int leading_int(const char* s)
{
    long v = std::strtol(s, nullptr, 10);
    if (v > 2147483647L)
        return 2147483647;
    if (v < -2147483647L - 1)
        return -2147483647 - 1;
    return static_cast<int>(v);
}

}  // namespace

void apply_option(Options& o, int c, const char* arg, bool warn)
{
    // Every option but -a and -g is a page option.
    o.use_options = o.use_options || (c != 'a' && c != 'g');
    switch (c) {
    case 'a':
        o.datum = arg;
        o.veroeffentlicht = false;
        break;
    case 'c':
        o.carousel = arg;
        break;
    case 'd':
        o.div_tag = arg;
        break;
    case 'e':
        o.equal_table = true;
        break;
    case 'f':
        o.footer = arg;
        break;
    case 'g':
        o.generation = true;
        o.gen_option = arg;
        break;
    case 'i':
        o.link_inhalt = arg;
        break;
    case 'm':
        o.carousel = arg;
        o.gen_menu = true;
        break;
    case 'n':
        o.menue = leading_int(arg);
        if (o.menue == 0) {
            if (warn)
                std::printf("Warnung: -n ergab falsche Menünummer, verwende 2!\n");
            o.menue = 2;
        }
        break;
    case 's':
        o.seo_datei = arg;
        break;
    case 't':
        o.titel = arg;
        break;
    case 'u':
        o.ueberschrift = arg;
        break;
    case 'v':
        o.veroeffentlicht = false;
        break;
    case 'w':
        o.link_weiter = arg;
        break;
    case 'z':
        o.link_zurueck = arg;
        break;
    default:
        break;
    }
}
