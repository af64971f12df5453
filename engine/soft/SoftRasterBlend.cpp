// Blend factors for the span path: one function per factor, specialised at compile time and
// picked once per draw, that fills a span of factors from the source and destination colours.
#include "engine/soft/SoftRasterSpanDetail.h"

#include <algorithm>

namespace vorn::sd {

namespace detail {

namespace {

template <DWORD F> std::uint32_t FactorOf(std::uint32_t s, std::uint32_t d) {
    if constexpr (F == D3DBLEND_ONE) return 0xFFFFFFFFu;
    if constexpr (F == D3DBLEND_SRCCOLOR) return s;
    if constexpr (F == D3DBLEND_INVSRCCOLOR) return ~s;
    if constexpr (F == D3DBLEND_SRCALPHA) return (s >> 24) * 0x01010101u;
    if constexpr (F == D3DBLEND_INVSRCALPHA) return ~((s >> 24) * 0x01010101u);
    if constexpr (F == D3DBLEND_DESTALPHA) return (d >> 24) * 0x01010101u;
    if constexpr (F == D3DBLEND_INVDESTALPHA) return ~((d >> 24) * 0x01010101u);
    if constexpr (F == D3DBLEND_DESTCOLOR) return d;
    if constexpr (F == D3DBLEND_INVDESTCOLOR) return ~d;
    if constexpr (F == D3DBLEND_SRCALPHASAT)
        return std::min(s >> 24, 255 - (d >> 24)) * 0x00010101u | 0xFF000000u;
    return 0; // ZERO and unknown factors
}

template <DWORD F>
void FactorSpan(const std::uint32_t* src, const std::uint32_t* dst, std::uint32_t* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = FactorOf<F>(src[i], dst[i]);
}

} // namespace

FactorFn PickFactor(DWORD f) {
    switch (f) {
    case D3DBLEND_ONE:
        return FactorSpan<D3DBLEND_ONE>;
    case D3DBLEND_SRCCOLOR:
        return FactorSpan<D3DBLEND_SRCCOLOR>;
    case D3DBLEND_INVSRCCOLOR:
        return FactorSpan<D3DBLEND_INVSRCCOLOR>;
    case D3DBLEND_SRCALPHA:
        return FactorSpan<D3DBLEND_SRCALPHA>;
    case D3DBLEND_INVSRCALPHA:
        return FactorSpan<D3DBLEND_INVSRCALPHA>;
    case D3DBLEND_DESTALPHA:
        return FactorSpan<D3DBLEND_DESTALPHA>;
    case D3DBLEND_INVDESTALPHA:
        return FactorSpan<D3DBLEND_INVDESTALPHA>;
    case D3DBLEND_DESTCOLOR:
        return FactorSpan<D3DBLEND_DESTCOLOR>;
    case D3DBLEND_INVDESTCOLOR:
        return FactorSpan<D3DBLEND_INVDESTCOLOR>;
    case D3DBLEND_SRCALPHASAT:
        return FactorSpan<D3DBLEND_SRCALPHASAT>;
    default:
        return FactorSpan<D3DBLEND_ZERO>;
    }
}

} // namespace detail

} // namespace vorn::sd
