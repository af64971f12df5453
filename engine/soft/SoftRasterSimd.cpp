// SIMD twins of the scalar span kernels (AVX2 and SSE4.1; AVX-512 in SoftRasterSimd512.cpp), built into the
// baseline x86-64 binary with target attributes and chosen at run time from what the processor offers. Every
// kernel computes exactly the integers its scalar twin computes; only the number of pixels per step differs.
// Channels are widened to 16-bit lanes, where Mul8's t = a * b + 128 stays below 65536.
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
    static const SimdLevel level = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
                                       ? SimdLevel::Avx512
                                   : __builtin_cpu_supports("avx2")   ? SimdLevel::Avx2
                                   : __builtin_cpu_supports("sse4.1") ? SimdLevel::Sse41
                                                                      : SimdLevel::Scalar;
    return level;
#else
    return SimdLevel::Scalar;
#endif
}

} // namespace

SimdLevel ActiveSimdLevel(SimdLevel cap) {
    return std::min(CpuLevel(), cap);
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

// Eight whole pixels.
struct Full8 {
    VORN_AVX2 static __m256i Load(const std::uint32_t* p) { return Load8(p); }
    VORN_AVX2 static void Store(std::uint32_t* p, __m256i v) { Store8(p, v); }
};

// The last n < 8 pixels of a span: masked loads and stores touch only lanes [0, n), and read or
// write no memory beyond them.
struct Tail8 {
    __m256i mask;
    VORN_AVX2 explicit Tail8(int n)
        : mask(_mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7))) {}
    VORN_AVX2 __m256i Load(const std::uint32_t* p) const {
        return _mm256_maskload_epi32(reinterpret_cast<const int*>(p), mask);
    }
    VORN_AVX2 void Store(std::uint32_t* p, __m256i v) const {
        _mm256_maskstore_epi32(reinterpret_cast<int*>(p), mask, v);
    }
};

// Lanes [0, n) of four 64-bit lanes, n in 0..4.
VORN_AVX2 inline __m256i Mask64(int n) {
    return _mm256_cmpgt_epi64(_mm256_set1_epi64x(n), _mm256_setr_epi64x(0, 1, 2, 3));
}

// Runs step(i, io) over [0, n) eight pixels at a time, io loading and storing pixels i..i+7
// (Full8), the last step masked (Tail8).
template <class Step> VORN_AVX2 inline void Spans8(int n, Step&& step) {
    int i = 0;
    for (; i + 8 <= n; i += 8) step(i, Full8{});
    if (i < n) step(i, Tail8(n - i));
}

VORN_AVX2 void ModulateAvx2(const std::uint32_t* tex, const std::uint32_t* dif, std::uint32_t* out, int n) {
    Spans8(n, [&](int i, const auto& io)
                  VORN_AVX2 { io.Store(out + i, Mul8Pixels(io.Load(tex + i), io.Load(dif + i))); });
}

VORN_AVX2 void ModulateConstAvx2(const std::uint32_t* tex, std::uint32_t dif, std::uint32_t* out, int n) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i d = _mm256_unpacklo_epi8(_mm256_set1_epi32(static_cast<int>(dif)), zero);
    Spans8(n, [&](int i, const auto& io) VORN_AVX2 {
        const __m256i t = io.Load(tex + i);
        const __m256i lo = Mul8x16(_mm256_unpacklo_epi8(t, zero), d);
        const __m256i hi = Mul8x16(_mm256_unpackhi_epi8(t, zero), d);
        io.Store(out + i, _mm256_packus_epi16(lo, hi));
    });
}

