#include "image_module.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include "com/handle.h"

using namespace modkit;

ImageModule::ImageModule()
    : DisplayModule(identity::module, L"Open a window and display the image of a video or image signal.")
{
}

void ImageModule::OnDisplayedProps(IXMLDOMDocument* document)
{
    imageWidth = std::wcstol(GetProperty(document, L"Width").c_str(), nullptr, 10);
    imageHeight = std::wcstol(GetProperty(document, L"Height").c_str(), nullptr, 10);
}

void ImageModule::Transform(const Block& in, const Block& out)
{
    // Pixel words, copied as bytes: never as floats, which would quiet signalling-NaN patterns.
    const size_t count = size_t(in.count);
    display.resize(count);
    if (count > 0) std::memcpy(display.data(), in.data, count * sizeof(std::uint32_t));
    if (out.data) std::memcpy(out.data, in.data, size_t(std::min(in.count, out.count)) * sizeof(std::uint32_t));
    Redraw();
}

void ImageModule::Window::OnInitWindow()
{
    fitWidth_ = fitHeight_ = 0;
    // Only the host closes the window.
    DeleteMenu(GetSystemMenu(hwnd(), FALSE), SC_CLOSE, MF_BYCOMMAND);
}

void ImageModule::Window::OnPaint()
{
    const long width = module_.imageWidth, height = module_.imageHeight;
    if (width == fitWidth_ && height == fitHeight_) {
        Draw();
        return;
    }
    // A new picture size: the window fits itself to it and draws at the paint that the resize asks
    // for.
    fitWidth_ = width;
    fitHeight_ = height;
    auto outer = [](long side, long margin) { return int(std::clamp<long long>(side + 0LL + margin, 0, 32767)); };
    SetWindowPos(hwnd(), nullptr, 0, 0, outer(width, 37), outer(height, 85), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd(), nullptr, FALSE); // also when the window shrank and nothing new shows
}

void ImageModule::Window::Draw()
{
    if (module_.signalType != L"Video" && module_.signalType != L"Image") return;
    const long width = module_.imageWidth, height = module_.imageHeight;
    // A block shorter than its picture is not drawn: drawing would read past it.
    if (width <= 0 || height <= 0 ||
        static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height) > module_.display.size())
        return;
    HWND target = frame();
    RECT r{};
    GetWindowRect(target, &r);
    const int w = int(r.right - r.left) - 7, h = int(r.bottom - r.top) - 7;
    if (w <= 0 || h <= 0) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as the signal's rows are
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biXPelsPerMeter = 2700;
    info.bmiHeader.biYPelsPerMeter = 2700;
    WindowDc dc(target);
    // Rows and columns the stretch leaves out are dropped, not blended into their neighbours.
    SetStretchBltMode(dc.get(), COLORONCOLOR);
    StretchDIBits(dc.get(), 0, 0, w, h, 0, 0, int(width), int(height), module_.display.data(), &info, DIB_RGB_COLORS,
                  SRCCOPY);
}
