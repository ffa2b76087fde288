// The registration run behind RegAddin_Install and RegAddin_Uninstall.
#pragma once

enum class RegistrationDirection { kInstall, kUninstall };

// The add-in file name used when the caller passes none.
constexpr const char *kDefaultAddinFile = "QUBRIX.xla";

// Checks the folder and the add-in file in it, runs the PATH step when asked (install with
// kRegAddinAddToPath), and hands over to the Excel half (regaddin/excel_flow.h). Returns a
// RegAddinResult code; logs through LogMessage.
int RunRegistration(RegistrationDirection direction, int flags, const char *folder,
                    const char *addinFile);
