// SIMD twins of the scalar span kernels (AVX2 and SSE4.1), built into the baseline x86-64 binary
// with target attributes and chosen at run time from what the processor offers. Every kernel
// computes exactly the integers its scalar twin computes; only the number of pixels per step
// differs. Channels are widened to 16-bit lanes, where Mul8's t = a * b + 128 stays below 65536.
#include "engine/soft/SoftRasterDetail.h"

#include <algorithm>

// PALLIMOR_NO_SIMD (CMake option PALLIMOR_SIMD=OFF) builds the scalar kernels only, as on a
// processor without x86 intrinsics.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(PALLIMOR_NO_SIMD)
#include <immintrin.h>
#define VORN_X86_KERNELS 1
#endif

namespace vorn::sd {

namespace {

// The best kernel level of this processor.
SimdLevel CpuLevel() {
#if defined(VORN_X86_KERNELS)
    static const SimdLevel level = __builtin_cpu_supports("avx2")     ? SimdLevel::Avx2
                                   : __builtin_cpu_supports("sse4.1") ? SimdLevel::Sse41
                                                                      : SimdLevel::Scalar;
    return level;
#else
    return SimdLevel::Scalar;
#endif
}

} // namespace

SimdLevel ActiveSimdLevel() {
    return std::min(CpuLevel(), RasterConfig::maxSimd);
}

namespace detail {

#if defined(VORN_X86_KERNELS)

namespace {

#define VORN_AVX2 __attribute__((target("avx2")))

// Mul8 on 16-bit lanes holding 0..255. (t + (t >> 8)) >> 8 equals (t * 257) >> 16 for every
// t < 65536 (t + t / 256 never passes a multiple of 256 that t + floor(t / 256) misses), and the
// latter is one high-half multiply.
VORN_AVX2 inline __m256i Mul8x16(__m256i a, __m256i b) {
    const __m256i t = _mm256_add_epi16(_mm256_mullo_epi16(a, b), _mm256_set1_epi16(128));
    return _mm256_mulhi_epu16(t, _mm256_set1_epi16(257));
}

// Mul8 of eight pixels by eight factor pixels, channel by channel, back to bytes.
VORN_AVX2 inline __m256i Mul8Pixels(__m256i a, __m256i b) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lo = Mul8x16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero));
    const __m256i hi = Mul8x16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero));
    return _mm256_packus_epi16(lo, hi);
}

VORN_AVX2 inline __m256i Load8(const std::uint32_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
VORN_AVX2 inline void Store8(std::uint32_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

VORN_AVX2 void ModulateAvx2(const std::uint32_t* tex, const std::uint32_t* dif, std::uint32_t* out, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8) Store8(out + i, Mul8Pixels(Load8(tex + i), Load8(dif + i)));
    if (i < n) ScalarKernels().modulate(tex + i, dif + i, out + i, n - i);
}

VORN_AVX2 void ModulateConstAvx2(const std::uint32_t* tex, std::uint32_t dif, std::uint32_t* out, int n) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i d = _mm256_unpacklo_epi8(_mm256_set1_epi32(static_cast<int>(dif)), zero);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i t = Load8(tex + i);
        const __m256i lo = Mul8x16(_mm256_unpacklo_epi8(t, zero), d);
        const __m256i hi = Mul8x16(_mm256_unpackhi_epi8(t, zero), d);
        Store8(out + i, _mm256_packus_epi16(lo, hi));
    }
    if (i < n) ScalarKernels().modulateConst(tex + i, dif, out + i, n - i);
}

VORN_AVX2 void BlendSrcAlphaAvx2(const std::uint32_t* src, std::uint32_t* dst, int n) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i invert = _mm256_set1_epi16(0x00FF);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i s = Load8(src + i), d = Load8(dst + i);
        __m256i half[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i s16 = h ? _mm256_unpackhi_epi8(s, zero) : _mm256_unpacklo_epi8(s, zero);
            const __m256i d16 = h ? _mm256_unpackhi_epi8(d, zero) : _mm256_unpacklo_epi8(d, zero);
            // Each pixel's alpha (word 3 of its four) into all four of its words.
            const __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s16, 0xFF), 0xFF);
            half[h] = _mm256_add_epi16(Mul8x16(s16, a), Mul8x16(d16, _mm256_xor_si256(a, invert)));
        }
        Store8(dst + i, _mm256_packus_epi16(half[0], half[1])); // saturates at 255
    }
    if (i < n) ScalarKernels().blendSrcAlpha(src + i, dst + i, n - i);
}

