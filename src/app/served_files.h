#pragma once
// The files the servers publish for the wizard: what fetches them and what
// checks their digests both stand on this table.

namespace kelvara {

// A file the wizard fetches from the active file base: the address is the
// base + remoteName, the local path the work directory + "\" + localName.
struct ServedFile {
  const char* remoteName;
  const char* localName;
  bool program;  // started by the wizard
};

inline constexpr ServedFile ALIVE = {"alive", "alive_tmp", false};
inline constexpr ServedFile IMAGING_PROBE = {"ImagingProbe.exe", "ImagingProbe.exe", true};
inline constexpr ServedFile WIC_PACKAGE = {"wic_x86_chs.exe", "wic_x86_chs.exe", true};
inline constexpr ServedFile INSTALLER_PROBE = {"InstallerProbe.exe", "InstallerProbe.exe", true};
inline constexpr ServedFile MSI_PACKAGE = {"WindowsInstaller.exe", "WindowsInstaller.exe", true};
// The servers publish the wizard under a name with a leading slash, so its
// address has "//"; they rely on that request path.
inline constexpr ServedFile SETUP_WIZARD = {"/SetupWizard.exe", "SetupWizard.exe", true};
inline constexpr ServedFile UNRAR_DLL = {"unrar.dll", "unrar.dll", false};
inline constexpr ServedFile MIRROR_LIST = {"MirrorList.txt", "MirrorList.txt", false};
inline constexpr ServedFile CLIENT_SETUP = {"ClientSetup.exe", "ClientSetup.exe", true};
inline constexpr const char* DOTNET4_PACKAGE_NAME = "NetFx40.exe";

inline constexpr ServedFile SERVED_FILES[] = {ALIVE,           IMAGING_PROBE, WIC_PACKAGE,
                                              INSTALLER_PROBE, MSI_PACKAGE,   SETUP_WIZARD,
                                              UNRAR_DLL,       MIRROR_LIST,   CLIENT_SETUP};

}  // namespace kelvara
