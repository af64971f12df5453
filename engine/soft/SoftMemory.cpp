#include "engine/soft/SoftMemory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>
#include <utility>

namespace vorn::sd {

namespace {

// The size of a transparent huge page on x86-64 (and the usual one elsewhere). Smaller blocks
// come from calloc, which maps large ones fresh from the system as well but reuses freed heap
// memory for surfaces made and dropped again and again (a read-back per export).
constexpr std::size_t HugePage = std::size_t(2) << 20;

} // namespace

ZeroedMemory::ZeroedMemory(std::size_t size) {
    if (size == 0) return;
    if (size < HugePage) {
        m_data = static_cast<std::uint8_t*>(std::calloc(size, 1));
        if (!m_data) throw std::bad_alloc();
        m_size = size;
        return;
    }
    // One huge page more is mapped, so that an aligned start can be cut out of it.
    if (size > SIZE_MAX - HugePage) throw std::bad_alloc();
    void* mapping =
        mmap(nullptr, size + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) throw std::bad_alloc();
    auto* start = static_cast<std::uint8_t*>(mapping);
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(start);
    const std::size_t head = (HugePage - address % HugePage) % HugePage;
    // The unaligned head and the tail beyond the block go back at once.
    if (head > 0) munmap(start, head);
    if (HugePage - head > 0) munmap(start + head + size, HugePage - head);
    start += head;
    madvise(start, size, MADV_HUGEPAGE); // a hint: without huge pages the block still works
    m_mapped = true;
    m_data = start;
    m_size = size;
}

ZeroedMemory::~ZeroedMemory() {
    Release();
}

ZeroedMemory::ZeroedMemory(ZeroedMemory&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_mapped(std::exchange(other.m_mapped, false)) {}

ZeroedMemory& ZeroedMemory::operator=(ZeroedMemory&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapped = std::exchange(other.m_mapped, false);
    }
    return *this;
}

void ZeroedMemory::Release() noexcept {
    if (m_mapped)
        munmap(m_data, m_size);
    else
        std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_mapped = false;
}

} // namespace vorn::sd
