#include "wave_reader.h"

namespace vento::formats {

bool WaveReader::open(const std::wstring& name)
{
    std::wstring path = name; // mmioOpenW takes a writable string
    file_.reset(mmioOpenW(path.data(), nullptr, MMIO_READ | MMIO_ALLOCBUF));
    if (!file_) return false;
    HMMIO file = file_.get();
    MMCKINFO riff{}, chunk{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) return close(), false;
    chunk.ckid = mmioFOURCC('f', 'm', 't', ' ');
    std::uint8_t fields[16];
    if (mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR || chunk.cksize < 16 ||
        mmioRead(file, reinterpret_cast<HPSTR>(fields), 16) != 16 || mmioAscend(file, &chunk, 0) != MMSYSERR_NOERROR)
        return close(), false;
    const WaveFormat format = parseWaveFormat(fields);
    // Rates, channel counts and frame sizes that cannot be played are refused before a byte is read.
    if (!wavePlayable(format)) return close(), false;
    chunk = {};
    chunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR || mmioGetInfo(file, &info_, 0) != MMSYSERR_NOERROR)
        return close(), false;
    format_ = format;
    decoder_ = WaveSampleDecoder(format, chunk.cksize);
    return true;
}

std::size_t WaveReader::read(float* out, std::size_t count, bool& ended)
{
    ended = false;
    std::size_t filled = 0;
    while (filled < count) {
        if (decoder_.finished()) {
            ended = true;
            break;
        }
        if (info_.pchNext >= info_.pchEndRead &&
            (mmioAdvance(file_.get(), &info_, MMIO_READ) != MMSYSERR_NOERROR || info_.pchNext >= info_.pchEndRead)) {
            ended = true; // the file ends before its data chunk says
            break;
        }
        auto next = reinterpret_cast<const std::uint8_t*>(info_.pchNext);
        filled += decoder_.decode(next, reinterpret_cast<const std::uint8_t*>(info_.pchEndRead), out + filled, count - filled);
        info_.pchNext = reinterpret_cast<HPSTR>(const_cast<std::uint8_t*>(next));
    }
    return filled;
}

} // namespace vento::formats
