// ExrImage for builds without libopenexr (the browser's): data maps are written as PNG there, so
// EncodeExr and DecodeExr refuse, with a reason that says why.
#include "export/ExrImage.h"

namespace vorn {
namespace {

constexpr const char* NoExr = "OpenEXR files are not available in this build";

bool Refuse(std::string* reason) {
    if (reason) *reason = NoExr;
    return false;
}

} // namespace

bool EncodeExr(int, int, const std::vector<TExrChannel>&, std::vector<std::uint8_t>&, std::string* reason) {
    return Refuse(reason);
}

bool DecodeExr(std::span<const std::uint8_t>, int&, int&, std::vector<TExrChannel>&, std::string* reason) {
    return Refuse(reason);
}

} // namespace vorn
