// The stand-in transport: the eight operations over one TCP connection per
// handle.  It serves a single caller thread, as the program uses it.
#include "frame.h"
#include "sock.h"
#include "standin.h"

#include "admin/vyx32.h"

#include <string.h>

namespace
{
struct Connection
{
    VYXHANDLE handle; // 0 while the slot is free
    uint32_t address; // host byte order
    uint16_t port;
    SockHandle sock; // SOCK_NONE unless connected
    int framing;
    int timeoutSeconds;
    int errorKind;
    int systemError;
};

Connection g_connections[STANDIN_MAX_CONNECTIONS];

// Handles carry a generation besides the slot, so that a destroyed handle
// stays invalid after its slot has been given out again.
const int MAX_GENERATION = 1000000;
int g_generation;

// Frames up to this size, header included, are sent with one call.
const int SMALL_FRAME_SIZE = 1024;

Connection *Find(VYXHANDLE handle)
{
    if (handle <= 0)
    {
        return nullptr;
    }
    Connection *c = &g_connections[(handle - 1) % STANDIN_MAX_CONNECTIONS];
    return c->handle == handle ? c : nullptr;
}

int Fail(Connection *c, int kind, int systemError)
{
    c->errorKind = kind;
    c->systemError = systemError;
    return VYX_ERROR;
}

// After a failed transfer the peer's idea of where a frame starts is lost, so
// the connection is dropped rather than left out of step.
int Drop(Connection *c, int kind, int systemError)
{
    SockClose(c->sock);
    c->sock = SOCK_NONE;
    return Fail(c, kind, systemError);
}

bool IsDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

// Reads a decimal number of 1 to maxDigits digits at *text, moving past it.
bool ReadNumber(const char **text, int maxDigits, long *value)
{
    const char *p = *text;
    long n = 0;
    int digits = 0;
    while (IsDigit(*p))
    {
        if (++digits > maxDigits)
        {
            return false;
        }
        n = n * 10 + (*p - '0');
        ++p;
    }
    *text = p;
    *value = n;
    return digits > 0;
}

// "localhost" or four dotted decimal parts of 0 to 255, ending at the colon
// before the port.
bool ReadHost(const char **text, uint32_t *address)
{
    const char LOCALHOST[] = "localhost";
    const int LOCALHOST_LENGTH = sizeof LOCALHOST - 1;
    if (strncmp(*text, LOCALHOST, LOCALHOST_LENGTH) == 0)
    {
        *text += LOCALHOST_LENGTH;
        *address = 0x7f000001u;
        return true;
    }
    uint32_t result = 0;
    for (int part = 0; part < 4; ++part)
    {
        if (part > 0 && *(*text)++ != '.')
        {
            return false;
        }
        long value = 0;
        if (!ReadNumber(text, 3, &value) || value > 255)
        {
            return false;
        }
        result = (result << 8) | static_cast<uint32_t>(value);
    }
    *address = result;
    return true;
}

// ":host:port"; nothing before the first colon, nothing after the port.
bool ParseAddress(const char *text, uint32_t *address, uint16_t *port)
{
    if (text == nullptr || *text++ != ':')
    {
        return false;
    }
    if (!ReadHost(&text, address) || *text++ != ':')
    {
        return false;
    }
    long value = 0;
    if (!ReadNumber(&text, 5, &value) || *text != '\0' || value < 1 || value > 65535)
    {
        return false;
    }
    *port = static_cast<uint16_t>(value);
    return true;
}

struct SocketSource
{
    Connection *connection;
    SockDeadline deadline;
    int error;
};

int ReadFromSocket(void *source, char *buffer, int count)
{
    SocketSource *s = static_cast<SocketSource *>(source);
    int received = 0;
    s->error = SockReceiveSome(s->connection->sock, buffer, count, s->deadline, &received);
    return s->error != 0 ? -1 : received;
}
} // namespace

VYXHANDLE VYXAPI CreateVYX(const char *address)
{
    uint32_t ip = 0;
    uint16_t port = 0;
    if (!ParseAddress(address, &ip, &port))
    {
        return 0;
    }
    for (int slot = 0; slot < STANDIN_MAX_CONNECTIONS; ++slot)
    {
        Connection *c = &g_connections[slot];
        if (c->handle != 0)
        {
            continue;
        }
        if (!SockStartup())
        {
            return 0;
        }
        g_generation = (g_generation + 1) % MAX_GENERATION;
        c->handle = g_generation * STANDIN_MAX_CONNECTIONS + slot + 1;
        c->address = ip;
        c->port = port;
        c->sock = SOCK_NONE;
        c->framing = STANDIN_FRAMING_RAW;
        c->timeoutSeconds = STANDIN_DEFAULT_TIMEOUT;
        c->errorKind = 0;
        c->systemError = 0;
        return c->handle;
    }
    return 0;
}

int VYXAPI SetVYXItemInt(VYXHANDLE handle, int item, int value)
{
    Connection *c = Find(handle);
    if (c == nullptr)
    {
        return VYX_INVALID_HANDLE;
    }
    if (item == CI_TIMEOUT && value >= 1 && value <= STANDIN_MAX_TIMEOUT)
    {
        c->timeoutSeconds = value;
        return 0;
    }
    if (item == CI_FRAMING && (value == STANDIN_FRAMING_RAW || value == STANDIN_FRAMING_LENGTH))
    {
        c->framing = value;
        return 0;
    }
    return VYX_INVALID_PARAM;
}

