// How the fault loop fails each function the product imports: one row per
// name, looked up by the hook that stands between the product and its DLLs
// and by the loop's check that every import has a row.
#pragma once

#include <cstdint>

enum class FaultKind
{
    Untouched, // data, or a call that must not pass through a wrapper (setjmp)
    Passed,    // passes through, never failed, not counted: it has no failure
    LastError, // returns failValue and sets the thread's last error
    Returned,  // returns the error itself (the registry functions)
    Errno,     // runtime function: returns failValue and sets errno
};

struct FaultRule
{
    const char* szName;
    FaultKind kind;
    intptr_t failValue;
    int error;
    int argBytes32; // stdcall argument bytes a 32-bit wrapper pops; 0 for the runtime's cdecl
    // A failed close still releases its handle (the first argument): it
    // reports an error of a write that was deferred, it cannot keep the file.
    bool bReleases;
};

// nullptr when the table has no row for the name.
const FaultRule* FindFaultRule(const char* szName);
