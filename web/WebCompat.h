// What the core uses that Emscripten 3.1.6 (Debian 12) lacks, for the browser build only, which
// includes this header before every source (-include, scripts/web.sh):
// - renameat2, answered as an older kernel would (ENOSYS), and unnamed temporary files, which
//   its file system opens but cannot link (O_TMPFILE opens the folder, which fails with EISDIR
//   as on a file system without them), so the core takes the fallbacks it already has;
// - the six range algorithms the core calls, which its libc++ does not have yet; each is the
//   iterator algorithm over the whole range;
// - std::jthread as the core uses it (the bands of the maps and the PNG writer): a thread joined
//   when it is destroyed (no stop token), which on the page's own thread starts only on a worker
//   already loaded: a new worker needs the page's event loop, which the caller holds until it
//   joins, so the thread would never start. Without a free one it fails to start as a thread
//   the system cannot give does (std::system_error), and the caller does that band itself;
// - std::to_chars of a double in the general format with a precision (the trace's numbers),
//   which is printf's %.*g by the standard's definition, and in the fixed format without one
//   (the map options' decimals): the fewest significant digits that read back as the value,
//   nearest to it among those (%.*e's rounding), written without an exponent;
// - munmap of part of an anonymous mapping (the rasteriser's large blocks trim their mapping to
//   an aligned start and give the block back later): Emscripten's refuses it and then keeps its
//   mappings' lock, so with threads the next mmap or munmap of any thread waits forever, and
//   without them the block is never freed. Here such a mapping is a zeroed heap block of our own,
//   freed when its last byte is unmapped; other mappings go to Emscripten's.
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
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <utility>
#include <vector>

#if !defined(__cpp_lib_ranges)
namespace std::ranges {
template <class R, class P> bool all_of(R&& range, P predicate) {
    return std::all_of(std::begin(range), std::end(range), predicate);
}
template <class R, class P> bool any_of(R&& range, P predicate) {
    return std::any_of(std::begin(range), std::end(range), predicate);
}
template <class R, class T> auto find(R&& range, const T& value) {
    return std::find(std::begin(range), std::end(range), value);
}
template <class R, class P> auto find_if(R&& range, P predicate) {
    return std::find_if(std::begin(range), std::end(range), predicate);
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
inline to_chars_result to_chars(char* first, char* last, double value, chars_format format) {
    if (format != chars_format::fixed || !(value - value == 0)) // not finite: as %g writes it
        return to_chars(first, last, value, chars_format::general, 17);
    char text[32];
    for (int precision = 0; precision < 17; ++precision) {
        std::snprintf(text, sizeof text, "%.*e", precision, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    // text: [-]D[.DDD]e(+|-)XX, the digits' point after the first one moved by the exponent.
    const char* e = std::strchr(text, 'e');
    const int exponent = std::atoi(e + 1);
    std::string digits;
    for (const char* c = text; c < e; ++c)
        if (*c >= '0' && *c <= '9') digits += *c;
    std::string out = text[0] == '-' ? "-" : "";
    const int point = exponent + 1; // digits before the point
    if (point <= 0) {
        out += "0." + std::string(std::size_t(-point), '0') + digits;
    } else if (std::size_t(point) >= digits.size()) {
        out += digits + std::string(std::size_t(point) - digits.size(), '0');
    } else {
        out += digits.substr(0, std::size_t(point)) + "." + digits.substr(std::size_t(point));
    }
    if (out.size() > std::size_t(last - first)) return {last, errc::value_too_large};
    return {std::copy(out.begin(), out.end(), first), errc()};
}
} // namespace std
#endif

#if !defined(__cpp_lib_jthread)
#ifdef __EMSCRIPTEN_PTHREADS__
#include <emscripten/em_asm.h>
#include <emscripten/threading.h>
#endif
#include <system_error>

namespace pallimor_web {
// Throws as a thread that cannot start does when the page's thread would wait for a new worker.
inline void NeedLoadedWorker() {
#ifdef __EMSCRIPTEN_PTHREADS__
    if (emscripten_is_main_browser_thread() && EM_ASM_INT({ return PThread.unusedWorkers.length; }) == 0)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "no worker loaded");
#endif
}
} // namespace pallimor_web

namespace std {
class jthread {
public:
    template <class F>
    explicit jthread(F&& function)
        : m_thread((pallimor_web::NeedLoadedWorker(), std::forward<F>(function))) {}
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

namespace pallimor_web {

// An anonymous mapping: its heap block and the ranges of it not yet unmapped.
struct TMapping {
    char* block;
    std::size_t size;
    std::vector<std::pair<char*, char*>> live;
};

inline std::mutex& MappingsLock() {
    static std::mutex lock;
    return lock;
}

inline std::vector<TMapping>& Mappings() {
    static std::vector<TMapping> mappings;
    return mappings;
}

constexpr std::size_t MapAlign = 65536; // Emscripten's page

inline void* Mmap(void* address, std::size_t length, int protection, int flags, int fd, off_t offset) {
    if (address || !(flags & MAP_ANONYMOUS) || (flags & MAP_FIXED))
        return ::mmap(address, length, protection, flags, fd, offset);
    if (length == 0 || length > SIZE_MAX - MapAlign) {
        errno = length == 0 ? EINVAL : ENOMEM;
        return MAP_FAILED;
    }
    const std::size_t size = (length + MapAlign - 1) / MapAlign * MapAlign;
    char* block = static_cast<char*>(std::aligned_alloc(MapAlign, size));
    if (!block) {
        errno = ENOMEM;
        return MAP_FAILED;
    }
    std::memset(block, 0, size);
    try {
        const std::lock_guard<std::mutex> lock(MappingsLock());
        Mappings().push_back({block, size, {{block, block + size}}});
    } catch (...) {
        std::free(block);
        errno = ENOMEM;
        return MAP_FAILED;
    }
    return block;
}

// Takes [address, address + length) out of the mapping it falls in; the block is freed once none
// of it is left. A range in none of ours is Emscripten's to unmap.
inline int Munmap(void* address, std::size_t length) {
    char* const from = static_cast<char*>(address);
    char* const to = from + length;
    {
        const std::lock_guard<std::mutex> lock(MappingsLock());
        std::vector<TMapping>& mappings = Mappings();
        for (auto m = mappings.begin(); m != mappings.end(); ++m) {
            if (to <= m->block || from >= m->block + m->size) continue;
            std::vector<std::pair<char*, char*>> kept;
            for (const auto& [a, b] : m->live) {
                if (a < from) kept.push_back({a, std::min(b, from)});
                if (b > to) kept.push_back({std::max(a, to), b});
            }
            if (kept.empty()) {
                std::free(m->block);
                mappings.erase(m);
            } else {
                m->live.swap(kept);
            }
            return 0;
        }
    }
    return ::munmap(address, length);
}

} // namespace pallimor_web

#define mmap(...) pallimor_web::Mmap(__VA_ARGS__)
#define munmap(...) pallimor_web::Munmap(__VA_ARGS__)
#endif
