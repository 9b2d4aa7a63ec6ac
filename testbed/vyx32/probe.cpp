// A Windows program that binds every transport operation through the import
// library, so that its import table can be checked, and that checks under
// Wine that the operations it reaches answer an empty handle with
// VYX_INVALID_HANDLE.  Exit code 0 when they all do.
#include "admin/vyx32.h"

#include <stdio.h>

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
} // namespace

int main()
{
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