VORN_AVX2 void BlendSrcAlphaTintedAvx2(const std::uint32_t* tex, std::uint32_t dif, std::uint32_t* dst,
                                       int n) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i invert = _mm256_set1_epi16(0x00FF);
    const __m256i tint = _mm256_unpacklo_epi8(_mm256_set1_epi32(static_cast<int>(dif)), zero);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i t = Load8(tex + i), d = Load8(dst + i);
        __m256i half[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i t16 = h ? _mm256_unpackhi_epi8(t, zero) : _mm256_unpacklo_epi8(t, zero);
            const __m256i d16 = h ? _mm256_unpackhi_epi8(d, zero) : _mm256_unpacklo_epi8(d, zero);
            const __m256i s16 = Mul8x16(t16, tint);
            const __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s16, 0xFF), 0xFF);
            half[h] = _mm256_add_epi16(Mul8x16(s16, a), Mul8x16(d16, _mm256_xor_si256(a, invert)));
        }
        Store8(dst + i, _mm256_packus_epi16(half[0], half[1]));
    }
    if (i < n) ScalarKernels().blendSrcAlphaTinted(tex + i, dif, dst + i, n - i);
}

template <DWORD Op>
VORN_AVX2 void BlendOpAvx2T(const std::uint32_t* src, const std::uint32_t* fs, const std::uint32_t* dst,
                            const std::uint32_t* fd, std::uint32_t* out, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i s = Load8(src + i), d = Load8(dst + i);
        __m256i r;
        if constexpr (Op == D3DBLENDOP_MIN) {
            r = _mm256_min_epu8(s, d);
        } else if constexpr (Op == D3DBLENDOP_MAX) {
            r = _mm256_max_epu8(s, d);
        } else {
            const __m256i a = Mul8Pixels(s, Load8(fs + i));
            const __m256i b = Mul8Pixels(d, Load8(fd + i));
            if constexpr (Op == D3DBLENDOP_SUBTRACT)
                r = _mm256_subs_epu8(a, b);
            else if constexpr (Op == D3DBLENDOP_REVSUBTRACT)
                r = _mm256_subs_epu8(b, a);
            else
                r = _mm256_adds_epu8(a, b);
        }
        Store8(out + i, r);
    }
    if (i < n) ScalarKernels().blendOp(Op, src + i, fs + i, dst + i, fd + i, out + i, n - i);
}

void BlendOpAvx2(DWORD op, const std::uint32_t* src, const std::uint32_t* fs, const std::uint32_t* dst,
                 const std::uint32_t* fd, std::uint32_t* out, int n) {
    WithBlendOp(op, [&]<DWORD Op>() { BlendOpAvx2T<Op>(src, fs, dst, fd, out, n); });
}

// top * (256 - fy) + bottom * fy - 32768 per channel of 16-bit lanes holding 0..255; the sum is
// at most 65280, exact in unsigned 16-bit arithmetic.
VORN_AVX2 inline __m256i Vertical16(__m256i top, __m256i bottom, __m256i wTop, __m256i wBottom) {
    const __m256i v = _mm256_add_epi16(_mm256_mullo_epi16(top, wTop), _mm256_mullo_epi16(bottom, wBottom));
    return _mm256_xor_si256(v, _mm256_set1_epi16(static_cast<short>(0x8000)));
}

VORN_AVX2 void VerticalRangeAvx2(const std::uint32_t* row0, const std::uint32_t* row1, std::uint32_t fy,
                                 std::int32_t first, int count, TexelColumn* out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i wTop = _mm256_set1_epi16(static_cast<short>(256 - fy));
    const __m256i wBottom = _mm256_set1_epi16(static_cast<short>(fy));
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i a = Load8(row0 + first + i), b = Load8(row1 + first + i);
        // lo: texels 0 1 | 4 5, hi: texels 2 3 | 6 7 of the eight.
        const __m256i lo =
            Vertical16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero), wTop, wBottom);
        const __m256i hi =
            Vertical16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero), wTop, wBottom);
        auto* dst = reinterpret_cast<__m256i*>(out + i);
        _mm256_storeu_si256(dst, _mm256_permute2x128_si256(lo, hi, 0x20));
        _mm256_storeu_si256(dst + 1, _mm256_permute2x128_si256(lo, hi, 0x31));
    }
    if (i < count) ScalarKernels().verticalRange(row0, row1, fy, first + i, count - i, out + i);
}

