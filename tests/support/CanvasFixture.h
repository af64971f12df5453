// A headless engine for canvas tests: a device that owns a canvas, a render-target list, and
// ready A8R8G8B8 images, all set up as the application configures them. Fixtures derive from
// CanvasFixture, call ConfigureCanvas() before initialising m_device, and finalise it in TearDown.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "FaultyDevice.h"
#include "archive/VornImages.h"
#include "engine/DXTextures.h"
#include "engine/VornCanvas.h"
#include "engine/VornDevices.h"
#include "engine/VornTextures.h"

namespace vorn::test {

class CanvasFixture : public ::testing::Test {
protected:
    // The canvas and the targets subscribe to the device; alpha testing off and a cache of
    // 4096 vertices, as the application has them.
    void ConfigureCanvas() {
        m_canvas = m_device.OwnComponent(std::make_unique<TVornCanvas>());
        m_canvas->SetPublisher(&m_device);
        m_textures.SetPublisher(&m_device);
        m_canvas->SetAlphaTesting(false);
        m_canvas->SetVertexCache(4096);
    }
    // Images go before the device does.
    void TearDown() override {
        m_images.clear();
        m_device.Finalize();
    }

    // A ready, unmipmapped image of count sub-textures of width x height texels, kept until
    // TearDown. A negative patternCount leaves the image's own pattern count.
    TVornImage* AddReadyImage(std::int32_t width, std::int32_t height, std::int32_t count, TIntSize pattern,
                              TIntSize visible, std::int32_t patternCount = -1) {
        auto image = std::make_unique<TVornImage>(&m_device);
        image->SetMipmapping(false);
        image->SetSize(width, height);
        image->SetTextureCount(count);
        image->SetPatternSize(pattern);
        image->SetVisibleSize(visible);
        if (patternCount >= 0) image->SetPatternCount(patternCount);
        image->ChangeState(tsReady);
        EXPECT_EQ(image->State(), tsReady);
        m_images.push_back(std::move(image));
        return m_images.back().get();
    }

    DeviceFaults m_faults; // before the device, which refers to it
    TVornDevice m_device{FaultyDirect3DFactory(m_faults)};
    TVornCanvas* m_canvas = nullptr;
    TVornTextures m_textures;
    std::vector<std::unique_ptr<TVornImage>> m_images;
};

} // namespace vorn::test
