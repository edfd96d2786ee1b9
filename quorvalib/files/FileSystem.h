#pragma once

// Path and file-system functions. Paths are "/"-separated UTF-8.

#include <cstdint>

#include "quorvalib/files/Astring.h"

namespace quorvalib::files {

// The path exists (symbolic links followed).
bool FileExists(const Astring& path);
// It exists and is a directory.
bool IsDirectory(const Astring& path);
// True if the directory exists or was created (one level).
bool MakeDirectory(const Astring& path);
// Removes everything inside the directory; the directory itself stays. Stops at the first
// failure and returns false.
bool RemoveTree(const Astring& directory);
bool DeleteFile(const Astring& path);
// Moves or renames; an existing target is replaced. Across volumes a file is copied and the
// source removed.
bool MoveFile(const Astring& from, const Astring& to);
// Bytes free for the caller on the path's volume; all bits set on failure.
uint64_t FreeSpace(const Astring& path);
// The user's documents folder with a trailing "/"; false when the platform gives none.
bool GetDocumentsFolder(Astring& folder);

}  // namespace quorvalib::files
