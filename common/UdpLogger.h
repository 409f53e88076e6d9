#pragma once

#include "common/Locker.h"
#include "common/SmartPointer.h"

#include <cstdint>
#include <string>

namespace FenmarlCommonDLL {

// Sends text lines as UDP datagrams to one IPv4 endpoint. One shared instance
// per (port, address); each has its own socket.
class FENMARL_COMMON_API UdpLogger : public SmartPointerBase
{
public:
    static SmartPointer<UdpLogger> create(std::uint16_t port, const std::wstring& address);
    ~UdpLogger() override;

    void send(const char* text);
    void send(const std::string& text);
    void send(const std::wstring& text);

    std::uint16_t port() const { return port_; }
    std::wstring address() const { return address_; }

protected:
    UdpLogger(std::uint16_t port, const std::wstring& address);
    void initializeSocket();
    void sendBytes(const char* bytes, std::size_t size);

private:
    int socket_ = -1;
    std::uint16_t port_;
    std::wstring address_;
    Locker lock_;
};

FENMARL_COMMON_API std::string to_string_custom(bool value);
FENMARL_COMMON_API std::string to_string_custom(const char* text);
FENMARL_COMMON_API std::wstring to_wstring_custom(bool value);
FENMARL_COMMON_API std::wstring to_wstring_custom(const char* text);

} // namespace FenmarlCommonDLL
