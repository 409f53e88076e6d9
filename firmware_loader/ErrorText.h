#pragma once

#include <cstdint>
#include <string>

namespace TorvaneDLL {

// Where an error value comes from.
enum class ErrorKind : std::uint32_t { Win32 = 0, HResult = 1, ConfigMgr = 2 };

// "Win32", "HRESULT" or "ConfigMgr".
const char* errorKindName(ErrorKind kind);

// The configuration manager's CONFIGRET → Win32 mapping; 0xFFFFFFFF when the
// code has no Win32 equivalent.
std::uint32_t win32FromConfigRet(std::uint32_t configRet);

// The text joined to the loader's error messages: the system's message for the
// value (or "<kind> error 0x%08X" when there is none), followed for Win32
// values by a hint on the usual USB causes. UTF-8.
std::string errorText(ErrorKind kind, std::uint32_t code);

} // namespace TorvaneDLL
