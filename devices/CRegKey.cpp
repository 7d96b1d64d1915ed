#include "devices/CRegKey.h"

#include <cstring>

bool CloseRegKey(HKEY hKey)
{
    return RegCloseKey(hKey) == ERROR_SUCCESS;
}

LONG CRegKey::OpenSubKey(const CRegKey& parent, const char* szSubKey)
{
    // RegOpenKeyA would hand back the parent's own handle for an empty
    // name, and it would be closed twice.
    HKEY hKey = NULL;
    LONG lResult = RegOpenKeyExA(parent.Get(), szSubKey, 0, KEY_QUERY_VALUE, &hKey);
    Reset(lResult == ERROR_SUCCESS ? hKey : NULL);
    return lResult;
}

LONG CRegKey::QueryText(const char* szValueName, std::string* pstrText) const
{
    char data[kValueSize + 1];
    DWORD cbData = kValueSize;
    LONG lResult = RegQueryValueExA(Get(), szValueName, NULL, NULL, reinterpret_cast<BYTE*>(data), &cbData);
    if (lResult != ERROR_SUCCESS)
        return lResult;
    if (cbData > kValueSize)
        cbData = kValueSize;
    data[cbData] = '\0';
    pstrText->assign(data, std::strlen(data));
    return ERROR_SUCCESS;
}

LONG CRegKey::QueryExists(const char* szValueName) const
{
    return RegQueryValueExA(Get(), szValueName, NULL, NULL, NULL, NULL);
}
