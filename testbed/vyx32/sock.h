// The few socket operations the stand-in needs, over Winsock on Windows and
// BSD sockets elsewhere.  Every operation that can fail gives 0 or the
// operating system's error number, and every wait is bounded by a deadline.
#ifndef TAVRIN_TESTBED_VYX32_SOCK_H
#define TAVRIN_TESTBED_VYX32_SOCK_H

#include <stdint.h>

#ifdef _WIN32
#include <winsock2.h>
typedef SOCKET SockHandle;
const SockHandle SOCK_NONE = INVALID_SOCKET;
#else
typedef int SockHandle;
const SockHandle SOCK_NONE = -1;
#endif

// A point in time, in milliseconds of a clock that never goes back.
struct SockDeadline
{
    uint64_t startMs;
    uint64_t spanMs;
};

SockDeadline SockDeadlineIn(int seconds);

// Reference-counted start and stop of the socket library (Winsock needs it).
bool SockStartup();
void SockCleanup();

// The error number a bounded wait reports when its time is up.
int SockTimedOutError();

// Connects to an IPv4 address and port, both in host byte order.
int SockConnect(uint32_t address, uint16_t port, SockDeadline deadline, SockHandle *result);

// Sends all `count` bytes.
int SockSendAll(SockHandle sock, const char *data, int count, SockDeadline deadline);

// Receives at least one and at most `count` bytes; *received is 0 when the
// peer has closed.
int SockReceiveSome(SockHandle sock, char *buffer, int count, SockDeadline deadline, int *received);

void SockClose(SockHandle sock);

#endif
