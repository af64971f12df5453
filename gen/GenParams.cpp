#include "gen/GenParams.h"

#include <cctype>
#include <charconv>
#include <cstdio>

namespace vorn {

namespace {

// An item's option value: its caption in lower case, a space as '-' ("Wrap X" -> "wrap-x").
std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool IsSizeValue(const TGenParam& param, int value) {
    for (int size = param.min; size <= param.max; size *= 2) {
        if (size == value) return true;
    }
    return false;
}

TParsedValue ParseNumber(const TGenParam& param, std::string_view text) {
    if (text.empty()) return {0, TValueError::Empty, 0};
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end == text.data()) return {0, TValueError::NotANumber, 0};
    const std::size_t used = static_cast<std::size_t>(end - text.data());
    if (used != text.size()) return {0, TValueError::Trailing, used};
    const bool inRange = ec == std::errc() && value >= param.min && value <= param.max;
    if (!inRange || (param.kind == pkSize && !IsSizeValue(param, static_cast<int>(value)))) {
        return {0, TValueError::OutOfRange, 0};
    }
    return {static_cast<int>(value), TValueError::None, 0};
}

} // namespace

TParsedHex ParseHexDigits(std::string_view text, std::size_t digits) {
    TParsedHex parsed;
    for (std::size_t i = 0; i < text.size() && i < digits; ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (digit < 0) return {0, TValueError::BadHex, i};
        parsed.value = parsed.value << 4 | static_cast<std::uint32_t>(digit);
    }
    if (text.empty()) return {0, TValueError::Empty, 0};
    if (text.size() < digits) return {0, TValueError::Short, text.size()};
    if (text.size() > digits) return {0, TValueError::Trailing, digits};
    return parsed;
}

const TGenParam* FindGenParam(std::string_view name) {
    for (const TGenParam& param : GenParams) {
        if (name == param.name) return &param;
    }
    return nullptr;
}

std::string ParamValueText(const TGenParam& param, int value) {
    switch (param.kind) {
    case pkList:
        return Lower(param.items[static_cast<std::size_t>(value)]);
    case pkColor: {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%06X", static_cast<unsigned>(value) & 0xFFFFFFu);
        return hex;
    }
    case pkSize:
    case pkTrack:
        break;
    }
    return std::to_string(value);
}

TParsedValue ParseParamValue(const TGenParam& param, std::string_view text) {
    switch (param.kind) {
    case pkList:
        if (text.empty()) return {0, TValueError::Empty, 0};
        for (std::size_t i = 0; i < param.items.size(); ++i) {
            if (text == Lower(param.items[i])) return {static_cast<int>(i), TValueError::None, 0};
        }
        return {0, TValueError::Unknown, 0};
    case pkColor: {
        const TParsedHex hex = ParseHexDigits(text, 6);
        return {static_cast<int>(hex.value), hex.error, hex.at};
    }
    case pkSize:
    case pkTrack:
        break;
    }
    return ParseNumber(param, text);
}

std::string AcceptedValues(const TGenParam& param) {
    std::string text;
    switch (param.kind) {
    case pkList:
        for (std::size_t i = 0; i < param.items.size(); ++i) {
            if (i > 0) text += '|';
            text += Lower(param.items[i]);
        }
        return text;
    case pkSize:
        for (int size = param.min; size <= param.max; size *= 2) {
            if (size != param.min) text += size == param.max ? " or " : ", ";
            text += std::to_string(size);
        }
        return text;
    case pkColor:
        return "six hex digits RRGGBB";
    case pkTrack:
        break;
    }
    return "a whole number from " + std::to_string(param.min) + " to " + std::to_string(param.max);
}

} // namespace vorn
