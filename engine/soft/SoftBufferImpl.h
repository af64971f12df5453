// Private state of the software vertex and index buffers: their bytes and lock, which both kinds
// take the same way.
#pragma once

#include "engine/soft/SoftDevice.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorn::sd {

struct VertexBuffer::Impl {
    std::vector<std::uint8_t> data;
    DWORD usage = 0;
    DWORD fvf = 0;
    D3DPOOL pool = D3DPOOL_DEFAULT;
    bool locked = false;
};

struct IndexBuffer::Impl {
    std::vector<std::uint8_t> data;
    DWORD usage = 0;
    D3DFORMAT format = D3DFMT_INDEX16;
    D3DPOOL pool = D3DPOOL_DEFAULT;
    bool locked = false;
};

template <class I> HRESULT LockBuffer(I& b, UINT offset, UINT size, void** data) {
    if (!data || b.locked) return D3DERR_INVALIDCALL;
    const std::size_t length = b.data.size();
    if (offset > length || (size != 0 && size > length - offset)) return D3DERR_INVALIDCALL;
    b.locked = true;
    *data = b.data.data() + offset;
    return D3D_OK;
}

template <class I> HRESULT UnlockBuffer(I& b) {
    if (!b.locked) return D3DERR_INVALIDCALL;
    b.locked = false;
    return D3D_OK;
}

} // namespace vorn::sd
