#include "app/shared_texts.h"

#include <cstdio>

#include "regaddin/regaddin.h"
#include "resources/resource_ids.h"

void RegistrationErrorText(HINSTANCE instance, int code, char *text, int size) {
    int id = 0;
    switch (code) {
    case kRegAddinExcelNotStarted:
        id = IDS_ERR_EXCEL_START;
        break;
    case kRegAddinUnsupportedExcel:
        id = IDS_ERR_EXCEL_VERSION;
        break;
    case kRegAddinNoWorkbooks:
    case kRegAddinWorkbookNotAdded:
    case kRegAddinAddinNotAdded:
        id = IDS_ERR_EXCEL_COMM;
        break;
    case kRegAddinPathNotUpdated:
    case kRegAddinEntriesNotRemoved:
        id = IDS_ERR_REGISTRY;
        break;
    case kRegAddinNoFolder:
    case kRegAddinUninstallEntryFailed:
        id = IDS_ERR_FILE_NOT_FOUND;
        break;
    default: // 8 is no code; 11 and 12 have no text of their own
        std::snprintf(text, size, "Unknown Error (%d)", code);
        return;
    }
    if (LoadStringA(instance, id, text, size) <= 0)
        text[0] = '\0';
}
