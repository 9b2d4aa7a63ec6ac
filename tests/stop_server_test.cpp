#include "admin/stop_server.h"

#include "admin/password_file.h"
#include "eventlog/eventlog.h"
#include "eventlog/messages.h"
#include "launch/settings.h"

#include "fake_eventlog.h"
#include "fake_platform.h"
#include "fake_profile.h"
#include "fake_registry.h"
#include "fake_system.h"
#include "fake_vyx.h"
#include "tests/support/process_state.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace
{
const char REQUEST_HEAD_HEX[] = "302C22373722313034302C22"; // 0,"77"1040,"
const char REQUEST_TAIL_HEX[] = "2239392C2222";             // "99,""

std::string Hex(const std::string &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes)
    {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::string Repeat(const std::string &piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
    {
        text += piece;
    }
    return text;
}

void WriteFile(const std::string &path, const std::string &bytes)
{
    ASSERT_TRUE(WriteFileBytes(path, bytes)) << path;
}

// A temporary installation directory with the files the run reads.  On the
// host a backslash is part of a file name, so "<dir>\pw.fil" is a file of its
// own beside the directory; both live inside a temporary folder.
class StopServerTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(root_.Create("tavrin-stop"));
        installDir_ = root_.Path() + "/inst";
        Reset();
    }
    // A fresh fake platform on the NT family, where events are written, with
    // InstallDir naming the temporary installation directory.
    void Reset()
    {
        FakePlatformReset();
        SetNtFamily();
        FakeRegSetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "InstallDir", installDir_.c_str());
    }
    void TearDown() override
    {
        ASSERT_TRUE(root_.Remove());
    }
    std::string PasswordPath() const
    {
        return installDir_ + "\\pw.fil";
    }
    std::string ConfigPath() const
    {
        return installDir_ + "\\config.ini";
    }
    void WritePassword(const std::string &bytes)
    {
        WriteFile(PasswordPath(), bytes);
    }
    void WriteConfig(const std::string &bytes)
    {
        WriteFile(ConfigPath(), bytes);
    }
    int Run()
    {
        opened_ = false;
        return StopServer(&opened_);
    }
    std::string Sent() const
    {
        for (const FakeVyxCall &call : FakeVyxCalls())
        {
            if (call.op == FAKE_VYX_SEND)
            {
                return call.sent;
            }
        }
        return "(nothing sent)";
    }
    std::string Address() const
    {
        std::vector<FakeVyxCall> calls = FakeVyxCalls();
        return calls.empty() ? std::string("(no create)") : calls[0].address;
    }

    TempDir root_;
    std::string installDir_;
    bool opened_ = false;
};

TEST_F(StopServerTest, WithoutPasswordFileOnlyLeavesATrace)
{
    WriteConfig("[TAVRIN_ADMINISTRATION]\nTavrinAdminPort=9000\n");
    opened_ = true;
    EXPECT_EQ(0, StopServer(&opened_));
    EXPECT_FALSE(opened_);
    EXPECT_THAT(FakeEventMessages(), ElementsAre(MSG_PASSWORD_FILE_FAILED));
    EXPECT_TRUE(FakeVyxCalls().empty());
    EXPECT_TRUE(FakeProfileCalls().empty());
    EXPECT_TRUE(FakeSleeps().empty());
}

struct RequestCase
{
    const char *name;
    std::string file;
    std::string passwordHex;
};

TEST_F(StopServerTest, SendsTheRequestBytesExactly)
{
    const RequestCase cases[] = {
        {"empty file", "", ""},
        {"CR LF line", "pw\r\n", "70770A"},
        {"several lines", "a\r\nb\r\nc\r\n", "610A620A630A"},
        {"Ctrl-Z inside",
         "ab\x1A"
         "cd",
         "6162"},
        {"NUL inside", std::string("ab\0cd", 5), "6162"},
        {"lone CR", "a\rb", "610D62"},
        {"double quote unchanged", "a\"b", "612262"},
        {"256 characters", Repeat("p", 256), Repeat("70", 256)},
        {"300 characters, 256 sent", Repeat("p", 300), Repeat("70", 256)},
    };
    for (const RequestCase &c : cases)
    {
        SCOPED_TRACE(c.name);
        Reset();
        WritePassword(c.file);
        EXPECT_EQ(0, Run());
        EXPECT_TRUE(opened_);
        std::string sent = Sent();
        EXPECT_EQ(REQUEST_HEAD_HEX + c.passwordHex + REQUEST_TAIL_HEX, Hex(sent));
        std::vector<FakeVyxCall> calls = FakeVyxCalls();
        ASSERT_EQ(8u, calls.size());
        EXPECT_EQ((int)(18 + c.passwordHex.size() / 2), calls[4].length); // no terminator
        EXPECT_TRUE(FakeEventMessages().empty());
    }
}

