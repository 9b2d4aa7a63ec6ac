#include "frame.h"

namespace
{
// Fills buffer[0, count) completely.  *got says how far it came when the peer
// closed early.
FrameStatus ReadExactly(FrameReadFn read, void *source, char *buffer, int count, int *got)
{
    *got = 0;
    while (*got < count)
    {
        int n = read(source, buffer + *got, count - *got);
        if (n < 0)
        {
            return FRAME_READ_FAILED;
        }
        if (n == 0)
        {
            return FRAME_TRUNCATED;
        }
        // A source claiming more than it was asked for must not move us past
        // the end of the buffer.
        if (n > count - *got)
        {
            return FRAME_READ_FAILED;
        }
        *got += n;
    }
    return FRAME_OK;
}
} // namespace

void EncodeFrameHeader(uint32_t length, unsigned char header[FRAME_HEADER_SIZE])
{
    header[0] = static_cast<unsigned char>(length >> 24);
    header[1] = static_cast<unsigned char>(length >> 16);
    header[2] = static_cast<unsigned char>(length >> 8);
    header[3] = static_cast<unsigned char>(length);
}

FrameStatus ReadFrame(FrameReadFn read, void *source, char *buffer, int capacity, int *length)
{
    *length = 0;
    char header[FRAME_HEADER_SIZE];
    int got = 0;
    FrameStatus status = ReadExactly(read, source, header, FRAME_HEADER_SIZE, &got);
    if (status == FRAME_TRUNCATED && got == 0)
    {
        return FRAME_CLOSED;
    }
    if (status != FRAME_OK)
    {
        return status;
    }

    uint32_t announced = 0;
    for (int i = 0; i < FRAME_HEADER_SIZE; ++i)
    {
        announced = (announced << 8) | static_cast<unsigned char>(header[i]);
    }
    if (capacity < 0 || announced > static_cast<uint32_t>(capacity))
    {
        return FRAME_TOO_LONG;
    }

    int size = static_cast<int>(announced);
    status = ReadExactly(read, source, buffer, size, &got);
    if (status == FRAME_OK)
    {
        *length = size;
    }
    return status;
}
