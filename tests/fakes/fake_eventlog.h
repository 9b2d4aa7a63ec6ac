// Fake event log: every call recorded with its arguments, in order.
#ifndef TAVRIN_TESTS_FAKES_FAKE_EVENTLOG_H
#define TAVRIN_TESTS_FAKES_FAKE_EVENTLOG_H

#include "platform/win32.h"

#include <string>
#include <vector>

enum FakeEventLogCallKind
{
    FAKE_REGISTER_EVENT_SOURCE,
    FAKE_REPORT_EVENT,
    FAKE_DEREGISTER_EVENT_SOURCE
};

// One call as the fake saw it.  Texts are copies taken during the call, so a
// caller's buffer may be gone by the time a test looks.
struct FakeEventLogCall
{
    FakeEventLogCallKind kind;
    // Register: the handle returned (null on failure).  Report and
    // deregister: the handle passed.
    HANDLE handle;

    // RegisterEventSourceA.
    bool serverNameNull;
    std::string serverName;
    std::string sourceName;

    // ReportEventA.
    WORD type;
    WORD category;
    DWORD eventId;
    bool userSidNull;
    WORD numStrings;
    DWORD dataSize;
    bool rawDataNull;
    std::vector<std::string> strings; // numStrings of them, as passed
};

// One event that ReportEventA was asked to write.
struct FakeEvent
{
    WORD type;
    WORD category;
    DWORD eventId;
    bool userSidNull;
    WORD numStrings;
    DWORD dataSize;
    std::vector<std::string> strings;
};

// Every event-log call since the last reset, in order.
std::vector<FakeEventLogCall> FakeEventLogCalls();

// Only the events written, in order.
std::vector<FakeEvent> FakeEvents();

// The second string (the message) of each event written, in order: the
// shortest way to say "exactly these messages".
std::vector<std::string> FakeEventMessages();

// Handles registered and not yet deregistered.
int FakeOpenEventSources();

// Makes every following RegisterEventSourceA return null with this last
// error.
void FakeFailRegisterEventSource(DWORD lastError);

// Makes every following ReportEventA return FALSE with this last error; the
// call is still recorded.
void FakeFailReportEvent(DWORD lastError);

#endif
