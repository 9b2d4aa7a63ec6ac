// One full StopServer run against a loopback responder, beside the bare
// exchange it cannot do without (connect, one framed request, one framed
// reply, close), so that what the run adds on top of the wire is visible.
//
// The responder keeps serving: it answers every frame with one frame and
// never stops.  The run reads the real pw.fil and config.ini of a temporary
// installation directory; registry and event log are the fake platform's.
#include "admin/stop_server.h"

#include "eventlog/eventlog.h"
#include "launch/settings.h"

#include "fake_eventlog.h"
#include "fake_platform.h"
#include "fake_registry.h"
#include "tests/support/temp_dir.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace
{
const char PASSWORD[] = "bench-password";
const char REPLY[] = "0,\"0\"";
const int FAKE_RESET_INTERVAL = 1000;

bool ReadExactly(int sock, char *buffer, size_t count)
{
    while (count > 0)
    {
        ssize_t n = recv(sock, buffer, count, 0);
        if (n <= 0)
        {
            return false;
        }
        buffer += n;
        count -= (size_t)n;
    }
    return true;
}

bool SendFrame(int sock, const char *payload, uint32_t length)
{
    char frame[4096];
    if (length + 4 > sizeof frame)
    {
        return false;
    }
    frame[0] = (char)(length >> 24);
    frame[1] = (char)(length >> 16);
    frame[2] = (char)(length >> 8);
    frame[3] = (char)length;
    memcpy(frame + 4, payload, length);
    return send(sock, frame, length + 4, 0) == (ssize_t)(length + 4);
}

// Reads one frame into buffer; false when the peer closed or sent too much.
bool ReceiveFrame(int sock, char *buffer, size_t capacity, uint32_t *length)
{
    unsigned char header[4];
    if (!ReadExactly(sock, (char *)header, 4))
    {
        return false;
    }
    *length = (uint32_t)header[0] << 24 | (uint32_t)header[1] << 16 | (uint32_t)header[2] << 8 |
              header[3];
    return *length <= capacity && ReadExactly(sock, buffer, *length);
}

void Serve(int listener)
{
    for (;;)
    {
        int client = accept(listener, nullptr, nullptr);
        if (client < 0)
        {
            continue;
        }
        char buffer[4096];
        uint32_t length = 0;
        while (ReceiveFrame(client, buffer, sizeof buffer, &length))
        {
            SendFrame(client, REPLY, sizeof REPLY - 1);
        }
        close(client);
    }
}

struct Bed
{
    TempDir dir; // removed with the bed, at exit
    std::string request;
    int port = 0;
};

void WriteFile(const std::string &path, const std::string &text)
{
    if (!WriteFileBytes(path, text))
    {
        perror(path.c_str());
        exit(1);
    }
}

// Starts the responder and lays out the installation directory.
bool LayOut(Bed &b)
{
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(listener, (sockaddr *)&address, sizeof address) != 0 || listen(listener, 64) != 0 ||
        getsockname(listener, (sockaddr *)&address, &size) != 0)
    {
        perror("responder");
        exit(1);
    }
    b.port = ntohs(address.sin_port);
    std::thread(Serve, listener).detach();

    if (!b.dir.Create("tavrin-bench"))
    {
        perror("mkdtemp");
        exit(1);
    }
    std::string installDir = b.dir.Path() + "/inst";
    WriteFile(installDir + "\\pw.fil", std::string(PASSWORD) + "\r\n");
    WriteFile(installDir + "\\config.ini",
              "[TAVRIN_ADMINISTRATION]\r\nTavrinAdminPort=" + std::to_string(b.port) + "\r\n");
    b.request = std::string("0,\"77\"1040,\"") + PASSWORD + "\n\"99,\"\"";
    return true;
}

// The one bed of the run, laid out on first use.
const Bed &TheBed()
{
    static Bed bed;
    static const bool laidOut = LayOut(bed);
    (void)laidOut;
    return bed;
}

void PrepareFakes(const Bed &bed)
{
    FakePlatformReset();
    g_osVersion = OSVERSIONINFOA();
    g_osVersion.dwOSVersionInfoSize = sizeof g_osVersion;
    g_osVersion.dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::string installDir = bed.dir.Path() + "/inst";
    FakeRegSetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "InstallDir", installDir.c_str());
}

void BM_StopServer(benchmark::State &state)
{
    const Bed &bed = TheBed();
    PrepareFakes(bed);
    int sinceReset = 0;
    for (auto _ : state)
    {
        // The fakes keep every call; cleared now and then, off the clock, so
        // that their growing records do not weigh on the run.
        if (++sinceReset == FAKE_RESET_INTERVAL)
        {
            state.PauseTiming();
            if (!FakeEventMessages().empty())
            {
                state.SkipWithError(("events written: " + FakeEventMessages()[0]).c_str());
                break;
            }
            PrepareFakes(bed);
            sinceReset = 0;
            state.ResumeTiming();
        }
        bool opened = false;
        int result = StopServer(&opened);
        if (result != 0 || !opened)
        {
            state.SkipWithError("StopServer failed");
            break;
        }
    }
    if (!FakeEventMessages().empty())
    {
        state.SkipWithError(("events written: " + FakeEventMessages()[0]).c_str());
    }
}
BENCHMARK(BM_StopServer)->UseRealTime();

void BM_BareExchange(benchmark::State &state)
{
    const Bed &bed = TheBed();
    sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((uint16_t)bed.port);
    for (auto _ : state)
    {
        int sock = socket(AF_INET, SOCK_STREAM, 0);
        char reply[4096];
        uint32_t length = 0;
        bool ok = connect(sock, (sockaddr *)&address, sizeof address) == 0 &&
                  SendFrame(sock, bed.request.data(), (uint32_t)bed.request.size()) &&
                  ReceiveFrame(sock, reply, sizeof reply, &length);
        close(sock);
        if (!ok)
        {
            state.SkipWithError("bare exchange failed");
            break;
        }
    }
}
BENCHMARK(BM_BareExchange)->UseRealTime();
} // namespace

BENCHMARK_MAIN();
