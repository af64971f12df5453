// A host window stand-in that keeps what the device last presented to it.
// The image is copied row by row without the pitch padding, as 0xAARRGGBB values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/soft/SoftDevice.h"

namespace vorn::test {

class CaptureSink : public sd::HostSink {
public:
    void PresentImage(const std::uint32_t* pixels, int width, int height, int pitchBytes) override {
        ++presents;
        this->width = width;
        this->height = height;
        pitch = pitchBytes;
        firstPixel = pixels[0];
        image.clear();
        for (int y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const char*>(pixels) +
                                                                     std::ptrdiff_t(y) * pitchBytes);
            image.insert(image.end(), row, row + width);
        }
    }

    int presents = 0;
    int width = 0;
    int height = 0;
    int pitch = 0;                // bytes from one row to the next
    std::uint32_t firstPixel = 0; // the top-left pixel
    std::vector<std::uint32_t> image;
};

} // namespace vorn::test
