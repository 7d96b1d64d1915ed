#ifndef TIRN_TWAINDS_CFINDHANDLE_H
#define TIRN_TWAINDS_CFINDHANDLE_H

#include <io.h>
#include <stdint.h>

// Owns a search of the runtime's find-first family and closes it once.
class CFindHandle
{
public:
    CFindHandle() : m_hFind(-1) {}
    virtual ~CFindHandle();

    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;

    // Starts a search; false, and closed, when nothing matches.
    bool First(const char* szPattern, struct _finddata64i32_t* pFindData);
    bool Next(struct _finddata64i32_t* pFindData);
    void Close();

    bool IsOpen() const { return m_hFind != -1; }

private:
    intptr_t m_hFind;
};

#endif