VORN_AVX2 void VerticalListAvx2(const std::uint32_t* row0, const std::uint32_t* row1, std::uint32_t fy,
                                const std::int32_t* cols, int count, TexelColumn* out) {
    const __m256i wTop = _mm256_set1_epi16(static_cast<short>(256 - fy));
    const __m256i wBottom = _mm256_set1_epi16(static_cast<short>(fy));
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i a =
            _mm_setr_epi32(static_cast<int>(row0[cols[i]]), static_cast<int>(row0[cols[i + 1]]),
                           static_cast<int>(row0[cols[i + 2]]), static_cast<int>(row0[cols[i + 3]]));
        const __m128i b =
            _mm_setr_epi32(static_cast<int>(row1[cols[i]]), static_cast<int>(row1[cols[i + 1]]),
                           static_cast<int>(row1[cols[i + 2]]), static_cast<int>(row1[cols[i + 3]]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            Vertical16(_mm256_cvtepu8_epi16(a), _mm256_cvtepu8_epi16(b), wTop, wBottom));
    }
    if (i < count) ScalarKernels().verticalList(row0, row1, fy, cols + i, count - i, out + i);
}

// Two pixels: columns i0, i0 + 1 and i1, i1 + 1, weighted and rounded, in 32-bit lanes.
VORN_AVX2 inline __m256i FilterTwo(const TexelColumn* columns, std::int32_t i0, std::int32_t i1,
                                   __m256i weights) {
    // Interleave left and right channel by channel: { l.b, r.b, l.g, r.g, l.r, r.r, l.a, r.a }.
    const __m256i interleave = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8,
                                                9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
    const __m256i v = _mm256_shuffle_epi8(_mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(columns + i1),
                                                              reinterpret_cast<const __m128i*>(columns + i0)),
                                          interleave);
    // left * wl + right * wr - 2^23 (the offsets), then + 2^23 and rounding.
    const __m256i sum =
        _mm256_add_epi32(_mm256_madd_epi16(v, weights), _mm256_set1_epi32((1 << 23) + (1 << 15)));
    return _mm256_srli_epi32(sum, 16);
}

VORN_AVX2 void HorizontalAvx2(const TexelColumn* columns, const std::int32_t* index,
                              const std::uint32_t* weights, int n, std::uint32_t* out) {
    const __m256i pick01 = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
    const __m256i pick23 = _mm256_setr_epi32(2, 2, 2, 2, 3, 3, 3, 3);
    const __m256i pick45 = _mm256_setr_epi32(4, 4, 4, 4, 5, 5, 5, 5);
    const __m256i pick67 = _mm256_setr_epi32(6, 6, 6, 6, 7, 7, 7, 7);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i w = Load8(weights + i);
        const std::int32_t* ix = index + i;
        const __m256i p01 = FilterTwo(columns, ix[0], ix[1], _mm256_permutevar8x32_epi32(w, pick01));
        const __m256i p23 = FilterTwo(columns, ix[2], ix[3], _mm256_permutevar8x32_epi32(w, pick23));
        const __m256i p45 = FilterTwo(columns, ix[4], ix[5], _mm256_permutevar8x32_epi32(w, pick45));
        const __m256i p67 = FilterTwo(columns, ix[6], ix[7], _mm256_permutevar8x32_epi32(w, pick67));
        // Lanes hold one pixel each: packing gives pixels 0 2 4 6 | 1 3 5 7, reordered at the end.
        const __m256i packed =
            _mm256_packus_epi16(_mm256_packus_epi32(p01, p23), _mm256_packus_epi32(p45, p67));
        Store8(out + i, _mm256_permutevar8x32_epi32(packed, order));
    }
    if (i < n) ScalarKernels().horizontal(columns, index + i, weights + i, n - i, out + i);
}

const Kernels Avx2Set = {VerticalRangeAvx2, VerticalListAvx2,  HorizontalAvx2,          ModulateConstAvx2,
                         ModulateAvx2,      BlendSrcAlphaAvx2, BlendSrcAlphaTintedAvx2, BlendOpAvx2};

// ---- SSE4.1: the same arithmetic, four pixels per step ----

#define VORN_SSE41 __attribute__((target("sse4.1")))

