// config.ini's bytes, through the profile read and the port conversion, into
// the address the connection is created with.
//
// Whatever the file holds, the address must read ":127.0.0.1:" and a signed
// decimal number, and that number must be what a conversion written here
// independently makes of the port text the profile read delivered.
#include "admin/stop_server.h"

#include "fake_profile.h"
#include "fake_vyx.h"
#include "fuzz_check.h"
#include "fuzz_install.h"

#include <stdint.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

namespace
{
const std::string ADDRESS_HEAD = ":127.0.0.1:";
const char PORT_KEY[] = "TavrinAdminPort";
const size_t PORT_TEXT_SIZE = 8;
// The head and the longest number seven characters hold, "-999999".
const size_t ADDRESS_MAX_CHARS = 18;

const uint8_t PASSWORD[] = {'s', 'e', 'c', 'r', 'e', 't'};

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// White space, one optional sign, then digits up to the first other
// character; no digits gives 0.  Formatted back digit by digit.
std::string ReferencePortNumber(const std::string &text)
{
    size_t at = 0;
    while (at < text.size() && IsSpace(text[at]))
    {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
    {
        negative = text[at] == '-';
        ++at;
    }
    std::string digits;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
    {
        if (!digits.empty() || text[at] != '0')
        {
            digits += text[at];
        }
    }
    if (digits.empty())
    {
        return "0";
    }
    return (negative ? "-" : "") + digits;
}

bool MentionsPortKey(const uint8_t *data, size_t size)
{
    size_t keyLength = strlen(PORT_KEY);
    for (size_t i = 0; i + keyLength <= size; ++i)
    {
        if (strncasecmp(reinterpret_cast<const char *>(data) + i, PORT_KEY, keyLength) == 0)
        {
            return true;
        }
    }
    return false;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzResetWithInstallDir();
    FuzzWriteFile(FuzzInstallFile("pw.fil"), PASSWORD, sizeof PASSWORD);
    FuzzWriteFile(FuzzInstallFile("config.ini"), data, size);

    bool opened = false;
    FUZZ_CHECK(StopServer(&opened) == 0);
    FUZZ_CHECK(opened);

    std::vector<FakeProfileCall> reads = FakeProfileCalls();
    FUZZ_CHECK(reads.size() == 1);
    FUZZ_CHECK(reads[0].size == PORT_TEXT_SIZE);
    FUZZ_CHECK(reads[0].fileName == FuzzInstallFile("config.ini"));
    // The program sees the text up to its first NUL.
    std::string portText = reads[0].returned.c_str();
    FUZZ_CHECK(portText.size() < PORT_TEXT_SIZE);
    if (!MentionsPortKey(data, size))
    {
        FUZZ_CHECK(portText == "8189");
    }

    std::vector<FakeVyxCall> calls = FakeVyxCalls();
    FUZZ_CHECK(!calls.empty() && calls[0].op == FAKE_VYX_CREATE && !calls[0].addressNull);
    const std::string &address = calls[0].address;
    FUZZ_CHECK(address.size() <= ADDRESS_MAX_CHARS);
    FUZZ_CHECK(address.compare(0, ADDRESS_HEAD.size(), ADDRESS_HEAD) == 0);
    std::string number = address.substr(ADDRESS_HEAD.size());
    size_t firstDigit = number.compare(0, 1, "-") == 0 ? 1 : 0;
    FUZZ_CHECK(number.size() > firstDigit);
    FUZZ_CHECK(number.find_first_not_of("0123456789", firstDigit) == std::string::npos);
    FUZZ_CHECK(number == ReferencePortNumber(portText));
    return 0;
}
