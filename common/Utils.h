#pragma once

#include "common/Export.h"

#include <cstddef>
#include <string>

namespace FenmarlCommonDLL {

// Static path and string helpers. Paths taken apart accept both '/' and '\\'.
class FENMARL_COMMON_API Utils
{
public:
    virtual ~Utils();

    // The per-user application-data folder (CSIDL_APPDATA: $XDG_DATA_HOME or
    // ~/.local/share), without a trailing separator; empty when unknown.
    static std::wstring getUsersDataDirectory();

    // True when the path exists, file or directory.
    static bool fileExists(const std::wstring& path);
    // True when the file system has attributes for the path (any kind of entry).
    static bool directoryExists(const std::wstring& path);
    // Creates the directory and every missing parent; true when it exists afterwards.
    static bool createDirectory(const std::wstring& path);
    static bool deleteFile(const std::wstring& path);

    // Text after the last separator; the whole path when there is none.
    static std::wstring fileNameFromPath(const std::wstring& path);
    // Text before the last separator; the whole path when there is none.
    static std::wstring directoryPathFromPath(const std::wstring& path);

    // The library's string table (month names 101..112 and its messages); empty when absent.
    static std::wstring loadStrFromResource(unsigned id, const void* module = nullptr);
    // The system's message for an error number, without a line end; empty for 0 and unknown codes.
    static std::wstring errorToString(unsigned long code);
    // "\n" + text to the debug output.
    static void outputDebugString(const std::wstring& text);

    // True when every character is a decimal digit (true for empty text).
    static bool containsOnlyRealNumbers(const std::string& text);
    static bool containsOnlyRealNumbers(const std::wstring& text);
    static std::string removeAllSpaces(const std::string& text);
    static std::wstring removeAllSpaces(const std::wstring& text);
    static std::wstring trimLeftIncludingFirst(const std::wstring& text, const std::wstring& characters);
    static std::wstring trimRightIncludingLast(const std::wstring& text, const std::wstring& characters);
    static std::wstring getLeftUpToExcluding(const std::wstring& text, const std::wstring& characters);
    // Compares prefix with text after all white space is removed from text.
    static bool startsWith(const std::wstring& text, const std::wstring& prefix);
    static std::wstring toLower(const std::wstring& text);
    // Non-overlapping occurrences of part in text; 0 for an empty part.
    static std::size_t countOccurrences(const std::wstring& text, const std::wstring& part);

private:
    Utils();
};

} // namespace FenmarlCommonDLL
