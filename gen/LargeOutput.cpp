#include "gen/LargeOutput.h"

#include "archive/VornDb.h"
#include "archive/VornImages.h"
#include "engine/VornCanvas.h"
#include "engine/VornDevices.h"
#include "engine/VornTextures.h"
#include "gen/CanvasPainter.h"

namespace vorn {

namespace {

// Target index drawn as an axis-aligned square of side size centred at (x, y).
void DrawTarget(const TLargeSources& from, std::int32_t index, double x, double y, double size) {
    TRenderTarget* target = from.textures.GetTarget(index);
    if (!from.canvas || !target) return;
    const TFloatQuad quad = RotatedQuad(MakeFloatPoint(x, y), MakeFloatPoint(size, size),
                                        MakeFloatPoint(size / 2, size / 2), 0.0, 1.0);
    from.canvas->DrawTexturedQuad(target, quad, ColorQuadWhite, SelectionWhole, beOpaque);
}

} // namespace

TLargeOutput::TLargeOutput() = default;
TLargeOutput::~TLargeOutput() = default;

TLargeResult TLargeOutput::Render(int size, const TPaintChain& chain, const TLargeSources& from,
                                  TGenHooks& hooks) {
    if (!Target(size, from.textures)) {
        m_exactSize = 0;
        return TLargeResult::Failed;
    }
    if (!chain.Complete()) {
        const bool drawn = from.textures.RenderIntoTarget(
            LargeTargetIndex, 0,
            [&](TVornTextures*) { DrawTarget(from, from.tileTarget, size / 2, size / 2, size); }, true);
        m_exactSize = 0;
        return drawn ? TLargeResult::Magnified : TLargeResult::Failed;
    }
    LoadTwins(from);
    // Only the calls since the last drawing when the target holds the chain's start at this size.
    const bool extend = m_exactSize == size && m_drawn <= chain.Calls().size();
    const std::size_t first = extend ? m_drawn : 0;
    const std::size_t last = chain.Calls().size();
    bool stopped = false;
    const bool drawn = from.textures.RenderIntoTarget(
        LargeTargetIndex, 0,
        [&](TVornTextures*) {
            if (!from.canvas || !from.images) return;
            TCanvasPainter painter(*from.canvas, *from.images, &m_twins);
            stopped = !ReplayScaled(chain.Calls(), first, last, size / TileSize, painter, PumpCalls, [&] {
                hooks.PumpMessages();
                return !hooks.StopRequested();
            });
        },
        !extend);
    m_exactSize = drawn && !stopped ? size : 0;
    m_drawn = last;
    if (stopped) return TLargeResult::Stopped;
    return drawn ? TLargeResult::Exact : TLargeResult::Failed;
}

TRenderTarget* TLargeOutput::Target(int size, TVornTextures& textures) {
    if (TRenderTarget* target = textures.GetTarget(LargeTargetIndex)) {
        if (target->Width() == size) return target;
        Free(textures);
    }
    if (textures.Count() != LargeTargetIndex || !textures.AddRenderTargets(1, size, size, aqHigh, alFull))
        return nullptr;
    return textures.GetTarget(LargeTargetIndex);
}

void TLargeOutput::Free(TVornTextures& textures) {
    if (textures.Count() > LargeTargetIndex) textures.RemoveTarget(LargeTargetIndex);
    m_exactSize = 0;
}

void TLargeOutput::ForgetTwins() {
    m_twinImages.reset();
    m_twins = {};
    m_twinsLoaded = false;
    m_badTwins.clear();
}

void TLargeOutput::LoadTwins(const TLargeSources& from) {
    if (m_twinsLoaded || !from.images || !from.archive || !from.device) return;
    m_twinsLoaded = true;
    m_twinImages = std::make_unique<TVornImages>();
    m_twinImages->SetPublisher(from.device);
    m_twinImages->SetMipMappping(false);
    m_badTwins.clear();
    for (std::int32_t i = 0; i < TwinImages; ++i) {
        const TVornImage* brush = from.images->Item(FirstTwinImage + i);
        m_twins[std::size_t(i)] = nullptr;
        if (!brush ||
            !m_twinImages->AddFromVornDb(brush->Name() + HighResSuffix, *from.archive, aqHigh, alFull))
            continue;
        const std::int32_t last = m_twinImages->Count() - 1;
        TVornImage* twin = m_twinImages->Item(last);
        // A twin is drawn at 1 / HighResFactor of its brush's scale: any other size would draw the
        // stamp too large or too small.
        const TIntSize twinSize = twin->VisibleSize(), brushSize = brush->VisibleSize();
        if (twinSize.Width == brushSize.Width * HighResFactor &&
            twinSize.Height == brushSize.Height * HighResFactor) {
            m_twins[std::size_t(i)] = twin;
        } else {
            m_badTwins.push_back({from.archive->FileName(), brush->Name(), twinSize.Width, twinSize.Height,
                                  brushSize.Width, brushSize.Height});
            m_twinImages->RemoveImage(last);
        }
    }
}

std::string BadTwinText(const TBadTwin& twin) {
    const auto size = [](int width, int height) {
        return std::to_string(width) + " x " + std::to_string(height);
    };
    return "Brush archive " + twin.archive + ": twin " + twin.key + HighResSuffix + " is " +
           size(twin.width, twin.height) + ", not " + std::to_string(HighResFactor) + " times " + twin.key +
           "'s " + size(twin.brushWidth, twin.brushHeight) + "; magnified instead";
}

} // namespace vorn
