#pragma once
// What the registration and server tests share: the fwdtransform server and the engine DLL loaded
// from beside the test program, the identity of fwdtransform as the registry shows it, and a fixture
// that saves every key the tests can touch, starts each test with fwdtransform unregistered and the
// engine registered, and puts the registry back afterwards.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include "host/engine/server_library.h"
#include "registry.h"

namespace vento::test {

// fwdtransform's identity, as written in the registry.
inline constexpr wchar_t moduleClsid[] = L"{B88B1012-BF7F-4060-9306-A17222797F0D}";
inline constexpr wchar_t pageClsid[] = L"{7718B5A6-3789-4785-8A22-2E923A66B9A4}";
inline constexpr wchar_t libid[] = L"{C54E9B91-8F4E-4AEC-B6C5-66BD3555EBF7}";
inline constexpr wchar_t moduleIid[] = L"{CD75BE66-4E45-4990-B9FA-456DC5DFE4DE}";
inline constexpr wchar_t registrarClsid[] = L"{B9503F99-DEBD-4E84-B302-52BA7A02F6C6}";

// The full path of a file beside the test program, and a path in its long form.
inline std::wstring besideTestProgram(const wchar_t* name) { return (programFolder() / name).wstring(); }
std::wstring longPath(const std::wstring& path);

using Library = ServerLibrary;

// Runs Wine's (or Windows') regsvr32 with `arguments` and answers its exit code.
DWORD runRegsvr32(const std::wstring& arguments);

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Every key of fwdtransform (both classes, type library, catalogue entry) is gone.
    static void removeServerKeys();

    RegistrySnapshot snapshot;
    std::wstring serverPath = longPath(besideTestProgram(L"fwdtransform.dll"));
    Library engine{besideTestProgram(L"ventoengine.dll")};
    Library server{serverPath};

private:
    bool comUp_ = false;
};

} // namespace vento::test
