#include "gen/PreviewCompose.h"

#include <algorithm>
#include <cstddef>

#include "engine/DXTextures.h"

namespace vorn {

namespace {

constexpr int TileTexels = 2 * PreviewSize;
constexpr int PaneLeft = static_cast<int>(PreviewPaneCentre) - PreviewPaneSize / 2; // 308

// Level 0 of a target locked for reading while it lives; Bits() is null when the lock failed
// or the texels are not 32 bits wide.
class TReadLock {
public:
    explicit TReadLock(TRenderTarget& target) : m_target(target) {
        m_locked = target.Lock(0, laRead, m_info);
    }
    ~TReadLock() {
        if (m_locked) m_target.Unlock(0);
    }
    TReadLock(const TReadLock&) = delete;
    TReadLock& operator=(const TReadLock&) = delete;

    const std::uint32_t* Row(int y) const {
        return reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(m_info.Bits) +
                                                      static_cast<std::ptrdiff_t>(y) * m_info.Pitch);
    }
    bool Readable() const {
        return m_locked && m_info.Bits && (m_info.Format == tfA8R8G8B8 || m_info.Format == tfX8R8G8B8);
    }

private:
    TRenderTarget& m_target;
    TLockedTexels m_info;
    bool m_locked = false;
};

// One output row from two tile rows: per channel (a + b + c + d + 2) >> 2, two channels at a time
// in 16-bit lanes (four 8-bit values sum to at most 1020, so a lane never overflows).
// withAlpha: alpha is the mean too, else 0xFF.
void HalveRow(const std::uint32_t* top, const std::uint32_t* bottom, std::uint32_t* out, int width,
              bool withAlpha) {
    constexpr std::uint32_t Lanes = 0x00FF00FFu;
    for (int x = 0; x < width; ++x) {
        const std::uint32_t a = top[2 * x], b = top[2 * x + 1], c = bottom[2 * x], d = bottom[2 * x + 1];
        const std::uint32_t blueRed = (a & Lanes) + (b & Lanes) + (c & Lanes) + (d & Lanes) + 0x00020002u;
        const std::uint32_t green =
            ((a >> 8) & 0xFFu) + ((b >> 8) & 0xFFu) + ((c >> 8) & 0xFFu) + ((d >> 8) & 0xFFu) + 2u;
        const std::uint32_t alpha =
            withAlpha ? ((a >> 24) + (b >> 24) + (c >> 24) + (d >> 24) + 2u) >> 2 << 24 : 0xFF000000u;
        out[x] = alpha | ((blueRed >> 2) & Lanes) | (((green >> 2) & 0xFFu) << 8);
    }
}

// The row of a transparent tile over the matte's red, green and blue (red in bits 0-7).
void OverMatte(std::uint32_t* row, int width, std::uint32_t matte) {
    const std::uint32_t m[3] = {matte >> 16 & 0xFFu, matte >> 8 & 0xFFu, matte & 0xFFu}; // as B, G, R
    for (int x = 0; x < width; ++x) {
        const std::uint32_t c = row[x], rest = 255 - (c >> 24);
        std::uint32_t out = 0xFF000000u;
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t t = m[k] * rest + 128;
            out |= std::min<std::uint32_t>(255, (c >> (8 * k) & 0xFFu) + ((t + (t >> 8)) >> 8)) << (8 * k);
        }
        row[x] = out;
    }
}

} // namespace

bool ComposePreview(TRenderTarget& tile, TRenderTarget* view, int scale, std::vector<std::uint32_t>& frame,
                    const std::uint32_t* matte) {
    if (scale != 1 && scale != 2) return false;
    if (tile.Width() != TileTexels || tile.Height() != TileTexels) return false;
    if (view && (view->Width() != PreviewPaneSize || view->Height() != PreviewPaneSize)) return false;
    const int size = PreviewSize * scale;
    frame.resize(static_cast<std::size_t>(size) * size);
    {
        const TReadLock texels(tile);
        if (!texels.Readable()) return false;
        for (int y = 0; y < size; ++y) {
            std::uint32_t* out = frame.data() + static_cast<std::size_t>(y) * size;
            if (scale == 1) {
                HalveRow(texels.Row(2 * y), texels.Row(2 * y + 1), out, size, matte != nullptr);
            } else {
                const std::uint32_t* in = texels.Row(y);
                const std::uint32_t opaque = matte ? 0u : 0xFF000000u;
                for (int x = 0; x < size; ++x) out[x] = in[x] | opaque;
            }
            if (matte) OverMatte(out, size, *matte);
        }
    }
    if (!view) return true;
    // The pane's part on the surface: view texels 0..203 at surface pixels 308..511.
    const TReadLock texels(*view);
    if (!texels.Readable()) return false;
    for (int y = PaneLeft * scale; y < size; ++y) {
        const std::uint32_t* in = texels.Row(y / scale - PaneLeft);
        std::uint32_t* out = frame.data() + static_cast<std::size_t>(y) * size;
        for (int x = PaneLeft * scale; x < size; ++x) out[x] = in[x / scale - PaneLeft] | 0xFF000000u;
    }
    return true;
}

} // namespace vorn
