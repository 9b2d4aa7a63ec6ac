#include "launch/settings.h"

#include "fake_platform.h"
#include "fake_registry.h"

#include <gtest/gtest.h>

#include <string.h>

#include <ostream>
#include <string>
#include <vector>

namespace
{
const char KEY[] = "Software\\Lumora\\Tavrin";
const char *const VALUE_ORDER[] = {"InstallDir", "JavaDir", "JavaName", "JavaOptions"};

// A byte no read ever delivers, to tell "unwritten" from "written".
const char UNTOUCHED = '#';

void StoreString(const char *name, const std::string &text, DWORD type = REG_SZ)
{
    FakeRegSetString(HKEY_LOCAL_MACHINE, KEY, name, text.c_str(), type);
}

void StoreBytes(const char *name, const std::string &bytes, DWORD type = REG_SZ)
{
    FakeRegSetValue(HKEY_LOCAL_MACHINE, KEY, name, type, bytes.data(), bytes.size());
}

void StoreUsualSettings()
{
    StoreString("InstallDir", "C:\\tavrin");
    StoreString("JavaDir", "C:\\java\\bin");
    StoreString("JavaName", "java.exe");
    StoreString("JavaOptions", "-Xmx64m");
}

std::vector<FakeRegCall> CallsOf(FakeRegCallKind kind)
{
    std::vector<FakeRegCall> found;
    for (const FakeRegCall &call : FakeRegCalls())
    {
        if (call.kind == kind)
        {
            found.push_back(call);
        }
    }
    return found;
}

std::vector<std::string> ValuesRead()
{
    std::vector<std::string> names;
    for (const FakeRegCall &call : CallsOf(FAKE_REG_QUERY))
    {
        names.push_back(call.name);
    }
    return names;
}

bool AllUntouched(const char *buffer, size_t size)
{
    for (size_t i = 0; i < size; ++i)
    {
        if (buffer[i] != UNTOUCHED)
        {
            return false;
        }
    }
    return true;
}

// The caller's buffers at exactly their documented sizes, so that the
// sanitizer sees any byte past them.  The install directory is zero-filled as
// the caller must; the options buffer deliberately is not.
struct Outputs
{
    char javaPath[JAVA_PATH_SIZE];
    char installDir[SETTING_BUFFER_SIZE];
    char options[SETTING_BUFFER_SIZE];

    Outputs()
    {
        memset(javaPath, UNTOUCHED, sizeof(javaPath));
        memset(installDir, 0, sizeof(installDir));
        memset(options, UNTOUCHED, sizeof(options));
    }

