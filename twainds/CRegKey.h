#ifndef TIRN_TWAINDS_CREGKEY_H
#define TIRN_TWAINDS_CREGKEY_H

#include <windows.h>
#include <setupapi.h>

#include <string>

// Owns an open registry key, read-only, and closes it on every path.
class CRegKey
{
public:
    CRegKey() : m_hKey(NULL) {}
    virtual ~CRegKey();

    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // The driver (software) key of a device of the set.
    bool OpenDriverKey(HDEVINFO hDevInfo, SP_DEVINFO_DATA* pDevInfoData);
    // A subkey of parent, read-only; an empty name opens the parent key
    // itself again.
    bool OpenSubKey(const CRegKey& parent, const char* szSubKey);

    // Reads a value as text, bounded by the size the read returns: data
    // without a terminator, or of another type, is never read past its end.
    bool QueryText(const char* szValueName, std::string* pstrText) const;
    bool ValueExists(const char* szValueName) const;

    HKEY Get() const { return m_hKey; }

private:
    void Close();

    HKEY m_hKey;
};

#endif
