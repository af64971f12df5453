// The scalar span kernels, the reference twins of the SIMD kernels in SoftRasterSimd.cpp, and the
// choice of the kernel set a draw runs with.
#include "engine/soft/SoftRasterDetail.h"

#include <algorithm>
#include <cstdint>

namespace vorn::sd {

namespace detail {

namespace {

TexelColumn VerticalColumn(std::uint32_t top, std::uint32_t bottom, std::uint32_t fy) {
    TexelColumn c;
    for (int k = 0; k < 4; ++k)
        c.v[k] = static_cast<std::int16_t>(
            static_cast<std::int32_t>(Channel(top, k) * (256 - fy) + Channel(bottom, k) * fy) - 32768);
    return c;
}

void VerticalRangeScalar(const std::uint32_t* row0, const std::uint32_t* row1, std::uint32_t fy,
                         std::int32_t first, int count, TexelColumn* out) {
    for (int i = 0; i < count; ++i) out[i] = VerticalColumn(row0[first + i], row1[first + i], fy);
}

void VerticalListScalar(const std::uint32_t* row0, const std::uint32_t* row1, std::uint32_t fy,
                        const std::int32_t* cols, int count, TexelColumn* out) {
    for (int i = 0; i < count; ++i) out[i] = VerticalColumn(row0[cols[i]], row1[cols[i]], fy);
}

void HorizontalScalar(const TexelColumn* columns, const std::int32_t* index, const std::uint32_t* weights,
                      int n, std::uint32_t* out) {
    for (int i = 0; i < n; ++i) {
        const TexelColumn& left = columns[index[i]];
        const TexelColumn& right = columns[index[i] + 1];
        const auto wl = static_cast<std::int32_t>(weights[i] & 0xFFFF);
        const auto wr = static_cast<std::int32_t>(weights[i] >> 16);
        std::uint32_t c = 0;
        for (int k = 0; k < 4; ++k) {
            // The weights add up to 256, so the 32768 offsets add up to 2^23.
            const std::int32_t v = left.v[k] * wl + right.v[k] * wr + (1 << 23) + (1 << 15);
            c |= static_cast<std::uint32_t>(v >> 16) << (8 * k);
        }
        out[i] = c;
    }
}

std::uint32_t Modulate(std::uint32_t t, std::uint32_t d) {
    std::uint32_t c = 0;
    for (int k = 0; k < 4; ++k) c |= Mul8(Channel(t, k), Channel(d, k)) << (8 * k);
    return c;
}

void ModulateConstScalar(const std::uint32_t* tex, std::uint32_t dif, std::uint32_t* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = Modulate(tex[i], dif);
}

void ModulateScalar(const std::uint32_t* tex, const std::uint32_t* dif, std::uint32_t* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = Modulate(tex[i], dif[i]);
}

// Cover: the alpha channel's source factor is 255 rather than As.
template <bool Cover> void BlendSrcAlphaScalarT(const std::uint32_t* src, std::uint32_t* dst, int n) {
    for (int i = 0; i < n; ++i) {
        const std::uint32_t s = src[i], d = dst[i], a = s >> 24;
        std::uint32_t c = 0;
        for (int k = 0; k < 4; ++k)
            c |= std::min<std::uint32_t>(255, Mul8(Channel(s, k), Cover && k == 3 ? 255 : a) +
                                                  Mul8(Channel(d, k), 255 - a))
                 << (8 * k);
        dst[i] = c;
    }
}

template <bool Cover>
void BlendSrcAlphaTintedScalarT(const std::uint32_t* tex, std::uint32_t dif, std::uint32_t* dst, int n) {
    for (int i = 0; i < n; ++i) {
        const std::uint32_t s = Modulate(tex[i], dif);
        BlendSrcAlphaScalarT<Cover>(&s, dst + i, 1);
    }
}

template <bool Cover>
void BlendSrcAlphaTintedReversedScalarT(const std::uint32_t* texLast, std::uint32_t dif, std::uint32_t* dst,
                                        int n) {
    for (int i = 0; i < n; ++i) {
        const std::uint32_t s = Modulate(texLast[-i], dif);
        BlendSrcAlphaScalarT<Cover>(&s, dst + i, 1);
    }
}

constexpr auto BlendSrcAlphaScalar = BlendSrcAlphaScalarT<false>;
constexpr auto BlendSrcAlphaTintedScalar = BlendSrcAlphaTintedScalarT<false>;
constexpr auto BlendSrcAlphaTintedReversedScalar = BlendSrcAlphaTintedReversedScalarT<false>;

template <DWORD Op>
std::uint32_t BlendOpChannel(std::uint32_t s, std::uint32_t fs, std::uint32_t d, std::uint32_t fd) {
    if constexpr (Op == D3DBLENDOP_MIN) return std::min(s, d);
    if constexpr (Op == D3DBLENDOP_MAX) return std::max(s, d);
    const auto a = static_cast<std::int32_t>(Mul8(s, fs));
    const auto b = static_cast<std::int32_t>(Mul8(d, fd));
    if constexpr (Op == D3DBLENDOP_SUBTRACT) return static_cast<std::uint32_t>(std::max(a - b, 0));
    if constexpr (Op == D3DBLENDOP_REVSUBTRACT) return static_cast<std::uint32_t>(std::max(b - a, 0));
    return static_cast<std::uint32_t>(std::min(a + b, 255));
}

template <DWORD Op>
void BlendOpSpan(const std::uint32_t* src, const std::uint32_t* fs, const std::uint32_t* dst,
                 const std::uint32_t* fd, std::uint32_t* out, int n) {
    for (int i = 0; i < n; ++i) {
        std::uint32_t c = 0;
        for (int k = 0; k < 4; ++k)
            c |= BlendOpChannel<Op>(Channel(src[i], k), Channel(fs[i], k), Channel(dst[i], k),
                                    Channel(fd[i], k))
                 << (8 * k);
        out[i] = c;
    }
}

void BlendOpScalar(DWORD op, const std::uint32_t* src, const std::uint32_t* fs, const std::uint32_t* dst,
                   const std::uint32_t* fd, std::uint32_t* out, int n) {
    WithBlendOp(op, [&]<DWORD Op>() { BlendOpSpan<Op>(src, fs, dst, fd, out, n); });
}

const Kernels ScalarSet = {VerticalRangeScalar,
                           VerticalListScalar,
                           HorizontalScalar,
                           ModulateConstScalar,
                           ModulateScalar,
                           BlendSrcAlphaScalar,
                           BlendSrcAlphaTintedScalar,
                           BlendOpScalar,
                           BlendSrcAlphaTintedReversedScalar,
                           BlendSrcAlphaScalarT<true>,
                           BlendSrcAlphaTintedScalarT<true>,
                           BlendSrcAlphaTintedReversedScalarT<true>};

} // namespace

const Kernels& ScalarKernels() {
    return ScalarSet;
}

const Kernels& ActiveKernels(SimdLevel cap) {
    const SimdLevel level = ActiveSimdLevel(cap);
    if (level >= SimdLevel::Avx512)
        if (const Kernels* k = Avx512Kernels()) return *k;
    if (level >= SimdLevel::Avx2)
        if (const Kernels* k = Avx2Kernels()) return *k;
    if (level >= SimdLevel::Sse41)
        if (const Kernels* k = Sse41Kernels()) return *k;
    return ScalarSet;
}

} // namespace detail

} // namespace vorn::sd
