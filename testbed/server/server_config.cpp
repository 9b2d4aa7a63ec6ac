#include "server_config.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{
const size_t LINE_SIZE = 1024;
const size_t PORT_TEXT_CHARS = 7; // what the service's 8-byte buffer keeps
const char SECTION[] = "TAVRIN_ADMINISTRATION";
const char KEY[] = "TavrinAdminPort";

// Trims blanks in place; returns the first kept character.
char *Trim(char *text)
{
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n')
    {
        ++text;
    }
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t' ||
                          text[length - 1] == '\r' || text[length - 1] == '\n'))
    {
        text[--length] = '\0';
    }
    return text;
}

bool SameName(const char *a, const char *b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
    {
        if (tolower((unsigned char)*a) != tolower((unsigned char)*b))
        {
            return false;
        }
    }
    return *a == *b;
}

int PortFromValue(char *value)
{
    size_t length = strlen(value);
    if (length >= 2 && (value[0] == '"' || value[0] == '\'') && value[length - 1] == value[0])
    {
        value[length - 1] = '\0';
        ++value;
    }
    char text[PORT_TEXT_CHARS + 1];
    snprintf(text, sizeof text, "%s", value);
    return (int)strtol(text, NULL, 10);
}
} // namespace

int ReadAdminPort(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (file == NULL)
    {
        return SERVER_DEFAULT_PORT;
    }
    int port = SERVER_DEFAULT_PORT;
    bool inSection = false;
    bool sectionSeen = false;
    char line[LINE_SIZE];
    while (fgets(line, sizeof line, file) != NULL)
    {
        char *text = Trim(line);
        if (*text == '[')
        {
            if (inSection)
            {
                break; // only the first section of the name counts
            }
            char *close = strchr(text, ']');
            if (close != NULL)
            {
                *close = '\0';
            }
            inSection = !sectionSeen && SameName(Trim(text + 1), SECTION);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        char *equals = strchr(text, '=');
        if (!inSection || equals == NULL)
        {
            continue;
        }
        *equals = '\0';
        if (SameName(Trim(text), KEY))
        {
            port = PortFromValue(Trim(equals + 1));
            break;
        }
    }
    fclose(file);
    return port;
}

int ComposeStopRequest(const char *password, char *request, size_t size)
{
    int length = snprintf(request, size, "0,\"77\"1040,\"%s\"99,\"\"", password);
    return length < 0 || (size_t)length >= size ? -1 : length;
}
