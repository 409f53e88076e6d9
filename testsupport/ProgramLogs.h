#pragma once

// The logs the program and its libraries write, in the test process's private
// XDG data folder (testsupport/run-test.sh makes one for every test).

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace TestSupport {

// The log of that name ("Tesselon.log", "Torvane.log", "FirmwareDriver.log").
inline std::filesystem::path logFile(const std::string& name)
{
    const char* data = std::getenv("XDG_DATA_HOME");
    return std::filesystem::path(data ? data : "") / "Tesselon" / "Logs" / name;
}

// Everything that log holds so far (empty when there is none yet).
inline std::string logText(const std::string& name)
{
    std::ifstream in(logFile(name), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace TestSupport
