// Vertex buffers of the software device: plain bytes the draw calls read vertices from, locked
// for writing by the caller.
#include "engine/soft/SoftDevice.h"

#include "engine/soft/SoftBufferImpl.h"

namespace vorn::sd {

VertexBuffer::VertexBuffer(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
VertexBuffer::~VertexBuffer() = default;
HRESULT VertexBuffer::Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD) {
    return LockBuffer(*m_impl, offsetToLock, sizeToLock, data);
}
HRESULT VertexBuffer::Unlock() {
    return UnlockBuffer(*m_impl);
}

} // namespace vorn::sd