VORN_SSE41 inline __m128i Mul8x8(__m128i a, __m128i b) {
    const __m128i t = _mm_add_epi16(_mm_mullo_epi16(a, b), _mm_set1_epi16(128));
    return _mm_mulhi_epu16(t, _mm_set1_epi16(257));
}

VORN_SSE41 inline __m128i Mul8Pixels4(__m128i a, __m128i b) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = Mul8x8(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    const __m128i hi = Mul8x8(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
    return _mm_packus_epi16(lo, hi);
}

VORN_SSE41 inline __m128i Load4(const std::uint32_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
VORN_SSE41 inline void Store4(std::uint32_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

VORN_SSE41 void ModulateSse41(const std::uint32_t* tex, const std::uint32_t* dif, std::uint32_t* out, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4) Store4(out + i, Mul8Pixels4(Load4(tex + i), Load4(dif + i)));
    if (i < n) ScalarKernels().modulate(tex + i, dif + i, out + i, n - i);
}

VORN_SSE41 void ModulateConstSse41(const std::uint32_t* tex, std::uint32_t dif, std::uint32_t* out, int n) {
    const __m128i d = _mm_set1_epi32(static_cast<int>(dif));
    int i = 0;
    for (; i + 4 <= n; i += 4) Store4(out + i, Mul8Pixels4(Load4(tex + i), d));
    if (i < n) ScalarKernels().modulateConst(tex + i, dif, out + i, n - i);
}

// Source over destination for two pixels in 16-bit lanes.
VORN_SSE41 inline __m128i OverSse41(__m128i s16, __m128i d16) {
    const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, 0xFF), 0xFF);
    return _mm_add_epi16(Mul8x8(s16, a), Mul8x8(d16, _mm_xor_si128(a, _mm_set1_epi16(0x00FF))));
}

VORN_SSE41 void BlendSrcAlphaSse41(const std::uint32_t* src, std::uint32_t* dst, int n) {
    const __m128i zero = _mm_setzero_si128();
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i s = Load4(src + i), d = Load4(dst + i);
        Store4(dst + i, _mm_packus_epi16(OverSse41(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero)),
                                         OverSse41(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero))));
    }
    if (i < n) ScalarKernels().blendSrcAlpha(src + i, dst + i, n - i);
}

VORN_SSE41 void BlendSrcAlphaTintedSse41(const std::uint32_t* tex, std::uint32_t dif, std::uint32_t* dst,
                                         int n) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i tint = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(dif)), zero);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i t = Load4(tex + i), d = Load4(dst + i);
        const __m128i lo = OverSse41(Mul8x8(_mm_unpacklo_epi8(t, zero), tint), _mm_unpacklo_epi8(d, zero));
        const __m128i hi = OverSse41(Mul8x8(_mm_unpackhi_epi8(t, zero), tint), _mm_unpackhi_epi8(d, zero));
        Store4(dst + i, _mm_packus_epi16(lo, hi));
    }
    if (i < n) ScalarKernels().blendSrcAlphaTinted(tex + i, dif, dst + i, n - i);
}

template <DWORD Op>
VORN_SSE41 void BlendOpSse41T(const std::uint32_t* src, const std::uint32_t* fs, const std::uint32_t* dst,
                              const std::uint32_t* fd, std::uint32_t* out, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i s = Load4(src + i), d = Load4(dst + i);
        __m128i r;
        if constexpr (Op == D3DBLENDOP_MIN) {
            r = _mm_min_epu8(s, d);
        } else if constexpr (Op == D3DBLENDOP_MAX) {
            r = _mm_max_epu8(s, d);
        } else {
            const __m128i a = Mul8Pixels4(s, Load4(fs + i));
            const __m128i b = Mul8Pixels4(d, Load4(fd + i));
            if constexpr (Op == D3DBLENDOP_SUBTRACT)
                r = _mm_subs_epu8(a, b);
            else if constexpr (Op == D3DBLENDOP_REVSUBTRACT)
                r = _mm_subs_epu8(b, a);
            else
                r = _mm_adds_epu8(a, b);
        }
        Store4(out + i, r);
    }
    if (i < n) ScalarKernels().blendOp(Op, src + i, fs + i, dst + i, fd + i, out + i, n - i);
}

void BlendOpSse41(DWORD op, const std::uint32_t* src, const std::uint32_t* fs, const std::uint32_t* dst,
                  const std::uint32_t* fd, std::uint32_t* out, int n) {
    WithBlendOp(op, [&]<DWORD Op>() { BlendOpSse41T<Op>(src, fs, dst, fd, out, n); });
}

