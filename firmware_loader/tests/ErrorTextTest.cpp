// The error text joined to the loader's messages.
#include "firmware_loader/ErrorText.h"

#include "common/platform/Win32Error.h"

#include <gtest/gtest.h>

namespace {

using FenmarlCommonDLL::platform::win32ErrorText;
using TorvaneDLL::ErrorKind;
using TorvaneDLL::errorText;

TEST(ErrorText, Win32CodesGetTheSystemTextAndTheirHint)
{
    const std::pair<std::uint32_t, const char*> hinted[] = {
        {5, " (access denied — try admin or WCID/INF fix)"},
        {6, " (invalid handle — stale WinUSB handle?)"},
        {121, " (USB timeout)"},
        {995, " (I/O canceled)"},
        {1167, " (device not connected/removed)"},
        {1168, " (endpoint or interface not found)"}};
    for (const auto& [code, hint] : hinted) {
        const std::string system = win32ErrorText(code);
        ASSERT_FALSE(system.empty()) << code;
        EXPECT_EQ(errorText(ErrorKind::Win32, code), system + hint) << code;
    }
    // Other codes: the system text alone, without a trailing line end.
    const std::string text = errorText(ErrorKind::Win32, 31);
    EXPECT_EQ(text, win32ErrorText(31));
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), ' ');
}

TEST(ErrorText, CodesWithoutSystemTextNameTheirKind)
{
    ASSERT_TRUE(win32ErrorText(0x2000ABCDu).empty());
    EXPECT_EQ(errorText(ErrorKind::Win32, 0x2000ABCDu), "Win32 error 0x2000ABCD");
    EXPECT_EQ(errorText(ErrorKind::HResult, 0x8FFF00A1u), "HRESULT error 0x8FFF00A1");
    // A configuration-manager code with no Win32 equivalent, and no hint for non-Win32 kinds.
    EXPECT_EQ(errorText(ErrorKind::ConfigMgr, 0x13), "ConfigMgr error 0x00000013");
}

TEST(ErrorText, OtherKindsAreMappedBeforeTheLookupAndGetNoHint)
{
    // CR_ACCESS_DENIED and HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED) read as access denied, without the hint.
    EXPECT_EQ(errorText(ErrorKind::ConfigMgr, 0x33), win32ErrorText(5));
    EXPECT_EQ(errorText(ErrorKind::HResult, 0x80070005u), win32ErrorText(5));
    EXPECT_EQ(errorText(ErrorKind::ConfigMgr, 0x37), win32ErrorText(1168)); // no such interface: not found
    EXPECT_EQ(TorvaneDLL::win32FromConfigRet(0x1A), 122u);
}

} // namespace
