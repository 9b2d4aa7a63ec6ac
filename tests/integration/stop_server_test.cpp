// The stop exchange end to end on the host: StopServer through the real
// stand-in transport to the stand-in server on 127.0.0.1.  Registry and event
// log are the fake platform's; the files, sockets and server are real.
#include "admin/stop_server.h"

#include "eventlog/eventlog.h"
#include "launch/settings.h"

#include "fake_eventlog.h"
#include "fake_platform.h"
#include "fake_registry.h"
#include "tests/support/process_state.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#ifndef TAVRIN_SERVER_EXE
#error "the integration tests need the stand-in server (target tavrin_server)"
#endif

namespace
{
const int WAIT_STEP_MS = 20;
const int WAIT_LIMIT_MS = 15000;

std::string ReadAll(const std::string &path)
{
    std::string content;
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr)
    {
        return content;
    }
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
    {
        content.append(chunk, n);
    }
    fclose(file);
    return content;
}

void WriteFile(const std::string &path, const std::string &bytes)
{
    ASSERT_TRUE(WriteFileBytes(path, bytes)) << path;
}

// A port nobody listens on right now.
int FreeLoopbackPort()
{
    int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(sock, (sockaddr *)&address, sizeof address) != 0 ||
        getsockname(sock, (sockaddr *)&address, &length) != 0)
    {
        close(sock);
        return -1;
    }
    close(sock);
    return ntohs(address.sin_port);
}

std::string Framed(const std::string &payload)
{
    std::string frame(4, '\0');
    uint32_t length = (uint32_t)payload.size();
    frame[0] = (char)(length >> 24);
    frame[1] = (char)(length >> 16);
    frame[2] = (char)(length >> 8);
    frame[3] = (char)length;
    return frame + payload;
}

std::string StopRequest(const std::string &password)
{
    return "0,\"77\"1040,\"" + password + "\"99,\"\"";
}

// A temporary installation directory with config.ini and pw.fil, and the
// stand-in server started in it.  On the host a backslash belongs to a file
// name, so the names the program composes ("<dir>/\pw.fil") are links to the
// files the server reads: both sides read the very same files.
class StopExchange : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        FakePlatformReset();
        SetNtFamily();

        ASSERT_TRUE(dir_.Create("tavrin-integ"));
        port_ = FreeLoopbackPort();
        ASSERT_GT(port_, 0);
        WriteFile(dir_.Path() + "/config.ini",
                  "[TAVRIN_ADMINISTRATION]\r\nTavrinAdminPort=" + std::to_string(port_) + "\r\n");
        ASSERT_EQ(0, symlink("config.ini", (dir_.Path() + "/\\config.ini").c_str()));
        ASSERT_EQ(0, symlink("pw.fil", (dir_.Path() + "/\\pw.fil").c_str()));
        std::string installDir = dir_.Path() + "/";
        FakeRegSetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "InstallDir", installDir.c_str());
    }
    void TearDown() override
    {
        if (server_ > 0)
        {
            kill(server_, SIGKILL);
            waitpid(server_, nullptr, 0);
        }
        ASSERT_TRUE(dir_.Remove());
    }

    void StartServer(const std::string &passwordFile)
    {
        WriteFile(dir_.Path() + "/pw.fil", passwordFile);
        server_ = fork();
        ASSERT_GE(server_, 0);
        if (server_ == 0)
        {
            if (chdir(dir_.Path().c_str()) == 0)
            {
                execl(TAVRIN_SERVER_EXE, "tavrin_server", "-Xmx64m", "com.lumora.api.Tavrin",
                      (char *)nullptr);
            }
            _exit(127);
        }
        std::string pidFile = dir_.Path() + "/server.pid";
        for (int waited = 0; waited < WAIT_LIMIT_MS; waited += WAIT_STEP_MS)
        {
            struct stat info;
            if (stat(pidFile.c_str(), &info) == 0)
            {
                return;
            }
            ASSERT_EQ(0, waitpid(server_, nullptr, WNOHANG)) << "server ended before listening";
            usleep(WAIT_STEP_MS * 1000);
        }
        FAIL() << "server did not start listening";
    }

    // The server's exit code, or -1 when it is still running after the wait.
    int WaitForServer(int limitMs)
    {
        for (int waited = 0; waited <= limitMs; waited += WAIT_STEP_MS)
        {
            int status = 0;
            if (waitpid(server_, &status, WNOHANG) == server_)
            {
                server_ = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(WAIT_STEP_MS * 1000);
        }
        return -1;
    }

    std::string Requests() const
    {
        return ReadAll(dir_.Path() + "/requests.bin");
    }

    TempDir dir_;
    int port_ = 0;
    pid_t server_ = 0;
};

TEST_F(StopExchange, ServerReceivesTheExactRequestAndStops)
{
    // Line break, quote and blank all travel as they are.
    StartServer("s3 \"cr\"t\r\n");
    bool opened = false;
    EXPECT_EQ(0, StopServer(&opened));
    EXPECT_TRUE(opened);
    EXPECT_TRUE(FakeEventMessages().empty());
    EXPECT_EQ(0, WaitForServer(WAIT_LIMIT_MS));
    EXPECT_EQ(Framed(StopRequest("s3 \"cr\"t\n")), Requests());
}

// The server keeps serving a request it does not accept; the exchange counts
// any reply as heard.
TEST_F(StopExchange, WrongPasswordLeavesServerRunning)
{
    StartServer("right");
    WriteFile(dir_.Path() + "/pw.fil", "wrong"); // the service now reads another password
    bool opened = false;
    EXPECT_EQ(0, StopServer(&opened));
    EXPECT_TRUE(FakeEventMessages().empty());
    EXPECT_EQ(-1, WaitForServer(300));

    WriteFile(dir_.Path() + "/pw.fil", "right");
    EXPECT_EQ(0, StopServer(&opened));
    EXPECT_EQ(0, WaitForServer(WAIT_LIMIT_MS));
    EXPECT_EQ(Framed(StopRequest("wrong")) + Framed(StopRequest("right")), Requests());
}

TEST(StandInServer, RefusesToRunWithoutTheMainClass)
{
    const char *argumentLists[][3] = {
        {"tavrin_server", nullptr, nullptr},
        {"tavrin_server", "com.lumora.api.Other", nullptr},
        {"tavrin_server", "com.lumora.api.Tavrin", "-extra"},
    };
    for (const auto &arguments : argumentLists)
    {
        SCOPED_TRACE(arguments[1] == nullptr ? "no argument" : arguments[1]);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
        {
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 2);
            execv(TAVRIN_SERVER_EXE, (char *const *)arguments);
            _exit(127);
        }
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
    }
}
} // namespace
