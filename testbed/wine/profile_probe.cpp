// profile_probe: answers every case of a profile case table with
// GetPrivateProfileStringA and prints one line per case.
//
//   profile_probe <case table> <work folder>
//
// The same source is built for Windows, where the call is the system's own
// (run under Wine), and for the host, where it is the fake platform's; the
// harness compares the two outputs line for line, so the fake
// the unit tests rely on is held to a real implementation.
//
// Case table: one case a line, "name|content|section|key|default|size".
// Lines that are empty or start with '#' are skipped.  In content, section,
// key and default, "\r", "\n", "\t", "\\", "\|" and "\xHH" stand for the
// byte they name.  Content "<missing>" means no file at all; default
// "<null>" passes a null default.
//
// Output: "name: <result> [<buffer text>]", bytes outside printable ASCII
// and the backslash written as \xHH.
#include "platform/win32.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{
const size_t LINE_SIZE = 1024;
const size_t FIELD_SIZE = 512;
const size_t PATH_SIZE = 512;
const size_t RESULT_SIZE = 64; // larger than any size a case asks for
const int FIELD_COUNT = 6;

struct ProfileCase
{
    char name[FIELD_SIZE];
    char content[FIELD_SIZE];
    size_t contentLength;
    char section[FIELD_SIZE];
    char key[FIELD_SIZE];
    char defaultValue[FIELD_SIZE];
    DWORD size;
};

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
    {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f')
    {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F')
    {
        return c - 'A' + 10;
    }
    return -1;
}

// Copies one field of the line, up to an unescaped '|' or its end, into out
// with the escapes resolved.  Returns the position after the field's
// separator, or NULL on a malformed escape or an overlong field; *separated
// tells whether a separator followed.
const char *ReadField(const char *in, char *out, size_t outSize, size_t *length, bool *separated)
{
    size_t n = 0;
    while (*in != '\0' && *in != '|' && *in != '\r' && *in != '\n')
    {
        char c = *in++;
        if (c == '\\')
        {
            char e = *in++;
            switch (e)
            {
            case 'r':
                c = '\r';
                break;
            case 'n':
                c = '\n';
                break;
            case 't':
                c = '\t';
                break;
            case '\\':
            case '|':
                c = e;
                break;
            case 'x':
            {
                int high = HexDigit(in[0]);
                int low = high < 0 ? -1 : HexDigit(in[1]);
                if (low < 0)
                {
                    return NULL;
                }
                c = (char)(high * 16 + low);
                in += 2;
                break;
            }
            default:
                return NULL;
            }
        }
        if (n + 1 >= outSize)
        {
            return NULL;
        }
        out[n++] = c;
    }
    out[n] = '\0';
    if (length != NULL)
    {
        *length = n;
    }
    *separated = *in == '|';
    return *separated ? in + 1 : in;
}

bool ParseCase(const char *line, ProfileCase *c)
{
    char size[FIELD_SIZE];
    char *fields[FIELD_COUNT] = {c->name, c->content, c->section, c->key, c->defaultValue, size};
    const char *at = line;
    bool separated = true;
    for (int i = 0; i < FIELD_COUNT; ++i)
    {
        if (at == NULL || !separated)
        {
            return false;
        }
        at = ReadField(at, fields[i], FIELD_SIZE, i == 1 ? &c->contentLength : NULL, &separated);
    }
    if (at == NULL || separated)
    {
        return false;
    }
    char *end = NULL;
    unsigned long value = strtoul(size, &end, 10);
    if (end == size || *end != '\0' || value >= RESULT_SIZE)
    {
        return false;
    }
    c->size = (DWORD)value;
    return true;
}

void PrintEscaped(const char *text)
{
    for (const unsigned char *p = (const unsigned char *)text; *p != '\0'; ++p)
    {
        if (*p < 0x20 || *p > 0x7e || *p == '\\')
        {
            printf("\\x%02x", *p);
        }
        else
        {
            putchar(*p);
        }
    }
}

bool RunCase(const ProfileCase *c, const char *workDir, char separator, int index)
{
    char path[PATH_SIZE];
    snprintf(path, sizeof path, "%s%ccase_%d.ini", workDir, separator, index);
    remove(path);
    // Each case has a file of its own: a profile reader may cache a file by
    // its name, and two writes within one second look alike.
    if (strcmp(c->content, "<missing>") != 0)
    {
        FILE *file = fopen(path, "wb");
        if (file == NULL || fwrite(c->content, 1, c->contentLength, file) != c->contentLength)
        {
            fprintf(stderr, "profile_probe: cannot write %s\n", path);
            if (file != NULL)
            {
                fclose(file);
            }
            return false;
        }
        fclose(file);
    }

    char result[RESULT_SIZE];
    memset(result, 0, sizeof result);
    const char *defaultValue = strcmp(c->defaultValue, "<null>") == 0 ? NULL : c->defaultValue;
    DWORD count = GetPrivateProfileStringA(c->section, c->key, defaultValue, result, c->size, path);
    printf("%s: %lu [", c->name, (unsigned long)count);
    PrintEscaped(result);
    printf("]\n");
    return true;
}
} // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
    {
        fprintf(stderr, "usage: profile_probe <case table> <work folder>\n");
        return 1;
    }
    // Windows paths name their folders with a backslash, the host's with a
    // slash; the work folder tells which.
    char separator = strchr(argv[2], '\\') != NULL ? '\\' : '/';

    FILE *table = fopen(argv[1], "rb");
    if (table == NULL)
    {
        fprintf(stderr, "profile_probe: cannot read %s\n", argv[1]);
        return 1;
    }
    static ProfileCase c;
    char line[LINE_SIZE];
    int index = 0;
    int failures = 0;
    while (fgets(line, sizeof line, table) != NULL)
    {
        if (line[0] == '#' || line[0] == '\n' || line[0] == '\r' || line[0] == '\0')
        {
            continue;
        }
        ++index;
        if (!ParseCase(line, &c))
        {
            fprintf(stderr, "profile_probe: malformed case on table line: %s", line);
            ++failures;
            continue;
        }
        if (!RunCase(&c, argv[2], separator, index))
        {
            ++failures;
        }
    }
    fclose(table);
    fflush(stdout);
    return failures == 0 ? 0 : 1;
}
