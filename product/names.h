// The names the product is known by on the machine: its registry keys, folders and files, the
// installer's own version, and the window class that tells that Excel runs. The installer, the
// uninstaller, the registration library and the payload builder all take them from here, so
// that what one program writes the other finds.
#pragma once

namespace product {

// The maker's key under HKEY_LOCAL_MACHINE and the key below it that holds one record of
// installation information per product (formatted with the product's record name).
constexpr char kMakerKey[] = "SOFTWARE\\Varnok";
constexpr char kInstallInfoKey[] = "SOFTWARE\\Varnok\\Varnex";
constexpr char kInstallInfoKeyFormat[] = "SOFTWARE\\Varnok\\Varnex\\%s";

// The Control Panel's entry of one product, formatted with the product's key name.
constexpr char kUninstallKeyFormat[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s";

// The user's settings below the application-data folder, and the maker's folder that holds
// them (the default installation folder has a folder of the same name).
constexpr char kMakerFolder[] = "Varnok";
constexpr char kSettingsFolder[] = "Varnok\\VarnexSpreadsheetAddin";
// The user's configuration files: installed beside the add-in by older releases, moved to the
// settings folder on an upgrade, and never removed.
constexpr char kPreferencesFile[] = "tarvelo.prefs";
constexpr char kConnectionsFile[] = "tarvelo.con";

// Files in the installation folder that no list names: the installer's log, the marker the
// registration writes for the add-in, and the uninstaller the build adds at the root.
constexpr char kInstallLogName[] = "install.log";
constexpr char kMarkerFileName[] = "install.sem";
constexpr char kUninstallerName[] = "Uninstall.exe";

// The installer's own version, apart from the product's: the version box and the log show it.
constexpr char kInstallerVersion[] = "1.7";

// The class of Excel's main window: one of them open means that Excel runs.
constexpr char kExcelWindowClass[] = "XLMain";

} // namespace product
