#include "pixels.h"

#include <fstream>
#include <utility>
#include "host/run/window_picture.h"

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
    WindowPicture picture = captureWindow(window, wholeWindow);
    return Pixels{picture.width, picture.height, std::move(picture.pixels)};
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
