#include "gen/BatchLoop.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "engine/VornTextures.h"
#include "export/TileExport.h"
#include "gen/Generator.h"

namespace vorn {

namespace {

constexpr int MaxBatchCount = 1000;

// One texture's file: the texels read back from the device and where they go.
struct TFileJob {
    TBitmap32 bitmap;
    std::string fileName;
    int jpegQuality = 95;
    TFileWriter* writer = nullptr;
    TSaveMode mode = smReplace;
};

// Encodes and writes one file at a time. With a thread of its own Start returns at once and
// Finish waits for the file (and throws what the writing threw); without one Finish writes it.
// Start and Finish alternate. The thread ends with the worker, after the file in hand.
class TFileWorker {
public:
    explicit TFileWorker(bool threaded) {
        if (!threaded) return;
        try {
            m_thread = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            // No thread to be had: the files are written in turn.
        }
    }
    ~TFileWorker() {
        if (!m_thread.joinable()) return;
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    TFileWorker(const TFileWorker&) = delete;
    TFileWorker& operator=(const TFileWorker&) = delete;

    void Start(TFileJob job) {
        {
            const std::lock_guard lock(m_mutex);
            m_job = std::move(job);
        }
        m_changed.notify_all();
    }

    TExportResult Finish() {
        std::unique_lock lock(m_mutex);
        if (!m_thread.joinable()) {
            TExportResult result = Write(*m_job);
            m_job.reset();
            return result;
        }
        m_changed.wait(lock, [this] { return m_done; });
        m_done = false;
        if (m_thrown) std::rethrow_exception(std::exchange(m_thrown, nullptr));
        return std::move(m_result);
    }

private:
    static TExportResult Write(const TFileJob& job) {
        return WriteTileForExport(job.bitmap, job.fileName, job.jpegQuality, *job.writer, job.mode);
    }

    void Run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_quit || m_job.has_value(); });
            if (!m_job) return;
            const TFileJob job = std::exchange(m_job, std::nullopt).value();
            lock.unlock();
            TExportResult result;
            std::exception_ptr thrown;
            try {
                result = Write(job);
            } catch (...) {
                thrown = std::current_exception();
            }
            lock.lock();
            m_result = std::move(result);
            m_thrown = std::move(thrown);
            m_done = true;
            m_changed.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<TFileJob> m_job; // handed over, not taken yet
    bool m_done = false;           // the file taken last is written (or failed), not fetched yet
    TExportResult m_result;
    std::exception_ptr m_thrown;
    bool m_quit = false;
    std::thread m_thread; // last, so that it starts after what it uses
};

} // namespace

std::string BatchFileName(const std::string& folder, int index, const std::string& fileType) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d", index);
    return folder + "/image" + number + "." + fileType;
}

TBatchResult RunBatch(TGenerator& generator, const TBatchOptions& options, TBatchHooks& hooks) {
    TBatchResult result;
    if (generator.StartupIncomplete) {
        result.ok = false;
        result.error = "Cannot generate textures: start-up did not complete.";
        return result;
    }
    const TFlagScope running(generator.BatchRunning);
    const int count = std::min(options.count, MaxBatchCount);
    TFileWriter& writer = options.writer ? *options.writer : SystemFileWriter();
    TFileWorker worker(options.overlap && count > 1);

    // Reads texture number back (the device answers on this thread only) and hands it over.
    const auto start = [&](int number) {
        TFileJob job;
        job.fileName = options.fileName ? options.fileName(number)
                                        : BatchFileName(options.folder, number - 1, options.fileType);
        job.jpegQuality = options.jpegQuality;
        job.writer = &writer;
        job.mode = options.saveMode;
        const TExportResult read =
            ReadTileForExport(*generator.Textures, TGenerator::GetIndex(generator.TextureSize),
                              generator.TextureSize, job.fileName, job.bitmap);
        if (!read.ok) {
            result.ok = false;
            result.error = read.error;
            return false;
        }
        worker.Start(std::move(job));
        return true;
    };
    // Waits for texture number's file and tells the host.
    const auto finish = [&](int number) {
        const TExportResult written = worker.Finish();
        if (!written.ok) {
            result.ok = false;
            result.error = written.error;
            return false;
        }
        result.written = number;
        hooks.Written(number);
        return true;
    };

    int inHand = 0; // with overlap: the texture being written while the next one is generated
    for (int number = 1; number <= count; ++number) {
        hooks.BeforeTexture(number);
        if (generator.Generating()) { // asked for from inside a running generation
            if (inHand != 0 && !finish(inHand)) return result;
            result.ok = false;
            result.error = "Cannot generate a texture while another one is being generated.";
            return result;
        }
        if (number == 1 && options.clearFirstTile) {
            generator.FirstRender();
        } else {
            generator.Generate();
        }
        hooks.Generated(number);

        // A file that failed stops the batch before the texture just generated is written.
        if (inHand != 0 && !finish(inHand)) return result;
        if (!start(number)) return result;
        if (inHand != 0 && !hooks.Continue(inHand)) {
            finish(number); // a stop still writes the texture in hand
            return result;
        }
        inHand = number;
        if (options.overlap && number < count) continue;
        inHand = 0;
        if (!finish(number) || !hooks.Continue(number)) break;
    }
    return result;
}

} // namespace vorn
