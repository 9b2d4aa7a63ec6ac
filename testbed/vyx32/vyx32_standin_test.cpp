// The stand-in transport against a peer of the test's own on the loopback
// interface.
#include "testbed/vyx32/standin.h"

#include "admin/vyx32.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <thread>

namespace
{
const int PEER_WAIT_MS = 5000; // no test may hang on a peer that never hears from us

std::string Header(uint32_t length)
{
    std::string h(4, '\0');
    h[0] = static_cast<char>(length >> 24);
    h[1] = static_cast<char>(length >> 16);
    h[2] = static_cast<char>(length >> 8);
    h[3] = static_cast<char>(length);
    return h;
}

bool WaitReadable(int fd)
{
    pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, PEER_WAIT_MS) == 1;
}

std::string ReadExactly(int fd, size_t count)
{
    std::string got;
    char buffer[512];
    while (got.size() < count && WaitReadable(fd))
    {
        size_t want = std::min(sizeof buffer, count - got.size());
        ssize_t n = recv(fd, buffer, want, 0);
        if (n <= 0)
        {
            break;
        }
        got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

void WriteAll(int fd, const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size())
    {
        ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
        {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

// Waits until the other end closes (or the wait runs out).
void WaitForClose(int fd)
{
    char c;
    while (WaitReadable(fd) && recv(fd, &c, 1, 0) > 0)
    {
    }
}

int OpenListener(uint16_t port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0 || listen(fd, 1) != 0)
    {
        close(fd);
        return -1;
    }
    return fd;
}

uint16_t PortOf(int fd)
{
    sockaddr_in at = {};
    socklen_t size = sizeof at;
    getsockname(fd, reinterpret_cast<sockaddr *>(&at), &size);
    return ntohs(at.sin_port);
}

// A loopback peer: accepts one connection and runs a script on it.
class Peer
{
  public:
    explicit Peer(std::function<void(int)> script, uint16_t port = 0)
    {
        listener_ = OpenListener(port);
        port_ = listener_ >= 0 ? PortOf(listener_) : 0;
        thread_ = std::thread(
            [this, script]
            {
                if (listener_ < 0 || !WaitReadable(listener_))
                {
                    return;
                }
                int fd = accept(listener_, nullptr, nullptr);
                if (fd >= 0)
                {
                    script(fd);
                    close(fd);
                }
            });
    }

    ~Peer()
    {
        Finish();
    }

    void Finish()
    {
        if (thread_.joinable())
        {
            thread_.join();
        }
        if (listener_ >= 0)
        {
            close(listener_);
            listener_ = -1;
        }
    }

    uint16_t Port() const
    {
        return port_;
    }

  private:
    int listener_;
    uint16_t port_;
    std::thread thread_;
};

std::string Address(uint16_t port, const char *host = "127.0.0.1")
{
    return std::string(":") + host + ":" + std::to_string(port);
}

// A handle connected with framing 1 and the given timeout.
VYXHANDLE Connect(uint16_t port, int timeout = 1)
{
    VYXHANDLE h = CreateVYX(Address(port).c_str());
    EXPECT_NE(0, h);
    EXPECT_EQ(0, SetVYXItemInt(h, CI_FRAMING, STANDIN_FRAMING_LENGTH));
    EXPECT_EQ(0, SetVYXItemInt(h, CI_TIMEOUT, timeout));
    EXPECT_EQ(0, OpenVYX(h));
    return h;
}

void ExpectLastError(VYXHANDLE h, int kind, int number)
{
    int value = 12345;
    EXPECT_EQ(0, GetVYXItemInt(h, CI_LAST_ERROR_KIND, &value));
    EXPECT_EQ(kind, value);
    EXPECT_EQ(0, GetVYXItemInt(h, CI_LAST_SYSTEM_ERROR, &value));
    EXPECT_EQ(number, value);
}

int OpenDescriptors()
{
    int count = 0;
    DIR *dir = opendir("/proc/self/fd");
    while (dirent *entry = readdir(dir))
    {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(dir);
    return count;
}

// A port on which nobody listens, as far as this test can tell.
uint16_t UnusedPort()
{
    int fd = OpenListener(0);
    uint16_t port = PortOf(fd);
    close(fd);
    return port;
}

class FramedRoundTrip : public ::testing::TestWithParam<const char *>
{
};

// Lengths above 255 show the byte order of the prefix in both directions.
TEST_P(FramedRoundTrip, CarriesOneFrameEachWay)
{
    std::string request(300, '\0');
    for (size_t i = 0; i < request.size(); ++i)
    {
        request[i] = static_cast<char>('a' + i % 26);
    }
    const std::string reply = std::string(259, 'r') + "!";
    std::string wire;
    Peer peer(
        [&](int fd)
        {
            wire = ReadExactly(fd, 4 + request.size());
            WriteAll(fd, Header(static_cast<uint32_t>(reply.size())) + reply);
            WaitForClose(fd);
        });

    VYXHANDLE h = CreateVYX(Address(peer.Port(), GetParam()).c_str());
    ASSERT_NE(0, h);
    EXPECT_EQ(0, SetVYXItemInt(h, CI_FRAMING, STANDIN_FRAMING_LENGTH));
    EXPECT_EQ(0, SetVYXItemInt(h, CI_TIMEOUT, 1));
    ASSERT_EQ(0, OpenVYX(h));
    EXPECT_EQ(0, SendVYX(h, request.data(), static_cast<int>(request.size()), 0, 0));
    char buffer[4096];
    int received = ReceiveVYX(h, buffer, sizeof buffer, 0, 0);
    EXPECT_EQ(0, CloseVYX(h));
    EXPECT_EQ(0, DestroyVYX(h));
    peer.Finish();

    EXPECT_EQ(std::string("\x00\x00\x01\x2c", 4) + request, wire);
    ASSERT_EQ(static_cast<int>(reply.size()), received);
    EXPECT_EQ(reply, std::string(buffer, static_cast<size_t>(received)));
}

INSTANTIATE_TEST_SUITE_P(Hosts, FramedRoundTrip, ::testing::Values("127.0.0.1", "localhost"));

TEST(StandIn, RefusedOpenReportsTheSystemErrorAndCanBeRetried)
{
    uint16_t port = UnusedPort();
    VYXHANDLE h = CreateVYX(Address(port).c_str());
    ASSERT_NE(0, h);
    EXPECT_EQ(0, SetVYXItemInt(h, CI_TIMEOUT, 1));
    EXPECT_EQ(VYX_ERROR, OpenVYX(h));
    ExpectLastError(h, VYX_KIND_SYSTEM, ECONNREFUSED);

    Peer peer([](int fd) { WaitForClose(fd); }, port);
    ASSERT_EQ(port, peer.Port()) << "port taken meanwhile";
    EXPECT_EQ(0, OpenVYX(h));
    EXPECT_EQ(0, DestroyVYX(h));
}

TEST(StandIn, SilentPeerFailsWithinTheTimeout)
{
    Peer peer([](int fd) { WaitForClose(fd); });
    VYXHANDLE h = Connect(peer.Port(), 1);

    char buffer[64];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(VYX_ERROR, ReceiveVYX(h, buffer, sizeof buffer, 0, 0));
    auto spent = std::chrono::steady_clock::now() - start;
    ExpectLastError(h, VYX_KIND_SYSTEM, ETIMEDOUT);
    EXPECT_GE(spent, std::chrono::milliseconds(900));
    EXPECT_LT(spent, std::chrono::milliseconds(2500));
    EXPECT_EQ(0, DestroyVYX(h));
}

TEST(StandIn, SendAndReceiveNeedOneOpenConnection)
{
    Peer peer([](int fd) { WaitForClose(fd); });
    VYXHANDLE h = CreateVYX(Address(peer.Port()).c_str());
    char buffer[8] = "x";
    EXPECT_EQ(VYX_ERROR, SendVYX(h, buffer, 1, 0, 0));
    ExpectLastError(h, STANDIN_KIND_NOT_OPEN, 0);
    EXPECT_EQ(VYX_ERROR, ReceiveVYX(h, buffer, sizeof buffer, 0, 0));
    ExpectLastError(h, STANDIN_KIND_NOT_OPEN, 0);

    ASSERT_EQ(0, OpenVYX(h));
    EXPECT_EQ(VYX_ERROR, OpenVYX(h));
    ExpectLastError(h, STANDIN_KIND_ALREADY_OPEN, 0);

    EXPECT_EQ(0, CloseVYX(h));
    EXPECT_EQ(VYX_ERROR, SendVYX(h, buffer, 1, 0, 0));
    ExpectLastError(h, STANDIN_KIND_NOT_OPEN, 0);
    EXPECT_EQ(0, DestroyVYX(h));
}

// Every operation on a handle it does not know answers VYX_INVALID_HANDLE
// and writes nothing.
TEST(StandIn, UnknownHandlesAreRefusedByEveryOperation)
{
    VYXHANDLE destroyed = CreateVYX(":127.0.0.1:9");
    ASSERT_NE(0, destroyed);
    ASSERT_EQ(0, DestroyVYX(destroyed));
    // Very likely the same slot as the destroyed one: the old handle must not
    // reach the new connection.
    VYXHANDLE live = CreateVYX(":127.0.0.1:9");
    ASSERT_NE(0, live);
    ASSERT_NE(destroyed, live);

    const VYXHANDLE handles[] = {0,  destroyed, live + STANDIN_MAX_CONNECTIONS,
                                 -1, INT_MIN,   INT_MAX};
    for (VYXHANDLE h : handles)
    {
        SCOPED_TRACE(h);
        char buffer[8] = "abc";
        int value = 777;
        EXPECT_EQ(VYX_INVALID_HANDLE, SetVYXItemInt(h, CI_FRAMING, 1));
        EXPECT_EQ(VYX_INVALID_HANDLE, OpenVYX(h));
        EXPECT_EQ(VYX_INVALID_HANDLE, SendVYX(h, buffer, 3, 0, 0));
        EXPECT_EQ(VYX_INVALID_HANDLE, ReceiveVYX(h, buffer, sizeof buffer, 0, 0));
        EXPECT_EQ(VYX_INVALID_HANDLE, GetVYXItemInt(h, CI_LAST_ERROR_KIND, &value));
        EXPECT_EQ(VYX_INVALID_HANDLE, CloseVYX(h));
        EXPECT_EQ(VYX_INVALID_HANDLE, DestroyVYX(h));
        EXPECT_EQ(777, value);
        EXPECT_STREQ("abc", buffer);
    }
    EXPECT_EQ(0, DestroyVYX(live));
}

TEST(StandIn, AddressesOtherThanColonHostColonPortGiveTheEmptyHandle)
{
    const struct
    {
        const char *address;
        bool valid;
    } cases[] = {
        {":127.0.0.1:8189", true},
        {":localhost:1", true},
        {":0.0.0.0:65535", true},
        {":255.255.255.255:80", true},
        {nullptr, false},
        {"", false},
        {"127.0.0.1:8189", false},
        {"127.0.0.1", false},
        {":127.0.0.1", false},
        {":127.0.0.1:", false},
        {"::8189", false},
        {":127.0.0.1:0", false},
        {":127.0.0.1:65536", false},
        {":127.0.0.1:-1", false},
        {":127.0.0.1:+80", false},
        {":127.0.0.1:80a", false},
        {":127.0.0.1:abc", false},
        {":127.0.0.1:99999999999999999999", false},
        {":127.0.0.1:8189:", false},
        {":127.0.0.1:8189 ", false},
        {":256.0.0.1:80", false},
        {":1.2.3:80", false},
        {":1.2.3.4.5:80", false},
        {":1..2.3:80", false},
        {":example.com:80", false},
        {":localhost.example:80", false},
        {":LOCALHOST:80", false},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.address != nullptr ? c.address : "(null)");
        VYXHANDLE h = CreateVYX(c.address);
        EXPECT_EQ(c.valid, h != 0);
        if (h != 0)
        {
            EXPECT_EQ(0, DestroyVYX(h));
        }
    }
}

TEST(StandIn, UnknownItemsAndBadValuesAreInvalidParams)
{
    VYXHANDLE h = CreateVYX(":127.0.0.1:9");
    ASSERT_NE(0, h);
    const struct
    {
        int item;
        int value;
    } badSets[] = {
        {CI_TIMEOUT, 0},           {CI_TIMEOUT, -1}, {CI_TIMEOUT, STANDIN_MAX_TIMEOUT + 1},
        {CI_FRAMING, 2},           {CI_FRAMING, -1}, {CI_LAST_ERROR_KIND, 0},
        {CI_LAST_SYSTEM_ERROR, 0}, {0, 0},           {99, 1},
    };
    for (const auto &c : badSets)
    {
        SCOPED_TRACE(::testing::Message() << "item " << c.item << " value " << c.value);
        EXPECT_EQ(VYX_INVALID_PARAM, SetVYXItemInt(h, c.item, c.value));
    }
    int value = 5;
    EXPECT_EQ(VYX_INVALID_PARAM, GetVYXItemInt(h, 99, &value));
    EXPECT_EQ(5, value);
    EXPECT_EQ(VYX_INVALID_PARAM, GetVYXItemInt(h, CI_TIMEOUT, nullptr));

    // A refused value leaves the item as it was.
    EXPECT_EQ(0, SetVYXItemInt(h, CI_TIMEOUT, 7));
    EXPECT_EQ(VYX_INVALID_PARAM, SetVYXItemInt(h, CI_TIMEOUT, 0));
    EXPECT_EQ(0, GetVYXItemInt(h, CI_TIMEOUT, &value));
    EXPECT_EQ(7, value);

    char buffer[8];
    EXPECT_EQ(VYX_INVALID_PARAM, SendVYX(h, buffer, -1, 0, 0));
    EXPECT_EQ(VYX_INVALID_PARAM, SendVYX(h, nullptr, 1, 0, 0));
    EXPECT_EQ(VYX_INVALID_PARAM, ReceiveVYX(h, buffer, 0, 0, 0));
    EXPECT_EQ(VYX_INVALID_PARAM, ReceiveVYX(h, nullptr, 8, 0, 0));
    EXPECT_EQ(0, DestroyVYX(h));
}

struct Incoming
{
    const char *name;
    std::string bytes; // what the peer sends before it closes
    int result;
    int kind; // last error kind when result is -1
    std::string payload;
};

void PrintTo(const Incoming &c, std::ostream *os)
{
    *os << c.name;
}

const int CAPACITY = 16;
const int GUARD = 32;

class IncomingFrame : public ::testing::TestWithParam<Incoming>
{
};

// The peer's bytes arrive one at a time, so a frame never comes in one read.
TEST_P(IncomingFrame, IsDeliveredWholeOrRefusedWithinTheBuffer)
{
    const Incoming &c = GetParam();
    Peer peer(
        [&](int fd)
        {
            int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            for (char b : c.bytes)
            {
                WriteAll(fd, std::string(1, b));
            }
            shutdown(fd, SHUT_WR);
            WaitForClose(fd);
        });
    VYXHANDLE h = Connect(peer.Port());

    char buffer[CAPACITY + GUARD];
    memset(buffer, 0x5a, sizeof buffer);
    EXPECT_EQ(c.result, ReceiveVYX(h, buffer, CAPACITY, 0, 0));
    if (c.result < 0)
    {
        ExpectLastError(h, c.kind, 0);
    }
    EXPECT_EQ(c.payload, std::string(buffer, c.payload.size()));
    for (int i = CAPACITY; i < CAPACITY + GUARD; ++i)
    {
        ASSERT_EQ(0x5a, buffer[i]) << "written past the capacity at " << i;
    }
    EXPECT_EQ(0, DestroyVYX(h));
}

INSTANTIATE_TEST_SUITE_P(
    Frames, IncomingFrame,
    ::testing::Values(
        Incoming{"ClosedBeforeAFrame", "", 0, 0, ""}, Incoming{"EmptyFrame", Header(0), 0, 0, ""},
        Incoming{"FillsTheBuffer", Header(16) + "0123456789abcdef", 16, 0, "0123456789abcdef"},
        Incoming{"OneByteTooLong", Header(17) + "0123456789abcdefg", VYX_ERROR,
                 STANDIN_KIND_FRAME_TOO_LONG, ""},
        Incoming{"SignBitLength", Header(0x80000000u), VYX_ERROR, STANDIN_KIND_FRAME_TOO_LONG, ""},
        Incoming{"LargestLength", Header(0xffffffffu), VYX_ERROR, STANDIN_KIND_FRAME_TOO_LONG, ""},
        Incoming{"CutInTheLength", std::string("\0\0", 2), VYX_ERROR, STANDIN_KIND_FRAME_CUT, ""},
        Incoming{"CutInThePayload", Header(5) + "abc", VYX_ERROR, STANDIN_KIND_FRAME_CUT, ""}),
    [](const ::testing::TestParamInfo<Incoming> &info) { return std::string(info.param.name); });

// Destroying a handle closes its socket whether or not the caller closed it,
// and a failed open leaves none behind.
TEST(StandIn, DestroyLeavesNoSocketOpen)
{
    const int before = OpenDescriptors();
    {
        Peer peer([](int fd) { WaitForClose(fd); });
        VYXHANDLE h = Connect(peer.Port());
        EXPECT_EQ(0, DestroyVYX(h));
    }
    {
        Peer peer([](int fd) { WaitForClose(fd); });
        VYXHANDLE h = Connect(peer.Port());
        EXPECT_EQ(0, CloseVYX(h));
        EXPECT_EQ(0, DestroyVYX(h));
    }
    {
        VYXHANDLE h = CreateVYX(Address(UnusedPort()).c_str());
        EXPECT_EQ(VYX_ERROR, OpenVYX(h));
        EXPECT_EQ(VYX_ERROR, OpenVYX(h));
        EXPECT_EQ(0, DestroyVYX(h));
    }
    EXPECT_EQ(before, OpenDescriptors());
}
} // namespace
