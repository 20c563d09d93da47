// The texts and captions the memory dialogs show, exactly as the user sees them.
#pragma once

namespace memory_text {

inline constexpr char kApplicationTitle[] = "Quenbar";

// The memory dialog's string table.
inline constexpr char kFailureCaption[] = "MQX-71";
inline constexpr char kSelectProgram[] = "Please select a program!";
inline constexpr char kOverwriteQuestion[] = "Do you want to overwrite?";
inline constexpr char kOverwriteCaption[] = "Warning";
inline constexpr char kStoreFailed[] = "Fail to store to memory !";
inline constexpr char kRecallFailed[] = "Fail to read from MCU !";
inline constexpr char kEraseFailed[] = "Fail to erase from memory!";

// The store dialog.
inline constexpr char kStoreLabel[] = "Memory No:%d";
inline constexpr char kDefaultStoreName[] = "Preset";

// The memory file.
inline constexpr char kFileFilter[] = "Memory File(*.cmf)";
inline constexpr char kFileSuffix[] = "cmf";
inline constexpr char kErrorCaption[] = "Error";
inline constexpr char kOpenFailed[] = "Fail to open file.";
inline constexpr char kWriteFailed[] = "Fail to write file.";
inline constexpr char kSaveCaption[] = "SaveFile";
inline constexpr char kSaved[] = "Save memory data to File.";
inline constexpr char kFormatError[] = "File format error!";
inline constexpr char kDownloadFailed[] = "fail to download program data to unit!";
inline constexpr char kLoadCaption[] = "Load File";
inline constexpr char kLoaded[] = "Load from file ok!";

}  // namespace memory_text
