#pragma once
// The engine side of a module's pins. The engine owns every block record, its float storage and its
// property-document variable; the module reads and writes them in place through the pointers the
// records hold. Records are rewritten from the engine's own state whenever they are handed out, so
// a module that scribbles on a record cannot change what the engine delivers.
#include <windows.h>
#include <oleauto.h>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>
#include "com/bstr.h"
#include "engine.h"

namespace vento {

class ModuleCore;
class OutputPin;

// Text of a property-document variable; nullopt when it holds no string at all.
std::optional<std::wstring_view> propsText(BSTR props) noexcept;
// "SamplesPerSecond" of a property document, 0 when it states none.
long samplesPerSecond(BSTR props) noexcept;

// One connection of an input: the block that came in on it and whether it waits to be processed.
// Before the first delivery the record has status 1, no data and count 0.
class InputSlot {
public:
    InputSlot() = default;
    InputSlot(const InputSlot&) = delete;
    InputSlot& operator=(const InputSlot&) = delete;

    // Copies the block into this slot's own storage and marks it ready. The document string is
    // copied only when its text differs from the one held, so a steady stream allocates nothing.
    void receive(std::span<const float> data, std::optional<std::wstring_view> props, long status = 0);
    // Marks the slot ready with no record at all: GetInputBlock then answers a null pointer.
    void receiveNullRecord();

    bool ready() const noexcept { return ready_; }
    void clearReady() noexcept { ready_ = false; }
    // The record handed to the module; null after receiveNullRecord().
    SignalBlock* block() noexcept;

    std::span<const float> data() const noexcept { return data_; }
    BSTR props() const noexcept { return props_.get(); }

    // The output feeding this slot; both null for a slot nobody feeds.
    ModuleCore* sourceCore = nullptr;
    OutputPin* sourcePin = nullptr;

private:
    std::vector<float> data_;
    modkit::Bstr props_;
    long status_ = 1;
    bool nullRecord_ = false;
    bool ready_ = false;
    SignalBlock record_{};
};

// An input pin. A single input always has exactly one slot; a multi-input has one per connection.
struct InputPin {
    long size = 0;
    bool multi = false;
    std::vector<std::unique_ptr<InputSlot>> slots;
};

// An output pin and its storage. Contents persist between calls; a resize moves the block to new
// storage and keeps the previous buffer alive, filled with a poison pattern, so that a module that
// goes on writing through a stale pointer is caught instead of corrupting memory.
class OutputPin {
public:
    explicit OutputPin(long size);
    OutputPin(const OutputPin&) = delete;
    OutputPin& operator=(const OutputPin&) = delete;

    // Moves the block to fresh zero-filled storage of `size` floats unless it has that size already.
    void resize(long size);
    SignalBlock* block() noexcept;
    // Delivers the block to every connected input and counts the send.
    void send();

    long size() const noexcept { return static_cast<long>(data_.size()); }
    std::span<const float> data() const noexcept { return data_; }
    BSTR props() const noexcept { return props_.get(); }
    long sends() const noexcept { return sends_; }
    // Whether anything was written into a buffer after it was retired by a resize.
    bool retiredBufferWritten() const noexcept;

    std::vector<InputSlot*> targets;

private:
    std::vector<float> data_;
    std::vector<float> retired_;
    bool earlierRetiredWritten_ = false;
    modkit::Bstr props_;
    long sends_ = 0;
    SignalBlock record_{};
};

} // namespace vento
