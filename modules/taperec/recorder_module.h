#pragma once
// The Recorder: records any float signal into a recording file (formats/recording.h) with the
// engine-clock time of every block, and plays such a file back with that timing, from its first
// record again when it ends. Record, Play and Stop come only from the panel; idle, the input passes
// straight through.
#include <cstdint>
#include <string>
#include "identity.h"
#include "module/module_base.h"
#include "com/handle.h"

class RecorderModule : public modkit::Module<RecorderModule, identity::ModuleInterface> {
public:
    RecorderModule() : Module(identity::module) {}

    // Read by Process, written by the panel inside the engine's update scope.
    bool play = false;
    bool record = false;
    long filePosition = 0; // shown in the panel; the byte position in the open file
    std::wstring fileName;
    LONGLONG nextRecordTime = 0;
    LONGLONG startTime = 0;
    long recordSize = 0;
    modkit::UniqueFile file;
    long blockSize = 128;
    long sampleRate = 0;
    long gapCountdown = 0; // processing calls still to skip before the next played block
    bool resetPending = true;

    static constexpr long maxGap = 3;

    // A gap beyond what the panel offers would silence playback for as long as it says.
    static constexpr modkit::Setting<RecorderModule> declaredSettings[] = {
        {.name = L"Slow Delay", .field = &RecorderModule::gapCountdown, .accept = modkit::Accept::clampedTo(0, maxGap), .loadAt = 2},
        {.name = L"FileName", .field = &RecorderModule::fileName, .loadAt = 1},
    };

protected:
    void OnInitialize() override;
    void OnProcess() override;
    void OnOutputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;
    void OnInputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;

private:
    void Record(const modkit::Block& in);
    void Play();
    // Sends `in` on unchanged (the output resized to `size` when its length differs).
    void PassOn(const modkit::Block& in, long size);
    // Opens the playback file and reads its header and first time offset; false (file closed, a
    // message shown) when it cannot be played.
    bool OpenForPlayback();
    void FailOpen();
    // Back to the first record: the start time is now.
    void RestartPlayback(LONGLONG now);
    bool ReadTimeOffset(LONGLONG& offset);
    void CloseFile() noexcept;
    LONGLONG Position() const;

    LONGLONG fileSize_ = 0;      // bytes of the file being played
    LONGLONG recordedEnd_ = 0;   // recording: the end of the last complete record
    modkit::Pin defaultPin_{L"Default"};
};
