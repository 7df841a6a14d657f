#include "wav_module.h"

#include <algorithm>
#include <cwchar>

using namespace modkit;
using namespace vento::formats;

void WAVModule::OnInitialize()
{
    description = L"Play a WAV file.";
    AddOutput(defaultPin_, blockSize);
    AddInput(inputPin_, blockSize);
    blockInterval = BlockInterval();
}

void WAVModule::OnStart() { check(site->GetTime(&lastBlockTime)); }

// A stopped engine leaves no recording half written: the file gets its sizes as Stop gives them.
void WAVModule::OnStop() { CloseRecording(); }

void WAVModule::OnFinalRelease() { CloseRecording(); }

LONGLONG WAVModule::BlockInterval() const
{
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return LONGLONG(blockSize) * frequency.QuadPart / sampleRate;
}

void WAVModule::OnProcess()
{
    LONGLONG now = 0;
    check(site->GetTime(&now));
    if (playing && now > lastBlockTime + blockInterval) {
        if (!playFile_) {
            if (OpenPlayback()) check(site->GetTime(&lastBlockTime));
        } else {
            PlayBlock();
        }
    }
    if (recording && IsInputReady(inputPin_)) RecordBlock();
}

bool WAVModule::OpenPlayback()
{
    std::wstring path = fileName; // mmioOpenW takes a writable string
    playFile_.reset(mmioOpenW(path.data(), nullptr, MMIO_READ | MMIO_ALLOCBUF));
    if (!playFile_) return false;
    HMMIO file = playFile_.get();
    MMCKINFO riff{}, chunk{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) return playFile_.reset(), false;
    chunk.ckid = mmioFOURCC('f', 'm', 't', ' ');
    std::uint8_t fields[16];
    if (mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR || chunk.cksize < 16 ||
        mmioRead(file, reinterpret_cast<HPSTR>(fields), 16) != 16 || mmioAscend(file, &chunk, 0) != MMSYSERR_NOERROR)
        return playFile_.reset(), false;
    const WaveFormat format = parseWaveFormat(fields);
    // Rates, channel counts and frame sizes that cannot be played are refused before a byte is read.
    if (!wavePlayable(format)) return playFile_.reset(), false;
    chunk = {};
    chunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR ||
        mmioGetInfo(file, &playInfo_, 0) != MMSYSERR_NOERROR)
        return playFile_.reset(), false;

    bitsPerSample = format.bitsPerSample;
    channels = format.channels;
    sampleRate = long(format.samplesPerSecond);
    decoder_ = WaveSampleDecoder(format, chunk.cksize);
    outputValid_ = -1;
    PropagateProps(defaultPin_);
    dataPosition = 0;
    blockInterval = BlockInterval();
    return true;
}

void WAVModule::PlayBlock()
{
    long filled = 0;
    bool ended = false;
    while (filled < blockSize) {
        if (decoder_.finished()) {
            ended = true;
            break;
        }
        if (playInfo_.pchNext >= playInfo_.pchEndRead &&
            (mmioAdvance(playFile_.get(), &playInfo_, MMIO_READ) != MMSYSERR_NOERROR || playInfo_.pchNext >= playInfo_.pchEndRead)) {
            ended = true; // the file ends before its data chunk says
            break;
        }
        auto next = reinterpret_cast<const std::uint8_t*>(playInfo_.pchNext);
        filled += long(decoder_.decode(next, reinterpret_cast<const std::uint8_t*>(playInfo_.pchEndRead),
                                       samples_.data() + filled, std::size_t(blockSize - filled)));
        playInfo_.pchNext = reinterpret_cast<HPSTR>(const_cast<std::uint8_t*>(next));
    }
    Block out = GetOutputBlock(defaultPin_);
    if (ended) {
        std::fill(samples_.begin() + filled, samples_.end(), 0.0f);
        playFile_.reset();
        if (!repeat) playing = false;
        // The block says how much of it is the file, so that a recording of it ends with the file.
        outputValid_ = filled;
        PropagateProps(defaultPin_);
        std::copy_n(samples_.begin(), std::min(out.count, blockSize), out.data);
        SendOutput(defaultPin_);
        return;
    }
    std::copy_n(samples_.begin(), std::min(out.count, blockSize), out.data);
    dataPosition = long(decoder_.consumed());
    SendOutput(defaultPin_);
    blockInterval = BlockInterval();
    lastBlockTime += blockInterval;
}

void WAVModule::RecordBlock()
{
    Block in = GetInputBlock(inputPin_);
    if (!recordFile_.isOpen()) {
        // A new recording reads its input's document afresh: the text may be the one seen before
        // a file was played, and the file must carry the input's rate.
        inputPropsCache.erase(inputPin_.name());
        CheckInputProps(inputPin_);
        if (!recordFile_.create(fileName, recordRate)) return;
    } else {
        CheckInputProps(inputPin_);
    }
    if (in.empty()) return;
    long count = in.count;
    if (inputValid_ >= 0) count = std::min(count, inputValid_);
    recordFile_.write(in.data, std::size_t(count));
}

void WAVModule::CloseRecording() noexcept
{
    recordFile_.finish();
    recording = false;
}

// A restored module plays its file repeatedly from the start, without any button.
void WAVModule::OnLoadSettings(Settings&, const LoadedSettings&)
{
    if (!fileName.empty()) playing = repeat = true;
}

void WAVModule::OnOutputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (pin != defaultPin_) return;
    wchar_t number[16];
    swprintf(number, 16, L"%ld", sampleRate);
    SetProperty(document, L"SamplesPerSecond", number);
    SetProperty(document, L"Type", L"Audio");
    SetProperty(document, L"Range", L"-1,1");
    if (outputValid_ >= 0) {
        swprintf(number, 16, L"%ld", outputValid_);
        SetProperty(document, L"ValidSamples", number);
    }
}

void WAVModule::OnInputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (pin != inputPin_) return;
    // No rate, or one that is no rate, keeps the one the module has: a file must not say 0. The
    // rate of what plays is the played file's alone.
    const long rate = std::wcstol(GetProperty(document, L"SamplesPerSecond").c_str(), nullptr, 10);
    if (rate > 0) recordRate = rate;
    const std::wstring valid = GetProperty(document, L"ValidSamples");
    inputValid_ = valid.empty() ? -1 : std::max(0L, std::wcstol(valid.c_str(), nullptr, 10));
}
