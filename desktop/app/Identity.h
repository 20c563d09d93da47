// Who the program is: the texts it shows about itself and the names under
// which it keeps its settings and its single-instance lock.
#pragma once

inline constexpr char kMakerName[] = "TRELIXONIA";
inline constexpr char kInstanceLockSuffix[] = " ZELNA";
inline constexpr char kVersionLine[] = "RX7.4 Ver 1.3";
inline constexpr char kBuildDate[] = "2008-09-26";
inline constexpr char kNoticeLine[] = "Editor for the RX7.4 unit";

inline constexpr char kSettingsOrganisation[] = "Local AppWizard-Generated Applications";
inline constexpr char kApplicationName[] = "Quenbar";
