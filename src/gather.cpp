#include "gather.h"

#include <cerrno>

void Sink::flush()
{
    std::size_t first = 0;
    if (fd >= 0 && cnt && std::fflush(fo) != 0)
        fd = -1;
    while (fd >= 0 && first < cnt) {
        ssize_t w = writev_fn(fd, iov + first, static_cast<int>(cnt - first));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            fd = -1;
            break;
        }
        auto done = static_cast<std::size_t>(w);
        if (done == bytes) {
            first = cnt;
            break;
        }
        // A short write: skip the pieces written whole, trim the one cut.
        bytes -= done;
        while (first < cnt && done >= iov[first].iov_len)
            done -= iov[first++].iov_len;
        if (done) {
            iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + done;
            iov[first].iov_len -= done;
        }
    }
    for (; first < cnt; ++first)
        std::fwrite(iov[first].iov_base, 1, iov[first].iov_len, fo);
    cnt = 0;
    bytes = 0;
}
