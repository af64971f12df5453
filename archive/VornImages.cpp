#include "archive/VornImages.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "archive/VornDb.h"
#include "engine/VornDevices.h"
#include "io/ByteOrder.h"

namespace vorn {

namespace {

constexpr std::int32_t kImageRecordType = 1;
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

using detail::ReadInt32;

// Whether count textures of width x height texels of bytesPerTexel bytes fit in available bytes;
// each product is checked against the bound before it is formed, so nothing overflows.
bool TexelsFit(std::int64_t width, std::int64_t height, std::int64_t count, std::int64_t bytesPerTexel,
               std::int64_t available) {
    if (count <= 0) return true;
    if (width < 1 || height < 1) return true; // no texels; the geometry check refuses the image
    if (width > available / bytesPerTexel) return false;
    const std::int64_t rowBytes = width * bytesPerTexel;
    if (height > available / rowBytes) return false;
    const std::int64_t textureBytes = rowBytes * height;
    return count <= available / textureBytes;
}

} // namespace

// ---- TVornImage ----

TVornImage::TVornImage(TVornDevice* device) : TDXMultiTexture(device) {}

TVornImage::~TVornImage() = default;

void TVornImage::SetQuality(TVornQuality value) {
    if (State() == tsNone) m_quality = value;
}

void TVornImage::SetAlphaLevel(TAlphaLevel value) {
    if (State() == tsNone) m_alphaLevel = value;
}

void TVornImage::SetPatternSize(TIntSize value) {
    if (State() == tsNone) m_patternSize = value;
}

void TVornImage::SetVisibleSize(TIntSize value) {
    if (State() == tsNone) m_visibleSize = value;
}

void TVornImage::SetPatternCount(std::int32_t value) {
    if (State() == tsNone) m_patternCount = value;
}

std::optional<TPatternGeometry> TVornImage::PatternGeometry() const {
    return TPatternGeometry{m_patternCount, m_patternsPerTexture, m_patternColumns, m_patternRows,
                            TextureCount(), m_patternSize,        m_visibleSize};
}

std::int32_t TVornImage::SubTextureOfPattern(std::int32_t pattern) const {
    if (m_patternCount < 1 || m_patternsPerTexture < 1) return -1;
    const std::int32_t p = std::clamp(pattern, 0, m_patternCount - 1);
    const std::int32_t n = p / m_patternsPerTexture;
    return HasSubTexture(n) ? n : -1;
}

bool TVornImage::SetupPatterns() {
    const std::int32_t width = Width();
    const std::int32_t height = Height();
    if (m_patternSize.Width < 1) m_patternSize.Width = width;
    if (m_patternSize.Height < 1) m_patternSize.Height = height;
    // The visible size defaults to the texture's size, not the pattern's.
    if (m_visibleSize.Width < 1) m_visibleSize.Width = width;
    if (m_visibleSize.Height < 1) m_visibleSize.Height = height;
    if (width < 1 || height < 1 || m_patternSize.Width > width || m_patternSize.Height > height ||
        m_visibleSize.Width > m_patternSize.Width || m_visibleSize.Height > m_patternSize.Height)
        return false;
    const std::int64_t columns = width / m_patternSize.Width;
    const std::int64_t rows = height / m_patternSize.Height;
    const std::int64_t perTexture = columns * rows;
    if (perTexture > kInt32Max) return false;
    m_patternColumns = static_cast<std::int32_t>(columns);
    m_patternRows = static_cast<std::int32_t>(rows);
    m_patternsPerTexture = static_cast<std::int32_t>(perTexture);
    if (m_patternCount < 1) {
        const std::int64_t total = perTexture * TextureCount();
        if (total > kInt32Max) return false;
        m_patternCount = static_cast<std::int32_t>(total);
    }
    return true;
}

bool TVornImage::Prepare() {
    if (!SetupPatterns()) return false;
    SetFormat(ChooseTextureFormat(Device(), m_quality, m_alphaLevel, GetUsage()));
    return Format() != sd::D3DFMT_UNKNOWN;
}

namespace {

class TStreamSource final : public TVornImage::TSource {
public:
    explicit TStreamSource(TMemoryStream& stream) : m_stream(stream) {}
    bool Read(void* dest, std::size_t size) override { return m_stream.Read(dest, size) == size; }
    std::int64_t Remaining() const override { return m_stream.Remaining(); }

private:
    TMemoryStream& m_stream;
};

class TRecordSource final : public TVornImage::TSource {
public:
    explicit TRecordSource(TVornDb::TRecordReader& reader) : m_reader(reader) {}
    bool Read(void* dest, std::size_t size) override { return m_reader.Read(dest, size); }
    std::int64_t Remaining() const override { return m_reader.Remaining(); }

private:
    TVornDb::TRecordReader& m_reader;
};

} // namespace

bool TVornImage::LoadFromVornDb(const std::string& key, TVornDb& db) {
    TVornDb::TPendingCheck check;
    if (LoadFromVornDb(key, db, check) && check.Check()) return true;
    ChangeState(tsNone);
    return false;
}

bool TVornImage::LoadFromVornDb(const std::string& key, TVornDb& db, TVornDb::TPendingCheck& check) {
    check = {};
    if (!db.EnsureOpen()) return false;
    // The record inflates into the textures, which are kept only once its stream has ended
    // where it should and its checksum holds.
    TVornDb::TRecordReader reader;
    if (!db.OpenRecord(key, reader)) return false;
    TRecordSource source(reader);
    if (Load(source)) {
        check = reader.Detach();
        return true;
    }
    ChangeState(tsNone);
    return false;
}

bool TVornImage::LoadFromStream(TMemoryStream& stream) {
    TStreamSource source(stream);
    return Load(source);
}

bool TVornImage::Load(TSource& source) {
    // Loading replaces whatever the image held.
    ChangeState(tsNone);
    std::uint8_t header[kHeaderSize];
    if (!source.Read(header, sizeof header)) return false;
    const std::uint8_t storedCode = header[0];
    m_patternSize = {ReadInt32(header + 1), ReadInt32(header + 5)};
    m_visibleSize = {ReadInt32(header + 9), ReadInt32(header + 13)};
    m_patternCount = ReadInt32(header + 17);
    SetSize(ReadInt32(header + 21), ReadInt32(header + 25));
    SetTextureCount(ReadInt32(header + 29)); // a negative count becomes 0

    // A format without a texel layout, or texels the record does not hold, are refused before any
    // texture is created, so a crafted header cannot make large textures.
    if (storedCode >= tfUnknown) return false;
    const auto stored = static_cast<TTexelFormat>(storedCode);
    if (!TexelsFit(Width(), Height(), TextureCount(), BytesPerTexel(stored), source.Remaining()))
        return false;

    ChangeState(tsReady);
    if (State() != tsReady) return false;
    if (!CopyTexels(source, stored)) {
        ChangeState(tsNone);
        return false;
    }
    return true;
}

bool TVornImage::CopyTexels(TSource& source, TTexelFormat stored) {
    const std::int32_t count = TextureCount();
    if (count == 0) return true;
    const TTexelFormat target = TexelFormatOf(Format());
    const bool compatible = FormatsCompatible(stored, target);
    const TArgbRowWriter writer = ArgbRowWriter(target);
    if (!compatible && !writer) return false;

    const auto width = static_cast<std::size_t>(Width());
    const std::size_t storedRow = width * static_cast<std::size_t>(BytesPerTexel(stored));
    std::vector<std::uint32_t> argbRow;
    std::vector<std::uint8_t> storedRowBuffer;
    try {
        if (!compatible) argbRow.resize(width);
        if (!compatible && stored != tfA8R8G8B8) storedRowBuffer.resize(storedRow);
    } catch (const std::bad_alloc&) {
        return false;
    }

    for (std::int32_t n = 0; n < count; ++n) {
        TLockedTexels locked;
        if (!Lock(n, laWrite, locked) || !locked.Bits) return false;
        auto* const bits = static_cast<std::uint8_t*>(locked.Bits);
        bool ok = true;
        for (std::int32_t y = 0; y < Height() && ok; ++y) {
            std::uint8_t* const row = bits + static_cast<std::ptrdiff_t>(y) * locked.Pitch;
            if (compatible) {
                ok = source.Read(row, storedRow);
            } else if (stored == tfA8R8G8B8) {
                ok = source.Read(argbRow.data(), storedRow);
                if (ok) writer(argbRow.data(), row, Width());
            } else {
                ok = source.Read(storedRowBuffer.data(), storedRow);
                if (ok) {
                    RowToArgb(storedRowBuffer.data(), argbRow.data(), Width(), stored);
                    writer(argbRow.data(), row, Width());
                }
            }
        }
        Unlock(n);
        if (!ok) return false;
    }
    return true;
}

// ---- TVornImages ----

TVornImages::~TVornImages() {
    RemoveAll();
}

TVornImage* TVornImages::Item(std::int32_t index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return m_images[static_cast<std::size_t>(index)].get();
}

TVornImage* TVornImages::AddImage() {
    auto image = std::make_unique<TVornImage>(GetDevice());
    image->SetMipmapping(m_mipMappping);
    m_images.push_back(std::move(image));
    return m_images.back().get();
}

std::int32_t TVornImages::IndexOfImage(const TVornImage* image) const {
    for (std::size_t i = 0; i < m_images.size(); ++i)
        if (m_images[i].get() == image) return static_cast<std::int32_t>(i);
    return -1;
}

void TVornImages::RemoveImage(std::int32_t index) {
    if (index < 0 || index >= Count()) return;
    m_images.erase(m_images.begin() + index);
}

void TVornImages::RemoveAll() {
    m_images.clear();
}

bool TVornImages::AddFromVornDb(const std::string& key, TVornDb& db, TVornQuality quality,
                                TAlphaLevel alphaLevel) {
    return AddImage(key, db, quality, alphaLevel, nullptr);
}

bool TVornImages::AddImage(const std::string& key, TVornDb& db, TVornQuality quality, TAlphaLevel alphaLevel,
                           TVornDb::TPendingCheck* deferred) {
    if (!db.EnsureOpen()) return false;
    const std::int32_t index = db.IndexOf(key);
    if (index < 0 || db.RecordType(index) != kImageRecordType) return false;
    TVornImage* image = AddImage();
    image->SetName(key);
    image->SetQuality(quality);
    image->SetAlphaLevel(alphaLevel);
    const bool loaded = deferred ? image->LoadFromVornDb(key, db, *deferred) : image->LoadFromVornDb(key, db);
    if (!loaded) {
        RemoveImage(IndexOfImage(image));
        return false;
    }
    return true;
}

namespace {

// The checksums of the records loaded, in the order given, worked through by a thread of its own
// and, once no more come, by the caller as well: Verdicts answers the same as checking each in
// turn would.
class TChecksumQueue {
public:
    TChecksumQueue() = default;
    ~TChecksumQueue() { Verdicts(); }
    TChecksumQueue(const TChecksumQueue&) = delete;
    TChecksumQueue& operator=(const TChecksumQueue&) = delete;

