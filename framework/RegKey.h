#pragma once
#include <windows.h>
#include <string>

// An open registry key, closed with the object.
class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    bool Open(HKEY parent, const char* path, REGSAM access = KEY_READ);
    bool Create(HKEY parent, const char* path);
    void Close();

    bool QueryDWord(const char* name, DWORD& value) const;
    bool QueryString(const char* name, std::string& value) const;
    bool SetDWord(const char* name, DWORD value) const;
    bool SetString(const char* name, const std::string& value) const;
    // True when the value is gone afterwards (also when there was none).
    bool DeleteValue(const char* name) const;

    HKEY m_hKey = nullptr;
};