TEST_F(StopServerTest, EmptyPasswordGivesTheEighteenFixedBytes)
{
    WritePassword("");
    Run();
    EXPECT_EQ("302C22373722313034302C222239392C2222", Hex(Sent()));
}

// The secrets must not outlive the run: the buffer that was sent and the
// password's own buffer are both wiped in a way the compiler keeps.
TEST_F(StopServerTest, WipesPasswordAndRequest)
{
    WritePassword(Repeat("s", 300));
    Run();
    const char *sendBuffer = nullptr;
    for (const FakeVyxCall &call : FakeVyxCalls())
    {
        if (call.op == FAKE_VYX_SEND)
        {
            sendBuffer = call.sendBuffer;
        }
    }
    ASSERT_NE(nullptr, sendBuffer);
    bool requestWiped = false;
    bool passwordWiped = false;
    for (const FakeWipe &wipe : FakeWipes())
    {
        requestWiped = requestWiped || (wipe.pointer == sendBuffer && wipe.length >= 18 + 256 + 1);
        passwordWiped = passwordWiped || wipe.length == PASSWORD_BUFFER_SIZE;
    }
    EXPECT_TRUE(requestWiped);
    EXPECT_TRUE(passwordWiped);
}

struct AddressCase
{
    const char *name;
    const char *config; // null: no config.ini
    const char *address;
};

TEST_F(StopServerTest, ComposesTheAddressFromConfig)
{
    const AddressCase cases[] = {
        {"no config.ini", nullptr, ":127.0.0.1:8189"},
        {"no section", "[OTHER]\nTavrinAdminPort=1234\n", ":127.0.0.1:8189"},
        {"no key", "[TAVRIN_ADMINISTRATION]\nOtherPort=1234\n", ":127.0.0.1:8189"},
        {"plain", "[TAVRIN_ADMINISTRATION]\r\nTavrinAdminPort=9000\r\n", ":127.0.0.1:9000"},
        {"over 7 characters cut", "[TAVRIN_ADMINISTRATION]\nTavrinAdminPort=12345678\n",
         ":127.0.0.1:1234567"},
        {"leading blanks", "[TAVRIN_ADMINISTRATION]\nTavrinAdminPort=\"  42\"\n", ":127.0.0.1:42"},
        {"plus sign", "[TAVRIN_ADMINISTRATION]\nTavrinAdminPort=+77\n", ":127.0.0.1:77"},
        {"negative", "[TAVRIN_ADMINISTRATION]\nTavrinAdminPort=-12\n", ":127.0.0.1:-12"},
        {"no digits", "[TAVRIN_ADMINISTRATION]\nTavrinAdminPort=port\n", ":127.0.0.1:0"},
        {"digits then text", "[TAVRIN_ADMINISTRATION]\nTavrinAdminPort=80x1\n", ":127.0.0.1:80"},
        {"two signs", "[TAVRIN_ADMINISTRATION]\nTavrinAdminPort=+-5\n", ":127.0.0.1:0"},
        {"largest 7-character number", "[TAVRIN_ADMINISTRATION]\nTavrinAdminPort=9999999\n",
         ":127.0.0.1:9999999"},
    };
    WritePassword("pw");
    for (const AddressCase &c : cases)
    {
        SCOPED_TRACE(c.name);
        Reset();
        unlink(ConfigPath().c_str());
        if (c.config != nullptr)
        {
            WriteConfig(c.config);
        }
        Run();
        EXPECT_EQ(c.address, Address());
        std::vector<FakeProfileCall> calls = FakeProfileCalls();
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ("TAVRIN_ADMINISTRATION", calls[0].section);
        EXPECT_EQ("TavrinAdminPort", calls[0].key);
        EXPECT_EQ("8189", calls[0].defaultValue);
        EXPECT_EQ(8u, calls[0].size);
        EXPECT_EQ(ConfigPath(), calls[0].fileName);
    }
}

