#include "host/vento/recording_export.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <fstream>
#include <string>
#include <vector>
#include "host/engine/vento_engine.h"
#include "recording.h"
#include "wave_writer.h"

namespace vento {

using namespace formats;

namespace {

std::wstring lowerExtension(const std::filesystem::path& file)
{
    std::wstring extension = file.extension().wstring();
    for (wchar_t& c : extension) c = wchar_t(std::towlower(c));
    return extension;
}

} // namespace

ExportSummary exportRecording(const std::filesystem::path& recording, const std::filesystem::path& output)
{
    const std::string in = narrow(recording.wstring()), out = narrow(output.wstring());
    const std::wstring kind = lowerExtension(output);
    if (kind != L".wav" && kind != L".csv") throw EngineError("export: " + out + ": write a .wav or a .csv file");

    std::ifstream file(recording, std::ios::binary);
    if (!file) throw EngineError("export: cannot read " + in);
    std::uint8_t header[recordingHeaderSize] = {};
    file.read(reinterpret_cast<char*>(header), sizeof header);
    const RecordingHeader parsed = parseRecordingHeader(std::span(header, std::size_t(file.gcount())));
    std::error_code error;
    const auto size = std::int64_t(std::filesystem::file_size(recording, error));
    if (error || !recordSizeUsable(parsed.recordSize))
        throw EngineError("export: " + in + " is no recording (its header gives no usable record size)");

    ExportSummary summary;
    summary.records = completeRecords(size, parsed.recordSize);
    summary.samples = summary.records * (parsed.recordSize / 4);
    summary.sampleRate = parsed.sampleRate.value_or(0);

    WaveWriter wave;
    std::ofstream csv;
    if (kind == L".wav") {
        if (summary.sampleRate <= 0) throw EngineError("export: " + in + " states no sample rate; export it as .csv");
        if (!wave.create(output.wstring(), summary.sampleRate)) throw EngineError("export: cannot write " + out);
    } else {
        csv.open(output, std::ios::binary | std::ios::trunc);
        if (!csv) throw EngineError("export: cannot write " + out);
    }
    std::vector<float> samples(std::size_t(parsed.recordSize / 4));
    for (std::int64_t r = 0; r < summary.records; ++r) {
        std::uint8_t offset[recordingOffsetSize];
        file.read(reinterpret_cast<char*>(offset), sizeof offset);
        file.read(reinterpret_cast<char*>(samples.data()), std::streamsize(parsed.recordSize));
        if (!file) throw EngineError("export: reading " + in + " failed");
        if (wave.isOpen()) {
            if (!wave.write(samples.data(), samples.size())) throw EngineError("export: writing " + out + " failed");
            continue;
        }
        csv << readTimeOffset(offset);
        for (float sample : samples) {
            char number[32];
            std::snprintf(number, sizeof number, ",%.9g", double(sample));
            csv << number;
        }
        csv << '\n';
    }
    if (wave.isOpen() && !wave.finish()) throw EngineError("export: writing " + out + " failed");
    if (csv.is_open()) {
        csv.close();
        if (!csv) throw EngineError("export: writing " + out + " failed");
    }
    return summary;
}

} // namespace vento
