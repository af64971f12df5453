#include "engine/VornTextures.h"

#include "engine/VornDevices.h"

namespace vorn {

TVornTextures::~TVornTextures() {
    RemoveAllTargets();
}

TRenderTarget* TVornTextures::GetTarget(std::int32_t index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return m_targets[static_cast<std::size_t>(index)].get();
}

bool TVornTextures::AddRenderTargetsEx(std::int32_t count, std::int32_t width, std::int32_t height,
                                       bool backBufferFormat, TVornQuality quality, TAlphaLevel alphaLevel,
                                       bool depthStencil) {
    bool appended = false;
    for (std::int32_t i = 0; i < count; ++i) {
        auto target = std::make_unique<TRenderTarget>(GetDevice());
        target->SetSize(width, height);
        target->SetBackBufferFormat(backBufferFormat);
        target->SetQuality(quality);
        target->SetAlphaLevel(alphaLevel);
        target->SetDepthStencil(depthStencil);
        target->ChangeState(tsReady);
        appended = target->State() == tsReady;
        if (!appended) break; // the target is freed here
        m_targets.push_back(std::move(target));
    }
    return appended;
}

bool TVornTextures::AddRenderTargets(std::int32_t count, std::int32_t width, std::int32_t height,
                                     TVornQuality quality, TAlphaLevel alphaLevel) {
    return AddRenderTargetsEx(count, width, height, false, quality, alphaLevel, false);
}

bool TVornTextures::RenderIntoTarget(std::int32_t index, TCanvasColor clearColor,
                                     const TRenderCallback& callback, bool clear) {
    TRenderTarget* target = GetTarget(index);
    TVornDevice* device = GetDevice();
    if (!target || !device || device->SceneOpen()) return false;
    if (!target->Activate()) return false;

    bool result = !clear || device->ClearTarget(clearColor, target->DepthStencil());
    result = result && device->BeginScene();
    if (result) {
        if (callback) callback(this);
        device->EndScene(); // its answer does not change the result
    }
    // The callback may have emptied the list (the device finalised while it ran); a freed
    // target has put the previous binding back already.
    if (GetTarget(index) == target) target->Deactivate();
    return result;
}

void TVornTextures::RemoveTarget(std::int32_t index) {
    if (index < 0 || index >= Count()) return;
    // Taken out of the list first, so that nothing sees a half-freed target.
    std::unique_ptr<TRenderTarget> target = std::move(m_targets[static_cast<std::size_t>(index)]);
    m_targets.erase(m_targets.begin() + index);
    target.reset();
}

void TVornTextures::RemoveAllTargets() {
    // Detach the list first, so that nothing sees half-freed targets.
    std::vector<std::unique_ptr<TRenderTarget>> targets = std::move(m_targets);
    m_targets.clear();
    targets.clear();
}

bool TVornTextures::HandleNotification(std::uint32_t message) {
    switch (message) {
    case msgFinalize:
        RemoveAllTargets();
        break;
    case msgDeviceLost:
        for (auto& target : m_targets) target->ChangeState(tsLost);
        break;
    case msgDeviceReset:
        for (auto& target : m_targets) target->ChangeState(tsReady);
        break;
    default:
        break;
    }
    return true;
}

} // namespace vorn
