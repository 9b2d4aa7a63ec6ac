#include "eventlog/eventlog.h"
#include "eventlog/messages.h"

#include "fake_eventlog.h"
#include "fake_platform.h"
#include "tests/support/process_state.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace
{
class LogEventTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        FakePlatformReset();
        SetNtFamily();
    }
};

// The fake's RegisterEventSourceA clears the last error when it succeeds, so
// "status 5" here also shows the value was taken before registering.
TEST_F(LogEventTest, WritesOneRecordFieldByFieldAroundItsOwnRegistration)
{
    SetLastError(ERROR_ACCESS_DENIED);
    LogEvent(MSG_OPEN_VYX_FAILED, EVENTLOG_ERROR_TYPE);

    std::vector<FakeEventLogCall> calls = FakeEventLogCalls();
    ASSERT_EQ(3u, calls.size());

    EXPECT_EQ(FAKE_REGISTER_EVENT_SOURCE, calls[0].kind);
    EXPECT_TRUE(calls[0].serverNameNull);
    EXPECT_EQ("LMRAPISVC", calls[0].sourceName);
    ASSERT_NE(nullptr, calls[0].handle);

    const FakeEventLogCall &report = calls[1];
    EXPECT_EQ(FAKE_REPORT_EVENT, report.kind);
    EXPECT_EQ(calls[0].handle, report.handle);
    EXPECT_EQ(EVENTLOG_ERROR_TYPE, report.type);
    EXPECT_EQ(0, report.category);
    EXPECT_EQ(0u, report.eventId);
    EXPECT_TRUE(report.userSidNull);
    EXPECT_EQ(2, report.numStrings);
    EXPECT_EQ(0u, report.dataSize);
    EXPECT_TRUE(report.rawDataNull);
    EXPECT_THAT(report.strings, ElementsAre("LMRAPISVC: status 5", "OpenVYX() failed."));

    EXPECT_EQ(FAKE_DEREGISTER_EVENT_SOURCE, calls[2].kind);
    EXPECT_EQ(calls[0].handle, calls[2].handle);
    EXPECT_EQ(0, FakeOpenEventSources());
}

TEST_F(LogEventTest, WritesTheCallersEventType)
{
    LogEvent(MSG_OPEN_VYX_FAILED, EVENTLOG_WARNING_TYPE);

    std::vector<FakeEvent> events = FakeEvents();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(EVENTLOG_WARNING_TYPE, events[0].type);
}

struct StatusTextCase
{
    DWORD lastError;
    const char *statusText;
};

void PrintTo(const StatusTextCase &c, std::ostream *os)
{
    *os << "last error " << c.lastError;
}

class StatusTextTest : public LogEventTest, public ::testing::WithParamInterface<StatusTextCase>
{
};

TEST_P(StatusTextTest, ShowsTheLastErrorAsASignedNumber)
{
    SetLastError(GetParam().lastError);
    LogEvent(MSG_DISPATCHER_FAILED, EVENTLOG_ERROR_TYPE);

    std::vector<FakeEvent> events = FakeEvents();
    ASSERT_EQ(1u, events.size());
    EXPECT_THAT(events[0].strings, ElementsAre(GetParam().statusText, MSG_DISPATCHER_FAILED));
}

INSTANTIATE_TEST_SUITE_P(
    LastErrors, StatusTextTest,
    ::testing::Values(StatusTextCase{0, "LMRAPISVC: status 0"},
                      StatusTextCase{5, "LMRAPISVC: status 5"},
                      StatusTextCase{1063, "LMRAPISVC: status 1063"},
                      StatusTextCase{0x80070005u, "LMRAPISVC: status -2147024891"},
                      StatusTextCase{0x80000000u, "LMRAPISVC: status -2147483648"},
                      StatusTextCase{0xFFFFFFFFu, "LMRAPISVC: status -1"}));

class NotNtTest : public LogEventTest, public ::testing::WithParamInterface<DWORD>
{
};

TEST_P(NotNtTest, MakesNoEventLogCallAtAll)
{
    g_osVersion.dwPlatformId = GetParam();
    SetLastError(ERROR_ACCESS_DENIED);

    LogEvent(MSG_OPEN_VYX_FAILED, EVENTLOG_ERROR_TYPE);

    EXPECT_THAT(FakeEventLogCalls(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Platforms, NotNtTest,
                         ::testing::Values(VER_PLATFORM_WIN32s, VER_PLATFORM_WIN32_WINDOWS));

TEST_F(LogEventTest, FailedRegistrationWritesAndReleasesNothing)
{
    FakeFailRegisterEventSource(ERROR_ACCESS_DENIED);

    LogEvent(MSG_OPEN_VYX_FAILED, EVENTLOG_ERROR_TYPE);

    std::vector<FakeEventLogCall> calls = FakeEventLogCalls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(FAKE_REGISTER_EVENT_SOURCE, calls[0].kind);
}

TEST_F(LogEventTest, FailedWriteStillReleasesTheSource)
{
    FakeFailReportEvent(ERROR_ACCESS_DENIED);

    LogEvent(MSG_OPEN_VYX_FAILED, EVENTLOG_ERROR_TYPE);

    std::vector<FakeEventLogCall> calls = FakeEventLogCalls();
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ(FAKE_DEREGISTER_EVENT_SOURCE, calls[2].kind);
    EXPECT_EQ(0, FakeOpenEventSources());
}

TEST_F(LogEventTest, EachEventHasARegistrationOfItsOwn)
{
    SetLastError(5);
    LogEvent(MSG_SET_FRAMING_FAILED, EVENTLOG_ERROR_TYPE);
    SetLastError(1063);
    LogEvent(MSG_VYX_INVALID_HANDLE, EVENTLOG_ERROR_TYPE);

    std::vector<FakeEventLogCall> calls = FakeEventLogCalls();
    ASSERT_EQ(6u, calls.size());
    for (size_t first : {0u, 3u})
    {
        EXPECT_EQ(FAKE_REGISTER_EVENT_SOURCE, calls[first].kind);
        EXPECT_EQ(FAKE_REPORT_EVENT, calls[first + 1].kind);
        EXPECT_EQ(FAKE_DEREGISTER_EVENT_SOURCE, calls[first + 2].kind);
        EXPECT_EQ(calls[first].handle, calls[first + 2].handle);
    }
    EXPECT_THAT(FakeEventMessages(),
                ElementsAre("SetVYXItemInt(...CI_FRAMING...) failed.", "VYX_INVALID_HANDLE"));
    EXPECT_EQ("LMRAPISVC: status 1063", FakeEvents()[1].strings[0]);
    EXPECT_EQ(0, FakeOpenEventSources());
}
} // namespace
