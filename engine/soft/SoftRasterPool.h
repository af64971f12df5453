// The rasteriser's worker threads: started once and kept, blocked on a condition variable while
// there is nothing to draw. After a job up to two of them (no more than the cores beside the
// caller's) watch for the next one for a moment before they block: a synthesis draws about a job
// a millisecond, and waking a blocked thread can take a good part of that, but a watcher keeps a
// core busy. A draw hands them bands of the target, each drawn whole by one thread, and returns
// when every band is done; the calling thread draws bands too. A band that throws ends the job:
// no band starts after it, the job waits for the bands in flight, and the first exception reaches
// the caller of Run.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace vorn::sd::detail {

class RasterPool {
public:
    using Task = void (*)(void* context, int band);

    RasterPool() = default;
    ~RasterPool();
    RasterPool(const RasterPool&) = delete;
    RasterPool& operator=(const RasterPool&) = delete;

    // The one pool of the process.
    static RasterPool& Shared();

    // Calls task(context, b) once for every b in [0, bands), on the calling thread and at most
    // threads - 1 workers, each taking the next band when it is free, and returns when all calls
    // have returned. Workers are started on first need and then kept; those beyond the count
    // asked for sit the job out. A Run while another is in progress (from another thread) draws
    // all its bands on the calling thread. When a call throws, the bands not yet started are
    // dropped and Run rethrows the first exception once no worker is inside the job.
    void Run(int bands, int threads, Task task, void* context);

private:
    void Work();
    // Takes the next band of the current job and draws it; false when none is left.
    bool DrawOne(std::unique_lock<std::mutex>& lock);

    std::mutex m_run; // one job at a time
    std::mutex m_mutex;
    std::condition_variable m_wake; // workers: a job arrived or the pool stops
    std::condition_variable m_done; // the caller: the last band finished
    std::vector<std::thread> m_workers;
    // Counts jobs, so a worker sees each one once. Written under m_mutex; atomic so that a worker
    // can watch it without the lock.
    std::atomic<std::uint64_t> m_job{0};
    Task m_task = nullptr;
    void* m_context = nullptr;
    int m_bands = 0;
    int m_next = 0; // next band to hand out
    // Bands handed out and not finished: written under m_mutex, watched by the caller without it.
    std::atomic<int> m_running{0};
    int m_seats = 0;                 // workers that may still join the current job
    int m_watching = 0;              // workers watching for the next job
    std::exception_ptr m_error;      // the first band that threw
    std::atomic<bool> m_stop{false}; // written under m_mutex, watched without it
};

} // namespace vorn::sd::detail