// Without InstallDir the files are looked for under "\": relative names on
// the host, so the test works from inside its temporary folder.
TEST_F(StopServerTest, MissingInstallDirLooksAtTheRoot)
{
    char saved[4096];
    ASSERT_NE(nullptr, getcwd(saved, sizeof saved));
    ASSERT_EQ(0, chdir(root_.Path().c_str()));
    WriteFile("\\pw.fil", "pw");
    WriteFile("\\config.ini", "[TAVRIN_ADMINISTRATION]\nTavrinAdminPort=4321\n");

    for (bool keyExists : {false, true})
    {
        SCOPED_TRACE(keyExists ? "key without the value" : "no key");
        Reset();
        FakePlatformReset(); // drops InstallDir again
        if (keyExists)
        {
            FakeRegAddKey(HKEY_LOCAL_MACHINE, SETTINGS_KEY);
        }
        EXPECT_EQ(0, Run());
        EXPECT_TRUE(opened_);
        EXPECT_EQ(":127.0.0.1:4321", Address());
        ASSERT_EQ(1u, FakeProfileCalls().size());
        EXPECT_EQ("\\config.ini", FakeProfileCalls()[0].fileName);
        EXPECT_EQ(REQUEST_HEAD_HEX + Hex("pw") + REQUEST_TAIL_HEX, Hex(Sent()));
    }
    ASSERT_EQ(0, chdir(saved));
}

class TransportSequence : public StopServerTest
{
  protected:
    void SetUp() override
    {
        StopServerTest::SetUp();
        WritePassword("pw");
    }
};

TEST_F(TransportSequence, SuccessfulRunCallsEachOperationOnceWithItsArguments)
{
    FakeVyxPush(FAKE_VYX_CREATE, 7);
    EXPECT_EQ(0, Run());
    std::vector<FakeVyxCall> calls = FakeVyxCalls();
    ASSERT_THAT(FakeVyxOps(),
                ElementsAre(FAKE_VYX_CREATE, FAKE_VYX_SET_ITEM, FAKE_VYX_SET_ITEM, FAKE_VYX_OPEN,
                            FAKE_VYX_SEND, FAKE_VYX_RECEIVE, FAKE_VYX_CLOSE, FAKE_VYX_DESTROY));
    for (size_t i = 1; i < calls.size(); ++i)
    {
        EXPECT_EQ(7, calls[i].handle) << i;
    }
    EXPECT_EQ(CI_FRAMING, calls[1].item);
    EXPECT_EQ(1, calls[1].value);
    EXPECT_EQ(CI_TIMEOUT, calls[2].item);
    EXPECT_EQ(20, calls[2].value);
    EXPECT_EQ(0, calls[4].reserved1);
    EXPECT_EQ(0, calls[4].reserved2);
    EXPECT_EQ(4096, calls[5].capacity);
    EXPECT_EQ(0, calls[5].reserved1);
    EXPECT_EQ(0, calls[5].reserved2);
    EXPECT_TRUE(FakeEventMessages().empty());
    EXPECT_TRUE(FakeSleeps().empty());
}

TEST_F(TransportSequence, TenFailedOpensGoStraightToDestroy)
{
    FakeVyxSetDefault(FAKE_VYX_OPEN, VYX_INVALID_HANDLE);
    EXPECT_EQ(0, Run());

    std::vector<FakeVyxOp> expectedOps = {FAKE_VYX_CREATE, FAKE_VYX_SET_ITEM, FAKE_VYX_SET_ITEM};
    std::vector<std::string> expectedEvents;
    for (int i = 0; i < 10; ++i)
    {
        expectedOps.push_back(FAKE_VYX_OPEN);
        expectedEvents.push_back(MSG_OPEN_VYX_FAILED);
        expectedEvents.push_back(MSG_VYX_INVALID_HANDLE);
    }
    expectedOps.push_back(FAKE_VYX_DESTROY);
    EXPECT_THAT(FakeVyxOps(), ElementsAreArray(expectedOps));
    EXPECT_THAT(FakeEventMessages(), ElementsAreArray(expectedEvents));
    EXPECT_EQ(std::vector<DWORD>(10, 1000), FakeSleeps());
}

