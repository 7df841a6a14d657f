#include "host/run/window_picture.h"

#include <cstring>
#include <wincodec.h>
#include <wrl/client.h>
#include "com/handle.h"
#include "host/engine/vento_engine.h"

namespace vento {

namespace {

BOOL CALLBACK collectVisible(HWND window, LPARAM list)
{
    if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

} // namespace

WindowPicture captureWindow(HWND window, bool wholeWindow)
{
    WindowPicture picture;
    RECT r{};
    if (wholeWindow) {
        GetWindowRect(window, &r);
        OffsetRect(&r, -r.left, -r.top);
    } else {
        GetClientRect(window, &r);
    }
    if (r.right <= 0 || r.bottom <= 0) return picture;
    modkit::WindowDc source(window, wholeWindow);
    if (!source) return picture;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), r.right, -r.bottom /* top-down */, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    modkit::MemoryDc memory(CreateCompatibleDC(source.get()));
    modkit::GdiObject<HBITMAP> section(CreateDIBSection(source.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory || !section) return picture;
    modkit::Selection onSection(memory.get(), section.get());
    if (BitBlt(memory.get(), 0, 0, r.right, r.bottom, source.get(), 0, 0, SRCCOPY)) {
        GdiFlush();
        const auto* words = static_cast<const std::uint32_t*>(bits);
        picture.width = r.right;
        picture.height = r.bottom;
        picture.pixels.assign(words, words + size_t(r.right) * size_t(r.bottom));
    }
    return picture;
}

std::vector<HWND> threadWindows()
{
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), collectVisible, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<std::uint8_t> pngBytes(const WindowPicture& picture)
{
    if (picture.pixels.empty()) throw EngineError("the window's picture cannot be taken");
    using Microsoft::WRL::ComPtr;
    ComPtr<IStream> memory;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &memory);
    if (SUCCEEDED(hr)) hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory));
    if (SUCCEEDED(hr)) hr = factory->CreateStream(&stream);
    if (SUCCEEDED(hr)) hr = stream->InitializeFromIStream(memory.Get());
    if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, nullptr);
    if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr)) hr = frame->SetSize(UINT(picture.width), UINT(picture.height));
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
    // The encoder may ask for another layout; 32-bit BGR is what it takes without conversion.
    if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat32bppBGR)) hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    if (SUCCEEDED(hr)) {
        const UINT bytes = UINT(picture.pixels.size() * sizeof(std::uint32_t));
        auto* data = reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(picture.pixels.data()));
        hr = frame->WritePixels(UINT(picture.height), UINT(picture.width) * 4, bytes, data);
    }
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    HGLOBAL global = nullptr;
    if (SUCCEEDED(hr)) hr = GetHGlobalFromStream(memory.Get(), &global);
    if (FAILED(hr)) throw EngineError("the picture cannot be encoded (" + narrow(modkit::hresultText(hr)) + ")");
    STATSTG stat{};
    memory->Stat(&stat, STATFLAG_NONAME);
    std::vector<std::uint8_t> png(size_t(stat.cbSize.QuadPart));
    if (const void* bytes = GlobalLock(global)) {
        std::memcpy(png.data(), bytes, png.size());
        GlobalUnlock(global);
    }
    return png;
}

void savePng(const WindowPicture& picture, const std::filesystem::path& file)
{
    const std::string failed = "--snapshot: cannot write " + narrow(file.wstring());
    std::vector<std::uint8_t> png;
    try {
        png = pngBytes(picture);
    } catch (const EngineError& e) {
        throw EngineError(failed + " (" + e.what() + ")");
    }
    // Into a new file beside the old one, then over it: a failed save leaves no half file.
    std::filesystem::path temporary = file;
    temporary += L".saving";
    modkit::UniqueFile out(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    const bool whole = out && WriteFile(out.get(), png.data(), DWORD(png.size()), &written, nullptr) && written == png.size();
    out.reset();
    if (!whole || !MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temporary.c_str());
        throw EngineError(failed);
    }
}

} // namespace vento
