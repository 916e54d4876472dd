// One setting of website.yaml for a script: quennelbrook -g einstellung
// [<Verzeichnis>] <Name>. make deploy asks this way instead of reading YAML
// in the shell, so a value arrives byte for byte, whatever it holds.
#include <cstdio>
#include <string>

#include "quennelbrook.h"
#include "website/plan.h"
#include "website/website.h"

int print_setting(const char* dir, const char* name)
{
    // Checked as the site run checks it; the message names the file as the
    // caller wrote it.
    std::string d = dir;
    if (d.empty()) {
        std::printf("Fehler: Verzeichnis \"\" kann nicht gelesen werden!\n");
        return STATUS_USAGE;
    }
    std::string path = d == "." ? site::SETTINGS : d + (d.back() == '/' ? "" : "/") + site::SETTINGS;
    site::Settings s;
    std::string out;
    if (!site::read_settings(path, {}, s) || !site::setting_lines(s, name, out))
        return STATUS_USAGE;
    std::fwrite(out.data(), 1, out.size(), stdout);
    return STATUS_OK;
}
