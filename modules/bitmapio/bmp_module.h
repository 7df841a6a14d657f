#pragma once
// BMP: reads a BMP file and sends its picture on the output as an image signal, once per read; saves
// the image signal waiting at its input into a 32-bit BMP file, which the next step reads back and
// sends. Driven from its panel only.
//
// The image signal: Width x Height raw 32-bit pixel words in the place of the samples (blue in bits
// 0-7, green 8-15, red 16-23, the fourth byte 24-31), rows bottom-up as a BMP file stores them, with
// "Type" "Image" (or "Video"), "Width", "Height" and "PixelType" "RGBA". The words are pixels, not
// numbers: they are moved as integers and never loaded as floats, which would quiet the bit
// patterns that happen to be signalling NaNs.
#include <cstdint>
#include <optional>
#include <string>
#include "identity.h"
#include "module/module_base.h"

class BMPModule : public modkit::Module<BMPModule, identity::ModuleInterface> {
public:
    BMPModule() : Module(identity::module) {}

    // An image signal at "InputImage", whole: its block holds every one of its width x height words.
    struct InputImage {
        long width;
        long height;
        const void* words;
    };
    // The input's picture as Save writes it, after taking in a changed input document; nothing when
    // the input carries no image, or its block is shorter than the picture. Inside the update scope.
    std::optional<InputImage> ImageAtInput();

    // Read by Process, written by the panel inside the engine's update scope.
    long outputWidth = 0;  // of the picture last read; published as "Width"
    long outputHeight = 0; // published as "Height"
    bool loadPending = false; // the next Process reads the file
    std::wstring fileName;
    std::wstring inputType;
    long inputWidth = 0;
    long inputHeight = 0;

    static constexpr modkit::Setting<BMPModule> declaredSettings[] = {{.name = L"FileName", .field = &BMPModule::fileName}};

protected:
    void OnInitialize() override;
    void OnProcess() override;
    void OnLoadSettings(modkit::Settings& settings, const modkit::LoadedSettings& loaded) override;
    void OnOutputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;
    void OnInputProps(IXMLDOMDocument* document, const modkit::Pin& pin) override;

private:
    void ReadPicture();

    modkit::Pin inputPin_{L"InputImage"};
    modkit::Pin outputPin_{L"Default"};
};

// Saving, in the panel's thread.
namespace bmpsave {

// Whether `name` names a BMP file for Save: it holds ".bmp" in any letter case.
bool IsBmpName(const std::wstring& name);
// The Auto-Increment step: the number before the extension raised by one (pic9.bmp: pic10.bmp,
// pic007.bmp: pic8.bmp), or "1" put there when there is none (pic.bmp: pic1.bmp).
std::wstring NextName(const std::wstring& name);
// `name`, or the first name after it that no file has.
std::wstring UnusedName(std::wstring name);
// Writes the picture as a 32-bit BMP file. A failure tells the user which step failed and leaves no
// file behind; answers whether the whole file was written. `replace`: an existing file is replaced
// (otherwise it is left alone and the save fails).
bool WriteBmp(const std::wstring& name, const BMPModule::InputImage& image, bool replace);

} // namespace bmpsave
