// The user-dirs.dirs parser: any text gives either no documents folder or an
// absolute one, and never anything from a line other than XDG_DOCUMENTS_DIR.
#include "common/platform/KnownFolders.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path folder =
        FenmarlCommonDLL::platform::documentsFolderFromUserDirs(text, "/home/fuzz");
    if (folder.empty()) return 0;
    if (!folder.is_absolute()) std::abort();
    if (text.find("XDG_DOCUMENTS_DIR=") == std::string::npos) std::abort();
    if (folder.string().size() > size + 10) std::abort(); // "$HOME" grows by the home's length at most
    return 0;
}
