// Fake kernel32 odds and ends: the thread's last error, the version query,
// pauses and the wiping of secrets.
#ifndef TAVRIN_TESTS_FAKES_FAKE_SYSTEM_H
#define TAVRIN_TESTS_FAKES_FAKE_SYSTEM_H

#include "platform/win32.h"

#include <stddef.h>

#include <vector>

// GetVersionExA fills this platform identifier; 2 (the NT family) after a
// reset.
void FakeSetPlatformId(DWORD platformId);

// Makes every following GetVersionExA return FALSE with this last error and
// leave the record untouched.
void FakeFailGetVersionEx(DWORD lastError);

// How often GetVersionExA was called, and the size field it found in the
// record on its latest call (0 before any call).
int FakeGetVersionExCalls();
DWORD FakeGetVersionExSizeSeen();

// Every pause asked of Sleep, in order, in milliseconds.
std::vector<DWORD> FakeSleeps();

// One SecureZeroMemory call: the block it was given.
struct FakeWipe
{
    const void *pointer;
    size_t length;
};

// Every SecureZeroMemory call, in order.
std::vector<FakeWipe> FakeWipes();

#endif