// Source over destination, Mul8(s, As) + Mul8(d, 255 - As), for four pixels in 16-bit lanes.
// Cover: the alpha word's source factor is 255 (ORing 0xFF into a word of at most 0xFF).
template <bool Cover> VORN_AVX2 inline __m256i Over16(__m256i s16, __m256i d16) {
    // Each pixel's alpha (word 3 of its four) into all four of its words.
    const __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s16, 0xFF), 0xFF);
    const __m256i fs = Cover ? _mm256_or_si256(a, _mm256_set1_epi64x(0x00FF000000000000LL)) : a;
    return _mm256_add_epi16(Mul8x16(s16, fs), Mul8x16(d16, _mm256_xor_si256(a, _mm256_set1_epi16(0x00FF))));
}

template <bool Cover> VORN_AVX2 void BlendSrcAlphaAvx2T(const std::uint32_t* src, std::uint32_t* dst, int n) {
    const __m256i zero = _mm256_setzero_si256();
    Spans8(n, [&](int i, const auto& io) VORN_AVX2 {
        const __m256i s = io.Load(src + i), d = io.Load(dst + i);
        const __m256i lo = Over16<Cover>(_mm256_unpacklo_epi8(s, zero), _mm256_unpacklo_epi8(d, zero));
        const __m256i hi = Over16<Cover>(_mm256_unpackhi_epi8(s, zero), _mm256_unpackhi_epi8(d, zero));
        io.Store(dst + i, _mm256_packus_epi16(lo, hi)); // saturates at 255
    });
}

// Eight texels tinted (tint: the colour in 16-bit lanes, twice) and blended over eight pixels.
template <bool Cover> VORN_AVX2 inline __m256i TintedOver(__m256i t, __m256i d, __m256i tint) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lo =
        Over16<Cover>(Mul8x16(_mm256_unpacklo_epi8(t, zero), tint), _mm256_unpacklo_epi8(d, zero));
    const __m256i hi =
        Over16<Cover>(Mul8x16(_mm256_unpackhi_epi8(t, zero), tint), _mm256_unpackhi_epi8(d, zero));
    return _mm256_packus_epi16(lo, hi);
}

VORN_AVX2 inline __m256i Tint16(std::uint32_t dif) {
    return _mm256_unpacklo_epi8(_mm256_set1_epi32(static_cast<int>(dif)), _mm256_setzero_si256());
}

template <bool Cover>
VORN_AVX2 void BlendSrcAlphaTintedAvx2T(const std::uint32_t* tex, std::uint32_t dif, std::uint32_t* dst,
                                        int n) {
    const __m256i tint = Tint16(dif);
    Spans8(n, [&](int i, const auto& io) VORN_AVX2 {
        io.Store(dst + i, TintedOver<Cover>(io.Load(tex + i), io.Load(dst + i), tint));
    });
}

template <bool Cover>
VORN_AVX2 void BlendSrcAlphaTintedReversedAvx2T(const std::uint32_t* texLast, std::uint32_t dif,
                                                std::uint32_t* dst, int n) {
    const __m256i tint = Tint16(dif);
    const __m256i back = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i t = _mm256_permutevar8x32_epi32(Load8(texLast - i - 7), back);
        Store8(dst + i, TintedOver<Cover>(t, Load8(dst + i), tint));
    }
    if (i < n) {
        // The last m texels read forward into lanes [0, m), then turned round within them.
        const int m = n - i;
        const Tail8 tail(m);
        const __m256i turn =
            _mm256_sub_epi32(_mm256_set1_epi32(m - 1), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        const __m256i t = _mm256_permutevar8x32_epi32(tail.Load(texLast - i - (m - 1)), turn);
        tail.Store(dst + i, TintedOver<Cover>(t, tail.Load(dst + i), tint));
    }
}

