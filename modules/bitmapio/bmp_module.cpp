#include "bmp_module.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <new>
#include <vector>
#include "bmp.h"
#include "com/handle.h"
#include "com/message_box.h"

using namespace modkit;

namespace {

// The whole file, or nothing when it cannot be opened. Throws E_FAIL when it cannot be read in full
// or is larger than any picture the module reads.
std::optional<std::vector<std::uint8_t>> fileBytes(const std::wstring& name)
{
    UniqueFile file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    constexpr LONGLONG largest = 4LL * bmp::maxSide * bmp::maxSide + (1 << 20);
    std::optional<std::vector<std::uint8_t>> bytes = file.readWhole(largest);
    if (!bytes) throwHr(E_FAIL);
    return bytes;
}

// What reading a file gave: its picture, or the message that tells the user why there is none.
struct Reading {
    std::optional<bmp::Picture> picture;
    std::wstring failure;
};

Reading readFile(const std::wstring& name)
{
    try {
        std::optional<std::vector<std::uint8_t>> bytes = fileBytes(name);
        if (!bytes) return {std::nullopt, L"File Open Failed.  File Name:" + name};
        if (std::optional<bmp::Picture> picture = bmp::read(*bytes)) return {std::move(picture), {}};
    } catch (const ComError&) {
    } catch (const std::bad_alloc&) { // a picture this machine cannot hold
    }
    return {std::nullopt, L"File Open Failed"};
}

} // namespace

void BMPModule::OnInitialize()
{
    description = L"Read a BMP file to the data connection.";
    AddInput(inputPin_, 25);
    AddOutput(outputPin_, 25);
}

void BMPModule::OnProcess()
{
    if (loadPending) ReadPicture();
}

void BMPModule::ReadPicture()
{
    Reading reading = readFile(fileName);
    if (!reading.picture) {
        loadPending = false;
        showMessage(reading.failure);
        return;
    }
    const bmp::Picture& picture = *reading.picture;
    const bool newShape = picture.width != outputWidth || picture.height != outputHeight;
    const long oldWidth = outputWidth, oldHeight = outputHeight;
    outputWidth = picture.width; // the output document is made from these
    outputHeight = picture.height;
    const long count = long(picture.words.size());
    Block out;
    try {
        out = GetOutputBlock(outputPin_);
        if (out.count != count) out = ResizeOutput(outputPin_, out, count);
        // The same count in another shape (4 x 6 after 6 x 4) still changes "Width" and "Height".
        else if (newShape) PropagateProps(outputPin_);
    } catch (...) {
        // The engine refused a step: the output keeps its old shape, so the next try still sees a
        // new one and publishes its document, whatever size the block was left with.
        outputWidth = oldWidth;
        outputHeight = oldHeight;
        throw;
    }
    if (out.data)
        std::memcpy(out.data, picture.words.data(), size_t(std::min(out.count, count)) * sizeof(std::uint32_t));
    SendOutput(outputPin_);
    loadPending = false;
}

std::optional<BMPModule::InputImage> BMPModule::ImageAtInput()
{
    CheckInputProps(inputPin_);
    if (inputWidth <= 0 || inputHeight <= 0 || (inputType != L"Image" && inputType != L"Video")) return std::nullopt;
    const unsigned long long words = static_cast<unsigned long long>(inputWidth) * static_cast<unsigned long long>(inputHeight);
    // The file's size fields are 32 bits wide.
    if (words > (0xFFFFFFFFull - bmp::header32Size) / 4) return std::nullopt;
    Block in = GetInputBlock(inputPin_);
    if (static_cast<unsigned long long>(in.count) < words) return std::nullopt;
    return InputImage{inputWidth, inputHeight, in.data};
}

void BMPModule::OnLoadSettings(Settings&, const LoadedSettings&)
{
    // A restored module shows its picture again.
    if (!fileName.empty()) loadPending = true;
}

void BMPModule::OnOutputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (pin != outputPin_) return;
    wchar_t number[16];
    std::swprintf(number, 16, L"%ld", outputHeight);
    SetProperty(document, L"Height", number);
    std::swprintf(number, 16, L"%ld", outputWidth);
    SetProperty(document, L"Width", number);
    SetProperty(document, L"Type", L"Image");
    SetProperty(document, L"PixelType", L"RGBA");
}

void BMPModule::OnInputProps(IXMLDOMDocument* document, const Pin& pin)
{
    if (pin != inputPin_) return;
    inputWidth = std::wcstol(GetProperty(document, L"Width").c_str(), nullptr, 10);
    inputHeight = std::wcstol(GetProperty(document, L"Height").c_str(), nullptr, 10);
    inputType = GetProperty(document, L"Type");
}

// --- saving --------------------------------------------------------------------------------------

namespace bmpsave {

bool IsBmpName(const std::wstring& name)
{
    std::wstring lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return wchar_t(std::towlower(c)); });
    return lower.find(L".bmp") != std::wstring::npos;
}

std::wstring NextName(const std::wstring& name)
{
    size_t c = name.rfind(L'.');
    if (c == std::wstring::npos || c == 0) c = name.size();
    auto digit = [&](size_t i) { return name[i] >= L'0' && name[i] <= L'9'; };
    if (c == 0 || !digit(c - 1)) return name.substr(0, c) + L"1" + name.substr(c);
    size_t start = c;
    while (start > 0 && digit(start - 1)) --start;
    // The number as text, raised by one: a run of any length, without leading zeros.
    std::wstring number = name.substr(start, c - start);
    number.erase(0, std::min(number.find_first_not_of(L'0'), number.size() - 1));
    size_t i = number.size();
    while (i > 0 && number[i - 1] == L'9') number[--i] = L'0';
    if (i == 0) number.insert(number.begin(), L'1');
    else ++number[i - 1];
    return name.substr(0, start) + number + name.substr(c);
}

namespace {
// Anything there at all, readable or not, counts: a name that cannot be looked at is not taken.
bool taken(const std::wstring& name)
{
    if (GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}
} // namespace

std::wstring UnusedName(std::wstring name)
{
    // Each step makes the name longer or its number larger, so the search ends; the bound only
    // keeps a file system that answers "taken" to everything from holding the panel for ever.
    for (int tries = 0; tries < 100000 && taken(name); ++tries) name = NextName(name);
    return name;
}

bool WriteBmp(const std::wstring& name, const BMPModule::InputImage& image, bool replace)
{
    UniqueFile file(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                replace ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        showMessage(L"CreateFile");
        return false;
    }
    const auto header = bmp::header32(image.width, image.height);
    const DWORD pixelBytes = DWORD(image.width) * 4u * DWORD(image.height);
    // The words go out as the bytes they are.
    if (!file.writeAll(header.data(), 14) || !file.writeAll(header.data() + 14, 40) || !file.writeAll(image.words, pixelBytes)) {
        file.reset();
        DeleteFileW(name.c_str()); // a cut-off picture is no picture
        showMessage(L"WriteFile");
        return false;
    }
    if (!CloseHandle(file.release())) {
        DeleteFileW(name.c_str());
        showMessage(L"CloseHandle");
        return false;
    }
    return true;
}

} // namespace bmpsave
