// The stand-in server: enough of the real server's administration side for
// the service to be tested against.  Started as
//
//     tavrin_server [options...] com.lumora.api.Tavrin
//
// in the installation directory, it reads TavrinAdminPort from config.ini and
// the password from pw.fil there, listens on 127.0.0.1 at that port with the
// transport's length-prefixed framing, and for every request it receives:
// appends the frame, byte for byte as it came (four-byte big-endian length,
// then the bytes), to requests.bin; answers with one frame; and exits with 0
// once the request was a well-formed stop request carrying the right
// password.  Anything else is answered and otherwise ignored.
//
// Once it listens it writes server.pid ("<process id> <port>\n"), put in place
// whole by a rename, so that a harness can wait for it.
#include "server_config.h"

#include "admin/password_file.h"
#include "testbed/vyx32/frame.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <winsock2.h>
#include <process.h>
typedef SOCKET Socket;
const Socket NO_SOCKET = INVALID_SOCKET;
#define getpid _getpid
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
typedef int Socket;
const Socket NO_SOCKET = -1;
#define closesocket close
#endif

namespace
{
const char MAIN_CLASS[] = "com.lumora.api.Tavrin";
const char CONFIG_FILE[] = "config.ini";
const char PASSWORD_FILE[] = "pw.fil";
const char REQUESTS_FILE[] = "requests.bin";
const char PID_FILE[] = "server.pid";
const char PID_FILE_TEMP[] = "server.pid.tmp";
const char REPLY[] = "0,\"0\"";
const int REQUEST_CAPACITY = 65536;
const int RECEIVE_TIMEOUT_MS = 30000;
const size_t STOP_REQUEST_SIZE = 18 + PASSWORD_MAX_CHARS + 1;

bool SocketsStart()
{
#ifdef _WIN32
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
#else
    return true;
#endif
}

int SocketError()
{
#ifdef _WIN32
    return WSAGetLastError();
#else
    return errno;
#endif
}

// A client that connects and then says nothing must not hold the server for
// ever.
void LimitReceiveWait(Socket sock)
{
#ifdef _WIN32
    DWORD timeout = RECEIVE_TIMEOUT_MS;
#else
    timeval timeout = {RECEIVE_TIMEOUT_MS / 1000, 0};
#endif
    setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, (const char *)&timeout, sizeof timeout);
}

Socket Listen(int port)
{
    Socket sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (sock == NO_SOCKET)
    {
        return NO_SOCKET;
    }
#ifndef _WIN32
    // A previous run's connections in TIME_WAIT must not keep the port.
    int on = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
    sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((unsigned short)port);
    if (bind(sock, (sockaddr *)&address, sizeof address) != 0 || listen(sock, 8) != 0)
    {
        closesocket(sock);
        return NO_SOCKET;
    }
    return sock;
}

int ReadSocket(void *source, char *buffer, int count)
{
    int n = (int)recv(*(Socket *)source, buffer, count, 0);
    return n < 0 ? -1 : n;
}

bool SendAll(Socket sock, const char *data, int count)
{
    while (count > 0)
    {
        int n = (int)send(sock, data, count, 0);
        if (n <= 0)
        {
            return false;
        }
        data += n;
        count -= n;
    }
    return true;
}

bool SendFrame(Socket sock, const char *payload, int length)
{
    unsigned char header[FRAME_HEADER_SIZE];
    EncodeFrameHeader((uint32_t)length, header);
    return SendAll(sock, (const char *)header, FRAME_HEADER_SIZE) && SendAll(sock, payload, length);
}

void RecordRequest(const char *payload, int length)
{
    FILE *file = fopen(REQUESTS_FILE, "ab");
    if (file == NULL)
    {
        fprintf(stderr, "tavrin_server: cannot open %s\n", REQUESTS_FILE);
        return;
    }
    unsigned char header[FRAME_HEADER_SIZE];
    EncodeFrameHeader((uint32_t)length, header);
    fwrite(header, 1, FRAME_HEADER_SIZE, file);
    fwrite(payload, 1, (size_t)length, file);
    fclose(file);
}

bool WritePidFile(int port)
{
    FILE *file = fopen(PID_FILE_TEMP, "wb");
    if (file == NULL)
    {
        return false;
    }
    fprintf(file, "%d %d\n", (int)getpid(), port);
    fclose(file);
    remove(PID_FILE); // Windows will not rename onto an existing file
    return rename(PID_FILE_TEMP, PID_FILE) == 0;
}

// Serves one connection, frame after frame, until the peer closes.  Returns
// whether a stop request came.
bool ServeConnection(Socket sock, const char *stopRequest, int stopLength, char *buffer)
{
    LimitReceiveWait(sock);
    for (;;)
    {
        int length = 0;
        FrameStatus status = ReadFrame(ReadSocket, &sock, buffer, REQUEST_CAPACITY, &length);
        if (status != FRAME_OK)
        {
            if (status != FRAME_CLOSED)
            {
                fprintf(stderr, "tavrin_server: bad frame (%d)\n", (int)status);
            }
            return false;
        }
        RecordRequest(buffer, length);
        SendFrame(sock, REPLY, (int)strlen(REPLY));
        if (length == stopLength && memcmp(buffer, stopRequest, (size_t)length) == 0)
        {
            return true;
        }
    }
}
} // namespace

#ifndef _WIN32
// The password reader wipes its scratch copy through the platform's wipe;
// Windows has its own, the host build of this program needs one.
void *SecureZeroMemory(void *buffer, size_t length)
{
    volatile char *p = (volatile char *)buffer;
    while (length-- > 0)
    {
        *p++ = 0;
    }
    return buffer;
}
#endif

int main(int argc, char **argv)
{
    if (argc < 2 || strcmp(argv[argc - 1], MAIN_CLASS) != 0)
    {
        fprintf(stderr, "usage: tavrin_server [options...] %s\n", MAIN_CLASS);
        return 2;
    }

    int port = ReadAdminPort(CONFIG_FILE);
    char password[PASSWORD_BUFFER_SIZE];
    memset(password, 0, sizeof password);
    bool passwordRead = ReadPasswordFile(PASSWORD_FILE, password);
    if (!passwordRead)
    {
        fprintf(stderr, "tavrin_server: no %s; no request will stop this server\n", PASSWORD_FILE);
    }
    char stopRequest[STOP_REQUEST_SIZE];
    int stopLength = ComposeStopRequest(password, stopRequest, sizeof stopRequest);
    if (!passwordRead)
    {
        stopLength = -1;
    }

    if (!SocketsStart())
    {
        fprintf(stderr, "tavrin_server: sockets unavailable\n");
        return 1;
    }
    Socket listener = Listen(port);
    if (listener == NO_SOCKET)
    {
        fprintf(stderr, "tavrin_server: cannot listen on 127.0.0.1:%d (%d)\n", port, SocketError());
        return 1;
    }
    if (!WritePidFile(port))
    {
        fprintf(stderr, "tavrin_server: cannot write %s\n", PID_FILE);
        return 1;
    }

    static char buffer[REQUEST_CAPACITY];
    bool stop = false;
    while (!stop)
    {
        Socket client = accept(listener, NULL, NULL);
        if (client == NO_SOCKET)
        {
            continue;
        }
        stop = stopLength >= 0 && ServeConnection(client, stopRequest, stopLength, buffer);
        closesocket(client);
    }
    closesocket(listener);
    remove(PID_FILE);
    return 0;
}
