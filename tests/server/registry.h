#pragma once
// Registry helpers for the registration tests: reading keys and values, and a snapshot that puts
// keys back exactly as they were, so that every test leaves the registry as it found it.
#include <windows.h>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vento::test {

bool keyExists(HKEY root, const std::wstring& path);
// A string value (nullptr: the key's default value); nullopt when the key or value is missing or is
// not a string.
std::optional<std::wstring> stringValue(HKEY root, const std::wstring& path, const wchar_t* name = nullptr);
void setStringValue(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value);
void createKey(HKEY root, const std::wstring& path);
// Removes the key with everything under it; a missing key is fine.
void deleteTree(HKEY root, const std::wstring& path);
void deleteValue(HKEY root, const std::wstring& path, const wchar_t* name);

class RegistrySnapshot {
public:
    RegistrySnapshot() = default;
    RegistrySnapshot(const RegistrySnapshot&) = delete;
    RegistrySnapshot& operator=(const RegistrySnapshot&) = delete;

    // Records the key with its values and subkeys, or that it does not exist.
    void save(HKEY root, const std::wstring& path);
    // Puts every recorded key back as it was: what was added since goes, what was removed returns.
    void restore();

private:
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    struct Key {
        std::vector<Value> values;
        std::vector<std::pair<std::wstring, Key>> subkeys;
    };
    struct Saved {
        HKEY root;
        std::wstring path;
        std::optional<Key> key;
    };
    static Key read(HKEY key);
    static void write(HKEY parent, const std::wstring& path, const Key& key);

    std::vector<Saved> saved_;
};

} // namespace vento::test