template <DWORD Op>
VORN_AVX2 void BlendOpAvx2T(const std::uint32_t* src, const std::uint32_t* fs, const std::uint32_t* dst,
                            const std::uint32_t* fd, std::uint32_t* out, int n) {
    Spans8(n, [&](int i, const auto& io) VORN_AVX2 {
        const __m256i s = io.Load(src + i), d = io.Load(dst + i);
        __m256i r;
        if constexpr (Op == D3DBLENDOP_MIN) {
            r = _mm256_min_epu8(s, d);
        } else if constexpr (Op == D3DBLENDOP_MAX) {
            r = _mm256_max_epu8(s, d);
        } else {
            const __m256i a = Mul8Pixels(s, io.Load(fs + i));
            const __m256i b = Mul8Pixels(d, io.Load(fd + i));
            if constexpr (Op == D3DBLENDOP_SUBTRACT)
                r = _mm256_subs_epu8(a, b);
            else if constexpr (Op == D3DBLENDOP_REVSUBTRACT)
                r = _mm256_subs_epu8(b, a);
            else
                r = _mm256_adds_epu8(a, b);
        }
        io.Store(out + i, r);
    });
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
    // Eight columns from eight texels of each row; the tail's columns land in lanes [0, n).
    auto columns = [&](__m256i a, __m256i b, __m256i& first4, __m256i& last4) VORN_AVX2 {
        // lo: texels 0 1 | 4 5, hi: texels 2 3 | 6 7 of the eight.
        const __m256i lo =
            Vertical16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero), wTop, wBottom);
        const __m256i hi =
            Vertical16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero), wTop, wBottom);
        first4 = _mm256_permute2x128_si256(lo, hi, 0x20);
        last4 = _mm256_permute2x128_si256(lo, hi, 0x31);
    };
    int i = 0;
    __m256i c0, c1;
    for (; i + 8 <= count; i += 8) {
        columns(Load8(row0 + first + i), Load8(row1 + first + i), c0, c1);
        auto* dst = reinterpret_cast<__m256i*>(out + i);
        _mm256_storeu_si256(dst, c0);
        _mm256_storeu_si256(dst + 1, c1);
    }
    if (i < count) {
        const int n = count - i;
        const Tail8 tail(n);
        columns(tail.Load(row0 + first + i), tail.Load(row1 + first + i), c0, c1);
        auto* dst = reinterpret_cast<long long*>(out + i);
        _mm256_maskstore_epi64(dst, Mask64(std::min(n, 4)), c0);
        _mm256_maskstore_epi64(dst + 4, Mask64(std::max(n - 4, 0)), c1);
    }
}

VORN_AVX2 void VerticalListAvx2(const std::uint32_t* row0, const std::uint32_t* row1, std::uint32_t fy,
                                const std::int32_t* cols, int count, TexelColumn* out) {
    const __m256i wTop = _mm256_set1_epi16(static_cast<short>(256 - fy));
    const __m256i wBottom = _mm256_set1_epi16(static_cast<short>(fy));
    // Four columns; a tail of n < 4 repeats its first column in the lanes it does not store.
    auto four = [&](int i, int n) VORN_AVX2 {
        const std::int32_t c0 = cols[i], c1 = cols[i + (n > 1)], c2 = cols[i + 2 * (n > 2)],
                           c3 = cols[i + 3 * (n > 3)];
        const __m128i a = _mm_setr_epi32(static_cast<int>(row0[c0]), static_cast<int>(row0[c1]),
                                         static_cast<int>(row0[c2]), static_cast<int>(row0[c3]));
        const __m128i b = _mm_setr_epi32(static_cast<int>(row1[c0]), static_cast<int>(row1[c1]),
                                         static_cast<int>(row1[c2]), static_cast<int>(row1[c3]));
        return Vertical16(_mm256_cvtepu8_epi16(a), _mm256_cvtepu8_epi16(b), wTop, wBottom);
    };
    int i = 0;
    for (; i + 4 <= count; i += 4) _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), four(i, 4));
    if (i < count)
        _mm256_maskstore_epi64(reinterpret_cast<long long*>(out + i), Mask64(count - i), four(i, count - i));
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
    // Pixels k and k + 4 share a vector (k in the low half), so each pair's weights are one
    // in-lane broadcast and the packs below leave pixels 0..7 in order.
    auto eight = [&](const std::int32_t* ix, __m256i w) VORN_AVX2 {
        const __m256i p04 = FilterTwo(columns, ix[0], ix[4], _mm256_shuffle_epi32(w, 0x00));
        const __m256i p15 = FilterTwo(columns, ix[1], ix[5], _mm256_shuffle_epi32(w, 0x55));
        const __m256i p26 = FilterTwo(columns, ix[2], ix[6], _mm256_shuffle_epi32(w, 0xAA));
        const __m256i p37 = FilterTwo(columns, ix[3], ix[7], _mm256_shuffle_epi32(w, 0xFF));
        return _mm256_packus_epi16(_mm256_packus_epi32(p04, p15), _mm256_packus_epi32(p26, p37));
    };
    int i = 0;
    for (; i + 8 <= n; i += 8) Store8(out + i, eight(index + i, Load8(weights + i)));
    if (i < n) {
        // Lanes past the tail filter the tail's first pixel again and are not stored.
        std::int32_t ix[8];
        for (int k = 0; k < 8; ++k) ix[k] = index[i + (k < n - i ? k : 0)];
        const Tail8 tail(n - i);
        tail.Store(out + i, eight(ix, tail.Load(weights + i)));
    }
}

