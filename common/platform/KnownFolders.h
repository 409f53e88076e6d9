#pragma once

#include "common/Export.h"

#include <filesystem>
#include <string>

// Stand-ins for the Windows shell folders.
namespace FenmarlCommonDLL::platform {

// CSIDL_APPDATA: $XDG_DATA_HOME, default ~/.local/share.
FENMARL_COMMON_API std::filesystem::path applicationDataFolder();
// The documents folder: `xdg-user-dir DOCUMENTS`, else ~/Documents.
FENMARL_COMMON_API std::filesystem::path documentsFolder();
// The documents folder a user-dirs.dirs text names (`home` stands for $HOME),
// or an empty path when it names none.
FENMARL_COMMON_API std::filesystem::path documentsFolderFromUserDirs(const std::string& text,
                                                                     const std::filesystem::path& home);
// $TMPDIR or /tmp.
FENMARL_COMMON_API std::filesystem::path temporaryFolder();
// Per-user registry store folder: $XDG_CONFIG_HOME/Fenmarl (default ~/.config/Fenmarl).
FENMARL_COMMON_API std::filesystem::path userConfigFolder();
// Machine-wide, read-only: $FENMARL_MACHINE_CONFIG_DIR, default /etc/xdg/Fenmarl.
FENMARL_COMMON_API std::filesystem::path machineConfigFolder();

} // namespace FenmarlCommonDLL::platform
