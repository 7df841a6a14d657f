#include "host/run/window_picture.h"
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

void savePng(const WindowPicture& picture, const std::filesystem::path& file)
{
    const std::string failed = "--snapshot: cannot write " + narrow(file.wstring());
    if (picture.pixels.empty()) throw EngineError(failed + " (the window's picture cannot be taken)");

    using Microsoft::WRL::ComPtr;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory));
    if (SUCCEEDED(hr)) hr = factory->CreateStream(&stream);
    if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(file.c_str(), GENERIC_WRITE);
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
    if (FAILED(hr)) {
        frame.Reset();
        encoder.Reset();
        stream.Reset();
        DeleteFileW(file.c_str());
        throw EngineError(failed + " (" + narrow(modkit::hresultText(hr)) + ")");
    }
}

} // namespace vento
