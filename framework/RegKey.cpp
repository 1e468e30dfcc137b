#include "RegKey.h"

bool CRegKey::Open(HKEY parent, const char* path, REGSAM access)
{
    Close();
    return ::RegOpenKeyExA(parent, path, 0, access, &m_hKey) == ERROR_SUCCESS;
}

bool CRegKey::Create(HKEY parent, const char* path)
{
    Close();
    return ::RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_READ | KEY_WRITE, nullptr, &m_hKey, nullptr) == ERROR_SUCCESS;
}

void CRegKey::Close()
{
    if (m_hKey) {
        ::RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }
}

bool CRegKey::QueryDWord(const char* name, DWORD& value) const
{
    DWORD type = 0, data = 0, size = sizeof data;
    if (::RegQueryValueExA(m_hKey, name, nullptr, &type,
                           reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS
        || type != REG_DWORD)
        return false;
    value = data;
    return true;
}

bool CRegKey::QueryString(const char* name, std::string& value) const
{
    DWORD type = 0, size = 0;
    if (::RegQueryValueExA(m_hKey, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS
        || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    std::string data(size + 1, '\0');
    if (::RegQueryValueExA(m_hKey, name, nullptr, &type,
                           reinterpret_cast<BYTE*>(&data[0]), &size) != ERROR_SUCCESS)
        return false;
    data.resize(size);
    while (!data.empty() && data.back() == '\0')
        data.pop_back();
    value = data;
    return true;
}

bool CRegKey::SetDWord(const char* name, DWORD value) const
{
    return ::RegSetValueExA(m_hKey, name, 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&value), sizeof value) == ERROR_SUCCESS;
}

bool CRegKey::SetString(const char* name, const std::string& value) const
{
    return ::RegSetValueExA(m_hKey, name, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool CRegKey::DeleteValue(const char* name) const
{
    const LONG result = ::RegDeleteValueA(m_hKey, name);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}
