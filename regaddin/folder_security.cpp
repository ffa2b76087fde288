#include "regaddin/folder_security.h"

#include <aclapi.h>
#include <sddl.h>

namespace folders {

namespace {

// TrustedInstaller's service SID.
#define VNX_TRUSTED_INSTALLER "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
constexpr char kTrustedInstaller[] = VNX_TRUSTED_INSTALLER;
// Owned by Administrators, so that no user who made the folder first keeps an owner's rights;
// full control for SYSTEM and Administrators, folders and files below inheriting it.
constexpr char kAdministratorsOnly[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// Program Files' own: TrustedInstaller too, and Users' read and execute (FILE_GENERIC_READ |
// FILE_GENERIC_EXECUTE).
constexpr char kInstallation[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
                                 "(A;OICI;FA;;;" VNX_TRUSTED_INSTALLER ")"
                                 "(A;OICI;0x1200a9;;;BU)";
#undef VNX_TRUSTED_INSTALLER

bool OwnedBySystem(HANDLE file) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                        nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    bool system = IsWellKnownSid(owner, WinLocalSystemSid) ||
                  IsWellKnownSid(owner, WinBuiltinAdministratorsSid);
    PSID trustedInstaller = nullptr;
    if (!system && ConvertStringSidToSidA(kTrustedInstaller, &trustedInstaller)) {
        system = EqualSid(owner, trustedInstaller) != FALSE;
        LocalFree(trustedInstaller);
    }
    LocalFree(descriptor);
    return system;
}

// Opens a file or folder itself: a link is not followed.
HANDLE OpenItself(const std::string &path, DWORD access) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool IsLink(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info;
    return !GetFileInformationByHandle(file, &info) ||
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

PathPart ProbePart(const std::string &path) {
    PathPart part;
    part.exists = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    part.isLink = part.exists && IsReparsePoint(path);
    if (part.isLink) {
        HANDLE file = OpenItself(path, READ_CONTROL);
        part.ownedBySystem = file != INVALID_HANDLE_VALUE && OwnedBySystem(file);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    return part;
}

} // namespace

bool IsReparsePoint(const std::string &path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

FolderSecurity::FolderSecurity(FolderAccess access) {
    const char *sddl = access == FolderAccess::Installation ? kInstallation : kAdministratorsOnly;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor_,
                                                              nullptr))
        descriptor_ = nullptr;
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
}

FolderSecurity::~FolderSecurity() {
    if (descriptor_)
        LocalFree(descriptor_);
}

bool FolderSecurity::ApplyTo(HANDLE folder) const {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    if (!descriptor_ || !GetSecurityDescriptorDacl(descriptor_, &present, &dacl, &defaulted) ||
        !present || !GetSecurityDescriptorOwner(descriptor_, &owner, &defaulted)) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return false;
    }
    // SetSecurityInfo, unlike SetNamedSecurityInfo, does not walk the folder's contents.
    const DWORD error = SetSecurityInfo(folder, SE_FILE_OBJECT,
                                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                            PROTECTED_DACL_SECURITY_INFORMATION,
                                        owner, nullptr, dacl, nullptr);
    SetLastError(error);
    return error == ERROR_SUCCESS;
}

LinkRefusal RefuseLinksHere(const std::string &folder, std::string *part) {
    return RefuseLinks(folder, ProbePart, part);
}

bool ProtectFolder(const std::string &folder, FolderAccess access, unsigned long *error) {
    const FolderSecurity security(access);
    HANDLE handle = OpenItself(folder, READ_CONTROL | WRITE_DAC | WRITE_OWNER);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    bool done = false;
    if (IsLink(handle))
        SetLastError(ERROR_REPARSE_ATTRIBUTE_CONFLICT);
    else
        done = security.ApplyTo(handle);
    *error = done ? ERROR_SUCCESS : GetLastError();
    CloseHandle(handle);
    return done;
}

} // namespace folders
