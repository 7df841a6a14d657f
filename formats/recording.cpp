#include "recording.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

namespace vento::formats {

namespace {

// Blanks skipped, an optional sign, then digits; no digits give 0. Saturates instead of
// overflowing: a header is untrusted text.
std::int32_t leadingNumber(std::string_view text) noexcept
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                               text[i] == '\v' || text[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) value = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

} // namespace

RecordingHeader parseRecordingHeader(std::span<const std::uint8_t> bytes) noexcept
{
    if (bytes.size() > recordingHeaderSize) bytes = bytes.first(recordingHeaderSize);
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    text = text.substr(0, text.find('\0'));

    RecordingHeader header;
    if (text.size() > 9) header.recordSize = leadingNumber(text.substr(9));
    const std::size_t sample = text.find("Sample");
    if (sample == std::string_view::npos) return header;
    const std::size_t blank = text.find(' ', sample);
    // No blank: nothing follows that could be the rate.
    if (blank == std::string_view::npos) return header;
    header.sampleRate = leadingNumber(text.substr(blank + 1, 12));
    return header;
}

std::array<std::uint8_t, recordingHeaderSize> makeRecordingHeader(std::int32_t recordSize, std::int32_t sampleRate) noexcept
{
    std::array<std::uint8_t, recordingHeaderSize> header{};
    char text[recordingHeaderSize] = {};
    std::snprintf(text, sizeof text, "RecSize: %d  SampleRate: %d", int(recordSize), int(sampleRate));
    std::memcpy(header.data(), text, std::strlen(text));
    return header;
}

std::int64_t completeRecords(std::int64_t fileSize, std::int32_t recordSize) noexcept
{
    if (recordSize <= 0 || fileSize <= std::int64_t(recordingHeaderSize)) return 0;
    return (fileSize - std::int64_t(recordingHeaderSize)) / (std::int64_t(recordingOffsetSize) + recordSize);
}

std::int64_t readTimeOffset(std::span<const std::uint8_t, recordingOffsetSize> bytes) noexcept
{
    std::uint64_t value = 0;
    for (std::size_t i = recordingOffsetSize; i-- > 0;) value = value << 8 | bytes[i];
    return static_cast<std::int64_t>(value);
}

std::array<std::uint8_t, recordingOffsetSize> timeOffsetBytes(std::int64_t offset) noexcept
{
    std::array<std::uint8_t, recordingOffsetSize> bytes{};
    auto value = static_cast<std::uint64_t>(offset);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(value);
        value >>= 8;
    }
    return bytes;
}

} // namespace vento::formats
