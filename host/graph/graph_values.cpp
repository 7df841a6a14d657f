#include "host/graph/graph_values.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <cwchar>

namespace vento {

std::optional<float> parseFloat(std::wstring_view view)
{
    const std::wstring text(view); // wcstof wants the end marked
    if (text.empty() || text.find(L'\0') != std::wstring::npos) return std::nullopt;
    wchar_t* end = nullptr;
    errno = 0;
    const float v = std::wcstof(text.c_str(), &end);
    // Underflow is a range error too, but its result is the nearest float; overflow is infinite.
    if (*end || (errno && errno != ERANGE) || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<int> parseWhole(std::wstring_view view)
{
    const std::wstring text(view);
    if (text.empty() || text.find(L'\0') != std::wstring::npos) return std::nullopt;
    wchar_t* end = nullptr;
    errno = 0;
    const long long v = std::wcstoll(text.c_str(), &end, 10);
    if (*end || errno || v < INT_MIN || v > INT_MAX) return std::nullopt;
    return int(v);
}

std::optional<std::pair<std::wstring, std::wstring>> parseEndpoint(std::wstring_view text)
{
    const size_t dot = text.rfind(L'.');
    if (dot == std::wstring_view::npos || dot == 0 || dot + 1 == text.size()) return std::nullopt;
    return std::pair{std::wstring(text.substr(0, dot)), std::wstring(text.substr(dot + 1))};
}

std::wstring floatText(float value)
{
    // The fewest significant digits that read back as the same float (0.8, not 0.800000012); nine
    // always do.
    wchar_t buffer[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::swprintf(buffer, 32, L"%.*g", digits, double(value));
        const std::optional<float> back = parseFloat(buffer);
        if (back && std::memcmp(&*back, &value, sizeof value) == 0) break;
    }
    return buffer;
}

} // namespace vento
