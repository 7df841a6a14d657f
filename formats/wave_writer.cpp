#include "wave_writer.h"

#include "wave.h"

namespace vento::formats {

bool WaveWriter::create(const std::wstring& name, long sampleRate)
{
    finish();
    std::wstring path = name; // mmioOpenW takes a writable string
    file_.reset(mmioOpenW(path.data(), nullptr, MMIO_CREATE | MMIO_WRITE | MMIO_ALLOCBUF));
    if (!file_) return false;
    riff_ = {};
    riff_.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    MMCKINFO fmt{};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    fmt.cksize = sizeof(PCMWAVEFORMAT);
    PCMWAVEFORMAT format{};
    format.wf.wFormatTag = WAVE_FORMAT_PCM;
    format.wf.nChannels = 1;
    format.wf.nSamplesPerSec = DWORD(sampleRate);
    format.wf.nAvgBytesPerSec = DWORD(sampleRate) * 2;
    format.wf.nBlockAlign = 2;
    format.wBitsPerSample = 16;
    data_ = {};
    data_.ckid = mmioFOURCC('d', 'a', 't', 'a');
    const bool made = mmioCreateChunk(file_.get(), &riff_, MMIO_CREATERIFF) == MMSYSERR_NOERROR &&
                      mmioCreateChunk(file_.get(), &fmt, 0) == MMSYSERR_NOERROR &&
                      mmioWrite(file_.get(), reinterpret_cast<const char*>(&format), sizeof format) == LONG(sizeof format) &&
                      mmioAscend(file_.get(), &fmt, 0) == MMSYSERR_NOERROR &&
                      mmioCreateChunk(file_.get(), &data_, 0) == MMSYSERR_NOERROR &&
                      mmioGetInfo(file_.get(), &info_, 0) == MMSYSERR_NOERROR;
    if (!made) file_.reset(); // half made: never written to
    return made;
}

bool WaveWriter::put(unsigned char byte)
{
    if (info_.pchNext >= info_.pchEndWrite) {
        info_.dwFlags |= MMIO_DIRTY;
        if (mmioAdvance(file_.get(), &info_, MMIO_WRITE) != MMSYSERR_NOERROR || info_.pchNext >= info_.pchEndWrite) return false;
    }
    *info_.pchNext++ = static_cast<char>(byte);
    return true;
}

bool WaveWriter::write(const float* samples, std::size_t count)
{
    if (!file_) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const auto value = static_cast<unsigned short>(waveRecordedValue(samples[i]));
        if (!put(static_cast<unsigned char>(value & 0xff)) || !put(static_cast<unsigned char>(value >> 8))) return false;
    }
    return true;
}

bool WaveWriter::finish() noexcept
{
    if (!file_) return true;
    info_.dwFlags |= MMIO_DIRTY;
    const bool done = mmioSetInfo(file_.get(), &info_, 0) == MMSYSERR_NOERROR &&
                      mmioAscend(file_.get(), &data_, 0) == MMSYSERR_NOERROR &&
                      mmioAscend(file_.get(), &riff_, 0) == MMSYSERR_NOERROR;
    const bool closed = mmioClose(file_.release(), 0) == MMSYSERR_NOERROR;
    return done && closed;
}

} // namespace vento::formats
