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
    // ImageMagick reads "%d" and the like in an output name as a frame
    // number: it writes to a plain name beside, renamed once it is done.
    auto plain = [&](std::size_t i) {
        const std::string& st = jobs[i].staged;
        std::size_t dot = st.rfind('.'), slash = st.rfind('/');
        std::string ext = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? st.substr(dot) : "";
        return st.substr(0, slash + 1) + ".foto-" + std::to_string(i) + ext;
    };
    auto wait_one = [&] {
        auto [pid, i] = running.front();
        running.erase(running.begin());
        std::string tmp = plain(i);
        if (finish(pid) != 0 || ::rename(tmp.c_str(), jobs[i].staged.c_str()) != 0) {
            ::unlink(tmp.c_str());
            std::printf("Fehler: das Foto \"%s\" kann nicht umgewandelt werden (%s)!\n", jobs[i].src.c_str(),
                        s.imagemagick.c_str());
            ::unlink(jobs[i].staged.c_str());
            failed.push_back(i);
        }
    };
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (running.size() == most)
            wait_one();
        // The photo on standard input: ImageMagick reads "[1]" in a name as a
        // frame, "jpg:" in front as a format; from "-" it reads the bytes.
        pid_t pid = start({s.imagemagick, "-", "-auto-orient", "-resize", size, "-strip", "-quality", quality, plain(i)},
                          -1, false, jobs[i].src.c_str());
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
