#include "fake_registry.h"

#include "fake_platform.h"

#include <stdint.h>
#include <string.h>
#include <strings.h>

#include <map>
#include <mutex>

namespace
{
const LONG FAKE_ERROR_INVALID_HANDLE = 6;

struct Value
{
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
};

struct Key
{
    HKEY root;
    std::string path;
    std::vector<Value> values;
};

struct State
{
    std::mutex lock;
    std::vector<Key> keys;
    std::map<HKEY, size_t> openKeys; // handle -> index into keys
    uintptr_t nextHandle = 0x1000;
    bool failOpen = false;
    LONG openCode = 0;
    std::vector<std::pair<std::string, LONG>> failedQueries;
    struct NthFailure
    {
        FakeRegCallKind kind;
        int nth;
        LONG code;
    };
    std::vector<NthFailure> nthFailures;
    std::vector<FakeRegCall> calls;
};

State &Registry()
{
    static State state;
    return state;
}

bool SameText(const std::string &a, const char *b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

Key *FindKey(State &s, HKEY root, const std::string &path)
{
    for (Key &key : s.keys)
    {
        if (key.root == root && SameText(key.path, path.c_str()))
        {
            return &key;
        }
    }
    return nullptr;
}

Key &AddKey(State &s, HKEY root, const char *path)
{
    Key *key = FindKey(s, root, path);
    if (key != nullptr)
    {
        return *key;
    }
    s.keys.push_back(Key{root, path, {}});
    return s.keys.back();
}

bool InjectedFailure(const State &s, const std::string &name, LONG *code)
{
    for (const auto &fail : s.failedQueries)
    {
        if (SameText(fail.first, name.c_str()))
        {
            *code = fail.second;
            return true;
        }
    }
    return false;
}

// Whether the call of this kind now coming in is one a test chose to fail.
bool NthFailureDue(const State &s, FakeRegCallKind kind, LONG *code)
{
    int index = 0;
    for (const FakeRegCall &call : s.calls)
    {
        index += call.kind == kind ? 1 : 0;
    }
    for (const State::NthFailure &fail : s.nthFailures)
    {
        if (fail.kind == kind && fail.nth == index)
        {
            *code = fail.code;
            return true;
        }
    }
    return false;
}

void Reset()
{
    State &s = Registry();
    std::lock_guard<std::mutex> guard(s.lock);
    s.keys.clear();
    s.openKeys.clear();
    s.nextHandle = 0x1000;
    s.failOpen = false;
    s.openCode = 0;
    s.failedQueries.clear();
    s.nthFailures.clear();
    s.calls.clear();
}
FAKE_REGISTER_RESET(Reset);

FakeRegCall NewCall(FakeRegCallKind kind, HKEY key, const char *name)
{
    FakeRegCall call = {};
    call.kind = kind;
    call.key = key;
    call.name = name != nullptr ? name : "";
    return call;
}
} // namespace

void FakeRegAddKey(HKEY root, const char *path)
{
    State &s = Registry();
    std::lock_guard<std::mutex> guard(s.lock);
    AddKey(s, root, path);
}

void FakeRegSetValue(HKEY root, const char *path, const char *name, DWORD type, const void *data,
                     size_t size)
{
    State &s = Registry();
    std::lock_guard<std::mutex> guard(s.lock);
    Key &key = AddKey(s, root, path);
    const BYTE *bytes = static_cast<const BYTE *>(data);
    Value value{name, type, std::vector<BYTE>(bytes, bytes + size)};
    for (Value &old : key.values)
    {
        if (SameText(old.name, name))
        {
            old = value;
            return;
        }
    }
    key.values.push_back(value);
}

void FakeRegSetString(HKEY root, const char *path, const char *name, const char *text, DWORD type)
{
    FakeRegSetValue(root, path, name, type, text, strlen(text) + 1);
}

void FakeRegFailOpen(LONG code)
{
    State &s = Registry();
    std::lock_guard<std::mutex> guard(s.lock);
    s.failOpen = true;
    s.openCode = code;
}

void FakeRegFailQuery(const char *name, LONG code)
{
    State &s = Registry();
    std::lock_guard<std::mutex> guard(s.lock);
    s.failedQueries.emplace_back(name, code);
}

void FakeRegFailNth(FakeRegCallKind kind, int nth, LONG code)
{
    State &s = Registry();
    std::lock_guard<std::mutex> guard(s.lock);
    s.nthFailures.push_back(State::NthFailure{kind, nth, code});
}

std::vector<FakeRegCall> FakeRegCalls()
{
    State &s = Registry();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.calls;
}

int FakeRegOpenKeys()
{
    State &s = Registry();
    std::lock_guard<std::mutex> guard(s.lock);
    return static_cast<int>(s.openKeys.size());
}

LONG WINAPI RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    State &s = Registry();
    std::lock_guard<std::mutex> guard(s.lock);
    FakeRegCall call = NewCall(FAKE_REG_OPEN, root, subKey);
    call.options = options;
    call.access = access;

