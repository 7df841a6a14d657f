#include "host/engine/pins.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cwchar>
#include "com/bstr.h"

namespace vento {

namespace {
constexpr std::uint32_t poisonBits = 0xDEADBEEF; // a normal float, so copying it cannot change it

bool poisonIntact(std::span<const float> buffer) noexcept
{
    return std::all_of(buffer.begin(), buffer.end(),
                       [](float f) { return std::bit_cast<std::uint32_t>(f) == poisonBits; });
}

float* dataOrNull(std::vector<float>& v) noexcept { return v.empty() ? nullptr : v.data(); }
} // namespace

std::optional<std::wstring_view> propsText(BSTR props) noexcept
{
    if (!props) return std::nullopt;
    return modkit::bstrView(props);
}

void InputSlot::receive(std::span<const float> data, std::optional<std::wstring_view> props, long status)
{
    const std::optional<std::wstring_view> held = propsText(props_.get());
    const bool same = props ? held && modkit::sameText(*props, *held) : !held;
    if (!same) props_ = props ? modkit::Bstr(*props) : modkit::Bstr();
    data_.assign(data.begin(), data.end());
    status_ = status;
    nullRecord_ = false;
    ready_ = true;
}

void InputSlot::receiveNullRecord()
{
    nullRecord_ = true;
    ready_ = true;
}

SignalBlock* InputSlot::block() noexcept
{
    if (nullRecord_) return nullptr;
    record_ = {status_, props_.slot(), dataOrNull(data_), static_cast<long>(data_.size())};
    return &record_;
}

OutputPin::OutputPin(long size) : data_(static_cast<std::size_t>(size)) {}

void OutputPin::resize(long size)
{
    if (static_cast<std::size_t>(size) == data_.size()) return;
    std::vector<float> fresh(static_cast<std::size_t>(size));
    earlierRetiredWritten_ = earlierRetiredWritten_ || !poisonIntact(retired_);
    retired_ = std::move(data_);
    std::fill(retired_.begin(), retired_.end(), std::bit_cast<float>(poisonBits));
    data_ = std::move(fresh);
}

SignalBlock* OutputPin::block() noexcept
{
    record_ = {0, props_.slot(), dataOrNull(data_), size()};
    return &record_;
}

void OutputPin::send()
{
    for (InputSlot* target : targets) target->receive(data_, propsText(props_.get()));
    ++sends_;
}

bool OutputPin::retiredBufferWritten() const noexcept
{
    return earlierRetiredWritten_ || !poisonIntact(retired_);
}

long samplesPerSecond(BSTR props) noexcept
{
    auto text = propsText(props);
    if (!text) return 0;
    constexpr std::wstring_view open = L"<SamplesPerSecond>";
    size_t at = text->find(open);
    if (at == std::wstring_view::npos) return 0;
    return std::wcstol(text->data() + at + open.size(), nullptr, 10);
}

} // namespace vento
