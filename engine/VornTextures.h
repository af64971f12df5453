// The list of render targets: a device subscriber that owns an ordered list of TRenderTarget
// objects addressed by index (0 = first added), follows device loss and reset, and renders a
// callback's drawing into one of them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/DXTextures.h"
#include "engine/VornDef.h"
#include "engine/VornSubsc.h"

namespace vorn {

class TVornTextures : public TVornDeviceSubscriber {
public:
    using TRenderCallback = std::function<void(TVornTextures* sender)>;

    TVornTextures() = default;
    ~TVornTextures() override;

    std::int32_t Count() const { return static_cast<std::int32_t>(m_targets.size()); }
    // nullptr when index < 0 or index >= Count().
    TRenderTarget* GetTarget(std::int32_t index) const;

    // Creates count targets of the publisher's device and appends each one that becomes ready;
    // stops at the first that does not. True only when all count were appended (count <= 0
    // gives false); the targets made before a failure stay in the list.
    bool AddRenderTargetsEx(std::int32_t count, std::int32_t width, std::int32_t height,
                            bool backBufferFormat, TVornQuality quality, TAlphaLevel alphaLevel,
                            bool depthStencil);
    bool AddRenderTargets(std::int32_t count, std::int32_t width, std::int32_t height, TVornQuality quality,
                          TAlphaLevel alphaLevel);
    // Binds target index, clears it to clearColor when clear is set, runs callback inside a
    // scene and binds the previous target again. True when the scene began and the callback
    // ran; fails at once, touching nothing, while another scene is open.
    bool RenderIntoTarget(std::int32_t index, TCanvasColor clearColor, const TRenderCallback& callback,
                          bool clear);
    void RemoveAllTargets();
    // Frees target index; the targets after it move up one place.
    void RemoveTarget(std::int32_t index);

    bool HandleNotification(std::uint32_t message) override;

private:
    std::vector<std::unique_ptr<TRenderTarget>> m_targets;
};

} // namespace vorn