VORN_SSE41 inline __m128i Vertical8(__m128i top, __m128i bottom, __m128i wTop, __m128i wBottom) {
    const __m128i v = _mm_add_epi16(_mm_mullo_epi16(top, wTop), _mm_mullo_epi16(bottom, wBottom));
    return _mm_xor_si128(v, _mm_set1_epi16(static_cast<short>(0x8000)));
}

VORN_SSE41 void VerticalRangeSse41(const std::uint32_t* row0, const std::uint32_t* row1, std::uint32_t fy,
                                   std::int32_t first, int count, TexelColumn* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i wTop = _mm_set1_epi16(static_cast<short>(256 - fy));
    const __m128i wBottom = _mm_set1_epi16(static_cast<short>(fy));
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i a = Load4(row0 + first + i), b = Load4(row1 + first + i);
        auto* dst = reinterpret_cast<__m128i*>(out + i);
        _mm_storeu_si128(dst,
                         Vertical8(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), wTop, wBottom));
        _mm_storeu_si128(dst + 1,
                         Vertical8(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), wTop, wBottom));
    }
    if (i < count) ScalarKernels().verticalRange(row0, row1, fy, first + i, count - i, out + i);
}

VORN_SSE41 void VerticalListSse41(const std::uint32_t* row0, const std::uint32_t* row1, std::uint32_t fy,
                                  const std::int32_t* cols, int count, TexelColumn* out) {
    const __m128i wTop = _mm_set1_epi16(static_cast<short>(256 - fy));
    const __m128i wBottom = _mm_set1_epi16(static_cast<short>(fy));
    int i = 0;
    for (; i + 2 <= count; i += 2) {
        const __m128i a =
            _mm_setr_epi32(static_cast<int>(row0[cols[i]]), static_cast<int>(row0[cols[i + 1]]), 0, 0);
        const __m128i b =
            _mm_setr_epi32(static_cast<int>(row1[cols[i]]), static_cast<int>(row1[cols[i + 1]]), 0, 0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         Vertical8(_mm_cvtepu8_epi16(a), _mm_cvtepu8_epi16(b), wTop, wBottom));
    }
    if (i < count) ScalarKernels().verticalList(row0, row1, fy, cols + i, count - i, out + i);
}

VORN_SSE41 inline __m128i FilterOne(const TexelColumn* columns, std::int32_t i, std::uint32_t weights) {
    const __m128i interleave = _mm_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
    const __m128i v =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(columns + i)), interleave);
    const __m128i sum = _mm_add_epi32(_mm_madd_epi16(v, _mm_set1_epi32(static_cast<int>(weights))),
                                      _mm_set1_epi32((1 << 23) + (1 << 15)));
    return _mm_srli_epi32(sum, 16);
}

VORN_SSE41 void HorizontalSse41(const TexelColumn* columns, const std::int32_t* index,
                                const std::uint32_t* weights, int n, std::uint32_t* out) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i p01 = _mm_packus_epi32(FilterOne(columns, index[i], weights[i]),
                                             FilterOne(columns, index[i + 1], weights[i + 1]));
        const __m128i p23 = _mm_packus_epi32(FilterOne(columns, index[i + 2], weights[i + 2]),
                                             FilterOne(columns, index[i + 3], weights[i + 3]));
        Store4(out + i, _mm_packus_epi16(p01, p23));
    }
    if (i < n) ScalarKernels().horizontal(columns, index + i, weights + i, n - i, out + i);
}

const Kernels Sse41Set = {VerticalRangeSse41,       VerticalListSse41, HorizontalSse41,
                          ModulateConstSse41,       ModulateSse41,     BlendSrcAlphaSse41,
                          BlendSrcAlphaTintedSse41, BlendOpSse41};

} // namespace

const Kernels* Avx2Kernels() {
    return CpuLevel() >= SimdLevel::Avx2 ? &Avx2Set : nullptr;
}
const Kernels* Sse41Kernels() {
    return CpuLevel() >= SimdLevel::Sse41 ? &Sse41Set : nullptr;
}

#else

const Kernels* Avx2Kernels() {
    return nullptr;
}
const Kernels* Sse41Kernels() {
    return nullptr;
}

#endif

} // namespace detail

} // namespace vorn::sd
