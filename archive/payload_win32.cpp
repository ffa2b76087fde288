#include "archive/payload_win32.h"

#include <windows.h>
#include <winioctl.h>

#include <cctype>
#include <cerrno>
#include <direct.h>
#include <io.h>

#include "decompress/decompress.h"

uint32_t Win32Payload::ClusterSize(const char *folder) {
    return QueryClusterSize(folder);
}

bool Win32Payload::ToLocalTime(payload::FileTime utc, payload::CalendarTime *local) {
    FILETIME fileTime = {utc.dwLowDateTime, utc.dwHighDateTime};
    SYSTEMTIME utcTime, localTime;
    if (!FileTimeToSystemTime(&fileTime, &utcTime) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &localTime))
        return false;
    *local = {localTime.wYear, localTime.wMonth,  localTime.wDay,
              localTime.wHour, localTime.wMinute, localTime.wSecond};
    return true;
}

bool Win32Payload::MakeFolder(const char *path) {
    if (_mkdir(path) == 0)
        return true;
    if (errno != EEXIST)
        return false;
    // Only a folder will do: a file of that name would let the record count as installed while
    // its folder is missing.
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Payload::ClearReadOnly(const char *path) {
    if (_access(path, 0) != 0)
        return false;
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    SetFileAttributesA(path, (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL);
    return true;
}

int Win32Payload::Decompress(const uint8_t *stream, uint32_t length, const char *path) {
    return DecompressBounded(stream, length, path);
}

void *Win32Payload::OpenFile(const char *path, bool create, unsigned long *errorCode) {
    HANDLE file =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    create ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *errorCode = GetLastError();
        return nullptr;
    }
    return file;
}

uint32_t Win32Payload::WriteFile(void *file, const uint8_t *data, uint32_t length) {
    DWORD written = 0;
    if (!::WriteFile(static_cast<HANDLE>(file), data, length, &written, nullptr))
        return 0;
    return written;
}

void Win32Payload::SetFileTimes(void *file, payload::FileTime time) {
    FILETIME fileTime = {time.dwLowDateTime, time.dwHighDateTime};
    SetFileTime(static_cast<HANDLE>(file), &fileTime, &fileTime, &fileTime);
}

void Win32Payload::CloseFile(void *file) {
    CloseHandle(static_cast<HANDLE>(file));
}

uint32_t QueryClusterSize(const char *folder) {
    if (!folder || !folder[0])
        return 0;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(folder[0])));
    char device[] = "\\\\.\\C:";
    device[4] = letter;
    HANDLE volume = CreateFileA(device, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (volume != INVALID_HANDLE_VALUE) {
        NTFS_VOLUME_DATA_BUFFER data = {};
        DWORD returned = 0;
        const BOOL ok = DeviceIoControl(volume, FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, &data,
                                        sizeof(data), &returned, nullptr);
        CloseHandle(volume);
        if (ok && data.BytesPerCluster > 0)
            return data.BytesPerCluster;
    }
    char root[] = "C:\\";
    root[0] = letter;
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return sectorsPerCluster * bytesPerSector;
    return 0;
}

bool DriveExists(char letter) {
    char text[2] = {letter, '\0'};
    CharUpperA(text);
    const DWORD drives = GetLogicalDrives();
    return ((drives >> ((static_cast<unsigned char>(text[0]) - 'A') & 0x1F)) & 1) != 0;
}
