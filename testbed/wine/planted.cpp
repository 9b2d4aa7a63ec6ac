// planted: a program that must never run.  The blank-path scenario puts it
// at C:\Program.exe, where Windows looks first when a command line starts
// with an unquoted "C:\Program Files\..."; if it runs it leaves C:\planted.txt
// with its command line, so the harness can tell.
#include <windows.h>

#include <stdio.h>

int main()
{
    FILE *marker = fopen("C:\\planted.txt", "wb");
    if (marker != NULL)
    {
        fprintf(marker, "%s\n", GetCommandLineA());
        fclose(marker);
    }
    return 0;
}
