// Files and folders the product reads and writes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

std::string TwainDir();                         // <Windows directory>\twain_32
std::string TempDir();                          // ends with a backslash
std::string LogPath(const std::string& suffix); // TempDir() + suffix, e.g. "_add_ds.log"

std::wstring Wide(const std::string& text); // from the ANSI code page

// Each path also wide, for names the ANSI code page cannot spell.
bool ReadBytes(const std::string& path, std::string& bytes); // whole file, binary
std::string ReadBytes(const std::string& path);              // "" if missing
std::string ReadBytes(const std::wstring& path);
void WriteBytes(const std::string& path, const std::string& bytes); // creates or truncates
void WriteBytes(const std::wstring& path, const std::string& bytes);
void Put(const std::string& path, const std::string& bytes); // WriteBytes, making missing directories
bool Exists(const std::string& path);

// Sorted (byte order) paths relative to dir of everything below it;
// directories end with a backslash.
std::vector<std::string> ListTree(const std::string& dir);

// Sorted names of the entries of dir itself, without the run logs, which
// change with every run.
std::vector<std::string> ListDir(const std::string& dir);

// A handle on path as another program would open it; INVALID_HANDLE_VALUE
// when it cannot. Hold fails the test then.
HANDLE OpenShared(const std::string& path, DWORD access, DWORD share);
HANDLE Hold(const std::string& path, DWORD share, DWORD access = GENERIC_READ);

// Deletes dir and everything below it, read-only or not; no error if missing.
void RemoveTree(const std::string& dir);

void ResetTwainDir(); // empty TwainDir()

// A symbolic link to nothing at path, made and removed on the Unix side: an
// entry that no search finds but that no directory can be made in place of.
class CDanglingLink
{
public:
    explicit CDanglingLink(const std::string& path);
    ~CDanglingLink();

    CDanglingLink(const CDanglingLink&) = delete;
    CDanglingLink& operator=(const CDanglingLink&) = delete;

private:
    std::string m_unixPath;
};
void RemoveLogs(); // the product's log, copy and lock files in TempDir()

// A tmpfs of kb kilobytes mounted on dir by the Unix side, and unmounted;
// only root can mount it.
class CSmallDisk
{
public:
    CSmallDisk(const std::string& dir, int kb);
    ~CSmallDisk();

    CSmallDisk(const CSmallDisk&) = delete;
    CSmallDisk& operator=(const CSmallDisk&) = delete;

    bool Mounted() const { return m_bMounted; }

private:
    std::string m_unixPath;
    bool m_bMounted;
};
