#include "app/version_box.h"

#include <cstdio>

#include "app/command_line.h"
#include "product/names.h"
#include "resources/resource_ids.h"

bool ParseCommandLine(InstallerState &state, const char *commandLine) {
    switch (ClassifyCommandLine(commandLine)) {
    case CommandLineRequest::Install:
        return false;
    case CommandLineRequest::Version: {
        char caption[kStringCapacity + 32];
        std::snprintf(caption, sizeof(caption), "%s  (v%s)", state.ProductString(IDS_CAPTION),
                      product::kInstallerVersion);
        char text[4 * kStringCapacity + 32];
        std::snprintf(text, sizeof(text), "Version %s  (build %s  -  %s)\n\n%s",
                      state.ProductString(IDS_PRODUCT_VERSION),
                      state.ProductString(IDS_PRODUCT_BUILD), state.ProductString(IDS_BUILD_DATE),
                      state.ProductString(IDS_COPYRIGHT));
        MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONINFORMATION);
        return true;
    }
    case CommandLineRequest::TestMode:
        state.testMode = 1;
        return false;
    case CommandLineRequest::Invalid:
        break;
    }
    MessageBoxA(nullptr, "Invalid command line option!", state.ProductString(IDS_CAPTION),
                MB_OK | MB_ICONERROR);
    return true;
}
