#include "TestLog.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cctype>

namespace
{

struct Line
{
    std::string text;
    bool crlf;
};

std::vector<Line> SplitLines(const std::string& bytes)
{
    std::vector<Line> lines;
    size_t start = 0;
    while (start < bytes.size())
    {
        size_t lf = bytes.find('\n', start);
        if (lf == std::string::npos)
        {
            lines.push_back({bytes.substr(start), false});
            break;
        }
        bool crlf = lf > start && bytes[lf - 1] == '\r';
        lines.push_back({bytes.substr(start, lf - start - (crlf ? 1 : 0)), crlf});
        start = lf + 1;
    }
    return lines;
}

bool IsAt(const std::vector<Line>& lines, size_t i, const char* second)
{
    return i + 1 < lines.size() && IsTimeStampLine(lines[i].text) && lines[i + 1].text == second;
}

std::string Dump(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes)
    {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n\n";
        else if (c == '\t')
            out += "\\t";
        else if (c < 0x20 || c >= 0x7F)
        {
            static const char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
        else
            out += static_cast<char>(c);
    }
    return out;
}

} // namespace

std::vector<std::string> SplitCrLf(const std::string& bytes, bool* allCrLf)
{
    std::vector<std::string> out;
    bool all = true;
    for (Line& line : SplitLines(bytes))
    {
        all = all && line.crlf;
        out.push_back(std::move(line.text));
    }
    if (allCrLf)
        *allCrLf = all;
    return out;
}

bool IsTimeStampLine(const std::string& line)
{
    static const char pattern[] = "99:99:99\t99/99/99\t";
    if (line.size() != sizeof(pattern) - 1)
        return false;
    for (size_t i = 0; i < line.size(); ++i)
    {
        if (pattern[i] == '9' ? !isdigit(static_cast<unsigned char>(line[i])) : line[i] != pattern[i])
            return false;
    }
    return true;
}

std::vector<LogSection> ParseLog(const std::string& bytes)
{
    const std::vector<Line> lines = SplitLines(bytes);
    std::vector<LogSection> sections;
    size_t i = 0;
    while (i < lines.size())
    {
        LogSection section;
        const size_t first = i;
        bool ok = IsAt(lines, i, "Start Log");
        if (ok)
            i += 2;

        while (i < lines.size() && !IsAt(lines, i, "End Log") && !IsAt(lines, i, "Start Log"))
            section.body.push_back(lines[i++].text);

        if (IsAt(lines, i, "End Log"))
        {
            i += 2;
            if (i < lines.size() && lines[i].text.empty())
                ++i;
            else
                ok = false;
        }
        else
        {
            ok = false;
        }

        for (size_t k = first; k < i; ++k)
            ok = ok && lines[k].crlf;
        section.wellFormed = ok;
        sections.push_back(std::move(section));
    }
    return sections;
}

std::vector<std::string> LastBody(const std::string& logPath)
{
    std::string bytes;
    if (!ReadBytes(logPath, bytes))
    {
        ADD_FAILURE() << "cannot read the log " << logPath;
        return {};
    }
    std::vector<LogSection> sections = ParseLog(bytes);
    if (sections.empty())
        return {};
    if (!sections.back().wellFormed)
        ADD_FAILURE() << "last section of " << logPath << " is not well formed; the log:\n" << Dump(bytes);
    return sections.back().body;
}
