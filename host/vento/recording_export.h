#pragma once
// `vento export`: a Recorder's recording file (".vento") converted for other programs, as a mono
// 16-bit WAV file (the samples scaled and held at the 16-bit limits as the WAV module records them,
// at the recording's sample rate) or as CSV (one record a line: its time offset in engine-clock
// ticks, then its samples with nine significant digits).
#include <cstdint>
#include <filesystem>

namespace vento {

struct ExportSummary {
    std::int64_t records = 0;
    std::int64_t samples = 0; // per record times records
    std::int32_t sampleRate = 0;
};

// The format follows the output's extension, ".wav" or ".csv". Throws EngineError (one line naming
// the file) for a file that is no recording, a recording without a sample rate made into WAV, an
// output that cannot be written, and an extension that is neither.
ExportSummary exportRecording(const std::filesystem::path& recording, const std::filesystem::path& output);

} // namespace vento