TEST_F(TransportSequence, ThirdOpenSucceeds)
{
    FakeVyxPush(FAKE_VYX_OPEN, VYX_INVALID_PARAM);
    FakeVyxPush(FAKE_VYX_OPEN, VYX_INVALID_PARAM);
    FakeVyxPush(FAKE_VYX_OPEN, 0);
    EXPECT_EQ(0, Run());
    EXPECT_THAT(FakeEventMessages(), ElementsAre(MSG_OPEN_VYX_FAILED, MSG_VYX_INVALID_PARAM,
                                                 MSG_OPEN_VYX_FAILED, MSG_VYX_INVALID_PARAM));
    EXPECT_EQ(std::vector<DWORD>(2, 1000), FakeSleeps());
    EXPECT_EQ(3, FakeVyxCount(FAKE_VYX_OPEN));
    EXPECT_EQ(1, FakeVyxCount(FAKE_VYX_SEND));
}

TEST_F(TransportSequence, EmptyHandleIsLoggedUndecodedAndPassedOn)
{
    FakeVyxPush(FAKE_VYX_CREATE, 0);
    EXPECT_EQ(0, Run());
    EXPECT_THAT(FakeEventMessages(), ElementsAre(MSG_CREATE_VYX_FAILED));
    std::vector<FakeVyxCall> calls = FakeVyxCalls();
    ASSERT_EQ(8u, calls.size());
    for (const FakeVyxCall &call : calls)
    {
        EXPECT_EQ(0, call.handle) << FakeVyxOpName(call.op);
    }
}

struct StepFailureCase
{
    const char *name;
    FakeVyxOp op;
    std::vector<int> answers; // queued for op, in order
    std::vector<std::string> events;
    bool nonzeroResult;
};

// Each failed step is logged with its own message, then decoded, and the run
// goes on; only the destroy step decides the result.
TEST_F(TransportSequence, EachFailedStepLogsItsMessageThenTheDecodedCode)
{
    const StepFailureCase cases[] = {
        {"framing",
         FAKE_VYX_SET_ITEM,
         {VYX_INVALID_PARAM, 0},
         {MSG_SET_FRAMING_FAILED, MSG_VYX_INVALID_PARAM},
         false},
        {"timeout",
         FAKE_VYX_SET_ITEM,
         {0, -2},
         {MSG_SET_TIMEOUT_FAILED, MSG_VYX_UNKNOWN_ERROR},
         false},
        {"open above 0 is success", FAKE_VYX_OPEN, {5}, {}, false},
        {"send", FAKE_VYX_SEND, {1}, {MSG_SEND_VYX_FAILED, MSG_VYX_UNKNOWN_ERROR}, false},
        {"receive of 0",
         FAKE_VYX_RECEIVE,
         {0},
         {MSG_RECEIVE_VYX_FAILED, MSG_VYX_UNKNOWN_ERROR},
         false},
        {"receive below 0",
         FAKE_VYX_RECEIVE,
         {VYX_INVALID_HANDLE},
         {MSG_RECEIVE_VYX_FAILED, MSG_VYX_INVALID_HANDLE},
         false},
        {"close",
         FAKE_VYX_CLOSE,
         {VYX_INVALID_HANDLE},
         {MSG_CLOSE_VYX_FAILED, MSG_VYX_INVALID_HANDLE},
         false},
        {"destroy",
         FAKE_VYX_DESTROY,
         {VYX_INVALID_HANDLE},
         {MSG_DESTROY_VYX_FAILED, MSG_VYX_INVALID_HANDLE},
         true},
    };
    for (const StepFailureCase &c : cases)
    {
        SCOPED_TRACE(c.name);
        Reset();
        for (int answer : c.answers)
        {
            FakeVyxPush(c.op, answer);
        }
        int result = Run();
        EXPECT_EQ(c.nonzeroResult, result != 0);
        EXPECT_THAT(FakeEventMessages(), ElementsAreArray(c.events));
        EXPECT_THAT(FakeVyxOps(), ElementsAre(FAKE_VYX_CREATE, FAKE_VYX_SET_ITEM, FAKE_VYX_SET_ITEM,
                                              FAKE_VYX_OPEN, FAKE_VYX_SEND, FAKE_VYX_RECEIVE,
                                              FAKE_VYX_CLOSE, FAKE_VYX_DESTROY));
    }
}

