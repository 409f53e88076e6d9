#pragma once

#include "common/Export.h"

#include <filesystem>

// Stand-ins for the Windows shell folders.
namespace FenmarlCommonDLL::platform {

// CSIDL_APPDATA: $XDG_DATA_HOME, default ~/.local/share.
FENMARL_COMMON_API std::filesystem::path applicationDataFolder();
// The documents folder: `xdg-user-dir DOCUMENTS`, else ~/Documents.
FENMARL_COMMON_API std::filesystem::path documentsFolder();
// $TMPDIR or /tmp.
FENMARL_COMMON_API std::filesystem::path temporaryFolder();
// Per-user registry store folder: $XDG_CONFIG_HOME/Fenmarl (default ~/.config/Fenmarl).
FENMARL_COMMON_API std::filesystem::path userConfigFolder();
// Machine-wide, read-only: $FENMARL_MACHINE_CONFIG_DIR, default /etc/xdg/Fenmarl.
FENMARL_COMMON_API std::filesystem::path machineConfigFolder();

} // namespace FenmarlCommonDLL::platform
