#ifndef TIRN_DEVICES_CREGKEY_H
#define TIRN_DEVICES_CREGKEY_H

#include <windows.h>

#include <string>

// Owns a registry key, opened read-only, and closes it once.
class CRegKey
{
public:
    CRegKey() : m_hKey(NULL) {}
    virtual ~CRegKey();

    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // Takes over hKey, closing the key held before.
    void Reset(HKEY hKey);
    // A subkey of parent; an empty name opens the parent key itself again.
    bool OpenSubKey(const CRegKey& parent, const char* szSubKey);

    // Reads a value as text, bounded by the size the read returns: data
    // without a terminator, or of another type, is never read past its end.
    // ERROR_SUCCESS, or the error of the read.
    LONG QueryText(const char* szValueName, std::string* pstrText) const;
    bool ValueExists(const char* szValueName) const;

    bool IsOpen() const { return m_hKey != NULL; }

private:
    HKEY m_hKey;
};

#endif
