#include "log/CCallerOutput.h"

void CCallerOutput::Open()
{
    HANDLE hOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    if (hOutput == NULL || hOutput == INVALID_HANDLE_VALUE)
        return;
    // A failed GetFileType answers FILE_TYPE_UNKNOWN, which is not taken.
    DWORD dwType = GetFileType(hOutput);
    if (dwType == FILE_TYPE_PIPE || dwType == FILE_TYPE_DISK)
        m_hOutput = hOutput;
}

void CCallerOutput::Write(const std::string& strBytes)
{
    const char* p = strBytes.data();
    size_t cbLeft = strBytes.size();
    while (m_hOutput != NULL && cbLeft > 0)
    {
        DWORD cbWritten = 0;
        if (!WriteFile(m_hOutput, p, static_cast<DWORD>(cbLeft), &cbWritten, NULL) || cbWritten == 0)
            m_hOutput = NULL;
        p += cbWritten;
        cbLeft -= cbWritten;
    }
}
