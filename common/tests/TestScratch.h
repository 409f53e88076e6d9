#pragma once

// Each test process runs in its own scratch folder (set up by the test main).
#include "common/platform/Text.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace commontest {

inline std::filesystem::path scratch()
{
    const char* dir = std::getenv("TESSELON_TEST_SCRATCH");
    return dir ? std::filesystem::path(dir) : std::filesystem::temp_directory_path();
}

// A path as the library's wide-string functions take it.
inline std::wstring wide(const std::filesystem::path& path)
{
    return FenmarlCommonDLL::platform::utf8ToWide(path.string());
}

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

} // namespace commontest
