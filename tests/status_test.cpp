#include "service/status.h"

#include "fake_eventlog.h"
#include "fake_platform.h"
#include "fake_service.h"
#include "tests/support/process_state.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace
{
class ReportStatusTest : public ::testing::Test
{
  protected:
    // The process-wide state as the service main leaves it just before its
    // first report.
    void SetUp() override
    {
        FakePlatformReset();
        ResetServiceState();
        SetNtFamily();
        g_serviceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        g_statusHandle = FakeServiceStatusHandle();
    }
};

TEST_F(ReportStatusTest, StartOfAServiceReportsPendingThenRunning)
{
    EXPECT_EQ(1, ReportStatus(SERVICE_START_PENDING, 0, 3000));
    EXPECT_EQ(1, ReportStatus(SERVICE_RUNNING, 0, 0));

    std::vector<FakeStatusReport> reports = FakeStatusReports();
    ASSERT_EQ(2u, reports.size());
    EXPECT_THAT(Fields(reports[0].status), ElementsAre(0x10, 2, 0, 0, 0, 1, 3000));
    EXPECT_THAT(Fields(reports[1].status), ElementsAre(0x10, 4, 1, 0, 0, 0, 0));
    EXPECT_EQ(FakeServiceStatusHandle(), reports[0].handle);
    EXPECT_EQ(FakeServiceStatusHandle(), reports[1].handle);
    EXPECT_EQ(2u, g_checkPoint);
    EXPECT_THAT(FakeEvents(), IsEmpty());
}

TEST_F(ReportStatusTest, CheckpointCounterIsNeverReset)
{
    ReportStatus(SERVICE_START_PENDING, 0, 3000);
    ReportStatus(SERVICE_RUNNING, 0, 0);
    ReportStatus(SERVICE_START_PENDING, 0, 3000);

    std::vector<FakeStatusReport> reports = FakeStatusReports();
    ASSERT_EQ(3u, reports.size());
    EXPECT_EQ(2u, reports[2].status.dwCheckPoint);
    EXPECT_EQ(3u, g_checkPoint);
}

struct StateCase
{
    DWORD state;
    DWORD controlsAccepted;
    bool pending; // takes its checkpoint from the counter
};

void PrintTo(const StateCase &c, std::ostream *os)
{
    *os << "state " << c.state;
}

class ReportedStateTest : public ReportStatusTest, public ::testing::WithParamInterface<StateCase>
{
};

TEST_P(ReportedStateTest, SetsControlsAndCheckpointByState)
{
    const DWORD counter = 7;
    g_checkPoint = counter;

    ReportStatus(GetParam().state, 0, 11000);

    std::vector<FakeStatusReport> reports = FakeStatusReports();
    ASSERT_EQ(1u, reports.size());
    const SERVICE_STATUS &status = reports[0].status;
    EXPECT_EQ(GetParam().state, status.dwCurrentState);
    EXPECT_EQ(GetParam().controlsAccepted, status.dwControlsAccepted);
    EXPECT_EQ(11000u, status.dwWaitHint);
    EXPECT_EQ(GetParam().pending ? counter : 0u, status.dwCheckPoint);
    EXPECT_EQ(GetParam().pending ? counter + 1 : counter, g_checkPoint);
}

INSTANTIATE_TEST_SUITE_P(States, ReportedStateTest,
                         ::testing::Values(StateCase{SERVICE_STOPPED, SERVICE_ACCEPT_STOP, false},
                                           StateCase{SERVICE_START_PENDING, 0, true},
                                           StateCase{SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP,
                                                     true},
                                           StateCase{SERVICE_RUNNING, SERVICE_ACCEPT_STOP, false}));

TEST_F(ReportStatusTest, CopiesTheExitCodeAndLeavesTypeAndSpecificCodeAlone)
{
    g_serviceStatus.dwServiceType = 0x20;
    g_serviceStatus.dwServiceSpecificExitCode = 77;

    ReportStatus(SERVICE_STOPPED, 1063, 0);

    std::vector<FakeStatusReport> reports = FakeStatusReports();
    ASSERT_EQ(1u, reports.size());
    EXPECT_EQ(1063u, reports[0].status.dwWin32ExitCode);
    EXPECT_EQ(0x20u, reports[0].status.dwServiceType);
    EXPECT_EQ(77u, reports[0].status.dwServiceSpecificExitCode);
}

TEST_F(ReportStatusTest, FailedReportIsLoggedOnceWithItsErrorAndTheRecordKept)
{
    const DWORD invalidData = 13;
    FakeFailSetServiceStatusAt(0, invalidData);

    EXPECT_EQ(1, ReportStatus(SERVICE_START_PENDING, 0, 3000));

    std::vector<FakeEvent> events = FakeEvents();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(EVENTLOG_ERROR_TYPE, events[0].type);
    EXPECT_THAT(events[0].strings, ElementsAre("LMRAPISVC: status 13", "SetServiceStatus() "));
    EXPECT_THAT(Fields(g_serviceStatus), ElementsAre(0x10, 2, 0, 0, 0, 1, 3000));
    EXPECT_EQ(2u, g_checkPoint);

    // A report that is taken writes nothing more.
    ReportStatus(SERVICE_RUNNING, 0, 0);
    EXPECT_EQ(1u, FakeEvents().size());
}
} // namespace
