#pragma once
// The Recorder's recording file (".vento"): a 128-byte text header, "RecSize: <bytes per record>
// SampleRate: <samples per second>" (two blanks between) padded with zero bytes, then records of an
// 8-byte little-endian signed time offset (engine-clock ticks since the recording started) followed
// by the record's samples as 32-bit floats.
//
// Portable code: the Recorder, `vento export` and the fuzz target share it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vento::formats {

inline constexpr std::size_t recordingHeaderSize = 128;
inline constexpr std::size_t recordingOffsetSize = 8;
// The largest record a recording may announce: a block of a million samples. Anything larger is a
// damaged header, not a signal.
inline constexpr std::int32_t recordingMaxRecordSize = 4 * 1024 * 1024;

struct RecordingHeader {
    std::int32_t recordSize = 0;            // bytes of samples per record, as the header says
    std::optional<std::int32_t> sampleRate; // none when the header names no rate
};

// Reads a header as the Recorder always has: the text up to its first zero byte; the record size is
// the number at character 9 (blanks skipped, an optional sign, digits up to the first non-digit;
// none gives 0); the sample rate is the number in the 12 characters after the first blank that
// follows "Sample". Numbers too large for 32 bits are held at the limit. `bytes` may be shorter
// than a header (a short file): what is there is read.
RecordingHeader parseRecordingHeader(std::span<const std::uint8_t> bytes) noexcept;

// The header the Recorder writes.
std::array<std::uint8_t, recordingHeaderSize> makeRecordingHeader(std::int32_t recordSize, std::int32_t sampleRate) noexcept;

// A record size the Recorder can play: whole floats, at least one, at most the limit.
constexpr bool recordSizeUsable(std::int32_t recordSize) noexcept
{
    return recordSize > 0 && recordSize % 4 == 0 && recordSize <= recordingMaxRecordSize;
}

// Complete records in a file of `fileSize` bytes whose records hold `recordSize` bytes of samples.
std::int64_t completeRecords(std::int64_t fileSize, std::int32_t recordSize) noexcept;

// When a record falls due in a playback that started at `start` (engine-clock ticks): the start
// plus the record's time offset, held at the ends of the 64-bit range. A damaged or crafted file's
// offsets may be anything; a record beyond the end of time never falls due.
constexpr std::int64_t recordDueTime(std::int64_t start, std::int64_t offset) noexcept
{
    if (offset > 0 && start > INT64_MAX - offset) return INT64_MAX;
    if (offset < 0 && start < INT64_MIN - offset) return INT64_MIN;
    return start + offset;
}

// The little-endian numbers of the file.
std::int64_t readTimeOffset(std::span<const std::uint8_t, recordingOffsetSize> bytes) noexcept;
std::array<std::uint8_t, recordingOffsetSize> timeOffsetBytes(std::int64_t offset) noexcept;

} // namespace vento::formats
