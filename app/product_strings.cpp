// The product strings the installer loads at start-up from its string table.
#include <cstdio>
#include <cstdlib>

#include "app/installer_state.h"
#include "resources/resource_ids.h"

namespace {

// The entries of the string table that start-up loads; the others are loaded where they are used.
const int kStartupIds[] = {1,  2,  3,  5,  6,  8,  9,  10, 11, 14, 15, 16, 18, 19, 20, 23, 27,
                           28, 30, 31, 40, 43, 44, 45, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58};

} // namespace

void LoadProductStrings(InstallerState &state, HINSTANCE instance) {
    for (int id : kStartupIds)
        LoadStringA(instance, id, state.strings[id], kStringCapacity);

    // The release line shown by the welcome dialog: version, build and build date filled in.
    char *line = static_cast<char *>(std::malloc(kStringCapacity));
    if (!line)
        return; // id 30 keeps its unfilled text
    auto &strings = state.strings;
    std::snprintf(line, kStringCapacity, strings[IDS_RELEASE_LINE], strings[IDS_PRODUCT_VERSION],
                  strings[IDS_PRODUCT_BUILD], strings[IDS_BUILD_DATE]);
    std::snprintf(strings[IDS_RELEASE_LINE], kStringCapacity, "%s", line);
    std::free(line);
}
