#include "engine/soft/SoftRasterPool.h"

#include "engine/soft/SoftRaster.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <utility>

namespace vorn::sd {

namespace {

std::atomic<int> g_threads{0};  // 0: not set, the default applies
thread_local int t_threads = 0; // RasterThreadsScope's count on this thread; 0: none

int DefaultThreads() {
    if (const char* env = std::getenv("PALLIMOR_THREADS")) {
        char* end = nullptr;
        const long n = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && n >= 1) return static_cast<int>(std::min(n, 64L));
    }
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
}

} // namespace

int RasterThreads() {
    if (t_threads > 0) return t_threads;
    const int set = g_threads.load(std::memory_order_relaxed);
    if (set > 0) return set;
    static const int fallback = DefaultThreads();
    return fallback;
}

void SetRasterThreads(int count) {
    g_threads.store(count < 1 ? 0 : std::min(count, 64), std::memory_order_relaxed);
}

RasterThreadsScope::RasterThreadsScope(int count) : m_before(t_threads) {
    t_threads = count < 1 ? 0 : std::min(count, 64);
}

RasterThreadsScope::~RasterThreadsScope() {
    t_threads = m_before;
}

namespace detail {

namespace {

// Spins while busy() holds, for at most limit, with the processor's pause between looks (a
// yield is a system call each time, which costs far more in some virtual machines); with more
// threads than cores, yields instead, so that a thread with work gets the core.
template <typename Busy> void SpinWhile(std::chrono::microseconds limit, bool yield, Busy busy) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (int n = 1; busy(); ++n) {
        if (yield) std::this_thread::yield();
#if defined(__x86_64__) || defined(__i386__)
        else
            __builtin_ia32_pause();
#endif
        if (n % 64 == 0 && std::chrono::steady_clock::now() >= until) return;
    }
}

int Cores() {
    static const int cores = int(std::max(std::thread::hardware_concurrency(), 1u));
    return cores;
}

} // namespace

RasterPool& RasterPool::Shared() {
    static RasterPool pool;
    return pool;
}

RasterPool::~RasterPool() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers) worker.join();
}

bool RasterPool::DrawOne(std::unique_lock<std::mutex>& lock) {
    if (m_next >= m_bands) return false;
    const int band = m_next++;
    m_running.fetch_add(1, std::memory_order_relaxed);
    const Task task = m_task;
    void* const context = m_context;
    lock.unlock();
    std::exception_ptr error;
    try {
        task(context, band);
    } catch (...) {
        error = std::current_exception();
    }
    lock.lock();
    if (error) {
        if (!m_error) m_error = error;
        m_next = m_bands; // start no more bands of this job
    }
    if (m_running.fetch_sub(1, std::memory_order_release) == 1 && m_next >= m_bands) m_done.notify_all();
    return true;
}

void RasterPool::Work() {
    // How long a worker watches for the next job before it blocks, and how many watch at once:
    // a watching worker keeps a core busy, so no more watch than two, nor than the cores beside
    // the caller's; the others block at once and are woken by the job.
    constexpr std::chrono::microseconds watch(1000);
    static const int maxWatching = std::min(Cores(), 3) - 1;
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_job == seen && !m_stop && m_watching < maxWatching) {
            ++m_watching;
            // The workers and the caller, each on a core of its own, or more threads than cores.
            const bool crowded = int(m_workers.size()) + 1 > Cores();
            lock.unlock();
            SpinWhile(watch, crowded, [&] {
                return m_job.load(std::memory_order_acquire) == seen &&
                       !m_stop.load(std::memory_order_acquire);
            });
            lock.lock();
            --m_watching;
        }
        m_wake.wait(lock, [&] { return m_stop || (m_job != seen && m_seats > 0); });
        if (m_stop) return;
        seen = m_job;
        --m_seats;
        while (DrawOne(lock)) {
        }
    }
}

void RasterPool::Run(int bands, int threads, Task task, void* context) {
    std::unique_lock<std::mutex> exclusive(m_run, std::try_to_lock);
    if (bands <= 1 || threads <= 1 || !exclusive.owns_lock()) {
        for (int b = 0; b < bands; ++b) task(context, b);
        return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    // Threads that cannot be started leave their bands to the others.
    const int helpers = std::min(bands, threads) - 1;
    while (int(m_workers.size()) < helpers) {
        try {
            m_workers.emplace_back([this] { Work(); });
        } catch (...) {
            break;
        }
    }
    m_task = task;
    m_context = context;
    m_bands = bands;
    m_next = 0;
    m_running.store(0, std::memory_order_relaxed);
    m_seats = std::min(helpers, int(m_workers.size()));
    m_error = nullptr;
    ++m_job;
    m_wake.notify_all();
    while (DrawOne(lock)) {
    }
    // The other bands end about when this thread's do (they share the work evenly): watch for
    // a moment before blocking, as waking a blocked thread takes a good part of a draw; unless
    // there are more threads than cores, when the watch would only keep a band from a core.
    if (threads <= Cores() && m_running.load(std::memory_order_relaxed) > 0) {
        lock.unlock();
        SpinWhile(std::chrono::microseconds(200), false,
                  [&] { return m_running.load(std::memory_order_acquire) > 0; });
        lock.lock();
    }
    // A worker that joins late finds no band left and never touches the context.
    m_done.wait(lock, [&] { return m_running.load(std::memory_order_relaxed) == 0; });
    m_seats = 0;
    m_task = nullptr;
    m_context = nullptr;
    if (std::exception_ptr error = std::exchange(m_error, nullptr)) std::rethrow_exception(error);
}

} // namespace detail

} // namespace vorn::sd
