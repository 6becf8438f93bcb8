// File-system operations the stores need, with the crash-safety guarantees they rely on.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Folder of the running executable, ending with the path separator.
std::string ExecutableDir();

// The line end a new text file gets on this system.
std::string_view NativeLineEnd();

bool FileExists(const std::string& path);

// Reads a whole file. False when it cannot be opened or read; a missing file sets `missing`.
bool ReadWholeFile(const std::string& path, std::string& data, bool* missing = nullptr);

// Writes `data` to a new file beside `path`, flushes it to disk and renames it over `path`,
// so a crash or kill at any moment leaves either the old or the new content, never a mix.
bool ReplaceFileAtomically(const std::string& path, std::string_view data);

// Creates `path` empty, replacing any existing file.
bool CreateEmptyFile(const std::string& path);

bool RemoveFile(const std::string& path);

// Folder part of `path`, ending with a separator; empty when `path` names no folder.
std::string FolderOf(const std::string& path);

} // namespace platform
