// Zero-filled memory for surfaces and other large buffers, never cleared by hand: blocks of
// 256 KiB and more are mapped from the system, aligned to 2 MiB and offered transparent huge
// pages (a block smaller than 2 MiB takes one whole); their fresh pages read as zero and cost
// nothing until first written, so a large surface touches only what is drawn into it. Smaller
// blocks come from calloc. The memory is released when the object goes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorn::sd {

class ZeroedMemory {
public:
    ZeroedMemory() = default;
    // size bytes, all zero; throws std::bad_alloc when the system has none.
    explicit ZeroedMemory(std::size_t size);
    ~ZeroedMemory();
    ZeroedMemory(ZeroedMemory&& other) noexcept;
    ZeroedMemory& operator=(ZeroedMemory&& other) noexcept;
    ZeroedMemory(const ZeroedMemory&) = delete;
    ZeroedMemory& operator=(const ZeroedMemory&) = delete;

    std::uint8_t* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

private:
    void Release() noexcept;

    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_mapped = 0; // the length mapped; 0 when the block came from calloc
};

} // namespace vorn::sd
