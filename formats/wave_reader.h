#pragma once
// A WAV file played through the platform's multimedia file I/O in its buffered direct-access mode:
// its "fmt " and "data" chunks found, then the data decoded (wave.h) straight out of the file's
// buffer, which is refilled as it runs out.
//
// Windows only; the WAV module plays with it.
#include <cstddef>
#include <cstdint>
#include <string>
#include "wave.h"
#include "wave_writer.h"

namespace vento::formats {

class WaveReader {
public:
    // Opens `name` and finds its format and data. False, with nothing left open, when the file is
    // no RIFF WAVE file, its format cannot be played (wavePlayable), or a chunk is missing or short.
    bool open(const std::wstring& name);
    bool isOpen() const noexcept { return bool(file_); }
    void close() noexcept { file_.reset(); }
    const WaveFormat& format() const noexcept { return format_; }

    // Decodes up to `count` samples into `out`; answers how many. Fewer only when the data ends:
    // its last whole frame was decoded, or the file ends before its data chunk says (`ended`).
    std::size_t read(float* out, std::size_t count, bool& ended);
    // Bytes of the data chunk consumed so far.
    std::uint32_t consumed() const noexcept { return decoder_.consumed(); }

private:
    MmioFile file_;
    MMIOINFO info_{};
    WaveFormat format_;
    WaveSampleDecoder decoder_;
};

} // namespace vento::formats
