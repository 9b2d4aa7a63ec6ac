// Fault sweep: one stop exchange, and one service life (start, interrogate,
// stop), run again and again with the platform and transport calls failing,
// one at a time and then together.  Whatever fails, the same things must hold:
//   - a created connection is destroyed exactly once, by its last operation,
//     and every call on it names the handle the create gave; the only calls
//     after the destroy are the item reads that describe a failed one's -1;
//   - a stop control ends in a stopped report;
//   - every event carries one of the catalogue's messages, each failed
//     transport step is logged once, and each one after the create is decoded
//     by the very next event;
//   - at most ten one-second pauses;
//   - registry keys and event sources are all released.
// The sanitizers watch every run for the rest.
#include "admin/stop_server.h"
#include "admin/vyx32.h"
#include "eventlog/messages.h"
#include "service/entry.h"

#include "fake_dispatcher.h"
#include "fake_eventlog.h"
#include "fake_process.h"
#include "fake_service.h"
#include "fake_system.h"
#include "fake_vyx.h"
#include "service_fixture.h"

#include <gmock/gmock.h>

#include <limits.h>
#include <string.h>

#include <map>
#include <ostream>

using ::testing::IsEmpty;

namespace
{
// ---------------------------------------------------------------------------
// The faults.

enum FaultKind
{
    REG_OPEN,       // the nth RegOpenKeyExA
    REG_QUERY,      // the nth RegQueryValueExA
    EVENT_SOURCE,   // every RegisterEventSourceA
    REPORT_EVENT,   // every ReportEventA
    STATUS_REPORT,  // the nth SetServiceStatus, or every one
    HANDLER,        // RegisterServiceCtrlHandlerA
    DISPATCHER,     // StartServiceCtrlDispatcherA
    CREATE_PROCESS, // CreateProcessA
    VERSION,        // GetVersionExA
    PASSWORD_FILE,  // pw.fil cannot be opened
    CONFIG_FILE,    // config.ini missing: the profile read falls back
    TRANSPORT       // one transport operation, from its nth call on
};

const int EVERY_CALL = -1;

// What GetVYXItemInt gives while a result of -1 is decoded.
enum ItemAnswers
{
    ITEMS_UNUSED,
    ITEMS_KIND_3,
    ITEMS_SYSTEM_INT_MIN, // kind 16, then the most negative system number
    ITEMS_FAIL            // an error result, nothing stored
};

struct Fault
{
    FaultKind kind;
    int nth;   // which call fails (registry, status report, transport)
    int count; // transport: how many calls fail from the nth on
    int code;  // the platform's error code, or the transport result
    FakeVyxOp op;
    ItemAnswers items;
    // The run stops before the transport (or before the stop): left out of
    // the combination of every fault the stop still runs through.
    bool cutsShort;
    // Nothing reaches the event log any more; left out of that combination
    // too, since it would hide what the other faults log.
    bool silencesLog;
};

Fault Platform(FaultKind kind, int code, int nth = 0, bool cutsShort = false)
{
    Fault fault = {};
    fault.kind = kind;
    fault.nth = nth;
    fault.code = code;
    fault.cutsShort = cutsShort;
    fault.silencesLog = kind == EVENT_SOURCE || kind == VERSION;
    return fault;
}

Fault Transport(FakeVyxOp op, int nth, int count, int result, ItemAnswers items)
{
    Fault fault = {};
    fault.kind = TRANSPORT;
    fault.op = op;
    fault.nth = nth;
    fault.count = count;
    fault.code = result;
    fault.items = items;
    return fault;
}

bool IsFailure(FakeVyxOp op, int result)
{
    switch (op)
    {
    case FAKE_VYX_CREATE:
        return result == 0;
    case FAKE_VYX_OPEN:
        return result < 0;
    case FAKE_VYX_RECEIVE:
        return result <= 0;
    case FAKE_VYX_GET_ITEM:
        return false; // never examined
    default:
        return result != 0;
    }
}

int Success(FakeVyxOp op)
{
    return op == FAKE_VYX_CREATE || op == FAKE_VYX_RECEIVE ? 1 : 0;
}

// The results a transport call can fail with; each operation is swept with
// those that are failures for it.
struct TransportResult
{
    const char *name;
    int result;
    ItemAnswers items;
};

const TransportResult TRANSPORT_RESULTS[] = {
    {"Error3", VYX_ERROR, ITEMS_KIND_3},
    {"SystemError", VYX_ERROR, ITEMS_SYSTEM_INT_MIN},
    {"ErrorItemsUnreadable", VYX_ERROR, ITEMS_FAIL},
    {"InvalidHandle", VYX_INVALID_HANDLE, ITEMS_UNUSED},
    {"InvalidParam", VYX_INVALID_PARAM, ITEMS_UNUSED},
    {"Minus2", -2, ITEMS_UNUSED},
    {"Plus7", 7, ITEMS_UNUSED},
    {"Zero", 0, ITEMS_UNUSED},
};

// Which calls of an operation fail.
struct TransportWindow
{
    const char *name;
    FakeVyxOp op;
    int nth;
    int count;
};

const TransportWindow TRANSPORT_WINDOWS[] = {
    {"CreateVYX", FAKE_VYX_CREATE, 0, EVERY_CALL},
    {"SetFraming", FAKE_VYX_SET_ITEM, 0, 1},
    {"SetTimeout", FAKE_VYX_SET_ITEM, 1, 1},
    {"SetBothItems", FAKE_VYX_SET_ITEM, 0, EVERY_CALL},
    {"OpenFirstAttempt", FAKE_VYX_OPEN, 0, 1},
    {"OpenNineAttempts", FAKE_VYX_OPEN, 0, 9},
    {"OpenEveryAttempt", FAKE_VYX_OPEN, 0, EVERY_CALL},
    {"SendVYX", FAKE_VYX_SEND, 0, EVERY_CALL},
    {"ReceiveVYX", FAKE_VYX_RECEIVE, 0, EVERY_CALL},
    {"CloseVYX", FAKE_VYX_CLOSE, 0, EVERY_CALL},
    {"DestroyVYX", FAKE_VYX_DESTROY, 0, EVERY_CALL},
};

// Every operation failing on every call, the item reads included.
std::vector<Fault> EveryTransportFailure()
{
    std::vector<Fault> faults;
    for (int op = FAKE_VYX_CREATE; op < FAKE_VYX_GET_ITEM; ++op)
    {
        FakeVyxOp vyxOp = static_cast<FakeVyxOp>(op);
        int result = vyxOp == FAKE_VYX_CREATE ? 0 : VYX_ERROR;
        faults.push_back(Transport(vyxOp, 0, EVERY_CALL, result, ITEMS_FAIL));
    }
    return faults;
}

// ---------------------------------------------------------------------------
// The cases.

struct SweepCase
{
    std::string name;
    std::vector<Fault> faults;
    // Service life: the launch's settings cannot be read, so the process ends
    // from the service's thread with this code (0: it does not).
    int endsProcessWith;
};

void PrintTo(const SweepCase &c, std::ostream *os)
{
    *os << c.name;
}

std::string CaseName(const ::testing::TestParamInfo<SweepCase> &info)
{
    return info.param.name;
}

const int NO_EXIT = 0;

void AddTransportCases(std::vector<SweepCase> &cases)
{
    for (const TransportWindow &window : TRANSPORT_WINDOWS)
    {
        for (const TransportResult &result : TRANSPORT_RESULTS)
        {
            if (IsFailure(window.op, result.result))
            {
                cases.push_back(
                    {std::string(window.name) + "_" + result.name,
                     {Transport(window.op, window.nth, window.count, result.result, result.items)},
                     NO_EXIT});
            }
        }
    }
}

// A failing event log on its own would show nothing in a run that logs
// nothing, so each comes with a server that cannot be reached.
void AddEventLogCases(std::vector<SweepCase> &cases)
{
    const Fault unreachable =
        Transport(FAKE_VYX_OPEN, 0, EVERY_CALL, VYX_ERROR, ITEMS_SYSTEM_INT_MIN);
    cases.push_back({"RegisterEventSourceFails",
                     {Platform(EVENT_SOURCE, ERROR_ACCESS_DENIED), unreachable},
                     NO_EXIT});
    cases.push_back({"ReportEventFails",
                     {Platform(REPORT_EVENT, ERROR_INVALID_PARAMETER), unreachable},
                     NO_EXIT});
}

// Every fault of the list at once, and every one at once that still lets the
// stop reach the transport.
void AddCombinedCases(std::vector<SweepCase> &cases, const std::vector<Fault> &platform)
{
    std::vector<Fault> everything = platform;
    std::vector<Fault> runThrough;
    for (const Fault &fault : platform)
    {
        if (!fault.cutsShort && !fault.silencesLog)
        {
            runThrough.push_back(fault);
        }
    }
    for (const Fault &fault : EveryTransportFailure())
    {
        everything.push_back(fault);
        runThrough.push_back(fault);
    }
    cases.push_back({"EverythingAtOnce", everything, NO_EXIT});
    cases.push_back({"EverythingTheStopRunsThrough", runThrough, NO_EXIT});
}

std::vector<SweepCase> StopExchangeCases()
{
    std::vector<SweepCase> cases;
    // The stop reads InstallDir with one open and one query.
    const int openCodes[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED};
    const int queryCodes[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_MORE_DATA};
    for (int code : openCodes)
    {
        cases.push_back(
            {"RegOpenKey_" + std::to_string(code), {Platform(REG_OPEN, code, 0, true)}, NO_EXIT});
    }
    for (int code : queryCodes)
    {
        cases.push_back({"RegQueryInstallDir_" + std::to_string(code),
                         {Platform(REG_QUERY, code, 0, true)},
                         NO_EXIT});
    }
    cases.push_back({"NoPasswordFile", {Platform(PASSWORD_FILE, 0, 0, true)}, NO_EXIT});
    cases.push_back({"NoConfigFile", {Platform(CONFIG_FILE, 0)}, NO_EXIT});
    AddEventLogCases(cases);
    AddTransportCases(cases);

    AddCombinedCases(cases, {Platform(REG_OPEN, ERROR_ACCESS_DENIED, 0, true),
                             Platform(REG_QUERY, ERROR_MORE_DATA, 0, true),
                             Platform(PASSWORD_FILE, 0, 0, true), Platform(CONFIG_FILE, 0),
                             Platform(EVENT_SOURCE, ERROR_ACCESS_DENIED),
                             Platform(REPORT_EVENT, ERROR_INVALID_PARAMETER)});
    return cases;
}

std::vector<SweepCase> ServiceLifeCases()
{
    std::vector<SweepCase> cases;
    // The launch opens the key once and reads four values; the stop then
    // opens it again and reads InstallDir.  A launch that cannot read its
    // settings ends the process with the registry's code.
    cases.push_back({"LaunchRegOpenKey_5",
                     {Platform(REG_OPEN, ERROR_ACCESS_DENIED, 0, true)},
                     ERROR_ACCESS_DENIED});
    for (int nth = 0; nth < 4; ++nth)
    {
        cases.push_back({"LaunchRegQuery" + std::to_string(nth) + "_234",
                         {Platform(REG_QUERY, ERROR_MORE_DATA, nth, true)},
                         ERROR_MORE_DATA});
    }
    const int openCodes[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED};
    const int queryCodes[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_MORE_DATA};
    for (int code : openCodes)
    {
        cases.push_back({"StopRegOpenKey_" + std::to_string(code),
                         {Platform(REG_OPEN, code, 1, true)},
                         NO_EXIT});
    }
    for (int code : queryCodes)
    {
        cases.push_back({"StopRegQueryInstallDir_" + std::to_string(code),
                         {Platform(REG_QUERY, code, 4, true)},
                         NO_EXIT});
    }

    const int ERROR_SERVICE_DOES_NOT_EXIST = 1060;
    cases.push_back({"GetVersionExFails", {Platform(VERSION, ERROR_INVALID_PARAMETER)}, NO_EXIT});
    cases.push_back({"DispatcherFails",
                     {Platform(DISPATCHER, ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, 0, true)},
                     NO_EXIT});
    cases.push_back({"HandlerRegistrationFails",
                     {Platform(HANDLER, ERROR_SERVICE_DOES_NOT_EXIST, 0, true)},
                     NO_EXIT});
    cases.push_back(
        {"CreateProcessFails", {Platform(CREATE_PROCESS, ERROR_FILE_NOT_FOUND)}, NO_EXIT});
    // Start-pending, running, interrogate, stop-pending, stopped.
    for (int nth = 0; nth < 5; ++nth)
    {
        cases.push_back({"SetServiceStatus" + std::to_string(nth),
                         {Platform(STATUS_REPORT, ERROR_INVALID_PARAMETER, nth)},
                         NO_EXIT});
    }
    cases.push_back({"SetServiceStatusEvery",
                     {Platform(STATUS_REPORT, ERROR_INVALID_PARAMETER, EVERY_CALL)},
                     NO_EXIT});
    cases.push_back({"NoPasswordFile", {Platform(PASSWORD_FILE, 0, 0, true)}, NO_EXIT});
    AddEventLogCases(cases);
    AddTransportCases(cases);

    // Everything at once ends at the dispatcher, with nothing run; the
    // combination the stop runs through keeps what lets the life get there.
    AddCombinedCases(cases, {Platform(VERSION, ERROR_INVALID_PARAMETER),
                             Platform(DISPATCHER, ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, 0, true),
                             Platform(HANDLER, ERROR_SERVICE_DOES_NOT_EXIST, 0, true),
                             Platform(REG_OPEN, ERROR_ACCESS_DENIED, 1, true),
                             Platform(REG_QUERY, ERROR_MORE_DATA, 4, true),
                             Platform(PASSWORD_FILE, 0, 0, true),
                             Platform(CREATE_PROCESS, ERROR_FILE_NOT_FOUND),
                             Platform(STATUS_REPORT, ERROR_INVALID_PARAMETER, EVERY_CALL),
                             Platform(EVENT_SOURCE, ERROR_ACCESS_DENIED),
                             Platform(REPORT_EVENT, ERROR_INVALID_PARAMETER)});
    return cases;
}

// ---------------------------------------------------------------------------
// Arming the fakes.

void ScriptItems(ItemAnswers items)
{
    switch (items)
    {
    case ITEMS_UNUSED:
        break;
    case ITEMS_KIND_3:
        FakeVyxSetDefaultAnswer(FAKE_VYX_GET_ITEM, FakeVyxAnswer{0, true, 3, ""});
        break;
    case ITEMS_SYSTEM_INT_MIN:
        // Enough pairs for every step of a run to fail.
        for (int i = 0; i < 20; ++i)
        {
            FakeVyxPushItem(VYX_KIND_SYSTEM);
            FakeVyxPushItem(INT_MIN);
        }
        break;
    case ITEMS_FAIL:
        FakeVyxSetDefaultAnswer(FAKE_VYX_GET_ITEM, FakeVyxAnswer{VYX_INVALID_HANDLE, false, 0, ""});
        break;
    }
}

void ArmTransport(const Fault &fault)
{
    for (int i = 0; i < fault.nth; ++i)
    {
        FakeVyxPush(fault.op, Success(fault.op));
    }
    if (fault.count == EVERY_CALL)
    {
        FakeVyxSetDefault(fault.op, fault.code);
    }
    for (int i = 0; i < fault.count; ++i)
    {
        FakeVyxPush(fault.op, fault.code);
    }
}

bool Has(const std::vector<Fault> &faults, FaultKind kind)
{
    for (const Fault &fault : faults)
    {
        if (fault.kind == kind)
        {
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------
// The invariants.  Each returns what it found wrong, in words, so that the
// same checks serve a process that is about to end.

typedef std::vector<std::string> Findings;

std::string StepMessage(const FakeVyxCall &call)
{
    switch (call.op)
    {
    case FAKE_VYX_CREATE:
        return MSG_CREATE_VYX_FAILED;
    case FAKE_VYX_SET_ITEM:
        return call.item == CI_FRAMING ? MSG_SET_FRAMING_FAILED : MSG_SET_TIMEOUT_FAILED;
    case FAKE_VYX_OPEN:
        return MSG_OPEN_VYX_FAILED;
    case FAKE_VYX_SEND:
        return MSG_SEND_VYX_FAILED;
    case FAKE_VYX_RECEIVE:
        return MSG_RECEIVE_VYX_FAILED;
    case FAKE_VYX_CLOSE:
        return MSG_CLOSE_VYX_FAILED;
    case FAKE_VYX_DESTROY:
        return MSG_DESTROY_VYX_FAILED;
    default:
        return "";
    }
}

// The prefix followed by a number exactly as %d writes it.
bool IsNumbered(const std::string &message, const char *prefix)
{
    size_t length = strlen(prefix);
    if (message.compare(0, length, prefix) != 0 || message.size() == length)
    {
        return false;
    }
    std::string number = message.substr(length);
    char *end = NULL;
    long long value = strtoll(number.c_str(), &end, 10);
    return *end == '\0' && value >= INT_MIN && value <= INT_MAX && std::to_string(value) == number;
}

bool IsDecoded(const std::string &message)
{
    return message == MSG_VYX_INVALID_PARAM || message == MSG_VYX_INVALID_HANDLE ||
           message == MSG_VYX_UNKNOWN_ERROR || IsNumbered(message, MSG_VYX_ERROR_PREFIX) ||
           IsNumbered(message, MSG_VYX_SYSTEM_ERROR_PREFIX);
}

bool IsStepMessage(const std::string &message)
{
    static const char *const steps[] = {MSG_CREATE_VYX_FAILED,  MSG_SET_FRAMING_FAILED,
                                        MSG_SET_TIMEOUT_FAILED, MSG_OPEN_VYX_FAILED,
                                        MSG_SEND_VYX_FAILED,    MSG_RECEIVE_VYX_FAILED,
                                        MSG_CLOSE_VYX_FAILED,   MSG_DESTROY_VYX_FAILED};
    for (const char *text : steps)
    {
        if (message == text)
        {
            return true;
        }
    }
    return false;
}

bool InCatalogue(const std::string &message)
{
    static const char *const others[] = {MSG_DISPATCHER_FAILED,    MSG_REGISTER_HANDLER_FAILED,
                                         MSG_REPORT_STATUS_FAILED, MSG_HANDLER_STATUS_FAILED,
                                         MSG_UNRECOGNIZED_OPCODE,  MSG_CREATE_PROCESS_FAILED,
                                         MSG_PASSWORD_FILE_FAILED};
    for (const char *text : others)
    {
        if (message == text)
        {
            return true;
        }
    }
    return IsStepMessage(message) || IsDecoded(message);
}

void CheckTransport(Findings &found)
{
    std::vector<FakeVyxCall> calls = FakeVyxCalls();
    if (calls.empty())
    {
        return;
    }
    if (calls.front().op != FAKE_VYX_CREATE)
    {
        found.push_back(std::string(FakeVyxOpName(calls.front().op)) + " before any create");
        return;
    }
    const VYXHANDLE handle = calls.front().result;
    int creates = 0;
    int destroys = 0;
    int opens = 0;
    for (size_t i = 0; i < calls.size(); ++i)
    {
        creates += calls[i].op == FAKE_VYX_CREATE ? 1 : 0;
        destroys += calls[i].op == FAKE_VYX_DESTROY ? 1 : 0;
        opens += calls[i].op == FAKE_VYX_OPEN ? 1 : 0;
        if (i > 0 && calls[i].handle != handle)
        {
            found.push_back(std::string(FakeVyxOpName(calls[i].op)) + " on handle " +
                            std::to_string(calls[i].handle) + ", created " +
                            std::to_string(handle));
        }
    }
    if (creates != 1 || destroys != 1)
    {
        found.push_back(std::to_string(creates) + " creates and " + std::to_string(destroys) +
                        " destroys");
    }
    // After the destroy only what describes its failure: a -1 is read from
    // the kind item, then, for a system error, from the number item.
    size_t destroyAt = 0;
    while (destroyAt < calls.size() && calls[destroyAt].op != FAKE_VYX_DESTROY)
    {
        ++destroyAt;
    }
    for (size_t i = destroyAt + 1; i < calls.size(); ++i)
    {
        const int item = i == destroyAt + 1 ? CI_LAST_ERROR_KIND : CI_LAST_SYSTEM_ERROR;
        if (calls[destroyAt].result != VYX_ERROR || calls[i].op != FAKE_VYX_GET_ITEM ||
            calls[i].item != item || i > destroyAt + 2)
        {
            found.push_back(std::string(FakeVyxOpName(calls[i].op)) + " of item " +
                            std::to_string(calls[i].item) + " after a destroy that gave " +
                            std::to_string(calls[destroyAt].result));
        }
    }
    if (opens > 10)
    {
        found.push_back(std::to_string(opens) + " open attempts");
    }
}

void CheckPauses(Findings &found)
{
    std::vector<DWORD> sleeps = FakeSleeps();
    if (sleeps.size() > 10)
    {
        found.push_back(std::to_string(sleeps.size()) + " pauses");
    }
    for (DWORD pause : sleeps)
    {
        if (pause != 1000)
        {
            found.push_back("a pause of " + std::to_string(pause) + " ms");
        }
    }
}

void CheckReleased(Findings &found)
{
    if (FakeRegOpenKeys() != 0)
    {
        found.push_back(std::to_string(FakeRegOpenKeys()) + " registry keys left open");
    }
    if (FakeOpenEventSources() != 0)
    {
        found.push_back(std::to_string(FakeOpenEventSources()) + " event sources left open");
    }
}

bool IsStatusText(const std::string &text)
{
    return IsNumbered(text, "LMRAPISVC: status ");
}

std::string Tally(const std::map<std::string, int> &counts)
{
    std::string text = "{";
    for (const auto &entry : counts)
    {
        text += " " + std::to_string(entry.second) + " x \"" + entry.first + "\"";
    }
    return text + " }";
}

// stepsLogged: the event log takes events in this run, so every failed
// transport step must show in it.
void CheckEvents(Findings &found, bool stepsLogged)
{
    std::vector<FakeEvent> events = FakeEvents();
    std::vector<std::string> messages;
    for (const FakeEvent &event : events)
    {
        if (event.type != EVENTLOG_ERROR_TYPE || event.strings.size() != 2 ||
            !IsStatusText(event.strings[0]) || !InCatalogue(event.strings[1]))
        {
            std::string strings;
            for (const std::string &text : event.strings)
            {
                strings += " \"" + text + "\"";
            }
            found.push_back("event of type " + std::to_string(event.type) + ":" + strings);
            continue;
        }
        messages.push_back(event.strings[1]);
    }
    if (!stepsLogged)
    {
        return;
    }

    // Each failed step once under its own message; each after the create
    // decoded at once by the next event.
    std::map<std::string, int> expected;
    for (const FakeVyxCall &call : FakeVyxCalls())
    {
        if (IsFailure(call.op, call.result))
        {
            ++expected[StepMessage(call)];
        }
    }
    std::map<std::string, int> logged;
    for (size_t i = 0; i < messages.size(); ++i)
    {
        const std::string &message = messages[i];
        if (!IsStepMessage(message))
        {
            continue;
        }
        ++logged[message];
        if (message != MSG_CREATE_VYX_FAILED &&
            (i + 1 == messages.size() || !IsDecoded(messages[i + 1])))
        {
            found.push_back("\"" + message + "\" not followed by its decoded result");
        }
    }
    if (logged != expected)
    {
        found.push_back("failed steps " + Tally(expected) + " but events " + Tally(logged));
    }
}

void CheckLife(Findings &found)
{
    std::vector<FakeStatusReport> reports = FakeStatusReports();
    for (const FakeStatusReport &report : reports)
    {
        if (report.handle != FakeServiceStatusHandle())
        {
            found.push_back("a report on another handle");
        }
    }
    if (FakeCreateProcessCalls().size() > 1)
    {
        found.push_back(std::to_string(FakeCreateProcessCalls().size()) + " server starts");
    }

    std::vector<FakeDispatcherCall> calls = FakeDispatcherCalls();
    bool stopDelivered = false;
    for (const FakeDispatcherCall &call : calls)
    {
        for (DWORD control : call.delivered)
        {
            stopDelivered = stopDelivered || control == SERVICE_CONTROL_STOP;
        }
    }
    if (!stopDelivered)
    {
        return;
    }
    const std::vector<DWORD> stopped = {0x10, 1, 1, 0, 0, 0, 0};
    if (reports.empty() || Fields(reports.back().status) != stopped)
    {
        found.push_back("the stop did not end in the stopped report");
    }
    bool stopPending = false;
    for (const FakeStatusReport &report : reports)
    {
        stopPending = stopPending || report.status.dwCurrentState == SERVICE_STOP_PENDING;
    }
    if (!stopPending)
    {
        found.push_back("no stop-pending report");
    }
}

std::string Describe(const Findings &found)
{
    if (found.empty())
    {
        return "invariants held";
    }
    std::string text;
    for (const std::string &finding : found)
    {
        text += finding + "; ";
    }
    return text;
}

// ---------------------------------------------------------------------------
// The runs.

class FaultSweep : public InstalledServer, public ::testing::WithParamInterface<SweepCase>
{
  protected:
    void SetUp() override
    {
        InstalledServer::SetUp();
        configFile_ = installDir_ + "\\config.ini";
        ASSERT_TRUE(WriteFileBytes(configFile_, "[TAVRIN_ADMINISTRATION]\nTavrinAdminPort=9000\n"));
    }

    void Arm()
    {
        for (const Fault &fault : GetParam().faults)
        {
            Arm(fault);
        }
    }

    void Arm(const Fault &fault)
    {
        switch (fault.kind)
        {
        case REG_OPEN:
            FakeRegFailNth(FAKE_REG_OPEN, fault.nth, fault.code);
            break;
        case REG_QUERY:
            FakeRegFailNth(FAKE_REG_QUERY, fault.nth, fault.code);
            break;
        case EVENT_SOURCE:
            FakeFailRegisterEventSource(fault.code);
            break;
        case REPORT_EVENT:
            FakeFailReportEvent(fault.code);
            break;
        case STATUS_REPORT:
            if (fault.nth == EVERY_CALL)
            {
                FakeFailSetServiceStatusAlways(fault.code);
            }
            else
            {
                FakeFailSetServiceStatusAt(fault.nth, fault.code);
            }
            break;
        case HANDLER:
            FakeFailRegisterServiceCtrlHandler(fault.code);
            break;
        case DISPATCHER:
            FakeFailDispatcher(fault.code);
            break;
        case CREATE_PROCESS:
            FakeSetCreateProcessResult(FALSE, fault.code);
            break;
        case VERSION:
            FakeFailGetVersionEx(fault.code);
            break;
        case PASSWORD_FILE:
            unlink(passwordFile_.c_str());
            break;
        case CONFIG_FILE:
            unlink(configFile_.c_str());
            break;
        case TRANSPORT:
            ArmTransport(fault);
            ScriptItems(fault.items);
            break;
        }
    }

    bool StepsLogged() const
    {
        return !Has(GetParam().faults, EVENT_SOURCE) && !Has(GetParam().faults, VERSION);
    }

    std::string configFile_;
};

class StopExchangeSweep : public FaultSweep
{
};

TEST_P(StopExchangeSweep, KeepsTheInvariants)
{
    g_osVersion.dwPlatformId = VER_PLATFORM_WIN32_NT;
    Arm();

    bool passwordFileOpened = false;
    int result = StopServer(&passwordFileOpened);

    Findings found;
    CheckTransport(found);
    CheckPauses(found);
    CheckReleased(found);
    CheckEvents(found, StepsLogged());
    EXPECT_THAT(found, IsEmpty()) << Describe(found);

    // The flag says whether the transport ran; only a failed destroy may
    // make the result other than 0.
    std::vector<FakeVyxCall> calls = FakeVyxCalls();
    EXPECT_EQ(passwordFileOpened, !calls.empty());
    int destroyResult = 0;
    for (const FakeVyxCall &call : calls)
    {
        destroyResult = call.op == FAKE_VYX_DESTROY ? call.result : destroyResult;
    }
    EXPECT_EQ(destroyResult != 0, result != 0) << "result " << result;
}

INSTANTIATE_TEST_SUITE_P(Faults, StopExchangeSweep, ::testing::ValuesIn(StopExchangeCases()),
                         CaseName);

class ServiceLifeSweep : public FaultSweep
{
  protected:
    static int RunService()
    {
        FakeDispatcherQueueControl(SERVICE_CONTROL_INTERROGATE);
        FakeDispatcherQueueControl(SERVICE_CONTROL_STOP);
        char name[] = "TavrinSvc.exe";
        char *argv[] = {name, NULL};
        return RunEntry(1, argv);
    }

    static Findings Check(bool stepsLogged)
    {
        Findings found;
        CheckTransport(found);
        CheckPauses(found);
        CheckReleased(found);
        CheckEvents(found, stepsLogged);
        CheckLife(found);
        return found;
    }

    // The process ends from the service's thread; what held up to then can
    // only be told through standard error.
    static bool s_stepsLogged;
    static void PrintAtExit(UINT)
    {
        fprintf(stderr, "sweep: %s, transport calls %zu, reports %zu\n",
                Describe(Check(s_stepsLogged)).c_str(), FakeVyxCalls().size(),
                FakeStatusReports().size());
        fflush(stderr);
        RemoveFolderOfLiveTest();
    }
};

bool ServiceLifeSweep::s_stepsLogged = false;

TEST_P(ServiceLifeSweep, KeepsTheInvariants)
{
    Arm();

    if (GetParam().endsProcessWith != NO_EXIT)
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        s_stepsLogged = StepsLogged();
        FakeSetExitProcessHook(PrintAtExit);
        // Nothing past the start-pending report: no server, no exchange.
        EXPECT_EXIT(RunService(), ::testing::ExitedWithCode(GetParam().endsProcessWith & 0xFF),
                    "sweep: invariants held, transport calls 0, reports 1\n");
        return;
    }

    int result = RunService();

    Findings found = Check(StepsLogged());
    EXPECT_THAT(found, IsEmpty()) << Describe(found);
    // Nothing in the service mode ends with 0: either the dispatcher's own
    // result after a stop, or the code of its failure.
    EXPECT_NE(0, result);
}

INSTANTIATE_TEST_SUITE_P(Faults, ServiceLifeSweep, ::testing::ValuesIn(ServiceLifeCases()),
                         CaseName);
} // namespace