    LONG Read()
    {
        return ReadLaunchSettings(javaPath, installDir, options);
    }
};

class LaunchSettings : public testing::Test
{
  protected:
    void SetUp() override
    {
        FakePlatformReset();
    }
};

TEST_F(LaunchSettings, ReadsTheFourValuesInOrderAndJoinsTheJavaPath)
{
    StoreUsualSettings();
    Outputs out;

    ASSERT_EQ(ERROR_SUCCESS, out.Read());

    EXPECT_STREQ("C:\\java\\bin\\java.exe", out.javaPath);
    EXPECT_STREQ("C:\\tavrin", out.installDir);
    EXPECT_STREQ("-Xmx64m", out.options);

    std::vector<FakeRegCall> calls = FakeRegCalls();
    ASSERT_EQ(6u, calls.size());
    EXPECT_EQ(FAKE_REG_OPEN, calls[0].kind);
    EXPECT_EQ(HKEY_LOCAL_MACHINE, calls[0].key);
    EXPECT_EQ(KEY, calls[0].name);
    EXPECT_EQ(0u, calls[0].options);
    EXPECT_EQ(KEY_QUERY_VALUE, calls[0].access);
    for (int i = 0; i < 4; ++i)
    {
        const FakeRegCall &query = calls[1 + i];
        SCOPED_TRACE(VALUE_ORDER[i]);
        EXPECT_EQ(FAKE_REG_QUERY, query.kind);
        EXPECT_EQ(calls[0].opened, query.key);
        EXPECT_EQ(VALUE_ORDER[i], query.name);
        EXPECT_TRUE(query.reservedNull);
        EXPECT_FALSE(query.typeNull);
        EXPECT_EQ(SETTING_READ_BYTES, query.sizeOnEntry);
    }
    EXPECT_EQ(FAKE_REG_CLOSE, calls[5].kind);
    EXPECT_EQ(calls[0].opened, calls[5].key);
    EXPECT_EQ(0, FakeRegOpenKeys());
}

TEST_F(LaunchSettings, ReadsAfreshEveryTime)
{
    StoreUsualSettings();
    Outputs first;
    ASSERT_EQ(ERROR_SUCCESS, first.Read());

    StoreString("JavaOptions", "-Xmx512m");
    Outputs second;
    ASSERT_EQ(ERROR_SUCCESS, second.Read());
    EXPECT_STREQ("-Xmx512m", second.options);
}

// How the store is spoiled, and what must come of it.
struct FailureCase
{
    const char *label;
    void (*spoil)();
    LONG expected;
    size_t readsMade; // values asked for before stopping
};

// Failures name the case rather than dumping its bytes.
void PrintTo(const FailureCase &c, std::ostream *os)
{
    *os << c.label;
}

void RemoveKey()
{
    FakePlatformReset();
}
void RefuseOpen()
{
    FakeRegFailOpen(ERROR_ACCESS_DENIED);
}
void MissingInstallDir()
{
    FakePlatformReset();
    StoreString("JavaDir", "C:\\java\\bin");
    StoreString("JavaName", "java.exe");
    StoreString("JavaOptions", "");
}
void LongJavaDirAndMissingJavaName()
{
    FakePlatformReset();
    StoreString("InstallDir", "C:\\tavrin");
    StoreString("JavaDir", std::string(100, 'd'));
    StoreString("JavaOptions", "");
}
void RefusedJavaName()
{
    FakeRegFailQuery("JavaName", ERROR_ACCESS_DENIED);
}
void MissingJavaOptions()
{
    FakePlatformReset();
    StoreString("InstallDir", "C:\\tavrin");
    StoreString("JavaDir", "C:\\java\\bin");
    StoreString("JavaName", "java.exe");
}
void OddCodeOnJavaOptions()
{
    FakeRegFailQuery("JavaOptions", 1018); // key marked for deletion
}

class LaunchSettingsFailure : public LaunchSettings, public testing::WithParamInterface<FailureCase>
{
};

TEST_P(LaunchSettingsFailure, ReturnsTheFirstCodeAndStopsThere)
{
    StoreUsualSettings();
    GetParam().spoil();
    Outputs out;

    EXPECT_EQ(GetParam().expected, out.Read());

    std::vector<std::string> expectedReads(VALUE_ORDER, VALUE_ORDER + GetParam().readsMade);
    EXPECT_EQ(expectedReads, ValuesRead());

    // A key is closed exactly when it was opened, and last.
    std::vector<FakeRegCall> calls = FakeRegCalls();
    bool opened = calls.front().result == ERROR_SUCCESS;
    EXPECT_EQ(opened ? 1u : 0u, CallsOf(FAKE_REG_CLOSE).size());
    if (opened)
    {
        EXPECT_EQ(FAKE_REG_CLOSE, calls.back().kind);
    }
    EXPECT_EQ(0, FakeRegOpenKeys());

    EXPECT_TRUE(AllUntouched(out.javaPath, sizeof(out.javaPath)));
    if (GetParam().readsMade > 1)
    {
        EXPECT_STREQ("C:\\tavrin", out.installDir);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LaunchSettingsFailure,
    testing::Values(FailureCase{"KeyMissing", RemoveKey, ERROR_FILE_NOT_FOUND, 0},
                    FailureCase{"OpenRefused", RefuseOpen, ERROR_ACCESS_DENIED, 0},
                    FailureCase{"InstallDirMissing", MissingInstallDir, ERROR_FILE_NOT_FOUND, 1},
                    FailureCase{"LongJavaDirBeforeMissingJavaName", LongJavaDirAndMissingJavaName,
                                ERROR_MORE_DATA, 2},
                    FailureCase{"JavaNameRefused", RefusedJavaName, ERROR_ACCESS_DENIED, 3},
                    FailureCase{"JavaOptionsMissing", MissingJavaOptions, ERROR_FILE_NOT_FOUND, 4},
                    FailureCase{"OddCodeOnJavaOptions", OddCodeOnJavaOptions, 1018, 4}),
    [](const testing::TestParamInfo<FailureCase> &info) { return info.param.label; });

// One value stored in some way, and what the read makes of it.
struct DeliveryCase
{
    const char *label;
    const char *value;
    DWORD type;
    std::string stored; // raw bytes, terminator included only when written
    LONG expected;
    std::string delivered;
};

// Failures name the case rather than dumping its bytes.
void PrintTo(const DeliveryCase &c, std::ostream *os)
{
    *os << c.label;
}

class LaunchSettingsDelivery : public LaunchSettings,
                               public testing::WithParamInterface<DeliveryCase>
{
};

std::string Text(size_t length, char c)
{
    return std::string(length, c);
}

std::string Terminated(const std::string &text)
{
    return text + std::string(1, '\0');
}

// The text a value ended up as, wherever its read put it; the Java path
// shows JavaDir and JavaName on either side of the other's known text.
std::string Delivered(const Outputs &out, const char *value)
{
    std::string path = out.javaPath;
    if (strcmp(value, "InstallDir") == 0)
    {
        return out.installDir;
    }
    if (strcmp(value, "JavaOptions") == 0)
    {
        return out.options;
    }
    if (strcmp(value, "JavaDir") == 0)
    {
        EXPECT_EQ("\\java.exe", path.substr(path.size() - 9));
        return path.substr(0, path.size() - 9);
    }
    EXPECT_EQ("C:\\j\\", path.substr(0, 5));
    return path.substr(5);
}

TEST_P(LaunchSettingsDelivery, DeliversTheStoredBytesAsText)
{
    const DeliveryCase &c = GetParam();
    StoreString("InstallDir", "C:\\tavrin");
    StoreString("JavaDir", "C:\\j");
    StoreString("JavaName", "java.exe");
    StoreString("JavaOptions", "-Xmx64m");
    StoreBytes(c.value, c.stored, c.type);
    Outputs out;

    ASSERT_EQ(c.expected, out.Read());
    if (c.expected == ERROR_SUCCESS)
    {
        EXPECT_EQ(c.delivered, Delivered(out, c.value));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LaunchSettingsDelivery,
    testing::Values(
        // 99 characters and the terminator fill the 100 bytes offered exactly.
        DeliveryCase{"InstallDir99", "InstallDir", REG_SZ, Terminated(Text(99, 'i')), ERROR_SUCCESS,
                     Text(99, 'i')},
        DeliveryCase{"JavaDir99", "JavaDir", REG_SZ, Terminated(Text(99, 'd')), ERROR_SUCCESS,
                     Text(99, 'd')},
        DeliveryCase{"JavaName99", "JavaName", REG_SZ, Terminated(Text(99, 'n')), ERROR_SUCCESS,
                     Text(99, 'n')},
        DeliveryCase{"JavaOptions99", "JavaOptions", REG_SZ, Terminated(Text(99, 'o')),
                     ERROR_SUCCESS, Text(99, 'o')},
        // With its terminator a 100-character text needs 101 bytes.
        DeliveryCase{"InstallDir100", "InstallDir", REG_SZ, Terminated(Text(100, 'i')),
                     ERROR_MORE_DATA, ""},
        DeliveryCase{"JavaDir100", "JavaDir", REG_SZ, Terminated(Text(100, 'd')), ERROR_MORE_DATA,
                     ""},
        DeliveryCase{"JavaName100", "JavaName", REG_SZ, Terminated(Text(100, 'n')), ERROR_MORE_DATA,
                     ""},
        DeliveryCase{"JavaOptions100", "JavaOptions", REG_SZ, Terminated(Text(100, 'o')),
                     ERROR_MORE_DATA, ""},
        // Stored without a terminator, 100 bytes read as 100 characters and
        // not one byte more.
        DeliveryCase{"InstallDirUnterminated", "InstallDir", REG_SZ, Text(100, 'i'), ERROR_SUCCESS,
                     Text(100, 'i')},
        DeliveryCase{"JavaDirUnterminated", "JavaDir", REG_SZ, Text(100, 'd'), ERROR_SUCCESS,
                     Text(100, 'd')},
        DeliveryCase{"JavaNameUnterminated", "JavaName", REG_SZ, Text(100, 'n'), ERROR_SUCCESS,
                     Text(100, 'n')},
        DeliveryCase{"JavaOptionsUnterminated", "JavaOptions", REG_SZ, Text(100, 'o'),
                     ERROR_SUCCESS, Text(100, 'o')},
        // A short unterminated text must not run on into what the options
        // buffer held before.
        DeliveryCase{"JavaOptionsShortUnterminated", "JavaOptions", REG_SZ, "-Xrs", ERROR_SUCCESS,
                     "-Xrs"},
        // The type is never looked at.
        DeliveryCase{"ExpandNotExpanded", "JavaDir", REG_EXPAND_SZ, Terminated("%JAVA_HOME%\\bin"),
                     ERROR_SUCCESS, "%JAVA_HOME%\\bin"},
        DeliveryCase{"BinaryUpToFirstZero", "JavaOptions", REG_BINARY,
                     std::string("-Xss1m\0junk", 11), ERROR_SUCCESS, "-Xss1m"},
        DeliveryCase{"DwordAsItsBytes", "JavaName", REG_DWORD, "java", ERROR_SUCCESS, "java"},
        // The install directory is taken as stored, trailing backslash or not.
        DeliveryCase{"InstallDirTrailingBackslash", "InstallDir", REG_SZ,
                     Terminated("D:\\Apps\\Tavrin\\"), ERROR_SUCCESS, "D:\\Apps\\Tavrin\\"},
        DeliveryCase{"InstallDirPlain", "InstallDir", REG_SZ, Terminated("D:\\Apps\\Tavrin"),
                     ERROR_SUCCESS, "D:\\Apps\\Tavrin"}),
    [](const testing::TestParamInfo<DeliveryCase> &info) { return info.param.label; });

TEST_F(LaunchSettings, JoinsTheJavaPathWithoutTouchingTheSeam)
{
    struct
    {
        const char *dir;
        const char *name;
        const char *path;
    } const cases[] = {
        {"", "java.exe", "\\java.exe"},
        {"C:\\java\\bin", "", "C:\\java\\bin\\"},
        {"C:\\java\\bin\\", "java.exe", "C:\\java\\bin\\\\java.exe"},
        {"", "", "\\"},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(std::string(c.dir) + " + " + c.name);
        FakePlatformReset();
        StoreUsualSettings();
        StoreString("JavaDir", c.dir);
        StoreString("JavaName", c.name);
        Outputs out;
        ASSERT_EQ(ERROR_SUCCESS, out.Read());
        EXPECT_STREQ(c.path, out.javaPath);
    }
}

class InstallDir : public LaunchSettings
{
  protected:
    char buffer[SETTING_BUFFER_SIZE] = {};
};

TEST_F(InstallDir, ReadsOneValueWithReadAccessAndNoType)
{
    StoreUsualSettings();

    ASSERT_EQ(ERROR_SUCCESS, ReadInstallDir(buffer));
    EXPECT_STREQ("C:\\tavrin", buffer);

    std::vector<FakeRegCall> calls = FakeRegCalls();
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ(FAKE_REG_OPEN, calls[0].kind);
    EXPECT_EQ(HKEY_LOCAL_MACHINE, calls[0].key);
    EXPECT_EQ(KEY, calls[0].name);
    EXPECT_EQ(KEY_READ, calls[0].access);
    EXPECT_EQ(FAKE_REG_QUERY, calls[1].kind);
    EXPECT_EQ("InstallDir", calls[1].name);
    EXPECT_TRUE(calls[1].typeNull);
    EXPECT_TRUE(calls[1].reservedNull);
    EXPECT_EQ(SETTING_READ_BYTES, calls[1].sizeOnEntry);
    EXPECT_EQ(FAKE_REG_CLOSE, calls[2].kind);
    EXPECT_EQ(calls[0].opened, calls[2].key);
}

TEST_F(InstallDir, UnterminatedFullValueEndsInsideTheBuffer)
{
    StoreBytes("InstallDir", Text(100, 'i'));

    ASSERT_EQ(ERROR_SUCCESS, ReadInstallDir(buffer));
    EXPECT_EQ(Text(100, 'i'), std::string(buffer));
}

TEST_F(InstallDir, FailuresLeaveTheBufferEmptyAndCloseOnlyAnOpenedKey)
{
    struct
    {
        const char *label;
        void (*spoil)();
        LONG expected;
        size_t closes;
    } const cases[] = {
        {"key missing", [] {}, ERROR_FILE_NOT_FOUND, 0},
        {"open refused",
         []
         {
             StoreUsualSettings();
             FakeRegFailOpen(ERROR_ACCESS_DENIED);
         },
         ERROR_ACCESS_DENIED, 0},
        {"value missing", [] { FakeRegAddKey(HKEY_LOCAL_MACHINE, KEY); }, ERROR_FILE_NOT_FOUND, 1},
        {"value too long", [] { StoreString("InstallDir", Text(100, 'i')); }, ERROR_MORE_DATA, 1},
        {"read refused",
         []
         {
             StoreUsualSettings();
             FakeRegFailQuery("InstallDir", ERROR_ACCESS_DENIED);
         },
         ERROR_ACCESS_DENIED, 1},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.label);
        FakePlatformReset();
        c.spoil();
        memset(buffer, 0, sizeof(buffer));

        EXPECT_EQ(c.expected, ReadInstallDir(buffer));
        EXPECT_STREQ("", buffer);
        EXPECT_EQ(c.closes, CallsOf(FAKE_REG_CLOSE).size());
        EXPECT_EQ(0, FakeRegOpenKeys());
    }
}
} // namespace
