// Transport fake: the eight transport operations answer from a script, and
// every call, whatever the operation, lands in one ordered list with the
// arguments it was given.
//
// Each operation has its own queue of answers; a call takes the front of its
// queue, or the operation's default when the queue is empty.  Defaults after
// FakePlatformReset(): CreateVYX gives handle 1, ReceiveVYX gives 1 and writes
// nothing, GetVYXItemInt gives 0 and leaves the value unwritten, the rest give 0.
#ifndef TAVRIN_TESTS_FAKES_FAKE_VYX_H
#define TAVRIN_TESTS_FAKES_FAKE_VYX_H

#include "admin/vyx32.h"

#include <iosfwd>
#include <string>
#include <vector>

enum FakeVyxOp
{
    FAKE_VYX_CREATE,
    FAKE_VYX_SET_ITEM,
    FAKE_VYX_OPEN,
    FAKE_VYX_SEND,
    FAKE_VYX_RECEIVE,
    FAKE_VYX_CLOSE,
    FAKE_VYX_DESTROY,
    FAKE_VYX_GET_ITEM,
    FAKE_VYX_OP_COUNT
};

// The operation's name as the program calls it ("OpenVYX"), for messages.
const char *FakeVyxOpName(FakeVyxOp op);
// Lets GoogleTest print operations by name in failed expectations.
void PrintTo(FakeVyxOp op, std::ostream *os);

// One scripted answer.
struct FakeVyxAnswer
{
    int result;
    // GetVYXItemInt: whether value is stored through the caller's pointer.
    bool writesValue;
    int value;
    // ReceiveVYX: bytes copied into the caller's buffer, cut to its capacity.
    std::string reply;
};

// One recorded call.  Fields an operation does not take stay 0 / empty.
struct FakeVyxCall
{
    FakeVyxOp op;
    VYXHANDLE handle;
    std::string address;    // CreateVYX
    bool addressNull;       // CreateVYX was given a null pointer
    int item;               // SetVYXItemInt, GetVYXItemInt
    int value;              // SetVYXItemInt
    const int *valueOut;    // GetVYXItemInt: the pointer it was given
    std::string sent;       // SendVYX: a copy of the bytes it was given
    const char *sendBuffer; // SendVYX
    int length;             // SendVYX
    char *receiveBuffer;    // ReceiveVYX
    int capacity;           // ReceiveVYX
    int reserved1;          // SendVYX, ReceiveVYX
    int reserved2;          // SendVYX, ReceiveVYX
    int result;             // what the fake answered
};

// Queues an answer that is only a result (any operation; CreateVYX's result
// is the handle).
void FakeVyxPush(FakeVyxOp op, int result);
// Queues a GetVYXItemInt answer that stores value.
void FakeVyxPushItem(int value, int result = 0);
// Queues a GetVYXItemInt answer that leaves the caller's value untouched.
void FakeVyxPushItemUnwritten(int result = 0);
// Queues a ReceiveVYX answer that writes reply (cut to the capacity) and
// gives result.
void FakeVyxPushReply(const std::string &reply, int result);
// Queues a full answer.
void FakeVyxPushAnswer(FakeVyxOp op, const FakeVyxAnswer &answer);

// Replaces an operation's default answer.
void FakeVyxSetDefault(FakeVyxOp op, int result);
void FakeVyxSetDefaultAnswer(FakeVyxOp op, const FakeVyxAnswer &answer);

// Every call so far, in order, across all operations.
std::vector<FakeVyxCall> FakeVyxCalls();
// The operations called so far, in order (short form for sequence checks).
std::vector<FakeVyxOp> FakeVyxOps();
// How many calls an operation has had.
int FakeVyxCount(FakeVyxOp op);
// Answers still queued for an operation (a test may check its script ran out).
int FakeVyxPending(FakeVyxOp op);

#endif
