#include "pixels.h"

#include <fstream>

namespace vento::test {

int Pixels::countInColumn(int x, std::uint32_t colour) const
{
    int n = 0;
    for (int y = 0; y < height; ++y) n += at(x, y) == colour;
    return n;
}

int Pixels::countInRow(int y, std::uint32_t colour) const
{
    int n = 0;
    for (int x = 0; x < width; ++x) n += at(x, y) == colour;
    return n;
}

Pixels capture(HWND window, bool wholeWindow)
{
    Pixels result;
    RECT r{};
    if (wholeWindow) {
        GetWindowRect(window, &r);
        OffsetRect(&r, -r.left, -r.top);
    } else {
        GetClientRect(window, &r);
    }
    if (r.right <= 0 || r.bottom <= 0) return result;
    HDC source = wholeWindow ? GetWindowDC(window) : GetDC(window);
    if (!source) return result;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = r.right;
    info.bmiHeader.biHeight = -r.bottom; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP section = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory && section) {
        HGDIOBJ old = SelectObject(memory, section);
        BitBlt(memory, 0, 0, r.right, r.bottom, source, 0, 0, SRCCOPY);
        GdiFlush();
        const auto* words = static_cast<const std::uint32_t*>(bits);
        result.width = r.right;
        result.height = r.bottom;
        result.data.assign(words, words + size_t(r.right) * size_t(r.bottom));
        SelectObject(memory, old);
    }
    if (section) DeleteObject(section);
    if (memory) DeleteDC(memory);
    ReleaseDC(window, source);
    return result;
}

bool writeBmp(const Pixels& pixels, const std::wstring& path)
{
    const int rowBytes = (pixels.width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = pixels.width;
    header.biHeight = pixels.height; // bottom-up, as every reader expects
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = DWORD(rowBytes) * DWORD(pixels.height);
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + header.biSizeImage;
    std::ofstream out(path.c_str(), std::ios::binary);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    std::vector<char> row(size_t(rowBytes), 0);
    for (int y = pixels.height - 1; y >= 0; --y) {
        for (int x = 0; x < pixels.width; ++x) {
            std::uint32_t c = pixels.at(x, y);
            row[size_t(3 * x)] = char(c & 0xFF);
            row[size_t(3 * x + 1)] = char((c >> 8) & 0xFF);
            row[size_t(3 * x + 2)] = char((c >> 16) & 0xFF);
        }
        out.write(row.data(), rowBytes);
    }
    return bool(out);
}

std::wstring besideProgram(const std::wstring& fileName)
{
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring result(path, n);
    size_t slash = result.find_last_of(L"\\/");
    result.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return result + fileName;
}

} // namespace vento::test
