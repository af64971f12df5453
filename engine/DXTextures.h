// Textures of the engine: a base with size, format, kind and a lifecycle state that changes only
// through ChangeState; a single texture, a render target that can be bound as the device's
// target, and an array of equally sized sub-textures. Each belongs to the device given at birth.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/soft/SoftDevice.h"
#include "pixel/VornTexels.h"

namespace vorn {

class TVornDevice;

enum TTextureState : std::uint8_t { tsNone = 0, tsReady = 1, tsLost = 2, tsFailed = 3 };
enum TTextureKind : std::uint8_t { tkManaged = 0, tkDefault = 1, tkDynamic = 2, tkRenderTarget = 3 };
enum TVornQuality : std::uint8_t { aqLow = 0, aqMedium = 1, aqHigh = 2 };
enum TAlphaLevel : std::uint8_t { alNone = 0, alMask = 1, alFull = 2, alExclusive = 3 };

// Lock access: laRead = read only, laWrite = write (discards a dynamic texture), laNone = no flag.
enum TLockAccess : std::uint8_t { laNone = 0, laRead = 1, laWrite = 2 };

// What a lock gives: the first texel of the locked area, the row pitch in bytes and the layout.
struct TLockedTexels {
    void* Bits = nullptr;
    std::int32_t Pitch = 0;
    TTexelFormat Format = tfUnknown;
};

struct TIntSize {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    friend bool operator==(const TIntSize&, const TIntSize&) = default;
};

// Where a texture's patterns lie: Count patterns in cells of CellSize, Columns x Rows of them
// (PerTexture) on each of TextureCount sub-textures, the Visible part of each centred in its cell.
struct TPatternGeometry {
    std::int32_t Count = 0;
    std::int32_t PerTexture = 0;
    std::int32_t Columns = 0;
    std::int32_t Rows = 0;
    std::int32_t TextureCount = 0;
    TIntSize CellSize;
    TIntSize Visible;
};

// The first format of the preference list for (quality, alphaLevel) that the device's Direct3D
// object accepts as a texture with usage on its back-buffer format; D3DFMT_UNKNOWN when none
// does or the device is not initialised.
sd::D3DFORMAT ChooseTextureFormat(const TVornDevice* device, TVornQuality quality, TAlphaLevel alphaLevel,
                                  std::uint32_t usage);

class TDXBaseTexture {
public:
    explicit TDXBaseTexture(TVornDevice* device, TTextureKind kind = tkManaged);
    // Derived classes change the state to tsNone in their destructors, while their own
    // ReleaseResources still runs.
    virtual ~TDXBaseTexture();
    TDXBaseTexture(const TDXBaseTexture&) = delete;
    TDXBaseTexture& operator=(const TDXBaseTexture&) = delete;

    TVornDevice* Device() const { return m_device; }

    // Size in texels and mip chain; changeable only in tsNone.
    std::int32_t Width() const { return m_width; }
    void SetWidth(std::int32_t value);
    std::int32_t Height() const { return m_height; }
    void SetHeight(std::int32_t value);
    void SetSize(std::int32_t width, std::int32_t height);
    bool Mipmapping() const { return m_mipmapping; }
    void SetMipmapping(bool value);
    // Direct3D format; Prepare may choose it. Changeable only in tsNone.
    sd::D3DFORMAT Format() const { return m_format; }
    void SetFormat(sd::D3DFORMAT value);
    TTextureState State() const { return m_state; }
    TTextureKind Kind() const { return m_kind; }

    // The only way the state changes. target tsReady = create (or recreate after loss),
    // tsNone = release, tsLost = release default-pool resources (managed textures ignore it).
    void ChangeState(TTextureState target);

