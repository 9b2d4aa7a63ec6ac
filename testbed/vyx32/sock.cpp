#include "sock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#endif

#include <string.h>

namespace
{
#ifdef _WIN32
int LastError()
{
    return WSAGetLastError();
}

bool WouldBlock(int error)
{
    return error == WSAEWOULDBLOCK;
}

bool Interrupted(int error)
{
    return error == WSAEINTR;
}

uint64_t NowMs()
{
    // GetTickCount is there on every Windows; its wrap after 49 days is
    // harmless as long as only spans are compared, which is all we do.
    return GetTickCount();
}

int SetNonBlocking(SockHandle sock)
{
    u_long on = 1;
    return ioctlsocket(sock, FIONBIO, &on) == 0 ? 0 : LastError();
}

// select, not WSAPoll: WSAPoll on older Windows never reports a refused
// connection.  A failed connect shows up in the exception set.
int Wait(SockHandle sock, bool forWrite, int timeoutMs)
{
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(sock, &ready);
    FD_SET(sock, &failed);
    timeval tv;
    tv.tv_sec = timeoutMs / 1000;
    tv.tv_usec = (timeoutMs % 1000) * 1000;
    int n = select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, &tv);
    if (n < 0)
    {
        return LastError();
    }
    return n == 0 ? SockTimedOutError() : 0;
}

int SendOnce(SockHandle sock, const char *data, int count)
{
    return send(sock, data, count, 0);
}

int ReceiveOnce(SockHandle sock, char *buffer, int count)
{
    return recv(sock, buffer, count, 0);
}
#else
int LastError()
{
    return errno;
}

bool WouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK;
}

bool Interrupted(int error)
{
    return error == EINTR;
}

uint64_t NowMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

int SetNonBlocking(SockHandle sock)
{
    int flags = fcntl(sock, F_GETFL, 0);
    if (flags < 0 || fcntl(sock, F_SETFL, flags | O_NONBLOCK) < 0)
    {
        return LastError();
    }
    return 0;
}

int Wait(SockHandle sock, bool forWrite, int timeoutMs)
{
    pollfd p;
    p.fd = sock;
    p.events = forWrite ? POLLOUT : POLLIN;
    p.revents = 0;
    int n = poll(&p, 1, timeoutMs);
    if (n < 0)
    {
        return LastError();
    }
    return n == 0 ? SockTimedOutError() : 0;
}

// A peer that has gone must give an error number, not a signal that ends
// the whole process.
int SendOnce(SockHandle sock, const char *data, int count)
{
    return static_cast<int>(send(sock, data, static_cast<size_t>(count), MSG_NOSIGNAL));
}

int ReceiveOnce(SockHandle sock, char *buffer, int count)
{
    return static_cast<int>(recv(sock, buffer, static_cast<size_t>(count), 0));
}
#endif

int RemainingMs(SockDeadline deadline)
{
    uint64_t spent = NowMs() - deadline.startMs;
    if (spent >= deadline.spanMs)
    {
        return 0;
    }
    return static_cast<int>(deadline.spanMs - spent);
}

// Waits until the socket is ready or the deadline has passed.
int WaitUntil(SockHandle sock, bool forWrite, SockDeadline deadline)
{
    for (;;)
    {
        int remaining = RemainingMs(deadline);
        if (remaining == 0)
        {
            return SockTimedOutError();
        }
        int error = Wait(sock, forWrite, remaining);
        if (!Interrupted(error))
        {
            return error;
        }
    }
}
} // namespace

SockDeadline SockDeadlineIn(int seconds)
{
    SockDeadline deadline;
    deadline.startMs = NowMs();
    deadline.spanMs = seconds > 0 ? static_cast<uint64_t>(seconds) * 1000u : 0u;
    return deadline;
}

int SockTimedOutError()
{
#ifdef _WIN32
    return WSAETIMEDOUT;
#else
    return ETIMEDOUT;
#endif
}

bool SockStartup()
{
#ifdef _WIN32
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
#else
    return true;
#endif
}

void SockCleanup()
{
#ifdef _WIN32
    WSACleanup();
#endif
}

int SockConnect(uint32_t address, uint16_t port, SockDeadline deadline, SockHandle *result)
{
    *result = SOCK_NONE;
#ifdef _WIN32
    SockHandle sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
#else
    SockHandle sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
#endif
    if (sock == SOCK_NONE)
    {
        return LastError();
    }
    int error = SetNonBlocking(sock);
    if (error == 0)
    {
        sockaddr_in to;
        memset(&to, 0, sizeof to);
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(address);
        to.sin_port = htons(port);
        if (connect(sock, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0)
        {
            error = LastError();
#ifndef _WIN32
            if (error == EINPROGRESS)
            {
                error = EWOULDBLOCK;
            }
#endif
            if (WouldBlock(error))
            {
                error = WaitUntil(sock, true, deadline);
                if (error == 0)
                {
                    int soError = 0;
#ifdef _WIN32
                    int size = sizeof soError;
                    char *into = reinterpret_cast<char *>(&soError);
#else
                    socklen_t size = sizeof soError;
                    int *into = &soError;
#endif
                    if (getsockopt(sock, SOL_SOCKET, SO_ERROR, into, &size) != 0)
                    {
                        soError = LastError();
                    }
                    error = soError;
                }
            }
        }
    }
    if (error != 0)
    {
        SockClose(sock);
        return error;
    }
    *result = sock;
    return 0;
}

int SockSendAll(SockHandle sock, const char *data, int count, SockDeadline deadline)
{
    int sent = 0;
    while (sent < count)
    {
        int n = SendOnce(sock, data + sent, count - sent);
        if (n > 0)
        {
            sent += n;
            continue;
        }
        // Nothing taken without an error is treated as a full send buffer:
        // wait, so that the deadline still bounds the loop.
        int error = n == 0 ? 0 : LastError();
        if (Interrupted(error))
        {
            continue;
        }
        if (error != 0 && !WouldBlock(error))
        {
            return error;
        }
        error = WaitUntil(sock, true, deadline);
        if (error != 0)
        {
            return error;
        }
    }
    return 0;
}

int SockReceiveSome(SockHandle sock, char *buffer, int count, SockDeadline deadline, int *received)
{
    *received = 0;
    for (;;)
    {
        int n = ReceiveOnce(sock, buffer, count);
        if (n >= 0)
        {
            *received = n;
            return 0;
        }
        int error = LastError();
        if (Interrupted(error))
        {
            continue;
        }
        if (!WouldBlock(error))
        {
            return error;
        }
        error = WaitUntil(sock, false, deadline);
        if (error != 0)
        {
            return error;
        }
    }
}

void SockClose(SockHandle sock)
{
    if (sock == SOCK_NONE)
    {
        return;
    }
#ifdef _WIN32
    closesocket(sock);
#else
    close(sock);
#endif
}
