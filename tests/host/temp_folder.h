#pragma once
// A folder of the test's own under the temporary folder, removed with everything in it at the end.
#include <windows.h>
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vento::test {

class TempFolder {
public:
    TempFolder()
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        path = std::filesystem::path(temp) / (L"vento_host_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                              std::filesystem::path(test ? test->name() : "").wstring());
        std::filesystem::create_directories(path);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::filesystem::path operator/(const std::filesystem::path& name) const { return path / name; }
    std::filesystem::path write(const std::filesystem::path& name, const std::string& text) const
    {
        std::ofstream(path / name, std::ios::binary) << text;
        return path / name;
    }
    static std::string contents(const std::filesystem::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::filesystem::path path;
};

} // namespace vento::test
