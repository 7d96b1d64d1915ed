#ifndef TIRN_LOG_CCALLEROUTPUT_H
#define TIRN_LOG_CCALLEROUTPUT_H

#include <windows.h>

#include <string>

// The standard output the caller handed the program, when it is a pipe or a
// file: where installers collect a helper's output into their own log. A
// console is left alone, and none is ever opened. The handle is the
// process's, lent for the run: it is never closed here.
class CCallerOutput
{
public:
    CCallerOutput() : m_hOutput(NULL) {}
    virtual ~CCallerOutput() {}

    CCallerOutput(const CCallerOutput&) = delete;
    CCallerOutput& operator=(const CCallerOutput&) = delete;

    // Takes the standard output if it is a pipe or a disk file.
    void Open();
    // Every byte, in as many writes as the caller takes. A write that fails
    // (a pipe the caller closed early) ends the output for the rest of the
    // run; the run itself goes on as it would.
    void Write(const std::string& strBytes);

private:
    HANDLE m_hOutput;
};

#endif
