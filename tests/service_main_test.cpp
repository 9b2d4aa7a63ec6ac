#include "service/entry.h"
#include "service/service_main.h"

#include "eventlog/messages.h"

#include "fake_dispatcher.h"
#include "fake_eventlog.h"
#include "fake_process.h"
#include "fake_service.h"
#include "fake_vyx.h"
#include "service_fixture.h"

#include <gmock/gmock.h>

#include <ostream>

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace
{
const std::vector<DWORD> START_PENDING = {0x10, 2, 0, 0, 0, 1, 3000};
const std::vector<DWORD> RUNNING = {0x10, 4, 1, 0, 0, 0, 0};
const std::vector<DWORD> STOP_PENDING = {0x10, 3, 1, 0, 0, 1, 11000};
const std::vector<DWORD> STOPPED = {0x10, 1, 1, 0, 0, 0, 0};

std::vector<std::vector<DWORD>> ReportedRecords()
{
    std::vector<std::vector<DWORD>> records;
    for (const FakeStatusReport &report : FakeStatusReports())
    {
        records.push_back(Fields(report.status));
    }
    return records;
}

class ServiceLife : public InstalledServer
{
  protected:
    // The program as the service control manager starts it: no arguments.
    int RunService()
    {
        char name[] = "TavrinSvc.exe";
        char *argv[] = {name, NULL};
        return RunEntry(1, argv);
    }
};

TEST_F(ServiceLife, StartAndStopReportFourRecordsAroundOneLaunchAndOneExchange)
{
    FakeDispatcherQueueControl(SERVICE_CONTROL_STOP);

    EXPECT_EQ(TRUE, RunService());

    EXPECT_THAT(ReportedRecords(), ElementsAre(START_PENDING, RUNNING, STOP_PENDING, STOPPED));
    for (const FakeStatusReport &report : FakeStatusReports())
    {
        EXPECT_EQ(FakeServiceStatusHandle(), report.handle);
    }
    EXPECT_EQ(2u, g_checkPoint) << "the stop must not draw on the start-up checkpoints";
    EXPECT_THAT(FakeHandlerRegistrations(), ElementsAre("LMRAPISVC"));
    EXPECT_EQ(1u, FakeCreateProcessCalls().size());
    EXPECT_EQ(1, FakeVyxCount(FAKE_VYX_CREATE));
    EXPECT_EQ(1, FakeVyxCount(FAKE_VYX_SEND));
    EXPECT_EQ(1, FakeVyxCount(FAKE_VYX_DESTROY));
    EXPECT_THAT(FakeEventMessages(), IsEmpty());

    std::vector<FakeDispatcherCall> calls = FakeDispatcherCalls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("LMRAPISVC", calls[0].name);
    EXPECT_EQ(1, calls[0].entries);
    EXPECT_TRUE(calls[0].terminated);
    EXPECT_EQ(&ServiceMain, calls[0].serviceMain);
}

// Controls other than stop leave the record as it was and report it again.
struct OtherControl
{
    DWORD control;
    bool logged;
};

void PrintTo(const OtherControl &c, std::ostream *os)
{
    *os << "control " << c.control;
}

class OtherControls : public ServiceLife, public ::testing::WithParamInterface<OtherControl>
{
};

TEST_P(OtherControls, ReportTheRecordUnchanged)
{
    FakeDispatcherQueueControl(GetParam().control);
    FakeDispatcherQueueControl(SERVICE_CONTROL_STOP);

    EXPECT_EQ(TRUE, RunService());

    EXPECT_THAT(ReportedRecords(),
                ElementsAre(START_PENDING, RUNNING, RUNNING, STOP_PENDING, STOPPED));
    if (GetParam().logged)
    {
        EXPECT_THAT(FakeEventMessages(), ElementsAre(MSG_UNRECOGNIZED_OPCODE));
    }
    else
    {
        EXPECT_THAT(FakeEventMessages(), IsEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Controls, OtherControls,
                         ::testing::Values(OtherControl{SERVICE_CONTROL_INTERROGATE, false},
                                           OtherControl{SERVICE_CONTROL_PAUSE, true},
                                           OtherControl{0, true}, OtherControl{128, true},
                                           OtherControl{0xFFFFFFFFu, true}));

TEST_F(ServiceLife, StopWithTheServerUnreachableStillEndsStopped)
{
    FakeVyxSetDefault(FAKE_VYX_OPEN, VYX_INVALID_HANDLE);
    FakeDispatcherQueueControl(SERVICE_CONTROL_STOP);

    EXPECT_EQ(TRUE, RunService());

    EXPECT_THAT(ReportedRecords(), ElementsAre(START_PENDING, RUNNING, STOP_PENDING, STOPPED));
    std::vector<std::string> expected;
    for (int attempt = 0; attempt < 10; ++attempt)
    {
        expected.push_back(MSG_OPEN_VYX_FAILED);
        expected.push_back(MSG_VYX_INVALID_HANDLE);
    }
    EXPECT_THAT(FakeEventMessages(), ElementsAreArray(expected));
    EXPECT_EQ(0, FakeVyxCount(FAKE_VYX_SEND));
}

TEST_F(ServiceLife, StopWithoutAPasswordFileStillEndsStopped)
{
    RemovePasswordFile();
    FakeDispatcherQueueControl(SERVICE_CONTROL_STOP);

    EXPECT_EQ(TRUE, RunService());

    EXPECT_THAT(ReportedRecords(), ElementsAre(START_PENDING, RUNNING, STOP_PENDING, STOPPED));
    EXPECT_THAT(FakeVyxOps(), IsEmpty());
}

TEST_F(ServiceLife, FailedLaunchStillReportsRunning)
{
    FakeSetCreateProcessResult(FALSE, ERROR_FILE_NOT_FOUND);
    FakeDispatcherQueueControl(SERVICE_CONTROL_STOP);

    EXPECT_EQ(TRUE, RunService());

    EXPECT_THAT(ReportedRecords(), ElementsAre(START_PENDING, RUNNING, STOP_PENDING, STOPPED));
    std::vector<FakeEvent> events = FakeEvents();
    ASSERT_EQ(1u, events.size());
    EXPECT_THAT(events[0].strings, ElementsAre("LMRAPISVC: status 2", MSG_CREATE_PROCESS_FAILED));
}

// A report the handler makes fails: the event carries the report's own error,
// and the handler goes on as if it had been taken.
struct HandlerReportFailure
{
    const char *name;
    std::vector<DWORD> controls;
    int failingReport;
    std::vector<std::vector<DWORD>> records;
};

void PrintTo(const HandlerReportFailure &c, std::ostream *os)
{
    *os << c.name;
}

class HandlerReportFailures : public ServiceLife,
                              public ::testing::WithParamInterface<HandlerReportFailure>
{
};

TEST_P(HandlerReportFailures, AreLoggedAndTheHandlerGoesOn)
{
    for (DWORD control : GetParam().controls)
    {
        FakeDispatcherQueueControl(control);
    }
    FakeFailSetServiceStatusAt(GetParam().failingReport, ERROR_INVALID_PARAMETER);

    EXPECT_EQ(TRUE, RunService());

    EXPECT_THAT(ReportedRecords(), ElementsAreArray(GetParam().records));
    EXPECT_FALSE(FakeStatusReports()[GetParam().failingReport].result);
    std::vector<FakeEvent> events = FakeEvents();
    ASSERT_EQ(1u, events.size());
    EXPECT_THAT(events[0].strings, ElementsAre("LMRAPISVC: status 87", MSG_HANDLER_STATUS_FAILED));
    EXPECT_EQ(1, FakeVyxCount(FAKE_VYX_SEND)) << "the exchange must still run";
}

INSTANTIATE_TEST_SUITE_P(
    Reports, HandlerReportFailures,
    ::testing::Values(HandlerReportFailure{"StopPending",
                                           {SERVICE_CONTROL_STOP},
                                           2,
                                           {START_PENDING, RUNNING, STOP_PENDING, STOPPED}},
                      HandlerReportFailure{
                          "Interrogate",
                          {SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_STOP},
                          2,
                          {START_PENDING, RUNNING, RUNNING, STOP_PENDING, STOPPED}}),
    [](const ::testing::TestParamInfo<HandlerReportFailure> &info) { return info.param.name; });

TEST_F(ServiceLife, FailedRegistrationLogsOnceAndDoesNothingElse)
{
    g_osVersion.dwPlatformId = VER_PLATFORM_WIN32_NT;
    const DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
    FakeFailRegisterServiceCtrlHandler(ERROR_SERVICE_DOES_NOT_EXIST);
    char name[] = "LMRAPISVC";
    char *argv[] = {name, NULL};

    ServiceMain(1, argv);

    std::vector<FakeEvent> events = FakeEvents();
    ASSERT_EQ(1u, events.size());
    EXPECT_THAT(events[0].strings,
                ElementsAre("LMRAPISVC: status 1060", MSG_REGISTER_HANDLER_FAILED));
    EXPECT_THAT(FakeStatusReports(), IsEmpty());
    EXPECT_THAT(FakeRegCalls(), IsEmpty());
    EXPECT_THAT(FakeCreateProcessCalls(), IsEmpty());
}

// Unreadable settings end the process from the service's own thread.  What
// happened up to that moment is written to standard error by the exit hook,
// since the child's records die with it.
void PrintLifeAtExit(UINT code)
{
    std::vector<FakeStatusReport> reports = FakeStatusReports();
    fprintf(stderr, "exit %u reports %zu", code, reports.size());
    for (const FakeStatusReport &report : reports)
    {
        fprintf(stderr, " [%u %u %u]", report.status.dwCurrentState, report.status.dwCheckPoint,
                report.status.dwWaitHint);
    }
    fprintf(stderr, " events %zu launches %zu\n", FakeEventLogCalls().size(),
            FakeCreateProcessCalls().size());
    fflush(stderr);
    InstalledServer::RemoveFolderOfLiveTest();
}

struct UnreadableSettings
{
    const char *name;
    void (*arrange)();
    int code;
};

void PrintTo(const UnreadableSettings &c, std::ostream *os)
{
    *os << c.name;
}

class UnreadableSettingsDeathTest : public ServiceLife,
                                    public ::testing::WithParamInterface<UnreadableSettings>
{
};

TEST_P(UnreadableSettingsDeathTest, EndTheProcessWithTheCodeAfterStartPendingAlone)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    GetParam().arrange();
    FakeDispatcherQueueControl(SERVICE_CONTROL_STOP);
    FakeSetExitProcessHook(PrintLifeAtExit);

    EXPECT_EXIT(RunService(), ::testing::ExitedWithCode(GetParam().code),
                "^exit [0-9]+ reports 1 \\[2 1 3000\\] events 0 launches 0\n$");
}

INSTANTIATE_TEST_SUITE_P(
    Settings, UnreadableSettingsDeathTest,
    ::testing::Values(UnreadableSettings{"MissingKey",
                                         [] { FakeRegFailOpen(ERROR_FILE_NOT_FOUND); },
                                         ERROR_FILE_NOT_FOUND},
                      UnreadableSettings{"AccessDenied",
                                         [] { FakeRegFailOpen(ERROR_ACCESS_DENIED); },
                                         ERROR_ACCESS_DENIED},
                      UnreadableSettings{"OptionsTooLong",
                                         [] { FakeRegFailQuery("JavaOptions", ERROR_MORE_DATA); },
                                         ERROR_MORE_DATA}),
    [](const ::testing::TestParamInfo<UnreadableSettings> &info) { return info.param.name; });
} // namespace
