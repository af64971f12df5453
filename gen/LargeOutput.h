// The output of 2048 and 4096: the large render target (position LargeTargetIndex, made when first
// drawn, freed at the smaller sizes), the side and the calls of the tile's paint chain it holds,
// and the brushes' high-resolution twins. Each Render answers what the target then shows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gen/GenSettings.h"
#include "gen/LargeTile.h"

namespace vorn {

class TRenderTarget;
class TVornCanvas;
class TVornDb;
class TVornDevice;
class TVornImage;
class TVornImages;
class TVornTextures;

// The large target's position, after the seven targets made at start-up.
inline constexpr std::int32_t LargeTargetIndex = 7;

// A brush's high-resolution twin that large textures leave unused: its visible size is not
// HighResFactor times its brush's, so the brush is magnified instead, as when it has no twin.
struct TBadTwin {
    std::string archive;                 // the archive's file name
    std::string key;                     // the brush's key; the twin's is key + HighResSuffix
    int width = 0, height = 0;           // the twin's visible size
    int brushWidth = 0, brushHeight = 0; // the brush's
};

// "Brush archive PATH: twin KEY-4x is 60 x 60, not 4 times KEY's 16 x 16; magnified instead".
std::string BadTwinText(const TBadTwin& twin);

// What the large target shows after a Render.
enum class TLargeResult {
    Exact,     // the texture drawn at the size from the tile's calls
    Magnified, // the tile magnified: the calls that made it are not known
    Stopped,   // the hooks stopped the replay: the target holds a part of the texture
    Failed,    // no target of the size could be made, or the device refused to draw into it
};

// What a Render draws with. Only textures is required; without a canvas (or images) nothing is
// drawn, without an archive or a device no twin is loaded.
struct TLargeSources {
    TVornTextures& textures;
    std::int32_t tileTarget = 1; // the 1024 tile's position, magnified when the calls are unknown
    TVornCanvas* canvas = nullptr;
    const TVornImages* images = nullptr; // the brushes
    TVornDb* archive = nullptr;          // where the twins are read
    TVornDevice* device = nullptr;       // the twins' publisher
};

class TLargeOutput {
public:
    // A replay runs the message pump once per this many calls, as the synthesis does per step.
    static constexpr std::size_t PumpCalls = 64;

    TLargeOutput();
    ~TLargeOutput();
    TLargeOutput(const TLargeOutput&) = delete;
    TLargeOutput& operator=(const TLargeOutput&) = delete;

    // Draws the texture of chain at size (2048 or 4096) into the large target, made (or made again
    // at another side) first: only the calls since the last Render when the target holds the
    // chain's start at this size, all of them into a cleared target otherwise, the brushes' twins
    // loaded before the first replay. The tile magnified when the chain is incomplete.
    TLargeResult Render(int size, const TPaintChain& chain, const TLargeSources& from, TGenHooks& hooks);
    // The large target made at size (or kept) without drawing into it, for an output whose every
    // texel is drawn over afterwards; it holds no texture of the chain. False when it cannot be made.
    bool Reserve(int size, TVornTextures& textures) {
        m_exactSize = 0;
        return Target(size, textures) != nullptr;
    }
    // Side of the texture the large target holds exactly; 0 = none.
    int ExactSize() const { return m_exactSize; }
    // The chain was restarted or forgotten: what the target holds is drawn from no calls of it.
    void Forget() { m_exactSize = 0; }
    // Frees the large target (64 MiB at 4096), kept for no size it does not show.
    void Free(TVornTextures& textures);

    // Another brush set: the twins are loaded from it before the next replay.
    void ForgetTwins();
    // The twins left unused, found when they were last loaded (none before that).
    const std::vector<TBadTwin>& BadTwins() const { return m_badTwins; }

private:
    TRenderTarget* Target(int size, TVornTextures& textures);
    void LoadTwins(const TLargeSources& from);

    int m_exactSize = 0;     // side of the texture the target holds; 0 = none exact
    std::size_t m_drawn = 0; // calls of the chain the target holds
    std::unique_ptr<TVornImages> m_twinImages;
    std::array<TVornImage*, TwinImages> m_twins{};
    bool m_twinsLoaded = false;
    std::vector<TBadTwin> m_badTwins;
};

} // namespace vorn
