#include "common/Utils.h"

#include "common/platform/Hooks.h"
#include "common/platform/KnownFolders.h"
#include "common/platform/Text.h"
#include "common/platform/Win32Error.h"

#include <cctype>
#include <cerrno>
#include <cwctype>
#include <sys/stat.h>
#include <unistd.h>

namespace FenmarlCommonDLL {

namespace {

std::string nativePath(const std::wstring& path)
{
    return platform::wideToUtf8(path);
}

std::size_t lastSeparator(const std::wstring& path)
{
    return path.find_last_of(L"/\\");
}

template <typename S> bool onlyDigits(const S& text)
{
    for (auto c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

bool isBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool isBlank(wchar_t c)
{
    return std::iswspace(static_cast<wint_t>(c)) != 0;
}

template <typename S> S withoutSpaces(const S& text)
{
    S out;
    out.reserve(text.size());
    for (auto c : text) {
        if (!isBlank(c)) out.push_back(c);
    }
    return out;
}

struct StringEntry
{
    unsigned id;
    const wchar_t* text;
};

constexpr StringEntry kStringTable[] = {
    {101, L"Jan"},
    {102, L"Feb"},
    {103, L"Mar"},
    {104, L"Apr"},
    {105, L"May"},
    {106, L"Jun"},
    {107, L"Jul"},
    {108, L"Aug"},
    {109, L"Sept"},
    {110, L"Oct"},
    {111, L"Nov"},
    {112, L"Dec"},
    {113, L"Invalid"},
    {114, L"Failed to load DLL function pointer"},
    {115, L"Failed to set a notification event"},
};

} // namespace

Utils::Utils() = default;
Utils::~Utils() = default;

std::wstring Utils::getUsersDataDirectory()
{
    const std::filesystem::path folder = platform::applicationDataFolder();
    std::string text = folder.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return platform::utf8ToWide(text);
}

bool Utils::fileExists(const std::wstring& path)
{
    struct stat st;
    return !path.empty() && ::stat(nativePath(path).c_str(), &st) == 0;
}

bool Utils::directoryExists(const std::wstring& path)
{
    struct stat st;
    return !path.empty() && ::stat(nativePath(path).c_str(), &st) == 0;
}

bool Utils::createDirectory(const std::wstring& path)
{
    if (path.empty()) return false;
    const std::string native = nativePath(path);
    if (::mkdir(native.c_str(), 0777) == 0) return true;
    if (errno == EEXIST) {
        struct stat st;
        return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    if (errno != ENOENT) return false;
    const std::size_t sep = lastSeparator(path);
    if (sep == std::wstring::npos || sep == 0) return false;
    if (!createDirectory(path.substr(0, sep))) return false;
    if (::mkdir(native.c_str(), 0777) == 0) return true;
    return errno == EEXIST;
}

bool Utils::deleteFile(const std::wstring& path)
{
    if (path.empty()) return false;
    return ::unlink(nativePath(path).c_str()) == 0;
}

std::wstring Utils::fileNameFromPath(const std::wstring& path)
{
    const std::size_t sep = lastSeparator(path);
    return sep == std::wstring::npos ? path : path.substr(sep + 1);
}

std::wstring Utils::directoryPathFromPath(const std::wstring& path)
{
    const std::size_t sep = lastSeparator(path);
    return sep == std::wstring::npos ? path : path.substr(0, sep);
}

std::wstring Utils::loadStrFromResource(unsigned id, const void*)
{
    for (const StringEntry& e : kStringTable) {
        if (e.id == id) return e.text;
    }
    return {};
}

std::wstring Utils::errorToString(unsigned long code)
{
    if (code == 0 || code > 0xFFFFFFFFul) return {};
    return platform::utf8ToWide(platform::win32ErrorText(static_cast<std::uint32_t>(code)));
}

void Utils::outputDebugString(const std::wstring& text)
{
    platform::outputDebugString("\n" + platform::wideToUtf8(text));
}

bool Utils::containsOnlyRealNumbers(const std::string& text)
{
    return onlyDigits(text);
}
bool Utils::containsOnlyRealNumbers(const std::wstring& text)
{
    return onlyDigits(text);
}
std::string Utils::removeAllSpaces(const std::string& text)
{
    return withoutSpaces(text);
}
std::wstring Utils::removeAllSpaces(const std::wstring& text)
{
    return withoutSpaces(text);
}

std::wstring Utils::trimLeftIncludingFirst(const std::wstring& text, const std::wstring& characters)
{
    const std::size_t pos = text.find_first_of(characters);
    return pos == std::wstring::npos ? text : text.substr(pos + 1);
}

std::wstring Utils::trimRightIncludingLast(const std::wstring& text, const std::wstring& characters)
{
    const std::size_t pos = text.find_last_of(characters);
    return pos == std::wstring::npos ? text : text.substr(0, pos);
}

std::wstring Utils::getLeftUpToExcluding(const std::wstring& text, const std::wstring& characters)
{
    const std::size_t pos = text.find_first_of(characters);
    return pos == std::wstring::npos ? text : text.substr(0, pos);
}

bool Utils::startsWith(const std::wstring& text, const std::wstring& prefix)
{
    if (text.size() < prefix.size()) return false;
    const std::wstring compact = removeAllSpaces(text);
    return compact.compare(0, prefix.size(), prefix) == 0 && compact.size() >= prefix.size();
}

std::wstring Utils::toLower(const std::wstring& text)
{
    std::wstring out = text;
    for (wchar_t& c : out)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return out;
}

std::size_t Utils::countOccurrences(const std::wstring& text, const std::wstring& part)
{
    if (part.empty()) return 0;
    std::size_t count = 0;
    for (std::size_t pos = text.find(part); pos != std::wstring::npos;
         pos = text.find(part, pos + part.size()))
        ++count;
    return count;
}

} // namespace FenmarlCommonDLL
