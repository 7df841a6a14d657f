#pragma once
// The WAV module: plays a WAV file onto its output in real time, one block of 256 samples per block
// interval of the engine clock, and records its input into a mono 16-bit WAV file. Play, Repeat,
// Record and Stop come from the panel; a restored module with a file name plays it repeatedly.
#include <windows.h>
#include <mmsystem.h>
#include <cstdint>
#include <string>
#include <vector>
#include "identity.h"
#include "module/module_base.h"
#include "wave.h"
#include "wave_reader.h"
#include "wave_writer.h"

class WAVModule : public modkit::Module<WAVModule, identity::ModuleInterface> {
public:
    WAVModule() : Module(identity::module) {}

    // Read by Process, written by the panel inside the engine's update scope.
    bool recording = false;
    long dataPosition = 0; // bytes of the "data" chunk played so far
    long channels = 0;
    bool repeat = false;
    long blockSize = 256;
    long sampleRate = 11025; // what plays: the file's
    long recordRate = 11025; // what is recorded: the input's
    long bitsPerSample = 0;
    bool playing = false;
    std::wstring fileName;
    LONGLONG blockInterval = 0;
    LONGLONG lastBlockTime = 0;

    static constexpr modkit::Setting<WAVModule> declaredSettings[] = {{.name = L"FileName", .field = &WAVModule::fileName}};

    // Completes the recording file (chunk sizes written) and ends recording.
    void CloseRecording() noexcept;

protected:
    void OnInitialize() override;
    void OnStart() override;
    void OnStop() override;
    void OnProcess() override;
    void OnFinalRelease() override;
    void OnLoadSettings(modkit::Settings& settings, const modkit::LoadedSettings& loaded) override;
    void OnOutputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;
    void OnInputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;

private:
    LONGLONG BlockInterval() const;
    // Opens the file for playback; false (nothing open) when it cannot be played.
    bool OpenPlayback();
    void PlayBlock();
    void RecordBlock();

    // Playback.
    vento::formats::WaveReader player_;
    std::vector<float> samples_ = std::vector<float>(256);
    // Recording.
    vento::formats::WaveWriter recordFile_;
    long inputValid_ = -1;  // the input block's samples that carry the signal; -1: all of them
    long outputValid_ = -1; // the same for the block being sent

    modkit::Pin defaultPin_{L"Default"};
    modkit::Pin inputPin_{L"Input"};
};
