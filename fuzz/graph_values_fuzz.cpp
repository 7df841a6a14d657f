// The values of a graph file's attributes as the reader takes them: numbers, whole numbers and
// connection ends. The input is attribute text as 16-bit units (what a Windows wide string holds);
// every value read must come back the same through the way the file writes it. The first four bytes
// are also taken as a float the file might have to write: it must read back exactly.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cmath>
#include <string>
#include "host/graph/graph_values.h"

namespace {

bool sameFloat(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void floatComesBack(float value)
{
    if (!std::isfinite(value)) return;
    const auto back = vento::parseFloat(vento::floatText(value));
    if (!back || !sameFloat(*back, value)) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size >= sizeof(float)) {
        float bits;
        std::memcpy(&bits, data, sizeof bits);
        floatComesBack(bits);
    }
    std::wstring text;
    for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(wchar_t(data[i] | (data[i + 1] << 8)));

    if (const auto number = vento::parseFloat(text)) {
        if (!std::isfinite(*number)) __builtin_trap();
        floatComesBack(*number);
    }
    if (const auto whole = vento::parseWhole(text)) {
        const auto again = vento::parseWhole(std::to_wstring(*whole));
        if (!again || *again != *whole) __builtin_trap();
    }
    if (const auto end = vento::parseEndpoint(text)) {
        if (end->first.empty() || end->second.empty() || end->second.find(L'.') != std::wstring::npos) __builtin_trap();
        if (end->first + L"." + end->second != text) __builtin_trap();
    }
    return 0;
}
