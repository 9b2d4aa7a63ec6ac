// Framing 1: each message travels as its length in four bytes, most
// significant first, followed by that many bytes.  The reader takes its bytes
// from any source, so that it can be driven by a socket or by a fuzzer alike.
#ifndef TAVRIN_TESTBED_VYX32_FRAME_H
#define TAVRIN_TESTBED_VYX32_FRAME_H

#include <stdint.h>

const int FRAME_HEADER_SIZE = 4;

// Pulls at most `count` bytes into `buffer`.  Gives how many arrived (at least
// one), 0 when the peer has closed, or -1 on a failure whose reason the
// source keeps for itself.
typedef int (*FrameReadFn)(void *source, char *buffer, int count);

enum FrameStatus
{
    FRAME_OK,          // one whole frame is in the buffer
    FRAME_CLOSED,      // the peer closed before a frame began
    FRAME_TRUNCATED,   // the peer closed inside a frame
    FRAME_TOO_LONG,    // the announced length exceeds the capacity; payload not read
    FRAME_READ_FAILED, // the source failed
};

void EncodeFrameHeader(uint32_t length, unsigned char header[FRAME_HEADER_SIZE]);

// Reads one frame's payload into buffer[0, capacity).  On FRAME_OK *length is
// the payload's length; nothing is ever written at or past buffer[capacity].
FrameStatus ReadFrame(FrameReadFn read, void *source, char *buffer, int capacity, int *length);

#endif
