// The four launch settings as arbitrary registry values (any bytes, any
// length, any type, or missing, or failing to read) into the command line and
// the working directory.
//
// Input layout: one byte for the key (present, missing, or its open failing),
// then for each value in turn, InstallDir, JavaDir, JavaName, JavaOptions,
// one control byte (stored, missing or failing; which type or code), one
// length byte and that many data bytes, fewer when the input runs out.
#include "launch/launch.h"

#include "fake_platform.h"
#include "fake_registry.h"
#include "fuzz_check.h"

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{
const char *const VALUE_NAMES[] = {"InstallDir", "JavaDir", "JavaName", "JavaOptions"};
const size_t VALUE_COUNT = sizeof VALUE_NAMES / sizeof VALUE_NAMES[0];
enum
{
    INSTALL_DIR,
    JAVA_DIR,
    JAVA_NAME,
    JAVA_OPTIONS
};

const DWORD VALUE_TYPES[] = {REG_SZ,       REG_EXPAND_SZ, REG_BINARY, REG_DWORD,
                             REG_MULTI_SZ, REG_NONE,      0x12345u};
const LONG FAILURE_CODES[] = {ERROR_ACCESS_DENIED, ERROR_INVALID_PARAMETER, 1018, -1};
const DWORD READ_LIMIT = 100;
const std::string MAIN_CLASS = "com.lumora.api.Tavrin";
const char UNTOUCHED = '#';

enum Mode
{
    STORED,
    MISSING,
    FAILING
};

struct Reader
{
    const uint8_t *data;
    size_t size;
    size_t at;

    uint8_t Byte()
    {
        return at < size ? data[at++] : 0;
    }
    std::string Bytes(size_t count)
    {
        size_t n = count < size - at ? count : size - at;
        std::string bytes(reinterpret_cast<const char *>(data + at), n);
        at += n;
        return bytes;
    }
};

Mode ModeOf(uint8_t control)
{
    switch (control & 3)
    {
    case 1:
        return MISSING;
    case 2:
        return FAILING;
    default:
        return STORED;
    }
}

LONG CodeOf(uint8_t control)
{
    return FAILURE_CODES[(control >> 2) % (sizeof FAILURE_CODES / sizeof FAILURE_CODES[0])];
}

// What a program sees of stored bytes: the text up to the first NUL.
std::string Text(const std::string &bytes)
{
    return bytes.substr(0, bytes.find('\0'));
}

std::string ExpectedJavaPart(const std::string &javaPath)
{
    bool quoted = javaPath.find_first_of(" \t") != std::string::npos &&
                  javaPath.find('"') == std::string::npos;
    return quoted ? "\"" + javaPath + "\"" : javaPath;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FakePlatformReset();
    Reader in = {data, size, 0};

    // The code the whole build must give back: that of the first thing that
    // fails, in the fixed order key, InstallDir, JavaDir, JavaName, JavaOptions.
    LONG expected = ERROR_SUCCESS;
    uint8_t key = in.Byte();
    if (ModeOf(key) == MISSING)
    {
        expected = ERROR_FILE_NOT_FOUND;
    }
    else if (ModeOf(key) == FAILING)
    {
        FakeRegFailOpen(CodeOf(key));
        expected = CodeOf(key);
    }
    else
    {
        FakeRegAddKey(HKEY_LOCAL_MACHINE, SETTINGS_KEY);
    }

    std::string texts[VALUE_COUNT];
    for (size_t i = 0; i < VALUE_COUNT; ++i)
    {
        uint8_t control = in.Byte();
        LONG code = ERROR_SUCCESS;
        if (ModeOf(control) == MISSING)
        {
            code = ERROR_FILE_NOT_FOUND;
        }
        else if (ModeOf(control) == FAILING)
        {
            code = CodeOf(control);
            FakeRegFailQuery(VALUE_NAMES[i], code);
        }
        else
        {
            std::string bytes = in.Bytes(in.Byte());
            DWORD type = VALUE_TYPES[(control >> 2) % (sizeof VALUE_TYPES / sizeof VALUE_TYPES[0])];
            if (ModeOf(key) == STORED)
            {
                FakeRegSetValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, VALUE_NAMES[i], type,
                                bytes.data(), bytes.size());
            }
            code = bytes.size() > READ_LIMIT ? ERROR_MORE_DATA : ERROR_SUCCESS;
            texts[i] = Text(bytes);
        }
        if (expected == ERROR_SUCCESS)
        {
            expected = code;
        }
    }

    // The caller's buffers at exactly their sizes, so that the sanitizer sees
    // any access past them.
    std::vector<char> commandLine(LAUNCH_COMMAND_SIZE, UNTOUCHED);
    std::vector<char> workDir(LAUNCH_DIR_SIZE, 0);
    LONG result = BuildLaunchCommand(commandLine.data(), workDir.data());

    FUZZ_CHECK(result == expected);
    FUZZ_CHECK(FakeRegOpenKeys() == 0);
    if (result != ERROR_SUCCESS)
    {
        FUZZ_CHECK(commandLine == std::vector<char>(LAUNCH_COMMAND_SIZE, UNTOUCHED));
        return 0;
    }

    FUZZ_CHECK(memchr(commandLine.data(), '\0', commandLine.size()) != NULL);
    FUZZ_CHECK(memchr(workDir.data(), '\0', workDir.size()) != NULL);
    std::string line = commandLine.data();
    std::string javaPart = ExpectedJavaPart(texts[JAVA_DIR] + "\\" + texts[JAVA_NAME]);
    FUZZ_CHECK(line.compare(0, javaPart.size(), javaPart) == 0);
    FUZZ_CHECK(line.size() > MAIN_CLASS.size() &&
               line.compare(line.size() - MAIN_CLASS.size() - 1, std::string::npos,
                            " " + MAIN_CLASS) == 0);
    FUZZ_CHECK(line == javaPart + " " + texts[JAVA_OPTIONS] + " " + MAIN_CLASS);
    FUZZ_CHECK(std::string(workDir.data()) == texts[INSTALL_DIR]);
    return 0;
}
