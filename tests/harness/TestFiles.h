// Files and folders the product reads and writes.
#pragma once

#include <string>
#include <vector>

std::string TwainDir();                         // <Windows directory>\twain_32
std::string TempDir();                          // ends with a backslash
std::string LogPath(const std::string& suffix); // TempDir() + suffix, e.g. "_add_ds.log"

bool ReadBytes(const std::string& path, std::string& bytes);        // whole file, binary
std::string ReadBytes(const std::string& path);                     // "" if missing
void WriteBytes(const std::string& path, const std::string& bytes); // creates or truncates
bool Exists(const std::string& path);

// Sorted (byte order) paths relative to dir of everything below it;
// directories end with a backslash.
std::vector<std::string> ListTree(const std::string& dir);

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
