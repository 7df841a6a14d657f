#include "host/vento/snapshot.h"
#include <wincodec.h>
#include <wrl/client.h>
#include "host/vento_engine.h"

namespace vento {

namespace {

BOOL CALLBACK collectVisible(HWND window, LPARAM list)
{
    if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// The window's own drawing context copied into a top-down 32-bit bitmap: under Xvfb the screen's
// context does not hold what a window drew, its window context does.
std::vector<BYTE> capture(HWND window, int width, int height)
{
    std::vector<BYTE> pixels;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC source = GetWindowDC(window);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP section = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory && section) {
        HGDIOBJ old = SelectObject(memory, section);
        if (BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY)) {
            GdiFlush();
            const BYTE* first = static_cast<const BYTE*>(bits);
            pixels.assign(first, first + size_t(width) * size_t(height) * 4);
        }
        SelectObject(memory, old);
    }
    if (section) DeleteObject(section);
    if (memory) DeleteDC(memory);
    ReleaseDC(window, source);
    return pixels;
}

} // namespace

std::vector<HWND> threadWindows()
{
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), collectVisible, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

void savePng(HWND window, const std::filesystem::path& file)
{
    const std::string failed = "--snapshot: cannot write " + narrow(file.wstring());
    RECT r{};
    GetWindowRect(window, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) throw EngineError(failed + " (the window has no size)");
    std::vector<BYTE> pixels = capture(window, width, height);
    if (pixels.empty()) throw EngineError(failed + " (the window's picture cannot be taken)");

    using Microsoft::WRL::ComPtr;
    const UINT stride = UINT(width) * 4;
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
    if (SUCCEEDED(hr)) hr = frame->SetSize(UINT(width), UINT(height));
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
    // The encoder may ask for another layout; 32-bit BGR is what it takes without conversion.
    if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat32bppBGR)) hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    if (SUCCEEDED(hr)) hr = frame->WritePixels(UINT(height), stride, UINT(pixels.size()), pixels.data());
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
        frame.Reset();
        encoder.Reset();
        stream.Reset();
        DeleteFileW(file.c_str()); // no half-written picture left behind
        throw EngineError(failed + " (" + code + ")");
    }
}

} // namespace vento