    // Prepare runs before the first CreateResources (default: nothing, true).
    virtual bool Prepare();
    // The pattern grid the canvas draws by; none (the default) = the whole texture is one
    // picture, addressed by texel edges, with no stamp size of its own.
    virtual std::optional<TPatternGeometry> PatternGeometry() const { return std::nullopt; }
    virtual bool CreateResources() = 0;
    virtual void ReleaseResources() = 0;
    virtual std::uint32_t GetUsage() const = 0;
    // Binds sub-texture subTexture to stage; a single texture has only sub-texture 0.
    virtual bool Bind(std::uint32_t stage, std::int32_t subTexture = 0) = 0;
    // Locks level 0 of sub-texture subTexture, whole or a rectangle of it.
    virtual bool Lock(std::int32_t subTexture, TLockAccess access, TLockedTexels& info) = 0;
    virtual bool LockRegion(std::int32_t subTexture, const sd::RECT& rect, TLockedTexels& info,
                            TLockAccess access) = 0;
    virtual bool Unlock(std::int32_t subTexture) = 0;

protected:
    sd::Device* D3DDevice() const;

private:
    TVornDevice* m_device;
    std::int32_t m_width = 256;
    std::int32_t m_height = 256;
    bool m_mipmapping = true;
    TTextureState m_state = tsNone;
    sd::D3DFORMAT m_format = sd::D3DFMT_UNKNOWN;
    TTextureKind m_kind;
};

// One Direct3D texture, in the managed pool for tkManaged and the default pool otherwise.
class TDXMonoTexture : public TDXBaseTexture {
public:
    explicit TDXMonoTexture(TVornDevice* device, TTextureKind kind = tkManaged);
    ~TDXMonoTexture() override;

    // The Direct3D texture while the state is tsReady, else nullptr.
    const sd::TexturePtr& Texture() const { return m_texture; }

    bool CreateResources() override;
    void ReleaseResources() override;
    std::uint32_t GetUsage() const override;
    bool Bind(std::uint32_t stage, std::int32_t subTexture = 0) override;
    bool Lock(std::int32_t subTexture, TLockAccess access, TLockedTexels& info) override;
    bool LockRegion(std::int32_t subTexture, const sd::RECT& rect, TLockedTexels& info,
                    TLockAccess access) override;
    bool Unlock(std::int32_t subTexture) override;

protected:
    sd::TexturePtr m_texture;
};

// A texture the device can draw into: Activate binds it (and its own depth surface) and keeps
// what was bound before; Deactivate puts that back. Kind tkRenderTarget, no mip chain.
class TRenderTarget : public TDXMonoTexture {
public:
    explicit TRenderTarget(TVornDevice* device);
    ~TRenderTarget() override;

    TVornQuality Quality() const { return m_quality; }
    void SetQuality(TVornQuality value) { m_quality = value; }
    TAlphaLevel AlphaLevel() const { return m_alphaLevel; }
    void SetAlphaLevel(TAlphaLevel value) { m_alphaLevel = value; }
    // Use the device's back-buffer format instead of choosing one.
    bool BackBufferFormat() const { return m_backBufferFormat; }
    void SetBackBufferFormat(bool value) { m_backBufferFormat = value; }
    // Create and bind an own depth-stencil surface; changeable only in tsNone.
    bool DepthStencil() const { return m_depthStencil; }
    void SetDepthStencil(bool value);

    // Only in tsReady and while not active already.
    bool Activate();
    void Deactivate();
    bool Active() const { return m_savedTarget != nullptr; }
    const sd::SurfacePtr& DepthSurface() const { return m_depthSurface; }

    bool Prepare() override;
    bool CreateResources() override;
    void ReleaseResources() override;

private:
    TVornQuality m_quality = aqHigh;
    TAlphaLevel m_alphaLevel = alFull;
    bool m_backBufferFormat = false;
    bool m_depthStencil = false;
    sd::SurfacePtr m_depthSurface;
    sd::SurfacePtr m_savedTarget;
    sd::SurfacePtr m_savedDepth;
};

// An array of equally sized managed textures (sub-textures) in one format.
class TDXMultiTexture : public TDXBaseTexture {
public:
    explicit TDXMultiTexture(TVornDevice* device);
    ~TDXMultiTexture() override;

    // Number of sub-textures; negative values become 0; changeable only in tsNone.
    std::int32_t TextureCount() const { return m_textureCount; }
    void SetTextureCount(std::int32_t value);
    // Sub-texture n while ready, else nullptr.
    sd::TexturePtr Texture(std::int32_t n) const;

    bool CreateResources() override;
    void ReleaseResources() override;
    std::uint32_t GetUsage() const override;
    bool Bind(std::uint32_t stage, std::int32_t subTexture = 0) override;
    bool Lock(std::int32_t subTexture, TLockAccess access, TLockedTexels& info) override;
    bool LockRegion(std::int32_t subTexture, const sd::RECT& rect, TLockedTexels& info,
                    TLockAccess access) override;
    bool Unlock(std::int32_t subTexture) override;

private:
    std::int32_t m_textureCount = 1;
    std::vector<sd::TexturePtr> m_textures;
};

} // namespace vorn
