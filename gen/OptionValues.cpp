#include "gen/OptionValues.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <system_error>

namespace vorn {

std::optional<long long> ParseInteger(std::string_view text, int base) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

std::string RangeText(int low, int high) {
    return std::to_string(low) + ".." + std::to_string(high);
}

int IntegerIn(std::string_view option, std::string_view text, int low, int high) {
    const std::optional<long long> value = ParseInteger(text);
    if (!value || *value < low || *value > high) {
        throw TUsageError{std::string(option) + " accepts a whole number from " + std::to_string(low) +
                          " to " + std::to_string(high) + " (got '" + std::string(text) + "')"};
    }
    return static_cast<int>(*value);
}

double RealIn(std::string_view option, std::string_view text, double low, double high) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || ec != std::errc() || ptr != end || !(value >= low && value <= high)) {
        throw TUsageError{std::string(option) + " accepts a number from " + RangeText(int(low), int(high)) +
                          " (got '" + std::string(text) + "')"};
    }
    return value;
}

int ParamOf(const TGenParam& param, std::string_view text) {
    const std::string_view digits = param.kind == pkColor && text.starts_with('#') ? text.substr(1) : text;
    const TParsedValue parsed = ParseParamValue(param, digits);
    if (parsed.error != TValueError::None) {
        const char* hash = param.kind == pkColor ? ", optionally after #" : "";
        throw TUsageError{std::string("--") + param.name + " accepts " + AcceptedValues(param) + hash +
                          " (got '" + std::string(text) + "')"};
    }
    return parsed.value;
}

std::uint32_t SeedOf(std::string_view text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::optional<long long> value = hex ? ParseInteger(text.substr(2), 16) : ParseInteger(text);
    if (!value || *value < 0 || *value > 0xFFFFFFFFll) {
        throw TUsageError{"--seed accepts a number from 0 to 4294967295, decimal or 0x-hex (got '" +
                          std::string(text) + "')"};
    }
    return static_cast<std::uint32_t>(*value);
}

void SetRoughnessRange(TMapOptions& maps, const std::string& option, const std::string& value) {
    const std::size_t comma = value.find(',');
    const auto fail = [&] {
        return TUsageError{option + " accepts MIN,MAX, two numbers from 0 to 1 with MIN at most MAX (got '" +
                           value + "')"};
    };
    if (comma == std::string::npos) throw fail();
    double low = 0, high = 0;
    try {
        low = RealIn(option, std::string_view(value).substr(0, comma), 0.0, 1.0);
        high = RealIn(option, std::string_view(value).substr(comma + 1), 0.0, 1.0);
    } catch (const TUsageError&) {
        throw fail();
    }
    if (low > high) throw fail();
    maps.roughnessMin = low;
    maps.roughnessMax = high;
}

void SetMapList(TMapOptions& maps, const std::string& option, const std::string& value) {
    for (const TMapKind& kind : MapKindTable) maps.*kind.wanted = false;
    for (std::size_t start = 0; start <= value.size();) {
        const std::size_t comma = std::min(value.find(',', start), value.size());
        const std::string_view item = std::string_view(value).substr(start, comma - start);
        bool* chosen = nullptr;
        for (const TMapKind& kind : MapKindTable)
            if (item == kind.name) chosen = &(maps.*kind.wanted);
        if (!chosen || *chosen)
            throw TUsageError{option +
                              " accepts height, normal, roughness and ao, each at most once and "
                              "separated by commas (got '" +
                              value + "')"};
        *chosen = true;
        start = comma + 1;
    }
}

void SetNormalY(TMapOptions& maps, const std::string& option, const std::string& value) {
    if (value != "up" && value != "down")
        throw TUsageError{option + " accepts up or down (got '" + value + "')"};
    maps.normalY = value == "up" ? TNormalY::Up : TNormalY::Down;
}

void SetNormalFilter(TMapOptions& maps, const std::string& option, const std::string& value) {
    if (value != "sobel" && value != "scharr")
        throw TUsageError{option + " accepts sobel or scharr (got '" + value + "')"};
    maps.normalFilter = value == "sobel" ? TNormalFilter::Sobel : TNormalFilter::Scharr;
}

} // namespace vorn
