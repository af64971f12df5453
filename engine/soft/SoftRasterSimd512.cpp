// AVX-512 twins of the blends that take most of a synthesis (a tinted stamp blended over the
// target, read forwards or backwards, and the plain source-alpha blend): the AVX2 arithmetic on
// sixteen pixels per step, the last step masked. The other kernels of the set are the AVX2 ones.
#include "engine/soft/SoftRasterDetail.h"

#if (defined(__x86_64__) || defined(__i386__)) && !defined(PALLIMOR_NO_SIMD)
#include <immintrin.h>
#define VORN_X86_KERNELS 1
#endif

namespace vorn::sd::detail {

#if defined(VORN_X86_KERNELS)

namespace {

#define VORN_AVX512 __attribute__((target("avx512f,avx512bw")))

// Mul8 on 16-bit lanes holding 0..255, as (t * 257) >> 16 with t = a * b + 128 (see the AVX2 twin).
VORN_AVX512 inline __m512i Mul8x16(__m512i a, __m512i b) {
    const __m512i t = _mm512_add_epi16(_mm512_mullo_epi16(a, b), _mm512_set1_epi16(128));
    return _mm512_mulhi_epu16(t, _mm512_set1_epi16(257));
}

// Source over destination, Mul8(s, As) + Mul8(d, 255 - As), for eight pixels in 16-bit lanes.
// Cover: the alpha word's source factor is 255.
template <bool Cover> VORN_AVX512 inline __m512i Over16(__m512i s16, __m512i d16) {
    const __m512i a = _mm512_shufflehi_epi16(_mm512_shufflelo_epi16(s16, 0xFF), 0xFF);
    const __m512i fs = Cover ? _mm512_or_si512(a, _mm512_set1_epi64(0x00FF000000000000LL)) : a;
    return _mm512_add_epi16(Mul8x16(s16, fs), Mul8x16(d16, _mm512_xor_si512(a, _mm512_set1_epi16(0x00FF))));
}

// Sixteen pixels, or the first n of them: masked moves touch only lanes [0, n).
struct Lanes16 {
    __mmask16 mask;
    VORN_AVX512 __m512i Load(const std::uint32_t* p) const { return _mm512_maskz_loadu_epi32(mask, p); }
    VORN_AVX512 void Store(std::uint32_t* p, __m512i v) const { _mm512_mask_storeu_epi32(p, mask, v); }
};

// Runs step(i, lanes) over [0, n) sixteen pixels at a time, the last step masked.
template <class Step> VORN_AVX512 inline void Spans16(int n, Step&& step) {
    int i = 0;
    for (; i + 16 <= n; i += 16) step(i, Lanes16{0xFFFF});
    if (i < n) step(i, Lanes16{static_cast<__mmask16>((1u << (n - i)) - 1)});
}

template <bool Cover>
VORN_AVX512 void BlendSrcAlpha512T(const std::uint32_t* src, std::uint32_t* dst, int n) {
    const __m512i zero = _mm512_setzero_si512();
    Spans16(n, [&](int i, const Lanes16& io) VORN_AVX512 {
        const __m512i s = io.Load(src + i), d = io.Load(dst + i);
        const __m512i lo = Over16<Cover>(_mm512_unpacklo_epi8(s, zero), _mm512_unpacklo_epi8(d, zero));
        const __m512i hi = Over16<Cover>(_mm512_unpackhi_epi8(s, zero), _mm512_unpackhi_epi8(d, zero));
        io.Store(dst + i, _mm512_packus_epi16(lo, hi)); // saturates at 255
    });
}

// Sixteen texels tinted (tint: the colour in 16-bit lanes, four times) and blended over sixteen
// pixels.
template <bool Cover> VORN_AVX512 inline __m512i TintedOver(__m512i t, __m512i d, __m512i tint) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i lo =
        Over16<Cover>(Mul8x16(_mm512_unpacklo_epi8(t, zero), tint), _mm512_unpacklo_epi8(d, zero));
    const __m512i hi =
        Over16<Cover>(Mul8x16(_mm512_unpackhi_epi8(t, zero), tint), _mm512_unpackhi_epi8(d, zero));
    return _mm512_packus_epi16(lo, hi);
}

VORN_AVX512 inline __m512i Tint16(std::uint32_t dif) {
    return _mm512_unpacklo_epi8(_mm512_set1_epi32(static_cast<int>(dif)), _mm512_setzero_si512());
}

template <bool Cover>
VORN_AVX512 void BlendSrcAlphaTinted512T(const std::uint32_t* tex, std::uint32_t dif, std::uint32_t* dst,
                                         int n) {
    const __m512i tint = Tint16(dif);
    Spans16(n, [&](int i, const Lanes16& io) VORN_AVX512 {
        io.Store(dst + i, TintedOver<Cover>(io.Load(tex + i), io.Load(dst + i), tint));
    });
}

template <bool Cover>
VORN_AVX512 void BlendSrcAlphaTintedReversed512T(const std::uint32_t* texLast, std::uint32_t dif,
                                                 std::uint32_t* dst, int n) {
    const __m512i tint = Tint16(dif);
    const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    Spans16(n, [&](int i, const Lanes16& io) VORN_AVX512 {
        // The m texels ending at texLast - i, read forward into lanes [0, m), then turned round
        // within them (lanes past m are not stored).
        const int m = n - i < 16 ? n - i : 16;
        const __m512i turn = _mm512_sub_epi32(_mm512_set1_epi32(m - 1), lane);
        // (The zero-masking form: gcc 12 warns of the undefined lanes of the plain one.)
        const __m512i t = _mm512_maskz_permutexvar_epi32(io.mask, turn, io.Load(texLast - i - (m - 1)));
        io.Store(dst + i, TintedOver<Cover>(t, io.Load(dst + i), tint));
    });
}

} // namespace

const Kernels* Avx512Kernels() {
    static const Kernels* const set = []() -> const Kernels* {
        const Kernels* avx2 = Avx2Kernels();
        if (!avx2 || ActiveSimdLevel(SimdLevel::Avx512) < SimdLevel::Avx512) return nullptr;
        static Kernels k = *avx2;
        k.blendSrcAlpha = BlendSrcAlpha512T<false>;
        k.blendSrcAlphaTinted = BlendSrcAlphaTinted512T<false>;
        k.blendSrcAlphaTintedReversed = BlendSrcAlphaTintedReversed512T<false>;
        k.coverSrcAlpha = BlendSrcAlpha512T<true>;
        k.coverSrcAlphaTinted = BlendSrcAlphaTinted512T<true>;
        k.coverSrcAlphaTintedReversed = BlendSrcAlphaTintedReversed512T<true>;
        return &k;
    }();
    return set;
}

#else

const Kernels* Avx512Kernels() {
    return nullptr;
}

#endif

} // namespace vorn::sd::detail