    void Add(TVornDb::TPendingCheck check) {
        {
            const std::lock_guard lock(m_mutex);
            m_pending.push_back({std::move(check), m_verdicts.size()});
            m_verdicts.push_back(0);
        }
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { Work(true); });
            } catch (const std::system_error&) {
                // No thread: Verdicts does every check itself.
            }
        } else {
            m_wake.notify_one();
        }
    }
    // Whether each check added holds, in the order added; every check is done when it returns.
    const std::vector<char>& Verdicts() {
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_wake.notify_one();
        Work(false);
        if (m_thread.joinable()) m_thread.join();
        return m_verdicts;
    }

private:
    struct TItem {
        TVornDb::TPendingCheck check;
        std::size_t position;
    };

    // Takes checks until none is left; with wait (the thread) also waits for more until the queue
    // closes.
    void Work(bool wait) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (wait) m_wake.wait(lock, [this] { return m_closed || !m_pending.empty(); });
            if (m_pending.empty()) return;
            TItem item = std::move(m_pending.front());
            m_pending.pop_front();
            lock.unlock();
            const bool good = item.check.Check();
            item.check = {}; // the record's bytes go as soon as they are checked
            lock.lock();
            m_verdicts[item.position] = good;
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<TItem> m_pending;
    std::vector<char> m_verdicts;
    bool m_closed = false;
    std::thread m_thread;
};

} // namespace

