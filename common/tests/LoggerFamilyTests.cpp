#include "common/Output.h"
#include "common/SmartLogger.h"
#include "common/UdpLogger.h"
#include "common/platform/Hooks.h"
#include "common/platform/Text.h"
#include "common/tests/TestScratch.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace FenmarlCommonDLL;

namespace {

struct Counted : SmartPointerBase
{
    explicit Counted(bool* destroyed) : destroyed_(destroyed) {}
    ~Counted() override { *destroyed_ = true; }
    bool* destroyed_;
};

// A UDP socket on the loopback interface with a port chosen by the system.
class Receiver
{
public:
    Receiver()
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~Receiver() { ::close(fd_); }
    std::uint16_t port() const { return port_; }
    // Empty when nothing arrives within the generous time-out.
    std::string receive(int timeoutMs = 10000)
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1) return {};
        char buffer[2048];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

private:
    int fd_;
    std::uint16_t port_ = 0;
};

struct CollectingOutput : Output
{
    void writeOutput(const std::wstring& text) override { texts.push_back(text); }
    std::vector<std::wstring> texts;
};

} // namespace

TEST(SmartPointer, CountsReferencesAndDeletesWithTheLast)
{
    bool destroyed = false;
    {
        SmartPointer<Counted> a(new Counted(&destroyed));
        EXPECT_EQ(a->referenceCount(), 1);
        {
            SmartPointer<Counted> b = a;
            SmartPointer<Counted> c;
            c = b;
            EXPECT_EQ(a->referenceCount(), 3);
            SmartPointer<Counted> d(std::move(c));
            EXPECT_FALSE(c);
            EXPECT_EQ(a->referenceCount(), 3);
            a = a; // self-assignment keeps the object
            EXPECT_EQ(a->referenceCount(), 3);
        }
        EXPECT_EQ(a->referenceCount(), 1);
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);
}

TEST(SmartLoggers, FileTestAndDebugVariants)
{
    const auto file = commontest::scratch() / "smart" / "s.log";
    {
        SmartPointer<SmartLogger> log =
            SmartLogger::create(platform::utf8ToWide(file.string()), 40960, true, false);
        EXPECT_EQ(log->referenceCount(), 1);
        log->logError("Src", "msg");
    }
    const auto got = commontest::lines(commontest::readFile(file));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_NE(got[1].find("[ERROR] Src: msg"), std::string::npos);

    std::vector<std::tuple<std::string, std::string, unsigned>> boxes;
    platform::setMessageBoxHandler([&](const std::string& t, const std::string& c, unsigned f) {
        boxes.emplace_back(t, c, f);
        return platform::IDOK_;
    });
    SmartPointer<TestSmartLogger> test = TestSmartLogger::create();
    EXPECT_EQ(test->logFilePath(), L"None");
    test->logWarning("Caption", "Text");
    test->setEnabled(false);
    test->logError("Caption", "hidden");
    platform::setMessageBoxHandler(nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], std::make_tuple(std::string("Text"), std::string("Caption"),
                                        platform::MB_ICONINFORMATION_ | platform::MB_OK_));

    std::vector<std::string> debug;
    platform::setDebugOutputHandler([&](const std::string& t) { debug.push_back(t); });
    SmartPointer<DebugSmartLogger> dbg = DebugSmartLogger::create();
    dbg->logNote("A", "1");
    dbg->logWarning("B", "2");
    dbg->logError("C", "3");
    dbg->setEnabled(false);
    dbg->logNote("D", "4");
    platform::setDebugOutputHandler(nullptr);
    EXPECT_EQ(debug, (std::vector<std::string>{"A\n1", "B\n2", "C\n3"}));
    EXPECT_FALSE(std::filesystem::exists("None"));
}

TEST(UdpLogger, SendsToLoopbackAndEachEndpointHasItsOwnSocket)
{
    Receiver first;
    Receiver second;
    SmartPointer<UdpLogger> a = UdpLogger::create(first.port(), L"127.0.0.1");
    EXPECT_EQ(UdpLogger::create(first.port(), L"127.0.0.1"), a);
    SmartPointer<UdpLogger> b = UdpLogger::create(second.port(), L"127.0.0.1");
    EXPECT_FALSE(a == b);

    a->send("narrow");
    EXPECT_EQ(first.receive(), "narrow");
    b->send(std::wstring(L"wide \u00B5"));
    EXPECT_EQ(second.receive(), "wide \xC2\xB5");
    a->send(std::string("string"));
    EXPECT_EQ(first.receive(), "string");
    a->send(std::wstring());
    a->send(static_cast<const char*>(nullptr));
    a->send("after");
    EXPECT_EQ(first.receive(), "after"); // the empty sends produced nothing

    EXPECT_EQ(to_string_custom(true), "true");
    EXPECT_EQ(to_wstring_custom(false), L"false");
    EXPECT_EQ(to_string_custom(static_cast<const char*>(nullptr)), "");
    EXPECT_EQ(to_wstring_custom("x"), L"x");
}

TEST(Output, ProgressPassesWideText)
{
    CollectingOutput out;
    out.Progress("Zeroing \xC2\xB5T");
    out.Progress("bad \xFF");
    ASSERT_EQ(out.texts.size(), 2u);
    EXPECT_EQ(out.texts[0], L"Zeroing \u00B5T");
    EXPECT_EQ(out.texts[1], L"bad \uFFFD");
}
