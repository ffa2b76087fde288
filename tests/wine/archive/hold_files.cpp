// Helper process of the extraction tests: opens the files named on its command line for reading,
// sharing read access only, so that nobody else may write them; signals the named event READY and
// keeps the files open until the named event RELEASE is set (or 60 seconds pass).
//
//   hold_files READY RELEASE PATH...
#include <windows.h>

#include <vector>

int main(int argc, char **argv) {
    if (argc < 4)
        return 2;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
    if (ready == nullptr || release == nullptr)
        return 3;
    std::vector<HANDLE> files;
    for (int i = 3; i < argc; ++i) {
        HANDLE file = CreateFileA(argv[i], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 4;
        files.push_back(file);
    }
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    for (HANDLE file : files)
        CloseHandle(file);
    CloseHandle(ready);
    CloseHandle(release);
    return 0;
}
