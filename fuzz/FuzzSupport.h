#pragma once

// What the fuzz targets share: a scratch place for the files their readers
// go through, and the input written as such a file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace fuzzsupport {

// name with this process's id after it, in memory where there is /dev/shm
// (every run writes a file, and on a disk that was most of a run's time),
// else in the temporary folder.
inline std::filesystem::path scratchPath(const std::string& name, const std::string& extension = {})
{
    std::error_code ec;
    std::filesystem::path root = "/dev/shm";
    if (!std::filesystem::is_directory(root, ec)) root = std::filesystem::temp_directory_path();
    return root / (name + std::to_string(::getpid()) + extension);
}

// The input as the whole content of file; false when the file cannot be written.
inline bool writeInput(const std::filesystem::path& file, const std::uint8_t* data, std::size_t size)
{
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) return false;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    return true;
}

} // namespace fuzzsupport