int VYXAPI GetVYXItemInt(VYXHANDLE handle, int item, int *value)
{
    Connection *c = Find(handle);
    if (c == nullptr)
    {
        return VYX_INVALID_HANDLE;
    }
    if (value == nullptr)
    {
        return VYX_INVALID_PARAM;
    }
    if (item == CI_TIMEOUT)
    {
        *value = c->timeoutSeconds;
    }
    else if (item == CI_FRAMING)
    {
        *value = c->framing;
    }
    else if (item == CI_LAST_ERROR_KIND)
    {
        *value = c->errorKind;
    }
    else if (item == CI_LAST_SYSTEM_ERROR)
    {
        *value = c->systemError;
    }
    else
    {
        return VYX_INVALID_PARAM;
    }
    return 0;
}

int VYXAPI OpenVYX(VYXHANDLE handle)
{
    Connection *c = Find(handle);
    if (c == nullptr)
    {
        return VYX_INVALID_HANDLE;
    }
    if (c->sock != SOCK_NONE)
    {
        return Fail(c, STANDIN_KIND_ALREADY_OPEN, 0);
    }
    int error = SockConnect(c->address, c->port, SockDeadlineIn(c->timeoutSeconds), &c->sock);
    return error != 0 ? Fail(c, VYX_KIND_SYSTEM, error) : 0;
}

int VYXAPI SendVYX(VYXHANDLE handle, const char *buffer, int length, int, int)
{
    Connection *c = Find(handle);
    if (c == nullptr)
    {
        return VYX_INVALID_HANDLE;
    }
    if (length < 0 || (buffer == nullptr && length > 0))
    {
        return VYX_INVALID_PARAM;
    }
    if (c->sock == SOCK_NONE)
    {
        return Fail(c, STANDIN_KIND_NOT_OPEN, 0);
    }
    SockDeadline deadline = SockDeadlineIn(c->timeoutSeconds);
    if (c->framing == STANDIN_FRAMING_LENGTH)
    {
        // A request goes out as one segment, header and payload together:
        // a lone 4-byte header would otherwise wait on the peer's
        // acknowledgement before the payload may follow.
        char frame[SMALL_FRAME_SIZE];
        EncodeFrameHeader(static_cast<uint32_t>(length), reinterpret_cast<unsigned char *>(frame));
        if (length <= SMALL_FRAME_SIZE - FRAME_HEADER_SIZE)
        {
            memcpy(frame + FRAME_HEADER_SIZE, buffer, static_cast<size_t>(length));
            int error = SockSendAll(c->sock, frame, FRAME_HEADER_SIZE + length, deadline);
            return error != 0 ? Drop(c, VYX_KIND_SYSTEM, error) : 0;
        }
        int error = SockSendAll(c->sock, frame, FRAME_HEADER_SIZE, deadline);
        if (error != 0)
        {
            return Drop(c, VYX_KIND_SYSTEM, error);
        }
    }
    int error = SockSendAll(c->sock, buffer, length, deadline);
    return error != 0 ? Drop(c, VYX_KIND_SYSTEM, error) : 0;
}

int VYXAPI ReceiveVYX(VYXHANDLE handle, char *buffer, int capacity, int, int)
{
    Connection *c = Find(handle);
    if (c == nullptr)
    {
        return VYX_INVALID_HANDLE;
    }
    if (buffer == nullptr || capacity <= 0)
    {
        return VYX_INVALID_PARAM;
    }
    if (c->sock == SOCK_NONE)
    {
        return Fail(c, STANDIN_KIND_NOT_OPEN, 0);
    }
    SocketSource source = {c, SockDeadlineIn(c->timeoutSeconds), 0};
    if (c->framing == STANDIN_FRAMING_RAW)
    {
        int received = ReadFromSocket(&source, buffer, capacity);
        return received < 0 ? Drop(c, VYX_KIND_SYSTEM, source.error) : received;
    }
    int length = 0;
    switch (ReadFrame(ReadFromSocket, &source, buffer, capacity, &length))
    {
    case FRAME_OK:
        return length;
    case FRAME_CLOSED:
        return 0;
    case FRAME_TOO_LONG:
        return Drop(c, STANDIN_KIND_FRAME_TOO_LONG, 0);
    case FRAME_TRUNCATED:
        return Drop(c, STANDIN_KIND_FRAME_CUT, 0);
    case FRAME_READ_FAILED:
        break;
    }
    return Drop(c, VYX_KIND_SYSTEM, source.error);
}

int VYXAPI CloseVYX(VYXHANDLE handle)
{
    Connection *c = Find(handle);
    if (c == nullptr)
    {
        return VYX_INVALID_HANDLE;
    }
    SockClose(c->sock);
    c->sock = SOCK_NONE;
    return 0;
}

int VYXAPI DestroyVYX(VYXHANDLE handle)
{
    Connection *c = Find(handle);
    if (c == nullptr)
    {
        return VYX_INVALID_HANDLE;
    }
    SockClose(c->sock);
    c->sock = SOCK_NONE;
    c->handle = 0;
    SockCleanup();
    return 0;
}
