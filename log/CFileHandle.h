#ifndef TIRN_LOG_CFILEHANDLE_H
#define TIRN_LOG_CFILEHANDLE_H

#include <windows.h>

// Owns a file handle from CreateFile and closes it once.
class CFileHandle
{
public:
    CFileHandle() : m_hFile(INVALID_HANDLE_VALUE) {}
    explicit CFileHandle(HANDLE hFile) : m_hFile(hFile) {}
    virtual ~CFileHandle();

    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    // Closes the handle held before, if any.
    void Reset(HANDLE hFile);
    // False when there was nothing to close or the close failed, which for a
    // file written to can mean that data was lost.
    bool Close();

    bool IsValid() const { return m_hFile != NULL && m_hFile != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_hFile; }

private:
    HANDLE m_hFile;
};

#endif
