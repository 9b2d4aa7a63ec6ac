#include "fake_platform.h"

namespace
{
const int MAX_AREAS = 16;

struct ResetList
{
    FakeResetFn fns[MAX_AREAS];
    int count;
};

// Function-local so that areas registering from their static initialisers
// never see it unconstructed.
ResetList &Resets()
{
    static ResetList list;
    return list;
}
} // namespace

bool FakeRegisterReset(FakeResetFn reset)
{
    ResetList &list = Resets();
    if (list.count < MAX_AREAS)
    {
        list.fns[list.count++] = reset;
    }
    return true;
}

void FakePlatformReset()
{
    ResetList &list = Resets();
    for (int i = 0; i < list.count; ++i)
    {
        list.fns[i]();
    }
}
