// The stand-in transport's frame reader fed whatever a peer may send.
//
// Input layout: two bytes of capacity (0xFFFF standing for a negative one),
// one byte that seeds how many bytes each read hands over, one byte naming
// the read that fails (0: none) and one saying whether that read fails or
// claims more than it was asked for; the rest is the peer's byte stream.
// The reader's result must follow from the stream's length prefix alone, it
// must take no byte past the frame, and it must write nothing outside the
// bytes it received.
#include "testbed/vyx32/frame.h"

#include "fuzz_check.h"

#include <stdint.h>
#include <string.h>

#include <memory>

namespace
{
const size_t SETUP_BYTES = 5;
const int NEGATIVE_CAPACITY = 0xFFFF;
const unsigned char UNTOUCHED = 0xA5;

struct Peer
{
    const uint8_t *stream;
    int size;
    int delivered;
    uint32_t chunkSeed;
    int reads;
    int badRead; // 1-based; 0 when every read behaves
    bool overclaim;
    bool misbehaved;
};

int PeerRead(void *source, char *buffer, int count)
{
    Peer *peer = static_cast<Peer *>(source);
    FUZZ_CHECK(count > 0);
    if (++peer->reads == peer->badRead)
    {
        peer->misbehaved = true;
        return peer->overclaim ? count + 1 : -1;
    }
    if (peer->delivered == peer->size)
    {
        return 0;
    }
    // A different share of what was asked for on every read, as a socket
    // gives it.
    peer->chunkSeed = peer->chunkSeed * 1103515245u + 12345u;
    int left = peer->size - peer->delivered;
    int most = count < left ? count : left;
    int n = 1 + static_cast<int>((peer->chunkSeed >> 16) % static_cast<uint32_t>(most));
    memcpy(buffer, peer->stream + peer->delivered, n);
    peer->delivered += n;
    return n;
}

FrameStatus ExpectedStatus(const Peer &peer, int capacity, uint32_t *announced)
{
    if (peer.misbehaved)
    {
        return FRAME_READ_FAILED;
    }
    if (peer.size == 0)
    {
        return FRAME_CLOSED;
    }
    if (peer.size < FRAME_HEADER_SIZE)
    {
        return FRAME_TRUNCATED;
    }
    *announced = 0;
    for (int i = 0; i < FRAME_HEADER_SIZE; ++i)
    {
        *announced = *announced * 256u + peer.stream[i];
    }
    if (capacity < 0 || *announced > static_cast<uint32_t>(capacity))
    {
        return FRAME_TOO_LONG;
    }
    if (static_cast<uint32_t>(peer.size - FRAME_HEADER_SIZE) < *announced)
    {
        return FRAME_TRUNCATED;
    }
    return FRAME_OK;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < SETUP_BYTES)
    {
        return 0;
    }
    int capacity = data[0] << 8 | data[1];
    if (capacity == NEGATIVE_CAPACITY)
    {
        capacity = -1;
    }
    Peer peer = {data + SETUP_BYTES,
                 static_cast<int>(size - SETUP_BYTES),
                 0,
                 data[2],
                 0,
                 data[3],
                 (data[4] & 1) != 0,
                 false};

    // Exactly the capacity (a real, empty block for none), so that the
    // sanitizer sees any access past it.
    size_t room = capacity > 0 ? static_cast<size_t>(capacity) : 0;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[room]);
    memset(buffer.get(), UNTOUCHED, room);
    int length = -1;
    FrameStatus status =
        ReadFrame(PeerRead, &peer, reinterpret_cast<char *>(buffer.get()), capacity, &length);

    uint32_t announced = 0;
    FrameStatus expected = ExpectedStatus(peer, capacity, &announced);
    FUZZ_CHECK(status == expected);
    FUZZ_CHECK(length == (status == FRAME_OK ? static_cast<int>(announced) : 0));
    if (status == FRAME_OK)
    {
        // The frame and nothing after it.
        FUZZ_CHECK(peer.delivered == FRAME_HEADER_SIZE + length);
        FUZZ_CHECK(memcmp(buffer.get(), peer.stream + FRAME_HEADER_SIZE, length) == 0);
    }
    if (status == FRAME_TOO_LONG)
    {
        FUZZ_CHECK(peer.delivered == FRAME_HEADER_SIZE);
    }
    // Past the payload bytes that arrived, the buffer is as it was given.
    size_t payload = peer.delivered > FRAME_HEADER_SIZE
                         ? static_cast<size_t>(peer.delivered - FRAME_HEADER_SIZE)
                         : 0;
    for (size_t i = payload; i < room; ++i)
    {
        FUZZ_CHECK(buffer[i] == UNTOUCHED);
    }
    return 0;
}