const Kernels Avx2Set = {VerticalRangeAvx2,
                         VerticalListAvx2,
                         HorizontalAvx2,
                         ModulateConstAvx2,
                         ModulateAvx2,
                         BlendSrcAlphaAvx2T<false>,
                         BlendSrcAlphaTintedAvx2T<false>,
                         BlendOpAvx2,
                         BlendSrcAlphaTintedReversedAvx2T<false>,
                         BlendSrcAlphaAvx2T<true>,
                         BlendSrcAlphaTintedAvx2T<true>,
                         BlendSrcAlphaTintedReversedAvx2T<true>};

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

struct Full4 {
    VORN_SSE41 static __m128i Load(const std::uint32_t* p) { return Load4(p); }
    VORN_SSE41 static void Store(std::uint32_t* p, __m128i v) { Store4(p, v); }
};

// The last n < 4 pixels of a span, moved as one and two 32-bit pixels (SSE has no masked
// 32-bit moves): lanes [0, n) only, no memory beyond them touched.
struct Tail4 {
    int n;
    VORN_SSE41 __m128i Load(const std::uint32_t* p) const {
        if (n == 1) return _mm_cvtsi32_si128(static_cast<int>(p[0]));
        const __m128i two = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        return n == 2 ? two : _mm_insert_epi32(two, static_cast<int>(p[2]), 2);
    }
    VORN_SSE41 void Store(std::uint32_t* p, __m128i v) const {
        if (n == 1) {
            p[0] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
            return;
        }
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
        if (n == 3) p[2] = static_cast<std::uint32_t>(_mm_extract_epi32(v, 2));
    }
};

template <class Step> VORN_SSE41 inline void Spans4(int n, Step&& step) {
    int i = 0;
    for (; i + 4 <= n; i += 4) step(i, Full4{});
    if (i < n) step(i, Tail4{n - i});
}

VORN_SSE41 void ModulateSse41(const std::uint32_t* tex, const std::uint32_t* dif, std::uint32_t* out, int n) {
    Spans4(n, [&](int i, const auto& io)
                  VORN_SSE41 { io.Store(out + i, Mul8Pixels4(io.Load(tex + i), io.Load(dif + i))); });
}

VORN_SSE41 void ModulateConstSse41(const std::uint32_t* tex, std::uint32_t dif, std::uint32_t* out, int n) {
    const __m128i d = _mm_set1_epi32(static_cast<int>(dif));
    Spans4(n, [&](int i, const auto& io) VORN_SSE41 { io.Store(out + i, Mul8Pixels4(io.Load(tex + i), d)); });
}

