// Every result code Pellmar returns, with its one meaning across the program. Operations
// return 0 on success, a positive code on failure and -1 only for a cancelled save dialog.
#pragma once

namespace rc {

constexpr int kCancelled = -1;         // the user cancelled the save dialog
constexpr int kOk = 0;                 // success
constexpr int kCannotOpen = 1;         // the file cannot be opened for reading or writing
constexpr int kMalformed = 2;          // the file is not a well-formed 20.2.0.7 NIF
constexpr int kWriteFailed = 3;        // writing, flushing, closing or renaming the output failed
constexpr int kNotRegularFile = 4;     // the save target exists and is not a regular file
constexpr int kInconsistent = 5;       // the file's tables or block sizes disagree; nothing written
constexpr int kUnsupportedForm = 6;    // the input is neither in the Blender nor in the game form
constexpr int kUnsafeOpaqueBlock = 7;  // an opaque block would be written corrupt by the conversion
constexpr int kNoInput = 8;            // no input file was loaded
constexpr int kBadLibrary = 9;         // the shader library is missing or not in the game form
constexpr int kOutputIsInput = 10;     // the output would replace the input file itself
constexpr int kContentChanged = 11;    // the output would not keep the input's meshes; not written
constexpr int kDamagedArchive = 12;    // an archive's records or an entry's data are damaged
constexpr int kUnsupportedArchive = 13;  // not a BSA archive of version 104 or 105 for PC
constexpr int kUnsafeEntryPath = 14;     // an archive entry's path would leave the output folder
constexpr int kInterrupted = 15;  // interrupted while the output was written; nothing written

}  // namespace rc
