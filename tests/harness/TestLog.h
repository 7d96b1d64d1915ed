// Reading the run log: CR LF lines in sections of
//   time stamp, "Start Log", body..., time stamp, "End Log", "".
#pragma once

#include <string>
#include <vector>

// Lines without their CR LF. *allCrLf is false if a line ends with a bare LF
// or the text does not end with CR LF (empty text counts as all CR LF).
std::vector<std::string> SplitCrLf(const std::string& bytes, bool* allCrLf = nullptr);

// "HH:MM:SS\tMM/DD/YY\t": digits only checked, exactly 18 characters.
bool IsTimeStampLine(const std::string& line);

struct LogSection
{
    std::vector<std::string> body;
    bool wellFormed = false; // the whole shape present, every line ending in CR LF
};

// Lines outside any section come back as sections that are not well formed.
std::vector<LogSection> ParseLog(const std::string& bytes);

// Body of the last section; fails the test if the file cannot be read or
// that section is not well formed.
std::vector<std::string> LastBody(const std::string& logPath);
