#pragma once
// The values a graph file holds in its attributes, read and written apart from the XML around them:
// numbers, whole numbers and connection ends. Plain C++ with no Windows header, so that the readers
// are fuzzed natively (fuzz/graph_values_fuzz.cpp) as well as used by graph_file.cpp.
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vento {

// The whole text as a 32-bit float, in any form wcstof reads ("0.5", "-5", "1e-3"). A number too
// small for a float gives the nearest one (a subnormal, or zero), as the file may hold one that was
// written from a subnormal; one too large, infinity or not-a-number gives nothing, as does empty
// text or anything after the number.
std::optional<float> parseFloat(std::wstring_view text);

// The whole text as a decimal whole number that fits 32 bits, or nothing.
std::optional<int> parseWhole(std::wstring_view text);

// "instance.pin", split at the last point (pin names are plain words); nothing when either part
// would be empty.
std::optional<std::pair<std::wstring, std::wstring>> parseEndpoint(std::wstring_view text);

// A float as the file writes it: the shortest text that brings the same float back through
// parseFloat (at most nine significant digits).
std::wstring floatText(float value);

} // namespace vento
