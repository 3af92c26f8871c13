#pragma once

// Facts of this release, fixed at build time; start-up prints them and the windows show them.
namespace AppInfo {

inline constexpr const char* ProductComment = "Vesk DRAQ Direct Server-Side Interface to Senvista Database";
inline constexpr const char* Title = "Vesk_DRAQ_K48213_Interface";
inline constexpr int VersionMajor = 1;
inline constexpr int VersionMinor = 1;
inline constexpr int VersionRevision = 0;
inline constexpr const char* Build = "165";
inline constexpr int ProductNumber = 48213;
inline constexpr const char* ProductId = "K48213";
inline constexpr const char* TypeBuild = "66";
inline constexpr const char* PlatformBuild = "149";
inline constexpr const char* HelpFileName = "help.chm";

} // namespace AppInfo
