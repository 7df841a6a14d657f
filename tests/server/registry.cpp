#include "registry.h"

#include <stdexcept>
#include <string>

namespace vento::test {

namespace {

class OpenKey {
public:
    OpenKey(HKEY root, const std::wstring& path, REGSAM access)
    {
        status_ = RegOpenKeyExW(root, path.c_str(), 0, access, &key_);
    }
    ~OpenKey()
    {
        if (status_ == ERROR_SUCCESS) RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    bool ok() const noexcept { return status_ == ERROR_SUCCESS; }
    LSTATUS status() const noexcept { return status_; }
    HKEY get() const noexcept { return key_; }

private:
    HKEY key_ = nullptr;
    LSTATUS status_;
};

void require(LSTATUS status, const char* what)
{
    if (status != ERROR_SUCCESS) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(status));
}

} // namespace

bool keyExists(HKEY root, const std::wstring& path) { return OpenKey(root, path, KEY_READ).ok(); }

std::optional<std::wstring> stringValue(HKEY root, const std::wstring& path, const wchar_t* name)
{
    OpenKey key(root, path, KEY_QUERY_VALUE);
    if (!key.ok()) return std::nullopt;
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

void setStringValue(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value)
{
    HKEY key;
    require(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr), "RegCreateKeyEx");
    LSTATUS status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    require(status, "RegSetValueEx");
}

void createKey(HKEY root, const std::wstring& path)
{
    HKEY key;
    require(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr), "RegCreateKeyEx");
    RegCloseKey(key);
}

void deleteTree(HKEY root, const std::wstring& path)
{
    LSTATUS status = RegDeleteTreeW(root, path.c_str());
    if (status != ERROR_FILE_NOT_FOUND) require(status, "RegDeleteTree");
}

void deleteValue(HKEY root, const std::wstring& path, const wchar_t* name)
{
    OpenKey key(root, path, KEY_SET_VALUE);
    if (!key.ok()) return;
    LSTATUS status = RegDeleteValueW(key.get(), name);
    if (status != ERROR_FILE_NOT_FOUND) require(status, "RegDeleteValue");
}

RegistrySnapshot::Key RegistrySnapshot::read(HKEY key)
{
    Key result;
    DWORD subkeys = 0, longestSubkey = 0, values = 0, longestName = 0, longestData = 0;
    require(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr, &values, &longestName,
                             &longestData, nullptr, nullptr),
            "RegQueryInfoKey");
    for (DWORD i = 0; i < values; ++i) {
        std::wstring name(longestName + 1, L'\0');
        DWORD nameLength = static_cast<DWORD>(name.size());
        Value value;
        value.data.resize(longestData + sizeof(wchar_t));
        DWORD bytes = static_cast<DWORD>(value.data.size());
        require(RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &value.type, value.data.data(), &bytes),
                "RegEnumValue");
        name.resize(nameLength);
        value.name = name;
        value.data.resize(bytes);
        result.values.push_back(std::move(value));
    }
    for (DWORD i = 0; i < subkeys; ++i) {
        std::wstring name(longestSubkey + 1, L'\0');
        DWORD nameLength = static_cast<DWORD>(name.size());
        require(RegEnumKeyExW(key, i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr), "RegEnumKeyEx");
        name.resize(nameLength);
        OpenKey sub(key, name, KEY_READ);
        require(sub.status(), "RegOpenKeyEx");
        result.subkeys.emplace_back(name, read(sub.get()));
    }
    return result;
}

void RegistrySnapshot::write(HKEY parent, const std::wstring& path, const Key& saved)
{
    HKEY key;
    require(RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            "RegCreateKeyEx");
    for (const Value& value : saved.values)
        RegSetValueExW(key, value.name.empty() ? nullptr : value.name.c_str(), 0, value.type, value.data.data(),
                       static_cast<DWORD>(value.data.size()));
    for (const auto& [name, sub] : saved.subkeys) write(key, name, sub);
    RegCloseKey(key);
}

void RegistrySnapshot::save(HKEY root, const std::wstring& path)
{
    OpenKey key(root, path, KEY_READ);
    if (!key.ok() && key.status() != ERROR_FILE_NOT_FOUND) require(key.status(), "RegOpenKeyEx");
    saved_.push_back({root, path, key.ok() ? std::optional<Key>(read(key.get())) : std::nullopt});
}

void RegistrySnapshot::restore()
{
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        deleteTree(it->root, it->path);
        if (it->key) write(it->root, it->path, *it->key);
    }
    saved_.clear();
}

} // namespace vento::test
