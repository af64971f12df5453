#include "engine/soft/SoftMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <new>
#include <utility>

namespace vorn::sd {

namespace {

// The size of a transparent huge page on x86-64 (and the usual one elsewhere).
constexpr std::size_t HugePage = std::size_t(2) << 20;
// Blocks from this size on are mapped, a smaller one in a whole huge page of its own: a page
// fault costs about as much as clearing 64 KiB (and ten times that in some virtual machines),
// so one fault and a cleared huge page beat the 64 faults of 256 KiB in small pages. Smaller
// blocks come from calloc, which reuses freed heap memory for blocks made and dropped again and
// again. In the browser every mapping is heap memory: no huge pages, and blocks keep their size.
#ifdef __EMSCRIPTEN__
constexpr std::size_t MappedFrom = HugePage;
#else
constexpr std::size_t MappedFrom = std::size_t(256) << 10;
#endif

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
    if (size < MappedFrom) {
        m_data = static_cast<std::uint8_t*>(std::calloc(size, 1));
        if (!m_data) throw std::bad_alloc();
        m_size = size;
        return;
    }
    // The kernel backs only whole aligned huge pages of a mapping with them: a smaller block
    // takes one whole. One huge page more is mapped, so that an aligned start can be cut out.
    const std::size_t length = std::max(size, HugePage);
    if (length > SIZE_MAX - HugePage) throw std::bad_alloc();
    void* mapping =
        mmap(nullptr, length + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) throw std::bad_alloc();
    auto* start = static_cast<std::uint8_t*>(mapping);
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(start);
    const std::size_t head = (HugePage - address % HugePage) % HugePage;
    // The unaligned head and the tail beyond the block go back at once. munmap takes whole
    // pages: the block keeps its last page whole, and the tail starts at the next page boundary
    // and runs to the mapping's end (which the kernel rounded up to a page).
    const std::size_t page = PageSize();
    const std::size_t kept = (length + page - 1) / page * page;
    if (head > 0) Unmap(start, head);
    Unmap(start + head + kept, HugePage - head); // at least a page, as head < HugePage
    start += head;
    madvise(start, length, MADV_HUGEPAGE); // a hint: without huge pages the block still works
    m_mapped = kept;
    m_data = start;
    m_size = size;
}

ZeroedMemory::~ZeroedMemory() {
    Release();
}

ZeroedMemory::ZeroedMemory(ZeroedMemory&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_mapped(std::exchange(other.m_mapped, 0)) {}

ZeroedMemory& ZeroedMemory::operator=(ZeroedMemory&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapped = std::exchange(other.m_mapped, 0);
    }
    return *this;
}

void ZeroedMemory::Release() noexcept {
    if (m_mapped > 0)
        Unmap(m_data, m_mapped);
    else
        std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_mapped = 0;
}

} // namespace vorn::sd