bool TVornImages::LoadFromVornDb(TVornDb& db) {
    if (!db.EnsureOpen()) return false;
    const std::int32_t first = Count();
    std::optional<TChecksumQueue> checks;
    if (m_checksumThread) checks.emplace();
    bool loaded = true;
    const std::int32_t count = db.RecordCount();
    for (std::int32_t i = 0; i < count; ++i) {
        if (db.RecordType(i) != kImageRecordType) continue;
        bool accept = true;
        std::string name = db.RecordKey(i);
        TVornQuality quality = aqHigh;
        TAlphaLevel alphaLevel = alFull;
        if (OnVornDbLoad) OnVornDbLoad(this, db.RecordKey(i), Count(), accept, name, quality, alphaLevel);
        if (!accept) continue;
        TVornDb::TPendingCheck check;
        loaded = AddImage(db.RecordKey(i), db, quality, alphaLevel, checks ? &check : nullptr);
        if (!loaded) break;
        m_images.back()->SetName(name);
        if (checks) checks->Add(std::move(check));
    }
    if (!checks) return loaded;
    // The list ends before the first image whose checksum fails, as when each is checked in turn.
    const std::vector<char>& verdicts = checks->Verdicts();
    for (std::size_t n = 0; n < verdicts.size(); ++n) {
        if (verdicts[n]) continue;
        m_images.erase(m_images.begin() + first + static_cast<std::ptrdiff_t>(n), m_images.end());
        return false;
    }
    return loaded;
}

bool TVornImages::HandleNotification(std::uint32_t message) {
    switch (message) {
    case msgFinalize:
        RemoveAll();
        break;
    case msgDeviceLost:
        for (auto& image : m_images)
            if (image->State() == tsReady) image->ChangeState(tsLost);
        break;
    case msgDeviceReset:
        for (auto& image : m_images)
            if (image->State() == tsLost) image->ChangeState(tsReady);
        break;
    default:
        break;
    }
    return true;
}

} // namespace vorn
