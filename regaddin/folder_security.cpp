#include "regaddin/folder_security.h"

#include <aclapi.h>
#include <sddl.h>

namespace folders {

namespace {

// Full control for SYSTEM and Administrators, folders and files below inheriting it.
constexpr char kAdministratorsOnly[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// Program Files' own: TrustedInstaller's service SID too, and Users' read and execute
// (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE).
constexpr char kInstallation[] =
    "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
    "(A;OICI;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
    "(A;OICI;0x1200a9;;;BU)";

} // namespace

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
    if (!descriptor_ || !GetSecurityDescriptorDacl(descriptor_, &present, &dacl, &defaulted) ||
        !present)
        return false;
    // SetSecurityInfo, unlike SetNamedSecurityInfo, does not walk the folder's contents.
    return SetSecurityInfo(folder, SE_FILE_OBJECT,
                           DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                           nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

} // namespace folders
