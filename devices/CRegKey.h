#ifndef TIRN_DEVICES_CREGKEY_H
#define TIRN_DEVICES_CREGKEY_H

#include "log/CHandleOwner.h"

#include <windows.h>

#include <string>

bool CloseRegKey(HKEY hKey);

// A registry key, opened read-only, and the reads of its values.
class CRegKey : public CHandleOwner<HKEY, CloseRegKey, 0>
{
public:
    // The most a value's text may take, its terminator included.
    static constexpr DWORD kValueSize = 260;

    // A subkey of parent; an empty name opens the parent key itself again.
    // ERROR_SUCCESS, or the error of the open.
    LONG OpenSubKey(const CRegKey& parent, const char* szSubKey);

    // Reads a value as text, bounded by the size the read returns: data
    // without a terminator, or of another type, is never read past its end.
    // ERROR_SUCCESS, or the error of the read.
    LONG QueryText(const char* szValueName, std::string* pstrText) const;
    // ERROR_SUCCESS when the value is there, ERROR_FILE_NOT_FOUND when it
    // is not, or the error of a read that could not tell.
    LONG QueryExists(const char* szValueName) const;
};

#endif
