#include "fake_vyx.h"

#include "fake_platform.h"

#include <deque>
#include <mutex>
#include <ostream>

namespace
{
struct VyxState
{
    std::mutex lock;
    std::deque<FakeVyxAnswer> queued[FAKE_VYX_OP_COUNT];
    FakeVyxAnswer defaults[FAKE_VYX_OP_COUNT];
    std::vector<FakeVyxCall> calls;
};

VyxState &State()
{
    static VyxState state;
    return state;
}

FakeVyxAnswer ResultOnly(int result)
{
    FakeVyxAnswer answer = {};
    answer.result = result;
    return answer;
}

void ResetVyx()
{
    VyxState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    for (int op = 0; op < FAKE_VYX_OP_COUNT; ++op)
    {
        s.queued[op].clear();
        s.defaults[op] = ResultOnly(0);
    }
    s.defaults[FAKE_VYX_CREATE] = ResultOnly(1);
    s.defaults[FAKE_VYX_RECEIVE] = ResultOnly(1);
    s.calls.clear();
}
FAKE_REGISTER_RESET(ResetVyx);

bool ValidOp(FakeVyxOp op)
{
    return op >= 0 && op < FAKE_VYX_OP_COUNT;
}

FakeVyxCall NewCall(FakeVyxOp op, VYXHANDLE handle)
{
    FakeVyxCall call = {};
    call.op = op;
    call.handle = handle;
    return call;
}

// Takes the operation's next answer and records the call with its result;
// both under the one lock so that the record order is the answer order.
FakeVyxAnswer Answer(FakeVyxCall &call)
{
    VyxState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    FakeVyxAnswer answer = s.defaults[call.op];
    if (!s.queued[call.op].empty())
    {
        answer = s.queued[call.op].front();
        s.queued[call.op].pop_front();
    }
    call.result = answer.result;
    s.calls.push_back(call);
    return answer;
}
} // namespace

const char *FakeVyxOpName(FakeVyxOp op)
{
    static const char *const names[FAKE_VYX_OP_COUNT] = {"CreateVYX",  "SetVYXItemInt", "OpenVYX",
                                                         "SendVYX",    "ReceiveVYX",    "CloseVYX",
                                                         "DestroyVYX", "GetVYXItemInt"};
    return ValidOp(op) ? names[op] : "(not an operation)";
}

void PrintTo(FakeVyxOp op, std::ostream *os)
{
    *os << FakeVyxOpName(op);
}

void FakeVyxPushAnswer(FakeVyxOp op, const FakeVyxAnswer &answer)
{
    if (!ValidOp(op))
    {
        return;
    }
    VyxState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.queued[op].push_back(answer);
}

void FakeVyxPush(FakeVyxOp op, int result)
{
    FakeVyxPushAnswer(op, ResultOnly(result));
}

void FakeVyxPushItem(int value, int result)
{
    FakeVyxAnswer answer = ResultOnly(result);
    answer.writesValue = true;
    answer.value = value;
    FakeVyxPushAnswer(FAKE_VYX_GET_ITEM, answer);
}

void FakeVyxPushItemUnwritten(int result)
{
    FakeVyxPushAnswer(FAKE_VYX_GET_ITEM, ResultOnly(result));
}

void FakeVyxPushReply(const std::string &reply, int result)
{
    FakeVyxAnswer answer = ResultOnly(result);
    answer.reply = reply;
    FakeVyxPushAnswer(FAKE_VYX_RECEIVE, answer);
}

void FakeVyxSetDefaultAnswer(FakeVyxOp op, const FakeVyxAnswer &answer)
{
    if (!ValidOp(op))
    {
        return;
    }
    VyxState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.defaults[op] = answer;
}

void FakeVyxSetDefault(FakeVyxOp op, int result)
{
    FakeVyxSetDefaultAnswer(op, ResultOnly(result));
}

std::vector<FakeVyxCall> FakeVyxCalls()
{
    VyxState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.calls;
}

std::vector<FakeVyxOp> FakeVyxOps()
{
    std::vector<FakeVyxOp> ops;
    for (const FakeVyxCall &call : FakeVyxCalls())
    {
        ops.push_back(call.op);
    }
    return ops;
}

int FakeVyxCount(FakeVyxOp op)
{
    int count = 0;
    for (const FakeVyxCall &call : FakeVyxCalls())
    {
        count += call.op == op ? 1 : 0;
    }
    return count;
}

int FakeVyxPending(FakeVyxOp op)
{
    if (!ValidOp(op))
    {
        return 0;
    }
    VyxState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return static_cast<int>(s.queued[op].size());
}

// The operations themselves, as the program's import of the library sees them.

VYXHANDLE VYXAPI CreateVYX(const char *address)
{
    FakeVyxCall call = NewCall(FAKE_VYX_CREATE, 0);
    call.addressNull = address == nullptr;
    if (address != nullptr)
    {
        call.address = address;
    }
    return Answer(call).result;
}

int VYXAPI SetVYXItemInt(VYXHANDLE handle, int item, int value)
{
    FakeVyxCall call = NewCall(FAKE_VYX_SET_ITEM, handle);
    call.item = item;
    call.value = value;
    return Answer(call).result;
}

int VYXAPI OpenVYX(VYXHANDLE handle)
{
    FakeVyxCall call = NewCall(FAKE_VYX_OPEN, handle);
    return Answer(call).result;
}

int VYXAPI SendVYX(VYXHANDLE handle, const char *buffer, int length, int reserved1, int reserved2)
{
    FakeVyxCall call = NewCall(FAKE_VYX_SEND, handle);
    call.sendBuffer = buffer;
    call.length = length;
    call.reserved1 = reserved1;
    call.reserved2 = reserved2;
    // Copying exactly `length` bytes lets the sanitizers catch a caller that
    // claims more than its buffer holds.
    if (buffer != nullptr && length > 0)
    {
        call.sent.assign(buffer, static_cast<size_t>(length));
    }
    return Answer(call).result;
}

int VYXAPI ReceiveVYX(VYXHANDLE handle, char *buffer, int capacity, int reserved1, int reserved2)
{
    FakeVyxCall call = NewCall(FAKE_VYX_RECEIVE, handle);
    call.receiveBuffer = buffer;
    call.capacity = capacity;
    call.reserved1 = reserved1;
    call.reserved2 = reserved2;
    FakeVyxAnswer answer = Answer(call);
    if (buffer != nullptr && capacity > 0 && !answer.reply.empty())
    {
        size_t count = answer.reply.size();
        if (count > static_cast<size_t>(capacity))
        {
            count = static_cast<size_t>(capacity);
        }
        answer.reply.copy(buffer, count);
    }
    return answer.result;
}

int VYXAPI CloseVYX(VYXHANDLE handle)
{
    FakeVyxCall call = NewCall(FAKE_VYX_CLOSE, handle);
    return Answer(call).result;
}

int VYXAPI DestroyVYX(VYXHANDLE handle)
{
    FakeVyxCall call = NewCall(FAKE_VYX_DESTROY, handle);
    return Answer(call).result;
}

int VYXAPI GetVYXItemInt(VYXHANDLE handle, int item, int *value)
{
    FakeVyxCall call = NewCall(FAKE_VYX_GET_ITEM, handle);
    call.item = item;
    call.valueOut = value;
    FakeVyxAnswer answer = Answer(call);
    if (answer.writesValue && value != nullptr)
    {
        *value = answer.value;
    }
    return answer.result;
}
