// Built into vnx_regaddin only while no target `vnx_excel_flow` provides the Excel half of
// registration (regaddin/excel_flow.h). The installer then reports the run as failed with a code
// that is none of the library's result codes, so no caller can take it for a registration.
#include "regaddin/excel_flow.h"

#include "regaddin/log.h"

namespace {
const int kExcelFlowUnavailable = 13;
}

int RegisterWithExcel(int, const char *, const char *, const char *) {
    LogMessage("Registration with Excel is not available in this build.");
    return kExcelFlowUnavailable;
}

int UnregisterFromExcel(int) {
    LogMessage("Registration with Excel is not available in this build.");
    return kExcelFlowUnavailable;
}
