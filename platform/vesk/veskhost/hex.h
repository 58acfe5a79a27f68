// Hex text for the command line and the JSON output.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veskhost {

using Bytes = std::vector<std::uint8_t>;

// The bytes of an even-length hex text (either case; no separators), or nullopt.
std::optional<Bytes> ParseHex(std::string_view text);
// Lower-case hex, two digits a byte.
std::string ToHex(std::span<const std::uint8_t> bytes);

}  // namespace veskhost
