#include "app/command_line.h"

#include <cstring>

CommandLineRequest ClassifyCommandLine(const char *text) {
    if (!text || text[0] == '\0')
        return CommandLineRequest::Install;
    if ((text[0] == '-') && (text[1] == 'v' || text[1] == 'V') && text[2] == '\0')
        return CommandLineRequest::Version;
    if ((text[0] == '-' || text[0] == '/') && (text[1] == 't' || text[1] == 'T') && text[2] == '\0')
        return CommandLineRequest::TestMode;
    return CommandLineRequest::Invalid;
}
