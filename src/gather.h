// The page text on its way to its stream, gathered rather than copied.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdio>
#include <sys/types.h>
#include <sys/uio.h>

// Each put only notes where the bytes are (the input block, a literal, the
// rewriter's scratch area), so they must stay in place until the next flush.
// A flush hands them to the descriptor with one writev, after whatever stdio
// holds for the stream; a write the kernel takes only part of is followed by
// the rest. A stream without a descriptor (a memory stream), or one whose
// direct write failed, gets them through stdio, which then also keeps any
// error for the caller to see.
struct Sink {
    // The gathered write itself: writev, or in tests one that takes less.
    using Writev = ssize_t (*)(int fd, const iovec* iov, int cnt);

    Sink(std::FILE* f, bool direct, Writev w = ::writev) : fo(f), fd(direct ? ::fileno(f) : -1), writev_fn(w) {}
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

#if defined(IOV_MAX) && IOV_MAX < 1024
    static constexpr std::size_t MAX = IOV_MAX;
#else
    static constexpr std::size_t MAX = 1024;
#endif
    std::FILE* fo;
    int fd;
    Writev writev_fn;
    std::size_t cnt = 0;
    std::size_t bytes = 0;  // in iov[0, cnt)
    iovec iov[MAX];

    void put(const char* p, std::size_t n)
    {
        if (n == 0)
            return;
        if (cnt) {
            iovec& last = iov[cnt - 1];
            if (static_cast<const char*>(last.iov_base) + last.iov_len == p) {
                last.iov_len += n;
                bytes += n;
                return;
            }
        }
        if (cnt == MAX)
            flush();
        iov[cnt++] = {const_cast<char*>(p), n};
        bytes += n;
    }
    void flush();
};
