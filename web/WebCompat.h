// What the core uses that Emscripten 3.1.6 (Debian 12) lacks, for the browser build only, which
// includes this header before every source (-include, scripts/web.sh):
// - renameat2, answered as an older kernel would (ENOSYS), and unnamed temporary files, which
//   its file system opens but cannot link (O_TMPFILE opens the folder, which fails with EISDIR
//   as on a file system without them), so the core takes the fallbacks it already has;
// - the three range algorithms the core calls, which its libc++ does not have yet; each is the
//   iterator algorithm over the whole range;
// - std::jthread as the core uses it: a thread joined when it is destroyed (no stop token);
// - std::to_chars of a double in the general format with a precision (the trace's numbers),
//   which is printf's %.*g by the standard's definition.
#pragma once

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>

#undef O_TMPFILE
#define O_TMPFILE O_DIRECTORY

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#define RENAME_EXCHANGE (1 << 1)
inline int renameat2(int, const char*, int, const char*, unsigned) {
    errno = ENOSYS;
    return -1;
}
#endif

#ifdef __cplusplus
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <thread>
#include <utility>

#if !defined(__cpp_lib_ranges)
namespace std::ranges {
template <class R, class P> bool all_of(R&& range, P predicate) {
    return std::all_of(std::begin(range), std::end(range), predicate);
}
template <class R1, class R2, class P> bool equal(R1&& a, R2&& b, P predicate) {
    return std::equal(std::begin(a), std::end(a), std::begin(b), std::end(b), predicate);
}
template <class R, class O, class F> void transform(R&& range, O out, F function) {
    std::transform(std::begin(range), std::end(range), out, function);
}
} // namespace std::ranges
#endif

#if !defined(__cpp_lib_to_chars)
namespace std {
inline to_chars_result to_chars(char* first, char* last, double value, chars_format, int precision) {
    const int n = std::snprintf(first, std::size_t(last - first), "%.*g", precision, value);
    if (n < 0 || n >= last - first) return {last, errc::value_too_large};
    return {first + n, errc()};
}
} // namespace std
#endif

#if !defined(__cpp_lib_jthread)
namespace std {
class jthread {
public:
    template <class F> explicit jthread(F&& function) : m_thread(std::forward<F>(function)) {}
    jthread(jthread&&) noexcept = default;
    jthread& operator=(jthread&& other) noexcept {
        if (m_thread.joinable()) m_thread.join();
        m_thread = std::move(other.m_thread);
        return *this;
    }
    ~jthread() {
        if (m_thread.joinable()) m_thread.join();
    }
    bool joinable() const noexcept { return m_thread.joinable(); }
    void join() { m_thread.join(); }

private:
    std::thread m_thread;
};
} // namespace std
#endif
#endif
