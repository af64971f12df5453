// What a host sets of the software device layer: where Present delivers frames, what makes the
// Direct3D object a device owner starts from, and how many threads rasterise. The layers above
// the engine need only this much of engine/soft.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace vorn::sd {

// Where Present delivers the back buffer: the window's preview surface implements it.
// pixels: Height rows of Width A8R8G8B8 values (0xAARRGGBB), rows pitchBytes apart, top first.
class HostSink {
public:
    virtual ~HostSink() = default;
    virtual void PresentImage(const std::uint32_t* pixels, int width, int height, int pitchBytes) = 0;
};

class Direct3D;
using Direct3DPtr = std::shared_ptr<Direct3D>;

// Makes the Direct3D object a device owner starts from (Direct3DCreate9 for the real layer; a
// test passes one whose devices fail or record calls). nullptr = no Direct3D.
using Direct3DFactory = std::function<Direct3DPtr()>;

// The process's rasteriser thread count: set by SetRasterThreads, else the environment variable
// PALLIMOR_THREADS, else the number of cores. 1 draws everything on the calling thread.
int RasterThreads();
// count < 1 goes back to the default.
void SetRasterThreads(int count);

// The thread count of the draws made on the calling thread while it lives (count < 1: the
// process's), for a host that draws textures on several threads at once, each with its own count.
class RasterThreadsScope {
public:
    explicit RasterThreadsScope(int count);
    ~RasterThreadsScope();
    RasterThreadsScope(const RasterThreadsScope&) = delete;
    RasterThreadsScope& operator=(const RasterThreadsScope&) = delete;

private:
    int m_before;
};

} // namespace vorn::sd
