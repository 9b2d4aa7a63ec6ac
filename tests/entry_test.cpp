#include "service/entry.h"

#include "admin/vyx32.h"
#include "eventlog/messages.h"

#include "fake_dispatcher.h"
#include "fake_eventlog.h"
#include "fake_process.h"
#include "fake_service.h"
#include "fake_system.h"
#include "fake_vyx.h"
#include "service_fixture.h"

#include <gmock/gmock.h>

#include <ostream>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace
{
// An argument vector as the runtime hands it over: the program's name first,
// a null element last.
class Arguments
{
  public:
    Arguments(std::vector<std::string> args) : texts_(args)
    {
        texts_.insert(texts_.begin(), "TavrinSvc.exe");
        for (std::string &text : texts_)
        {
            pointers_.push_back(&text[0]);
        }
        pointers_.push_back(NULL);
    }

    int Count() const
    {
        return static_cast<int>(texts_.size());
    }

    char **Vector()
    {
        return pointers_.data();
    }

  private:
    std::vector<std::string> texts_;
    std::vector<char *> pointers_;
};

struct ModeCase
{
    DWORD platformId;
    std::vector<std::string> args;
    EntryMode mode;
};

void PrintTo(const ModeCase &c, std::ostream *os)
{
    *os << "platform " << c.platformId << " args";
    for (const std::string &arg : c.args)
    {
        *os << " \"" << arg << "\"";
    }
}

class ModeChoice : public InstalledServer, public ::testing::WithParamInterface<ModeCase>
{
};

// The choice alone, and the road the entry then takes: what it launches,
// whether it runs a stop exchange, whether it hands itself to the dispatcher.
TEST_P(ModeChoice, FollowsThePlatformThenTheFirstArgument)
{
    Arguments args(GetParam().args);
    EXPECT_EQ(GetParam().mode, ChooseMode(GetParam().platformId, args.Count(), args.Vector()));

    FakeSetPlatformId(GetParam().platformId);
    FakeFailDispatcher(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    RunEntry(args.Count(), args.Vector());

    const bool service = GetParam().mode == ENTRY_SERVICE;
    EXPECT_EQ(service ? 1u : 0u, FakeDispatcherCalls().size());
    EXPECT_EQ(service ? 0u : 1u, FakeCreateProcessCalls().size());
    EXPECT_EQ(GetParam().mode == ENTRY_ONE_SHOT ? 1 : 0, FakeVyxCount(FAKE_VYX_CREATE));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ModeChoice,
    ::testing::Values(ModeCase{1, {"?NT"}, ENTRY_DIRECT_LAUNCH},
                      ModeCase{1, {}, ENTRY_DIRECT_LAUNCH}, ModeCase{2, {"?NT"}, ENTRY_ONE_SHOT},
                      ModeCase{2, {"?nt"}, ENTRY_SERVICE}, ModeCase{2, {"?NT "}, ENTRY_SERVICE},
                      ModeCase{2, {"?NTX"}, ENTRY_SERVICE}, ModeCase{2, {"NT"}, ENTRY_SERVICE},
                      ModeCase{2, {"?N"}, ENTRY_SERVICE}, ModeCase{2, {""}, ENTRY_SERVICE},
                      ModeCase{2, {}, ENTRY_SERVICE}, ModeCase{2, {"?NT", "x"}, ENTRY_ONE_SHOT},
                      ModeCase{2, {"x", "?NT"}, ENTRY_SERVICE},
                      ModeCase{0, {"?NT"}, ENTRY_ONE_SHOT}, ModeCase{0, {}, ENTRY_SERVICE},
                      ModeCase{3, {"?NT"}, ENTRY_ONE_SHOT}));

class Entry : public InstalledServer
{
  protected:
    int Run(DWORD platformId, std::vector<std::string> args)
    {
        FakeSetPlatformId(platformId);
        Arguments arguments(args);
        return RunEntry(arguments.Count(), arguments.Vector());
    }
};

TEST_F(Entry, FillsTheVersionRecordBeforeAnythingElse)
{
    Run(1, {});

    EXPECT_EQ(1, FakeGetVersionExCalls());
    EXPECT_EQ(148u, FakeGetVersionExSizeSeen());
    EXPECT_EQ(148u, g_osVersion.dwOSVersionInfoSize);
    EXPECT_EQ(1u, g_osVersion.dwPlatformId);
}

// Every way the direct launch and one-shot modes end, and the code each ends
// with.
enum Arrangement
{
    AS_INSTALLED,
    NO_SETTINGS,
    LAUNCH_FAILS,
    NO_PASSWORD_FILE,
    DESTROY_FAILS
};

struct ExitCase
{
    const char *name;
    DWORD platformId;
    std::vector<std::string> args;
    Arrangement arrangement;
    int code;     // the exit code expected, or...
    bool nonzero; // ...any nonzero one
    size_t launches;
    int exchanges;
};

void PrintTo(const ExitCase &c, std::ostream *os)
{
    *os << c.name;
}

class ExitCodes : public Entry, public ::testing::WithParamInterface<ExitCase>
{
  protected:
    void Arrange(Arrangement arrangement)
    {
        switch (arrangement)
        {
        case AS_INSTALLED:
            break;
        case NO_SETTINGS:
            FakeRegFailOpen(ERROR_FILE_NOT_FOUND);
            break;
        case LAUNCH_FAILS:
            FakeSetCreateProcessResult(FALSE, ERROR_FILE_NOT_FOUND);
            break;
        case NO_PASSWORD_FILE:
            RemovePasswordFile();
            break;
        case DESTROY_FAILS:
            FakeVyxSetDefault(FAKE_VYX_DESTROY, VYX_INVALID_HANDLE);
            break;
        }
    }
};

TEST_P(ExitCodes, AreThoseOfTheMode)
{
    const ExitCase &c = GetParam();
    Arrange(c.arrangement);

    int code = Run(c.platformId, c.args);

    if (c.nonzero)
    {
        EXPECT_NE(0, code);
    }
    else
    {
        EXPECT_EQ(c.code, code);
    }
    EXPECT_EQ(c.launches, FakeCreateProcessCalls().size());
    EXPECT_EQ(c.exchanges, FakeVyxCount(FAKE_VYX_CREATE));
    EXPECT_THAT(FakeDispatcherCalls(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ExitCodes,
    ::testing::Values(
        ExitCase{"DirectWithoutSettings", 1, {}, NO_SETTINGS, ERROR_FILE_NOT_FOUND, false, 0, 0},
        ExitCase{"DirectLaunchFails", 1, {}, LAUNCH_FAILS, 0, false, 1, 0},
        ExitCase{"DirectLaunched", 1, {}, AS_INSTALLED, 0, true, 1, 0},
        ExitCase{
            "OneShotWithoutSettings", 2, {"?NT"}, NO_SETTINGS, ERROR_FILE_NOT_FOUND, false, 0, 0},
        ExitCase{"OneShotStopped", 2, {"?NT"}, AS_INSTALLED, 0, false, 1, 1},
        ExitCase{"OneShotLaunchFailsStopStillRuns", 2, {"?NT"}, LAUNCH_FAILS, 0, false, 1, 1},
        ExitCase{"OneShotWithoutPasswordFile", 2, {"?NT"}, NO_PASSWORD_FILE, 0, false, 1, 0},
        ExitCase{"OneShotDestroyFails", 2, {"?NT"}, DESTROY_FAILS, 0, true, 1, 1}),
    [](const ::testing::TestParamInfo<ExitCase> &info) { return info.param.name; });

TEST_F(Entry, ServiceModeEndsWithTheDispatchersResult)
{
    FakeDispatcherQueueControl(SERVICE_CONTROL_STOP);

    EXPECT_EQ(TRUE, Run(2, {}));

    ASSERT_EQ(1u, FakeDispatcherCalls().size());
    EXPECT_EQ(TRUE, FakeDispatcherCalls()[0].result);
    EXPECT_EQ(1u, FakeCreateProcessCalls().size());
    EXPECT_EQ(1, FakeVyxCount(FAKE_VYX_CREATE));
}

// Started by hand: the dispatcher fails, its error becomes the exit code and
// is the one the event carries.
TEST_F(Entry, FailedDispatcherEndsWithItsErrorAfterOneEvent)
{
    FakeFailDispatcher(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);

    EXPECT_EQ(1063, Run(2, {}));

    std::vector<FakeEvent> events = FakeEvents();
    ASSERT_EQ(1u, events.size());
    EXPECT_THAT(events[0].strings, ElementsAre("LMRAPISVC: status 1063", MSG_DISPATCHER_FAILED));
    EXPECT_THAT(FakeCreateProcessCalls(), IsEmpty());
    EXPECT_THAT(FakeStatusReports(), IsEmpty());
}

TEST_F(Entry, FailedDispatcherWithoutAnErrorStillEndsNonzero)
{
    FakeFailDispatcher(ERROR_SUCCESS);

    EXPECT_EQ(1, Run(2, {}));
}

// Without a platform identifier the entry takes the road of the NT family,
// but nothing is logged: events are written only for identifier 2.
TEST_F(Entry, FailedVersionQueryTakesTheServiceRoadSilently)
{
    FakeFailGetVersionEx(ERROR_INVALID_PARAMETER);
    FakeFailDispatcher(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    Arguments args({});

    EXPECT_EQ(1063, RunEntry(args.Count(), args.Vector()));

    EXPECT_EQ(1u, FakeDispatcherCalls().size());
    EXPECT_THAT(FakeEventLogCalls(), IsEmpty());
}
} // namespace
