#pragma once

#include "common/Export.h"

#include <string>
#include <vector>

namespace FenmarlCommonDLL {

// Finds a file name in a folder that neither exists nor is reserved:
// "log.txt", then "log(1).txt", "log(2).txt", ...
class FENMARL_COMMON_API AlternativeFileNamer
{
public:
    explicit AlternativeFileNamer(const std::wstring& folder);
    virtual ~AlternativeFileNamer();

    std::wstring getAlternativeFileName(const std::wstring& name);
    // folder + "/" + getAlternativeFileName(name).
    std::wstring getAlternativeFilePath(const std::wstring& name);
    bool doesFileExist(const std::wstring& name);
    bool doesFilePathExist(const std::wstring& path);
    bool isThisABannedFile(const std::wstring& name);
    void banFileName(const std::wstring& name);
    void clearBannedNames();

private:
    std::wstring pathOf(const std::wstring& name) const;

    std::wstring folder_;
    std::vector<std::wstring> banned_; // full paths
};

} // namespace FenmarlCommonDLL
