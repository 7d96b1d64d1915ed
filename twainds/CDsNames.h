#ifndef TIRN_TWAINDS_CDSNAMES_H
#define TIRN_TWAINDS_CDSNAMES_H

#include <windows.h>

// The names of the data-source files: the twain_32 directory below the
// Windows directory, and for each device, named by the prefix and its
// instance number, its directory, staged file and data source, and the
// generic module they are made from.
class CDsNames
{
public:
    struct SPaths
    {
        char szTwainDir[MAX_PATH];          // twain_32\<prefix><instance>
        char szFileName[MAX_PATH];          // ...\<prefix><instance>, the staged file
        char szFileNameDs[MAX_PATH];        // ...\<prefix><instance>.ds
        char szFileNameGenericDs[MAX_PATH]; // twain_32\zbxgnds2
    };

    explicit CDsNames(const char* szDsPrefix);
    virtual ~CDsNames() {}

    CDsNames(const CDsNames&) = delete;
    CDsNames& operator=(const CDsNames&) = delete;

    // Empty when the Windows directory cannot be had: then no path is made
    // at all, rather than one below the root of the current drive.
    const char* TwainDir() const { return m_szTwainDir; }
    bool HasTwainDir() const { return m_szTwainDir[0] != '\0'; }
    // The error of a GetWindowsDirectoryA that failed; 0 when it did not.
    DWORD WindowsDirError() const { return m_dwWindowsDirError; }

    // False when a path would not fit in MAX_PATH - 1 characters.
    bool ForInstance(const char* instance, SPaths* pPaths) const;
    // twain_32\<prefix>*, the entries the directory walk looks at.
    bool SearchPattern(char* szPattern, size_t cbPattern) const;

    // Whether szEntry, a name in the device's directory, is a copy that a
    // run ended mid-copy may have left: <prefix><instance>.<run>.tmp, named
    // by CDsCopy, or <prefix><instance>.tmp, the copies' name in earlier
    // builds.
    bool IsCopyName(const char* instance, const char* szEntry) const;

    // Every per-device name is built from an instance number: exactly four
    // decimal digits, so that no prefix and number together can name a
    // device, another device's files, or a place that Windows shortens.
    static bool IsInstanceNumber(const char* instance);

    // True when szName can stand in one file name below twain_32 without
    // leaving it: none of \ / : * ? " < > | and not "." or "..", nor a name
    // that Windows takes for a device once a dot follows ("NUL.", "com1.").
    // Double-byte characters are stepped over whole.
    static bool IsNamePart(const char* szName);

private:
    const char* m_szDsPrefix;
    char m_szTwainDir[MAX_PATH];
    DWORD m_dwWindowsDirError;
};

#endif
