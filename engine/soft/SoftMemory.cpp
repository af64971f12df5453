#include "engine/soft/SoftMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cassert>
#include <cstdlib>
#include <new>
#include <utility>

namespace vorn::sd {

namespace {

// The size of a transparent huge page on x86-64 (and the usual one elsewhere). Smaller blocks
// come from calloc, which maps large ones fresh from the system as well but reuses freed heap
// memory for surfaces made and dropped again and again (a read-back per export).
constexpr std::size_t HugePage = std::size_t(2) << 20;

std::size_t PageSize() {
    static const std::size_t page = [] {
        const long size = sysconf(_SC_PAGESIZE);
        return size > 0 ? std::size_t(size) : std::size_t(4096);
    }();
    return page;
}

// munmap of whole pages of a mapping of ours, which cannot fail.
void Unmap(void* start, std::size_t length) noexcept {
    [[maybe_unused]] const int unmapped = munmap(start, length);
    assert(unmapped == 0);
}

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
    // The unaligned head and the tail beyond the block go back at once. munmap takes whole
    // pages: the block keeps its last page whole, and the tail starts at the next page boundary
    // and runs to the mapping's end (which the kernel rounded up to a page).
    const std::size_t page = PageSize();
    const std::size_t kept = (size + page - 1) / page * page;
    if (head > 0) Unmap(start, head);
    Unmap(start + head + kept, HugePage - head); // at least a page, as head < HugePage
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
        Unmap(m_data, m_size); // the kernel takes the last page whole
    else
        std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_mapped = false;
}

} // namespace vorn::sd
