// Index buffers of the software device: 16- or 32-bit indices the indexed draw calls read, locked
// for writing by the caller.
#include "engine/soft/SoftDevice.h"

#include "engine/soft/SoftBufferImpl.h"

namespace vorn::sd {

IndexBuffer::IndexBuffer(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
IndexBuffer::~IndexBuffer() = default;
HRESULT IndexBuffer::Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD) {
    return LockBuffer(*m_impl, offsetToLock, sizeToLock, data);
}
HRESULT IndexBuffer::Unlock() {
    return UnlockBuffer(*m_impl);
}

} // namespace vorn::sd