    // A handle opened earlier may serve as the root of a further open.
    HKEY base = root;
    std::string path = call.name;
    auto open = s.openKeys.find(root);
    if (open != s.openKeys.end())
    {
        const Key &parent = s.keys[open->second];
        base = parent.root;
        path = parent.path.empty() ? path : path.empty() ? parent.path : parent.path + "\\" + path;
    }

    if (s.failOpen)
    {
        call.result = s.openCode;
    }
    else if (NthFailureDue(s, FAKE_REG_OPEN, &call.result))
    {
        // As a failed open: no handle.
    }
    else if (result == nullptr)
    {
        call.result = ERROR_INVALID_PARAMETER;
    }
    else
    {
        Key *key = path.empty() ? &AddKey(s, base, "") : FindKey(s, base, path);
        if (key == nullptr)
        {
            call.result = ERROR_FILE_NOT_FOUND;
        }
        else
        {
            HKEY handle = reinterpret_cast<HKEY>(s.nextHandle);
            s.nextHandle += 4;
            s.openKeys[handle] = static_cast<size_t>(key - s.keys.data());
            *result = handle;
            call.opened = handle;
            call.result = ERROR_SUCCESS;
        }
    }
    s.calls.push_back(call);
    return call.result;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize)
{
    State &s = Registry();
    std::lock_guard<std::mutex> guard(s.lock);
    FakeRegCall call = NewCall(FAKE_REG_QUERY, key, valueName);
    call.reservedNull = reserved == nullptr;
    call.typeNull = type == nullptr;
    call.dataNull = data == nullptr;
    call.sizeNull = dataSize == nullptr;
    call.sizeOnEntry = dataSize != nullptr ? *dataSize : 0;

    const Value *value = nullptr;
    auto open = s.openKeys.find(key);
    if (InjectedFailure(s, call.name, &call.result) ||
        NthFailureDue(s, FAKE_REG_QUERY, &call.result))
    {
        // The code the test chose stands alone: nothing is written.
    }
    else if (open == s.openKeys.end())
    {
        call.result = FAKE_ERROR_INVALID_HANDLE;
    }
    else if (data != nullptr && dataSize == nullptr)
    {
        call.result = ERROR_INVALID_PARAMETER;
    }
    else
    {
        for (const Value &v : s.keys[open->second].values)
        {
            if (SameText(v.name, call.name.c_str()))
            {
                value = &v;
            }
        }
        call.result = value == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    }

    if (value != nullptr)
    {
        DWORD size = static_cast<DWORD>(value->data.size());
        if (type != nullptr)
        {
            *type = value->type;
        }
        if (data != nullptr && size > *dataSize)
        {
            call.result = ERROR_MORE_DATA;
        }
        else if (data != nullptr && size > 0)
        {
            memcpy(data, value->data.data(), size);
        }
        if (dataSize != nullptr)
        {
            *dataSize = size;
        }
    }
    s.calls.push_back(call);
    return call.result;
}

LONG WINAPI RegCloseKey(HKEY key)
{
    State &s = Registry();
    std::lock_guard<std::mutex> guard(s.lock);
    FakeRegCall call = NewCall(FAKE_REG_CLOSE, key, nullptr);
    call.result = s.openKeys.erase(key) == 1 ? ERROR_SUCCESS : FAKE_ERROR_INVALID_HANDLE;
    s.calls.push_back(call);
    return call.result;
}
