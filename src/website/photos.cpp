// Photos: made smaller and stripped of their metadata (the camera's GPS
// position among them) by ImageMagick, several at once, each started
// without a shell so that any file name is one argument.
#include <cstdio>
#include <unistd.h>

#include "website/site.h"

namespace site {

std::vector<std::size_t> convert_photos(const Settings& s, const std::vector<PhotoJob>& jobs)
{
    long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    std::size_t most = cores < 1 ? 1 : cores > 8 ? 8 : static_cast<std::size_t>(cores);
    std::string size = std::to_string(s.bild_max) + "x" + std::to_string(s.bild_max) + ">";
    std::string quality = std::to_string(s.bild_qualitaet);
    std::vector<std::pair<pid_t, std::size_t>> running;
    std::vector<std::size_t> failed;
    auto wait_one = [&] {
        auto [pid, i] = running.front();
        running.erase(running.begin());
        if (finish(pid) != 0 || ::access(jobs[i].staged.c_str(), F_OK) != 0) {
            std::printf("Fehler: das Foto \"%s\" kann nicht umgewandelt werden (%s)!\n", jobs[i].src.c_str(),
                        s.imagemagick.c_str());
            ::unlink(jobs[i].staged.c_str());
            failed.push_back(i);
        }
    };
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (running.size() == most)
            wait_one();
        // The file's own name as ImageMagick reads it: a leading "format:"
        // or a trailing "[n]" would mean something else to it, a path
        // beginning with "/" does not.
        pid_t pid = start({s.imagemagick, jobs[i].src, "-auto-orient", "-resize", size, "-strip", "-quality", quality,
                           jobs[i].staged},
                          -1, false);
        if (pid < 0) {
            std::printf("Fehler: %s kann nicht gestartet werden (Paket imagemagick)!\n", s.imagemagick.c_str());
            failed.push_back(i);
            continue;
        }
        running.emplace_back(pid, i);
    }
    while (!running.empty())
        wait_one();
    return failed;
}

}  // namespace site