// Source over destination for two pixels in 16-bit lanes; Cover as Over16's.
template <bool Cover> VORN_SSE41 inline __m128i OverSse41(__m128i s16, __m128i d16) {
    const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, 0xFF), 0xFF);
    const __m128i fs = Cover ? _mm_or_si128(a, _mm_set1_epi64x(0x00FF000000000000LL)) : a;
    return _mm_add_epi16(Mul8x8(s16, fs), Mul8x8(d16, _mm_xor_si128(a, _mm_set1_epi16(0x00FF))));
}

template <bool Cover>
VORN_SSE41 void BlendSrcAlphaSse41T(const std::uint32_t* src, std::uint32_t* dst, int n) {
    const __m128i zero = _mm_setzero_si128();
    Spans4(n, [&](int i, const auto& io) VORN_SSE41 {
        const __m128i s = io.Load(src + i), d = io.Load(dst + i);
        io.Store(dst + i,
                 _mm_packus_epi16(OverSse41<Cover>(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero)),
                                  OverSse41<Cover>(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero))));
    });
}

template <bool Cover> VORN_SSE41 inline __m128i TintedOverSse41(__m128i t, __m128i d, __m128i tint) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = OverSse41<Cover>(Mul8x8(_mm_unpacklo_epi8(t, zero), tint), _mm_unpacklo_epi8(d, zero));
    const __m128i hi = OverSse41<Cover>(Mul8x8(_mm_unpackhi_epi8(t, zero), tint), _mm_unpackhi_epi8(d, zero));
    return _mm_packus_epi16(lo, hi);
}

template <bool Cover>
VORN_SSE41 void BlendSrcAlphaTintedSse41T(const std::uint32_t* tex, std::uint32_t dif, std::uint32_t* dst,
                                          int n) {
    const __m128i tint = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(dif)), _mm_setzero_si128());
    Spans4(n, [&](int i, const auto& io) VORN_SSE41 {
        io.Store(dst + i, TintedOverSse41<Cover>(io.Load(tex + i), io.Load(dst + i), tint));
    });
}

template <bool Cover>
VORN_SSE41 void BlendSrcAlphaTintedReversedSse41T(const std::uint32_t* texLast, std::uint32_t dif,
                                                  std::uint32_t* dst, int n) {
    const __m128i tint = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(dif)), _mm_setzero_si128());
    Spans4(n, [&](int i, const auto& io) VORN_SSE41 {
        // The texels of pixels i.. read forward from the lowest address, then turned round.
        const int m = std::min(n - i, 4);
        const __m128i forward = io.Load(texLast - i - (m - 1));
        const __m128i t = m == 4   ? _mm_shuffle_epi32(forward, 0x1B)
                          : m == 3 ? _mm_shuffle_epi32(forward, 0xC6)
                          : m == 2 ? _mm_shuffle_epi32(forward, 0xE1)
                                   : forward;
        io.Store(dst + i, TintedOverSse41<Cover>(t, io.Load(dst + i), tint));
    });
}

template <DWORD Op>
VORN_SSE41 void BlendOpSse41T(const std::uint32_t* src, const std::uint32_t* fs, const std::uint32_t* dst,
                              const std::uint32_t* fd, std::uint32_t* out, int n) {
    Spans4(n, [&](int i, const auto& io) VORN_SSE41 {
        const __m128i s = io.Load(src + i), d = io.Load(dst + i);
        __m128i r;
        if constexpr (Op == D3DBLENDOP_MIN) {
            r = _mm_min_epu8(s, d);
        } else if constexpr (Op == D3DBLENDOP_MAX) {
            r = _mm_max_epu8(s, d);
        } else {
            const __m128i a = Mul8Pixels4(s, io.Load(fs + i));
            const __m128i b = Mul8Pixels4(d, io.Load(fd + i));
            if constexpr (Op == D3DBLENDOP_SUBTRACT)
                r = _mm_subs_epu8(a, b);
            else if constexpr (Op == D3DBLENDOP_REVSUBTRACT)
                r = _mm_subs_epu8(b, a);
            else
                r = _mm_adds_epu8(a, b);
        }
        io.Store(out + i, r);
    });
}