// A failed destroy is decoded like every other step: a -1 through the item
// reads of the handle it could not release, which are the only calls after
// it; any other code without them.
TEST_F(TransportSequence, FailedDestroyIsDecodedAndOnlyItsItemReadsFollowIt)
{
    struct Case
    {
        const char *name;
        int result;
        std::vector<int> items; // what the item reads store, in order
        std::string decoded;
        std::vector<int> itemsRead;
    };
    const Case cases[] = {
        {"system error",
         VYX_ERROR,
         {VYX_KIND_SYSTEM, 6},
         "VYX_SYSTEM_ERROR = 6",
         {CI_LAST_ERROR_KIND, CI_LAST_SYSTEM_ERROR}},
        {"library error", VYX_ERROR, {3}, "VYX_ERROR = 3", {CI_LAST_ERROR_KIND}},
        {"invalid handle", VYX_INVALID_HANDLE, {}, MSG_VYX_INVALID_HANDLE, {}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        Reset();
        FakeVyxPush(FAKE_VYX_CREATE, 4);
        FakeVyxPush(FAKE_VYX_DESTROY, c.result);
        for (int value : c.items)
        {
            FakeVyxPushItem(value);
        }
        EXPECT_EQ(c.result, Run());
        EXPECT_THAT(FakeEventMessages(), ElementsAre(MSG_DESTROY_VYX_FAILED, c.decoded));

        std::vector<FakeVyxCall> calls = FakeVyxCalls();
        size_t destroyAt = 0;
        while (destroyAt < calls.size() && calls[destroyAt].op != FAKE_VYX_DESTROY)
        {
            ++destroyAt;
        }
        ASSERT_LT(destroyAt, calls.size());
        std::vector<int> itemsRead;
        for (size_t i = destroyAt + 1; i < calls.size(); ++i)
        {
            EXPECT_EQ(FAKE_VYX_GET_ITEM, calls[i].op);
            EXPECT_EQ(4, calls[i].handle);
            itemsRead.push_back(calls[i].item);
        }
        EXPECT_EQ(c.itemsRead, itemsRead);
    }
}

// A library error code is decoded through the item reads on the same handle.
TEST_F(TransportSequence, LibraryErrorIsDecodedFromItsItems)
{
    FakeVyxPush(FAKE_VYX_CREATE, 3);
    FakeVyxPush(FAKE_VYX_SEND, VYX_ERROR);
    FakeVyxPushItem(VYX_KIND_SYSTEM);
    FakeVyxPushItem(10054);
    Run();
    EXPECT_THAT(FakeEventMessages(),
                ElementsAre(MSG_SEND_VYX_FAILED, std::string("VYX_SYSTEM_ERROR = 10054")));
    std::vector<FakeVyxCall> calls = FakeVyxCalls();
    for (size_t i = 1; i < calls.size(); ++i)
    {
        EXPECT_EQ(3, calls[i].handle) << FakeVyxOpName(calls[i].op);
    }
}

TEST_F(TransportSequence, EveryStepFailingButDestroyStillReturnsZero)
{
    FakeVyxPush(FAKE_VYX_CREATE, 0);
    FakeVyxSetDefault(FAKE_VYX_SET_ITEM, VYX_INVALID_HANDLE);
    FakeVyxPush(FAKE_VYX_OPEN, 1);
    FakeVyxPush(FAKE_VYX_SEND, VYX_INVALID_HANDLE);
    FakeVyxPush(FAKE_VYX_RECEIVE, VYX_INVALID_HANDLE);
    FakeVyxPush(FAKE_VYX_CLOSE, VYX_INVALID_HANDLE);
    EXPECT_EQ(0, Run());
    EXPECT_EQ(11u, FakeEventMessages().size()); // the create's one and five pairs
}
} // namespace
