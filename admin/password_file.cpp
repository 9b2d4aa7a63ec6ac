#include "admin/password_file.h"

#include "platform/win32.h"

#include <stdio.h>

namespace
{
const char CR = '\r';
const char LF = '\n';
const char END_OF_TEXT = 0x1A;

// A translated character takes at most two bytes of the file (CR LF), so
// this many bytes always yield every character the password can hold, and a
// CR among them that could still pair with an LF has that LF inside too.
const size_t RAW_READ_SIZE = 2 * PASSWORD_MAX_CHARS;
} // namespace

size_t TranslateTextBytes(const char *raw, size_t rawLength, char *text, size_t maxChars)
{
    size_t stored = 0;
    size_t i = 0;
    while (i < rawLength && stored < maxChars)
    {
        char c = raw[i++];
        if (c == END_OF_TEXT)
        {
            break;
        }
        if (c == CR && i < rawLength && raw[i] == LF)
        {
            c = LF;
            ++i;
        }
        text[stored++] = c;
    }
    return stored;
}

bool ReadPasswordFile(const char *path, char *password)
{
    FILE *file = fopen(path, "rb");
    if (file == NULL)
    {
        return false;
    }
    // Unbuffered, so that no copy of the password stays behind in a stream
    // buffer we cannot wipe (and the library allocates none).
    setvbuf(file, NULL, _IONBF, 0);

    char raw[RAW_READ_SIZE];
    size_t rawLength = fread(raw, 1, sizeof raw, file);
    fclose(file);

    size_t length = TranslateTextBytes(raw, rawLength, password, PASSWORD_MAX_CHARS);
    password[length] = '\0';
    SecureZeroMemory(raw, sizeof raw);
    return true;
}
