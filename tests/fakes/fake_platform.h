// The fake platform: the host's one definition of the calls declared in
// platform/win32.h, scriptable from tests.  Each area (registry, event log,
// service control, processes, system, profile files, transport) lives in a
// file of its own with a header of its own; they share only this reset.
#ifndef TAVRIN_TESTS_FAKES_FAKE_PLATFORM_H
#define TAVRIN_TESTS_FAKES_FAKE_PLATFORM_H

typedef void (*FakeResetFn)();

// Registers an area's reset; used through FAKE_REGISTER_RESET at file scope.
bool FakeRegisterReset(FakeResetFn reset);

// Puts every area that is linked in back to its initial state.
void FakePlatformReset();

#define FAKE_REGISTER_RESET(fn) static const bool fake_reset_registered_ = FakeRegisterReset(fn)

#endif
