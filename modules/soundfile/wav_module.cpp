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
        if (!player_.isOpen()) {
            if (OpenPlayback()) check(site->GetTime(&lastBlockTime));
        } else {
            PlayBlock();
        }
    }
    if (recording && IsInputReady(inputPin_)) RecordBlock();
}

bool WAVModule::OpenPlayback()
{
    if (!player_.open(fileName)) return false;
    const WaveFormat& format = player_.format();
    bitsPerSample = format.bitsPerSample;
    channels = format.channels;
    sampleRate = long(format.samplesPerSecond);
    outputValid_ = -1;
    PropagateProps(defaultPin_);
    dataPosition = 0;
    blockInterval = BlockInterval();
    return true;
}

void WAVModule::PlayBlock()
{
    bool ended = false;
    const long filled = long(player_.read(samples_.data(), std::size_t(blockSize), ended));
    Block out = GetOutputBlock(defaultPin_);
    if (ended) {
        std::fill(samples_.begin() + filled, samples_.end(), 0.0f);
        player_.close();
        if (!repeat) playing = false;
        // The block says how much of it is the file, so that a recording of it ends with the file.
        outputValid_ = filled;
        PropagateProps(defaultPin_);
        std::copy_n(samples_.begin(), std::min(out.count, blockSize), out.data);
        SendOutput(defaultPin_);
        return;
    }
    std::copy_n(samples_.begin(), std::min(out.count, blockSize), out.data);
    dataPosition = long(player_.consumed());
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
