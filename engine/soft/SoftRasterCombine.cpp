// Texture stage combination for the span path: the common colour and alpha operations as span
// functions specialised at compile time, and a generic one for any other stage-0 set-up.
#include "engine/soft/SoftRasterSpanDetail.h"

#include <algorithm>

namespace vorn::sd {

namespace detail {

namespace {

// One channel of a stage operation with arg0 = arg2 = diffuse, arg1 = texel.
template <DWORD Op> std::uint32_t StageChannel(std::uint32_t t, std::uint32_t d) {
    if constexpr (Op == D3DTOP_SELECTARG2) return d;
    if constexpr (Op == D3DTOP_MODULATE) return Mul8(t, d);
    if constexpr (Op == D3DTOP_MODULATE2X) return std::min<std::uint32_t>(255, (2 * t * d + 127) / 255);
    if constexpr (Op == D3DTOP_MODULATE4X) return std::min<std::uint32_t>(255, (4 * t * d + 127) / 255);
    if constexpr (Op == D3DTOP_ADD) return std::min<std::uint32_t>(255, t + d);
    if constexpr (Op == D3DTOP_MULTIPLYADD) return std::min<std::uint32_t>(255, d + Mul8(t, d));
    return t; // SELECTARG1
}

template <DWORD ColorOp, DWORD AlphaOp>
void CombineStandard(const DrawState&, const std::uint32_t* tex, const std::uint32_t* dif, std::uint32_t* out,
                     int n) {
    for (int i = 0; i < n; ++i) {
        const std::uint32_t t = tex[i], d = dif[i];
        out[i] = StageChannel<ColorOp>(t & 0xFF, d & 0xFF) |
                 StageChannel<ColorOp>((t >> 8) & 0xFF, (d >> 8) & 0xFF) << 8 |
                 StageChannel<ColorOp>((t >> 16) & 0xFF, (d >> 16) & 0xFF) << 16 |
                 StageChannel<AlphaOp>(t >> 24, d >> 24) << 24;
    }
}

template <DWORD ColorOp> CombineFn PickAlphaOp(DWORD alphaOp) {
    switch (alphaOp) {
    case D3DTOP_SELECTARG2:
        return CombineStandard<ColorOp, D3DTOP_SELECTARG2>;
    case D3DTOP_MODULATE:
        return CombineStandard<ColorOp, D3DTOP_MODULATE>;
    case D3DTOP_MODULATE2X:
        return CombineStandard<ColorOp, D3DTOP_MODULATE2X>;
    case D3DTOP_MODULATE4X:
        return CombineStandard<ColorOp, D3DTOP_MODULATE4X>;
    case D3DTOP_ADD:
        return CombineStandard<ColorOp, D3DTOP_ADD>;
    case D3DTOP_MULTIPLYADD:
        return CombineStandard<ColorOp, D3DTOP_MULTIPLYADD>;
    default:
        return CombineStandard<ColorOp, D3DTOP_SELECTARG1>;
    }
}

} // namespace

void CombineGeneric(const DrawState& st, const std::uint32_t* tex, const std::uint32_t* dif,
                    std::uint32_t* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = CombineStage0(st, tex[i], dif[i]);
}

bool IsStandardOp(DWORD op) {
    return op == D3DTOP_SELECTARG1 || op == D3DTOP_SELECTARG2 || op == D3DTOP_MODULATE ||
           op == D3DTOP_MODULATE2X || op == D3DTOP_MODULATE4X || op == D3DTOP_ADD || op == D3DTOP_MULTIPLYADD;
}

CombineFn PickStandard(DWORD colorOp, DWORD alphaOp) {
    switch (colorOp) {
    case D3DTOP_SELECTARG2:
        return PickAlphaOp<D3DTOP_SELECTARG2>(alphaOp);
    case D3DTOP_MODULATE:
        return PickAlphaOp<D3DTOP_MODULATE>(alphaOp);
    case D3DTOP_MODULATE2X:
        return PickAlphaOp<D3DTOP_MODULATE2X>(alphaOp);
    case D3DTOP_MODULATE4X:
        return PickAlphaOp<D3DTOP_MODULATE4X>(alphaOp);
    case D3DTOP_ADD:
        return PickAlphaOp<D3DTOP_ADD>(alphaOp);
    case D3DTOP_MULTIPLYADD:
        return PickAlphaOp<D3DTOP_MULTIPLYADD>(alphaOp);
    default:
        return PickAlphaOp<D3DTOP_SELECTARG1>(alphaOp);
    }
}

} // namespace detail

} // namespace vorn::sd
