#pragma once
// A mono 16-bit PCM WAV file written through the platform's multimedia file I/O in its buffered
// direct-access mode: the samples go straight into the file's buffer, which is written out only when
// full. finish() (or the destructor) writes the chunk sizes, so a file that was created is always a
// complete RIFF file once its writer is gone.
//
// Windows only; the WAV module and `vento export` record with it.
#include <windows.h>
#include <mmsystem.h>
#include <cstddef>
#include <string>
#include "com/handle.h"

namespace vento::formats {

inline void closeMmio(HMMIO file) noexcept { mmioClose(file, 0); }
using MmioFile = modkit::UniqueHandle<HMMIO, closeMmio>;

class WaveWriter {
public:
    WaveWriter() = default;
    ~WaveWriter() { finish(); }
    WaveWriter(const WaveWriter&) = delete;
    WaveWriter& operator=(const WaveWriter&) = delete;

    // Creates (or replaces) the file with its format and an open "data" chunk. False, with nothing
    // left open, when any step fails.
    bool create(const std::wstring& name, long sampleRate);
    bool isOpen() const noexcept { return bool(file_); }
    // Each sample as waveRecordedValue gives it. False when the buffer could not be written out:
    // the rest of `samples` is dropped.
    bool write(const float* samples, std::size_t count);
    // Writes out the buffer and the chunk sizes and closes the file. False when that failed (the file
    // is closed all the same). Nothing to do when no file is open.
    bool finish() noexcept;

private:
    bool put(unsigned char byte);

    MmioFile file_;
    MMIOINFO info_{};
    MMCKINFO riff_{};
    MMCKINFO data_{};
};

} // namespace vento::formats
