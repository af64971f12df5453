// The brush images: TVornImage is a set of equally sized managed textures divided into a grid of
// patterns, loaded from an image record (33-byte header, then raw texel rows); TVornImages is the
// list of them, filled from the archive and kept in step with the device's notifications.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/VornDb.h"
#include "engine/DXTextures.h"
#include "engine/VornSubsc.h"
#include "pixel/VornTexels.h"

namespace vorn {

class TVornImage : public TDXMultiTexture {
public:
    static constexpr std::int32_t kHeaderSize = 33;

    explicit TVornImage(TVornDevice* device);
    ~TVornImage() override;

    const std::string& Name() const { return m_name; }
    void SetName(const std::string& value) { m_name = value; }
    // Format preferences; changeable only in tsNone.
    TVornQuality Quality() const { return m_quality; }
    void SetQuality(TVornQuality value);
    TAlphaLevel AlphaLevel() const { return m_alphaLevel; }
    void SetAlphaLevel(TAlphaLevel value);

    // Pattern geometry; set by loading (or the setters, only in tsNone), completed by SetupPatterns.
    TIntSize PatternSize() const { return m_patternSize; }
    void SetPatternSize(TIntSize value);
    // The part of a pattern that is drawn, centred in the pattern.
    TIntSize VisibleSize() const { return m_visibleSize; }
    void SetVisibleSize(TIntSize value);
    // As stored; it may exceed what the textures hold (see SubTextureOfPattern).
    std::int32_t PatternCount() const { return m_patternCount; }
    void SetPatternCount(std::int32_t value);
    std::int32_t PatternColumns() const { return m_patternColumns; }
    std::int32_t PatternRows() const { return m_patternRows; }
    std::int32_t PatternsPerTexture() const { return m_patternsPerTexture; }

    // Whether sub-texture n exists now.
    bool HasSubTexture(std::int32_t n) const { return Texture(n) != nullptr; }
    // The sub-texture that holds pattern (clamped to 0..PatternCount - 1, as drawing does); -1
    // when the image has no patterns or that sub-texture does not exist.
    std::int32_t SubTextureOfPattern(std::int32_t pattern) const;

    // Reads the record key of db and loads it.
    bool LoadFromVornDb(const std::string& key, TVornDb& db);
    // The same but for the checksum, which check takes: the image is good only once it holds.
    bool LoadFromVornDb(const std::string& key, TVornDb& db, TVornDb::TPendingCheck& check);
    // Loads image record data from the stream's position into new textures. On failure no
    // texture is left and the state is tsNone.
    bool LoadFromStream(TMemoryStream& stream);

    // SetupPatterns, then the texture format for Quality and AlphaLevel.
    bool Prepare() override;
    // The pattern grid above: the canvas draws patterns and sizes stamps by it.
    std::optional<TPatternGeometry> PatternGeometry() const override;
    // Fills in defaulted sizes, checks the geometry and derives the grid.
    bool SetupPatterns();

    // Where a record's bytes come from: each Read gives exactly size bytes or fails.
    class TSource {
    public:
        virtual ~TSource() = default;
        virtual bool Read(void* dest, std::size_t size) = 0;
        virtual std::int64_t Remaining() const = 0;
    };

private:
    bool Load(TSource& source);
    bool CopyTexels(TSource& source, TTexelFormat stored);

    std::string m_name = "[unnamed]";
    TVornQuality m_quality = aqHigh;
    TAlphaLevel m_alphaLevel = alFull;
    std::int32_t m_patternColumns = 0;
    std::int32_t m_patternRows = 0;
    std::int32_t m_patternsPerTexture = 0;
    TIntSize m_visibleSize;
    TIntSize m_patternSize;
    std::int32_t m_patternCount = 0;
};

class TVornImages : public TVornDeviceSubscriber {
public:
    // Called once per image record before it is loaded. index is the position the image will
    // take; clearing accept skips the record; name, quality and alphaLevel may be changed.
    using TImageVornDbLoadEvent =
        std::function<void(TVornImages* sender, const std::string& key, std::int32_t index, bool& accept,
                           std::string& name, TVornQuality& quality, TAlphaLevel& alphaLevel)>;

    TVornImages() = default;
    ~TVornImages() override;

    // Mipmapping given to each new image.
    bool MipMappping() const { return m_mipMappping; }
    void SetMipMappping(bool value) { m_mipMappping = value; }
    TImageVornDbLoadEvent OnVornDbLoad;
    // Whether LoadFromVornDb checks the records' MD5 on a thread of its own while it goes on
    // loading (false: each record before the next). The list and the answer are the same either
    // way; with the thread, OnVornDbLoad may also be called for records after one whose checksum
    // fails, which are then dropped.
    bool ChecksumThread() const { return m_checksumThread; }
    void SetChecksumThread(bool value) { m_checksumThread = value; }

    std::int32_t Count() const { return static_cast<std::int32_t>(m_images.size()); }
    // nullptr when index is out of range.
    TVornImage* Item(std::int32_t index) const;
    // Appends a new image on the publisher's device.
    TVornImage* AddImage();
    std::int32_t IndexOfImage(const TVornImage* image) const;
    void RemoveImage(std::int32_t index);
    void RemoveAll();

    // Appends the image of the record key; a failure leaves the list as it was.
    bool AddFromVornDb(const std::string& key, TVornDb& db, TVornQuality quality, TAlphaLevel alphaLevel);
    // Loads every accepted image record in table order; stops at the first failure, keeping the
    // images loaded before it.
    bool LoadFromVornDb(TVornDb& db);

    // Finalize frees the images; loss and reset change their states. Always true.
    bool HandleNotification(std::uint32_t message) override;

private:
    // AddFromVornDb, the checksum left to deferred when it is given.
    bool AddImage(const std::string& key, TVornDb& db, TVornQuality quality, TAlphaLevel alphaLevel,
                  TVornDb::TPendingCheck* deferred);

    std::vector<std::unique_ptr<TVornImage>> m_images;
    bool m_mipMappping = false;
    bool m_checksumThread = false;
};

} // namespace vorn
