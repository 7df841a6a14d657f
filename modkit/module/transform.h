#pragma once
// TransformModule: the base of a module that turns each block waiting on one input into one block on
// one output (the transforms, the filters, the pass-through displays). The base owns the block
// protocol; the module supplies only its arithmetic:
//
//   1. CheckInputProps (input): a changed input document rebuilds the output's
//   2. IsInputReady (input): no new block ends the step          (asked after 3 and 4 instead when
//   3. GetInputBlock (input), then FetchSideInputs()              the protocol says AskAfterFetch)
//   4. GetOutputBlock (output)
//   5. OutputSize (in): nothing ends the step; nothing is resized or sent
//   6. a count other than that size: AddOutput, GetOutputBlock again (the storage may have moved),
//      and PropagateProps (output) unless the protocol says KeepDocument
//   7. Transform (in, out), unless the engine's storage is still shorter than asked for
//      (ShortOutput::Skip: then nothing is sent)
//   8. SendOutput (output)
//
// Initialize declares the input and the output, 128 floats each. A module derives from
// TransformModule<Self, IOwnInterface>, gives its description and pins to the constructor, and
// supplies:
//   must: OutputSize, Transform
//   may:  OnInitialize (call this base first: further pins), FetchSideInputs (read a second input,
//         in place), the ModuleBase hooks
// Where a module's order of engine calls differs from the above, its BlockProtocol says so.
#include <optional>
#include "module/module_base.h"

namespace modkit {

struct BlockProtocol {
    // When IsInputReady is asked: before the blocks are fetched, or after both were.
    enum class Readiness { AskFirst, AskAfterFetch };
    // What a resized output does with its document: republish it at once, or keep what it holds.
    enum class OnResize { Republish, KeepDocument };
    // An output the engine gives shorter than asked for: nothing is sent, or the block is
    // transformed (the module writes what fits) and sent all the same.
    enum class ShortOutput { Skip, Transform };

    Readiness readiness = Readiness::AskFirst;
    OnResize onResize = OnResize::Republish;
    ShortOutput shortOutput = ShortOutput::Skip;
};

template <class Self, class OwnInterface>
class TransformModule : public Module<Self, OwnInterface> {
protected:
    // `input` and `output` name the pins (often the same name: "Default").
    TransformModule(const ModuleIdentity& identity, const wchar_t* description, const wchar_t* input,
                    const wchar_t* output, BlockProtocol protocol = {})
        : Module<Self, OwnInterface>(identity), inputPin(input), outputPin(output), protocol_(protocol)
    {
        this->description = description;
    }

    static constexpr long declaredSize = 128;
    void OnInitialize() override
    {
        this->AddInput(inputPin, declaredSize);
        this->AddOutput(outputPin, declaredSize);
    }

    // The floats the output needs for `in`; nothing when the block gives nothing to send.
    virtual std::optional<long> OutputSize(const Block& in) = 0;
    // Writes the output for `in`. `out` holds at least OutputSize(in) floats (ShortOutput::Skip).
    virtual void Transform(const Block& in, const Block& out) = 0;
    // Reads further inputs after the main input's block and before the output's.
    virtual void FetchSideInputs() {}

    void OnProcess() final
    {
        const bool askFirst = protocol_.readiness == BlockProtocol::Readiness::AskFirst;
        this->CheckInputProps(inputPin);
        if (askFirst && !this->IsInputReady(inputPin)) return;
        Block in = this->GetInputBlock(inputPin);
        FetchSideInputs();
        Block out = this->GetOutputBlock(outputPin);
        if (!askFirst && !this->IsInputReady(inputPin)) return;
        std::optional<long> size = OutputSize(in);
        if (!size) return;
        out = this->ResizeOutput(outputPin, out, *size, protocol_.onResize == BlockProtocol::OnResize::Republish);
        if (out.count < *size && protocol_.shortOutput == BlockProtocol::ShortOutput::Skip) return;
        Transform(in, out);
        this->SendOutput(outputPin);
    }

    const Pin inputPin;
    const Pin outputPin;

private:
    const BlockProtocol protocol_;
};

} // namespace modkit
