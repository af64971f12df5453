#include "gen/BatchLoop.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "export/TileExport.h"
#include "gen/Generator.h"
#include "gen/OutputTexture.h"
#include "gen/SeedText.h"

namespace vorn {

namespace {

constexpr TNameField NameFieldTable[] = {
    {"{n}", "the texture's number from 0, at least three digits"},
    {"{seed}", "the random seed before the texture, eight upper-case hex digits"},
    {"{effect}", "the effect, as --effect names it"},
    {"{size}", "the size in pixels"},
};

// One texture's file: the texels read back from the device and where they go.
struct TFileJob {
    TOutputExport texture; // as read back, with its maps' options
    int jpegQuality = DefaultJpegQuality;
    TFileWriter* writer = nullptr;
    TSaveMode mode = smReplace;
    std::string recipe; // into the file when not empty
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
    // The texture, then its maps.
    static TExportResult Write(const TFileJob& job) {
        return WriteOutputExport(job.texture, job.jpegQuality, *job.writer, job.mode, job.recipe);
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

// One run of RunBatch: generates texture after texture, hands each to the file worker and
// collects the one before, so that with overlap a texture is written while the next is drawn.
class TBatchRun {
public:
    TBatchRun(TGenerator& generator, const TBatchOptions& options, TBatchHooks& hooks, TBatchResult& result)
        : m_generator(generator), m_options(options), m_hooks(hooks), m_result(result),
          m_sequence(generator, FirstRequest(generator, options), hooks),
          m_count(std::min(options.count, MaxBatchCount)),
          m_writer(options.writer ? *options.writer : SystemFileWriter()),
          m_worker(options.overlap && m_count > 1) {}

    void Run() {
        for (int number = 1; number <= m_count; ++number) {
            if (!GenerateTexture()) return;
            // A file that failed stops the batch before the texture just generated is written.
            if (m_inHand != 0 && !Collect(m_inHand)) return;
            if (!HandOver(number)) return;
            if (!GoOn(number)) return;
        }
    }

private:
    void Fail(std::string error) {
        m_result.ok = false;
        m_result.error = std::move(error);
    }

    static TDrawRequest FirstRequest(const TGenerator& generator, const TBatchOptions& options) {
        if (options.first) return *options.first;
        TDrawRequest request = RequestOf(generator.Controls(), options.clearFirstTile);
        request.settings.size = generator.TextureSize;
        request.settings.bgColor = static_cast<int>(RgbOfCanvasColor(generator.BackgroundColor));
        return request;
    }

    // The next texture with the host's turns before and after it.
    bool GenerateTexture() {
        const TDrawnTexture& drawn = m_sequence.Next();
        if (!drawn.ok()) {
            // No texture, or an incomplete one: it is not written, and the batch ends.
            if (m_inHand == 0 || Collect(m_inHand)) Fail(drawn.error);
            return false;
        }
        return true;
    }

    // Reads texture number back (the device answers on this thread only) and hands it to the
    // file worker.
    bool HandOver(int number) {
        TFileJob job;
        const std::string fileName = m_options.fileName
                                         ? m_options.fileName(number)
                                         : BatchFileName(m_options.folder, number - 1, m_options.fileType);
        job.jpegQuality = m_options.jpegQuality;
        if (m_options.recipe) job.recipe = m_options.recipe(number);
        job.writer = &m_writer;
        job.mode = m_options.saveMode;
        const TExportResult read = ReadOutputExport(m_generator, fileName, m_options.maps, job.texture);
        if (!read.ok) {
            Fail(read.error);
            return false;
        }
        m_worker.Start(std::move(job));
        return true;
    }

    // Waits for texture number's file and tells the host.
    bool Collect(int number) {
        const TExportResult written = m_worker.Finish();
        if (!written.ok) {
            Fail(written.error);
            return false;
        }
        m_result.written = number;
        m_hooks.Written(number);
        return true;
    }

    // After texture number was handed over: keeps it in hand while the next one is generated
    // (with overlap), or collects it now, and asks the host whether to go on.
    bool GoOn(int number) {
        if (m_inHand != 0 && !m_hooks.Continue(m_inHand)) {
            Collect(number); // a stop still writes the texture in hand
            return false;
        }
        m_inHand = number;
        if (m_options.overlap && number < m_count) return true;
        m_inHand = 0;
        return Collect(number) && m_hooks.Continue(number);
    }

    TGenerator& m_generator;
    const TBatchOptions& m_options;
    TBatchHooks& m_hooks;
    TBatchResult& m_result;
    TDrawSequence m_sequence;
    const int m_count;
    TFileWriter& m_writer;
    TFileWorker m_worker;
    int m_inHand = 0; // with overlap: the texture being written while the next one is generated
};

} // namespace

std::span<const TNameField> NameFields() {
    return NameFieldTable;
}

std::string FileNameOf(const std::string& pattern, int index, std::optional<std::uint32_t> seed,
                       const std::string& effect, int size) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d", index);
    const std::string seedText = seed ? SeedText(*seed) : "{seed}";
    std::string name;
    for (std::size_t at = 0; at < pattern.size();) {
        const std::string_view rest = std::string_view(pattern).substr(at);
        if (rest.starts_with("{n}")) {
            name += number;
            at += 3;
        } else if (rest.starts_with("{seed}")) {
            name += seedText;
            at += 6;
        } else if (rest.starts_with("{effect}")) {
            name += effect;
            at += 8;
        } else if (rest.starts_with("{size}")) {
            name += std::to_string(size);
            at += 6;
        } else {
            name += pattern[at++];
        }
    }
    return name;
}

std::string BatchFileName(const std::string& folder, int index, const std::string& fileType) {
    return folder + "/" + FileNameOf(DefaultBatchPattern, index, std::nullopt, {}, 0) + "." + fileType;
}

TBatchResult RunBatch(TGenerator& generator, const TBatchOptions& options, TBatchHooks& hooks) {
    TBatchResult result;
    if (generator.StartupIncomplete) {
        result.ok = false;
        result.error = "Cannot generate textures: start-up did not complete.";
        return result;
    }
    const TFlagScope running(generator.BatchRunning);
    TBatchRun(generator, options, hooks, result).Run();
    return result;
}

} // namespace vorn
