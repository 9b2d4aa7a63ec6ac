// pw.fil's bytes, through the password reader, into the stop request that
// goes out on the wire.
//
// Each input is written as the password file of a fresh installation; one
// stop run must send exactly the fixed head, the password as the file's text
// gives it and the fixed tail.  The expected password comes from a reference
// translation written here independently of the reader.
#include "admin/password_file.h"
#include "admin/stop_server.h"

#include "fake_eventlog.h"
#include "fake_vyx.h"
#include "fuzz_check.h"
#include "fuzz_install.h"

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{
const std::string REQUEST_HEAD = "0,\"77\"1040,\"";
const std::string REQUEST_TAIL = "\"99,\"\"";

// Text-mode reading by the plainest means: the text ends at the first 0x1A,
// every CR LF becomes LF, and nothing else changes.
std::string ReferenceText(const uint8_t *data, size_t size)
{
    std::string raw(reinterpret_cast<const char *>(data), size);
    raw = raw.substr(0, raw.find('\x1a'));
    std::string text;
    size_t at = 0;
    for (size_t crlf = raw.find("\r\n"); crlf != std::string::npos; crlf = raw.find("\r\n", at))
    {
        text += raw.substr(at, crlf - at) + "\n";
        at = crlf + 2;
    }
    return text + raw.substr(at);
}

// The password: the first PASSWORD_MAX_CHARS characters of the text, up to
// the first NUL among them.
std::string ReferencePassword(const std::string &text)
{
    std::string password = text.substr(0, PASSWORD_MAX_CHARS);
    return password.substr(0, password.find('\0'));
}

// The translation on its own, into a buffer of exactly maxChars bytes so
// that the sanitizer sees any write past it.
void CheckTranslation(const uint8_t *data, size_t size, const std::string &text, size_t maxChars)
{
    std::vector<char> out(maxChars);
    size_t stored =
        TranslateTextBytes(reinterpret_cast<const char *>(data), size, out.data(), maxChars);
    FUZZ_CHECK(stored <= maxChars);
    FUZZ_CHECK(std::string(out.data(), stored) == text.substr(0, maxChars));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text = ReferenceText(data, size);
    CheckTranslation(data, size, text, PASSWORD_MAX_CHARS);
    CheckTranslation(data, size, text, size);

    FuzzResetWithInstallDir();
    FuzzWriteFile(FuzzInstallFile("pw.fil"), data, size);

    bool opened = false;
    FUZZ_CHECK(StopServer(&opened) == 0);
    FUZZ_CHECK(opened);
    // With every transport step succeeding the run has nothing to report.
    FUZZ_CHECK(FakeEventLogCalls().empty());

    std::vector<FakeVyxCall> calls = FakeVyxCalls();
    std::vector<FakeVyxOp> ops = FakeVyxOps();
    const std::vector<FakeVyxOp> expectedOps = {
        FAKE_VYX_CREATE, FAKE_VYX_SET_ITEM, FAKE_VYX_SET_ITEM, FAKE_VYX_OPEN,
        FAKE_VYX_SEND,   FAKE_VYX_RECEIVE,  FAKE_VYX_CLOSE,    FAKE_VYX_DESTROY};
    FUZZ_CHECK(ops == expectedOps);

    const FakeVyxCall &send = calls[4];
    std::string expected = REQUEST_HEAD + ReferencePassword(text) + REQUEST_TAIL;
    FUZZ_CHECK(send.length >= 0 && static_cast<size_t>(send.length) == send.sent.size());
    FUZZ_CHECK(send.sent.size() <= REQUEST_HEAD.size() + PASSWORD_MAX_CHARS + REQUEST_TAIL.size());
    FUZZ_CHECK(send.sent == expected);
    return 0;
}
