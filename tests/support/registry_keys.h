// The registry keys the installer and the uninstaller write and Excel reads, written out once for
// every test that checks them. They are the programs' own names, not read from their code, so
// that a test notices when a program writes somewhere else.
#pragma once
#include <string>

// The Control Panel's uninstall entry of the product (HKLM).
constexpr char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VarnexSPAddin";
// The product's install information: folder, version, build (HKLM).
constexpr char kInfoKey[] = "SOFTWARE\\Varnok\\Varnex\\SpreadsheetAddin";

// Excel's add-in list of one version, per user (HKCU).
inline std::string ExcelOptionsKey(const std::string &version) {
    return "Software\\Microsoft\\Office\\" + version + "\\Excel\\Options";
}
