// A Windows program that binds every transport operation through the import
// library, so that its import table can be checked.  Run without arguments,
// it checks that the operations answer an empty handle with
// VYX_INVALID_HANDLE; run as "vyx32_probe :host:port text", it sends the text
// as one frame and prints the one frame that comes back.  Exit code 0 when
// all went as expected.
#include "admin/vyx32.h"

#include <stdio.h>
#include <string.h>

namespace
{
int Check(const char *operation, int result, int expected)
{
    if (result == expected)
    {
        return 0;
    }
    printf("%s gave %d, expected %d\n", operation, result, expected);
    return 1;
}

const int REPLY_SIZE = 4096;
const int PROBE_TIMEOUT = 5; // seconds

int Exchange(const char *address, const char *text)
{
    VYXHANDLE h = CreateVYX(address);
    if (h == 0)
    {
        printf("CreateVYX refused %s\n", address);
        return 1;
    }
    int failures = 0;
    failures += Check("SetVYXItemInt", SetVYXItemInt(h, CI_FRAMING, 1), 0);
    failures += Check("SetVYXItemInt", SetVYXItemInt(h, CI_TIMEOUT, PROBE_TIMEOUT), 0);
    failures += Check("OpenVYX", OpenVYX(h), 0);
    failures += Check("SendVYX", SendVYX(h, text, static_cast<int>(strlen(text)), 0, 0), 0);
    char reply[REPLY_SIZE];
    int received = ReceiveVYX(h, reply, REPLY_SIZE, 0, 0);
    if (received > 0)
    {
        printf("%.*s\n", received, reply);
    }
    else
    {
        int kind = 0;
        int number = 0;
        GetVYXItemInt(h, CI_LAST_ERROR_KIND, &kind);
        GetVYXItemInt(h, CI_LAST_SYSTEM_ERROR, &number);
        printf("ReceiveVYX gave %d (kind %d, system error %d)\n", received, kind, number);
        ++failures;
    }
    failures += Check("CloseVYX", CloseVYX(h), 0);
    failures += Check("DestroyVYX", DestroyVYX(h), 0);
    return failures == 0 ? 0 : 1;
}
} // namespace

int main(int argc, char **argv)
{
    if (argc == 3)
    {
        return Exchange(argv[1], argv[2]);
    }

    char buffer[16] = {0};
    int value = 0;
    int failures = 0;
    failures += Check("CreateVYX", CreateVYX("no colon"), 0);
    failures += Check("SetVYXItemInt", SetVYXItemInt(0, CI_FRAMING, 1), VYX_INVALID_HANDLE);
    failures += Check("OpenVYX", OpenVYX(0), VYX_INVALID_HANDLE);
    failures += Check("SendVYX", SendVYX(0, buffer, 1, 0, 0), VYX_INVALID_HANDLE);
    failures += Check("ReceiveVYX", ReceiveVYX(0, buffer, sizeof buffer, 0, 0), VYX_INVALID_HANDLE);
    failures += Check("CloseVYX", CloseVYX(0), VYX_INVALID_HANDLE);
    failures += Check("DestroyVYX", DestroyVYX(0), VYX_INVALID_HANDLE);
    failures +=
        Check("GetVYXItemInt", GetVYXItemInt(0, CI_LAST_ERROR_KIND, &value), VYX_INVALID_HANDLE);
    return failures == 0 ? 0 : 1;
}