void BlendOpSse41(DWORD op, const std::uint32_t* src, const std::uint32_t* fs, const std::uint32_t* dst,
                  const std::uint32_t* fd, std::uint32_t* out, int n) {
    WithBlendOp(op, [&]<DWORD Op>() { BlendOpSse41T<Op>(src, fs, dst, fd, out, n); });
}

VORN_SSE41 inline __m128i Vertical8(__m128i top, __m128i bottom, __m128i wTop, __m128i wBottom) {
    const __m128i v = _mm_add_epi16(_mm_mullo_epi16(top, wTop), _mm_mullo_epi16(bottom, wBottom));
    return _mm_xor_si128(v, _mm_set1_epi16(static_cast<short>(0x8000)));
}

// Stores columns [0, n) of two (n < 2: one) held in a vector.
VORN_SSE41 inline void StoreColumns(TexelColumn* out, int n, __m128i v) {
    if (n >= 2)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
    else if (n == 1)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), v);
}

VORN_SSE41 void VerticalRangeSse41(const std::uint32_t* row0, const std::uint32_t* row1, std::uint32_t fy,
                                   std::int32_t first, int count, TexelColumn* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i wTop = _mm_set1_epi16(static_cast<short>(256 - fy));
    const __m128i wBottom = _mm_set1_epi16(static_cast<short>(fy));
    Spans4(count, [&](int i, const auto& io) VORN_SSE41 {
        const __m128i a = io.Load(row0 + first + i), b = io.Load(row1 + first + i);
        const int n = std::min(count - i, 4);
        StoreColumns(out + i, n,
                     Vertical8(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), wTop, wBottom));
        StoreColumns(out + i + 2, n - 2,
                     Vertical8(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), wTop, wBottom));
    });
}

VORN_SSE41 void VerticalListSse41(const std::uint32_t* row0, const std::uint32_t* row1, std::uint32_t fy,
                                  const std::int32_t* cols, int count, TexelColumn* out) {
    const __m128i wTop = _mm_set1_epi16(static_cast<short>(256 - fy));
    const __m128i wBottom = _mm_set1_epi16(static_cast<short>(fy));
    for (int i = 0; i < count; i += 2) {
        const std::int32_t c0 = cols[i], c1 = cols[i + 1 < count ? i + 1 : i];
        const __m128i a = _mm_setr_epi32(static_cast<int>(row0[c0]), static_cast<int>(row0[c1]), 0, 0);
        const __m128i b = _mm_setr_epi32(static_cast<int>(row1[c0]), static_cast<int>(row1[c1]), 0, 0);
        StoreColumns(out + i, count - i,
                     Vertical8(_mm_cvtepu8_epi16(a), _mm_cvtepu8_epi16(b), wTop, wBottom));
    }
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
    Spans4(n, [&](int i, const auto& io) VORN_SSE41 {
        // Lanes past a tail filter pixel i again and are not stored.
        const int m = std::min(n - i, 4);
        auto pixel = [&](int k) VORN_SSE41 {
            const int j = i + (k < m ? k : 0);
            return FilterOne(columns, index[j], weights[j]);
        };
        const __m128i p01 = _mm_packus_epi32(pixel(0), pixel(1));
        const __m128i p23 = _mm_packus_epi32(pixel(2), pixel(3));
        io.Store(out + i, _mm_packus_epi16(p01, p23));
    });
}

const Kernels Sse41Set = {VerticalRangeSse41,
                          VerticalListSse41,
                          HorizontalSse41,
                          ModulateConstSse41,
                          ModulateSse41,
                          BlendSrcAlphaSse41T<false>,
                          BlendSrcAlphaTintedSse41T<false>,
                          BlendOpSse41,
                          BlendSrcAlphaTintedReversedSse41T<false>,
                          BlendSrcAlphaSse41T<true>,
                          BlendSrcAlphaTintedSse41T<true>,
                          BlendSrcAlphaTintedReversedSse41T<true>};

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
