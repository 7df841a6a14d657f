// A recording file as the Recorder reads it: the header, then every complete record's time offset
// and samples, within the bytes given.
#include <cstddef>
#include <climits>
#include <cstdint>
#include <cstring>
#include <span>
#include "recording.h"

using namespace vento::formats;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> file(data, size);
    const RecordingHeader header = parseRecordingHeader(file);
    if (!recordSizeUsable(header.recordSize)) return 0;
    // Round trip of what was read: a header written with these numbers reads back the same.
    const auto written = makeRecordingHeader(header.recordSize, header.sampleRate.value_or(0));
    const RecordingHeader again = parseRecordingHeader(written);
    if (again.recordSize != header.recordSize || again.sampleRate.value_or(0) != header.sampleRate.value_or(0)) __builtin_trap();

    const std::int64_t records = completeRecords(std::int64_t(size), header.recordSize);
    std::size_t at = recordingHeaderSize;
    float sum = 0;
    for (std::int64_t r = 0; r < records; ++r) {
        const std::int64_t offset = readTimeOffset(file.subspan(at).first<recordingOffsetSize>());
        const auto bytes = timeOffsetBytes(offset);
        if (readTimeOffset(bytes) != offset || std::memcmp(bytes.data(), data + at, 8) != 0) __builtin_trap();
        // Playback timing: the due time of the record in playbacks started anywhere on the clock
        // (the sanitizer catches an overflow), never earlier than the start for a later offset.
        for (const std::int64_t start : {std::int64_t(0), offset, offset / -2, INT64_MAX, INT64_MIN, INT64_MAX - 1000}) {
            const std::int64_t due = recordDueTime(start, offset);
            if ((offset >= 0 && due < start) || (offset <= 0 && due > start)) __builtin_trap();
        }
        at += recordingOffsetSize;
        for (std::int32_t i = 0; i < header.recordSize; i += 4) {
            float sample;
            std::memcpy(&sample, data + at + std::size_t(i), sizeof sample);
            sum += sample;
        }
        at += std::size_t(header.recordSize);
    }
    if (records > 0 && at > size) __builtin_trap();
    return sum == 12345.0f; // keeps the reads
}
