#include "recorder_module.h"

#include <algorithm>
#include <climits>
#include <cwchar>
#include "recording.h"
#include "com/message_box.h"

using namespace modkit;
using namespace vento::formats;

void RecorderModule::OnInitialize()
{
    description = L"Records and plays back a signal.";
    AddInput(defaultPin_, 128);
    AddOutput(defaultPin_, 128);
}

void RecorderModule::OnProcess()
{
    Block in = IsInputReady(defaultPin_) ? GetInputBlock(defaultPin_) : Block{};
    const long n = in.count;
    // A change of the input's block size ends a recording (only one that has a file: a recording
    // waiting for its first block takes that block's size). A call without an input block changes
    // no size: a source slower than the engine's passes leaves such calls between its blocks.
    if (record && file && n != 0 && n != blockSize && !resetPending) {
        record = false;
        resetPending = true;
    }
    if (resetPending) {
        CloseFile();
        resetPending = false;
        inputPropsCache[defaultPin_.name()] = L"";
    }
    if (!play) CheckInputProps(defaultPin_);

    if (record) {
        Record(in);
    } else if (play) {
        Play();
    } else if (!in.empty()) {
        PassOn(in, n);
    }
    if (file) filePosition = static_cast<long>(std::min<LONGLONG>(Position(), LONG_MAX));
}

void RecorderModule::Record(const Block& in)
{
    if (!file) {
        // The file is made with the first block, whose size every record then has.
        if (in.empty()) return;
        blockSize = in.count;
        file.reset(CreateFileW(fileName.c_str(), GENERIC_WRITE | GENERIC_READ, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        const auto header = makeRecordingHeader(blockSize * 4, sampleRate);
        if (!file || !file.writeAll(header.data(), DWORD(header.size()))) {
            FailOpen();
            record = false;
            return;
        }
        recordedEnd_ = recordingHeaderSize;
        check(site->GetTime(&startTime));
    }
    if (in.empty()) return;
    LONGLONG now = 0;
    check(site->GetTime(&now));
    const auto offset = timeOffsetBytes(now - startTime);
    const DWORD bytes = DWORD(in.count) * 4;
    if (file.writeAll(offset.data(), DWORD(offset.size())) && file.writeAll(in.data, bytes)) {
        recordedEnd_ += LONGLONG(offset.size()) + bytes;
    } else {
        // A full disk or a lost file: the recording ends with its complete records.
        if (file.seek(recordedEnd_)) SetEndOfFile(file.get());
        CloseFile();
        record = false;
    }
    PassOn(in, blockSize);
}

void RecorderModule::Play()
{
    if (!file && !OpenForPlayback()) {
        play = false;
        return;
    }
    if (fileSize_ - Position() < recordSize) {
        LONGLONG now = 0;
        check(site->GetTime(&now));
        RestartPlayback(now);
    }
    LONGLONG now = 0;
    check(site->GetTime(&now));
    if (gapCountdown != 0) {
        --gapCountdown;
        return;
    }
    if (now <= nextRecordTime) return;

    Block out = GetOutputBlock(defaultPin_);
    if (out.count * 4 != recordSize) out = ResizeOutput(defaultPin_, out, recordSize / 4);
    if (out.count * 4 != recordSize) return; // no storage for the record: it stays for the next call
    file.readSome(out.data, DWORD(recordSize));
    if (LONGLONG offset = 0; ReadTimeOffset(offset)) nextRecordTime = recordDueTime(startTime, offset);
    SendOutput(defaultPin_);
    gapCountdown = 1;
}

bool RecorderModule::OpenForPlayback()
{
    file.reset(CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::optional<LONGLONG> size = file ? file.size() : std::nullopt;
    if (!size) {
        FailOpen();
        return false;
    }
    fileSize_ = *size;
    std::uint8_t header[recordingHeaderSize] = {};
    const DWORD read = file.readSome(header, sizeof header);
    const RecordingHeader parsed = parseRecordingHeader(std::span(header, read));
    // A damaged header would have blocks read past their storage, or nothing ever played.
    if (!recordSizeUsable(parsed.recordSize) || completeRecords(fileSize_, parsed.recordSize) == 0) {
        FailOpen();
        return false;
    }
    recordSize = parsed.recordSize;
    if (parsed.sampleRate) sampleRate = *parsed.sampleRate;
    PropagateProps(defaultPin_);
    LONGLONG now = 0;
    check(site->GetTime(&now));
    startTime = now;
    if (LONGLONG offset = 0; ReadTimeOffset(offset)) nextRecordTime = recordDueTime(startTime, offset);
    return true;
}

void RecorderModule::RestartPlayback(LONGLONG now)
{
    startTime = now;
    file.seek(recordingHeaderSize);
    if (LONGLONG offset = 0; ReadTimeOffset(offset)) nextRecordTime = recordDueTime(startTime, offset);
}

bool RecorderModule::ReadTimeOffset(LONGLONG& offset)
{
    std::uint8_t bytes[recordingOffsetSize];
    if (file.readSome(bytes, sizeof bytes) != sizeof bytes) return false;
    offset = readTimeOffset(bytes);
    return true;
}

void RecorderModule::FailOpen()
{
    CloseFile();
    showMessage(L"File Open Failed");
}

void RecorderModule::CloseFile() noexcept
{
    if (!file) return;
    file.reset();
    filePosition = 0;
}

LONGLONG RecorderModule::Position() const { return file.position(); }

void RecorderModule::PassOn(const Block& in, long size)
{
    Block out = GetOutputBlock(defaultPin_);
    if (out.count != size) out = ResizeOutput(defaultPin_, out, size);
    std::copy_n(in.data, std::min(in.count, out.count), out.data);
    SendOutput(defaultPin_);
}

void RecorderModule::OnOutputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (pin != defaultPin_) return;
    wchar_t rate[16];
    swprintf(rate, 16, L"%ld", sampleRate);
    SetProperty(document, L"SamplesPerSecond", rate);
}

void RecorderModule::OnInputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (pin != defaultPin_) return;
    sampleRate = std::wcstol(GetProperty(document, L"SamplesPerSecond").c_str(), nullptr, 10);
}
