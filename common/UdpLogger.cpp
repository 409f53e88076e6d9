#include "common/UdpLogger.h"

#include "common/platform/Text.h"

#include <arpa/inet.h>
#include <chrono>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace FenmarlCommonDLL {

namespace {

constexpr int kAttempts = 20;
constexpr auto kPause = std::chrono::milliseconds(10);

std::mutex& registryMutex()
{
    static std::mutex m;
    return m;
}

std::map<std::pair<std::uint16_t, std::wstring>, SmartPointer<UdpLogger>>& registry()
{
    static std::map<std::pair<std::uint16_t, std::wstring>, SmartPointer<UdpLogger>> r;
    return r;
}

} // namespace

UdpLogger::UdpLogger(std::uint16_t port, const std::wstring& address) : port_(port), address_(address) {}

UdpLogger::~UdpLogger()
{
    ThreadLocker guard(&lock_, true);
    // Datagrams already handed to the kernel leave even after close.
    if (socket_ >= 0) ::close(socket_);
}

SmartPointer<UdpLogger> UdpLogger::create(std::uint16_t port, const std::wstring& address)
{
    std::lock_guard<std::mutex> guard(registryMutex());
    auto& entry = registry()[{port, address}];
    if (!entry) entry = SmartPointer<UdpLogger>(new UdpLogger(port, address));
    return entry;
}

void UdpLogger::initializeSocket()
{
    if (socket_ >= 0) return;
    for (int attempt = 0; attempt < kAttempts && socket_ < 0; ++attempt) {
        socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (socket_ < 0) std::this_thread::sleep_for(kPause);
    }
}

void UdpLogger::sendBytes(const char* bytes, std::size_t size)
{
    if (size == 0) return; // an empty entry is not worth a datagram
    ThreadLocker guard(&lock_, true);
    initializeSocket();
    if (socket_ < 0 || !bytes) return;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port_);
    if (::inet_pton(AF_INET, platform::wideToUtf8(address_).c_str(), &target.sin_addr) != 1)
        return; // not an IPv4 address: nothing can be sent
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (::sendto(socket_, bytes, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&target),
                     sizeof target) >= 0)
            return;
        std::this_thread::sleep_for(kPause);
    }
}

void UdpLogger::send(const char* text)
{
    if (text) sendBytes(text, std::char_traits<char>::length(text));
}

void UdpLogger::send(const std::string& text)
{
    sendBytes(text.data(), text.size());
}

void UdpLogger::send(const std::wstring& text)
{
    if (text.empty()) return;
    send(platform::wideToUtf8(text));
}

std::string to_string_custom(bool value)
{
    return value ? "true" : "false";
}
std::string to_string_custom(const char* text)
{
    return text ? std::string(text) : std::string();
}
std::wstring to_wstring_custom(bool value)
{
    return value ? L"true" : L"false";
}
std::wstring to_wstring_custom(const char* text)
{
    return platform::utf8ToWide(to_string_custom(text));
}

} // namespace FenmarlCommonDLL
