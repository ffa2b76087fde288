#include "app/installer_state.h"

#include <cstdio>
#include <cstdlib>

#include "resources/resource_ids.h"

InstallerState g_state;

namespace {

char g_strings[kStringCount][kStringCapacity];

// The entries of the string table that start-up loads; the others are loaded where they are used.
const int kStartupIds[] = {1,  2,  3,  5,  6,  8,  9,  10, 11, 14, 15, 16, 18, 19, 20, 23, 27,
                           28, 30, 31, 40, 43, 44, 45, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58};

} // namespace

const char *ProductString(int id) {
    return (id >= 0 && id < kStringCount) ? g_strings[id] : "";
}

const char *LoadResString(int id, char *buffer, int size) {
    if (LoadStringA(g_state.instance, id, buffer, size) <= 0)
        buffer[0] = '\0';
    return buffer;
}

void LoadProductStrings(HINSTANCE instance) {
    for (int id : kStartupIds)
        LoadStringA(instance, id, g_strings[id], kStringCapacity);

    // The release line shown by the welcome dialog: version, build and build date filled in.
    char *line = static_cast<char *>(std::malloc(kStringCapacity));
    if (!line)
        return; // id 30 keeps its unfilled text
    std::snprintf(line, kStringCapacity, g_strings[IDS_RELEASE_LINE],
                  g_strings[IDS_PRODUCT_VERSION], g_strings[IDS_PRODUCT_BUILD],
                  g_strings[IDS_BUILD_DATE]);
    std::snprintf(g_strings[IDS_RELEASE_LINE], kStringCapacity, "%s", line);
    std::free(line);
}
