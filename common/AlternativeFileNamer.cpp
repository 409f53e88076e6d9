#include "common/AlternativeFileNamer.h"

#include "common/Utils.h"

#include <algorithm>

namespace FenmarlCommonDLL {

AlternativeFileNamer::AlternativeFileNamer(const std::wstring& folder) : folder_(folder) {}
AlternativeFileNamer::~AlternativeFileNamer() = default;

std::wstring AlternativeFileNamer::pathOf(const std::wstring& name) const
{
    if (folder_.empty() || folder_.back() == L'/' || folder_.back() == L'\\') return folder_ + name;
    return folder_ + L"/" + name;
}

std::wstring AlternativeFileNamer::getAlternativeFileName(const std::wstring& name)
{
    auto isFree = [this](const std::wstring& candidate) {
        return !doesFileExist(candidate) && !isThisABannedFile(candidate);
    };
    if (isFree(name)) return name;
    // A name without a point (or only a leading one) gets the number at its end.
    const std::size_t point = name.find_last_of(L'.');
    const bool hasExtension = point != std::wstring::npos && point > 0;
    const std::wstring stem = hasExtension ? name.substr(0, point) : name;
    const std::wstring extension = hasExtension ? name.substr(point) : std::wstring();
    for (unsigned long n = 1;; ++n) {
        const std::wstring candidate = stem + L"(" + std::to_wstring(n) + L")" + extension;
        if (isFree(candidate)) return candidate;
    }
}

std::wstring AlternativeFileNamer::getAlternativeFilePath(const std::wstring& name)
{
    return pathOf(getAlternativeFileName(name));
}

bool AlternativeFileNamer::doesFileExist(const std::wstring& name)
{
    return Utils::fileExists(pathOf(name));
}

bool AlternativeFileNamer::doesFilePathExist(const std::wstring& path)
{
    return Utils::fileExists(path);
}

bool AlternativeFileNamer::isThisABannedFile(const std::wstring& name)
{
    return std::find(banned_.begin(), banned_.end(), pathOf(name)) != banned_.end();
}

void AlternativeFileNamer::banFileName(const std::wstring& name)
{
    if (!isThisABannedFile(name)) banned_.push_back(pathOf(name));
}

void AlternativeFileNamer::clearBannedNames()
{
    banned_.clear();
}

} // namespace FenmarlCommonDLL
