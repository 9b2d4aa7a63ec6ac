// Fake registry: keys holding values with their type and raw bytes, every
// call recorded in order, any open or read made to fail on request.
//
// Reads follow the real rules the program relies on: data larger than the
// byte count offered fails with ERROR_MORE_DATA, the buffer is left untouched
// and the needed size comes back; a missing key or value gives
// ERROR_FILE_NOT_FOUND; a successful read copies exactly the stored bytes,
// adding no terminator, and sets the byte count to their number.  Key paths
// and value names compare without regard to case, as on Windows.
#ifndef TAVRIN_TESTS_FAKES_FAKE_REGISTRY_H
#define TAVRIN_TESTS_FAKES_FAKE_REGISTRY_H

#include "platform/win32.h"

#include <stddef.h>

#include <string>
#include <vector>

// Creates the key (and nothing else) under root.
void FakeRegAddKey(HKEY root, const char *path);

// Stores a value's raw bytes under root\path, creating the key if needed and
// replacing a value of the same name.
void FakeRegSetValue(HKEY root, const char *path, const char *name, DWORD type, const void *data,
                     size_t size);

// Stores text with its terminator, as the registry editor stores REG_SZ.
void FakeRegSetString(HKEY root, const char *path, const char *name, const char *text,
                      DWORD type = REG_SZ);

// Every following RegOpenKeyExA fails with this code and yields no handle.
void FakeRegFailOpen(LONG code);

// Every following read of this value name fails with this code, whether the
// value exists or not.
void FakeRegFailQuery(const char *name, LONG code);

enum FakeRegCallKind
{
    FAKE_REG_OPEN,
    FAKE_REG_QUERY,
    FAKE_REG_CLOSE
};

// One registry call as it came in and what it answered.
struct FakeRegCall
{
    FakeRegCallKind kind;
    HKEY key;          // open: the root; query and close: the key handle
    std::string name;  // open: the subkey; query: the value name
    DWORD options;     // open only
    REGSAM access;     // open only
    bool reservedNull; // query only
    bool typeNull;     // query only
    bool dataNull;     // query only
    bool sizeNull;     // query only
    DWORD sizeOnEntry; // query only: *dataSize as the caller set it
    HKEY opened;       // open only: the handle handed out, null on failure
    LONG result;
};

// Makes only the call of this kind with this zero-based index, counted
// since the last reset, fail with this code: one step of a longer run (the
// stop's read, say, after the launch's) fails while the others succeed.
// Opens and reads only.
void FakeRegFailNth(FakeRegCallKind kind, int nth, LONG code);

// Every registry call since the last reset, in order.
std::vector<FakeRegCall> FakeRegCalls();

// Keys opened and not yet closed.
int FakeRegOpenKeys();

#endif
