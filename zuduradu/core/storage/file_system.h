// Small file-system services the write path needs beyond the standard library:
// a file's identity, following a link to the file it names, replacing a file
// and making the replacement durable, and removing what a killed run left.
// Every operation goes through the fault seam of binary_file.h, so a test can
// make it fail or stop the process there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/os.h"

namespace kv {

// The path a run should write: a symbolic link at `path` is followed to the file
// it names (link after link), so that replacing that file keeps the link. Any
// other path is given back unchanged. As the system does, a link in a sticky
// folder that everyone may write is followed only when it belongs to this user
// or to the folder's owner; another is refused (kv::Error of kind BadOutput).
std::filesystem::path FollowLinks(const std::filesystem::path& path);

// Permission bits of an existing file (as the platform keeps them), or nothing.
std::optional<unsigned> PermissionsOf(const std::filesystem::path& path);

// Moves `from` over `to` in one step; `to` is either the old or the new file at
// every moment. On Windows the move is written through to the disk.
void ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Makes the folder entries of `file` (a rename, a new or removed name) durable.
void SyncFolderOf(const std::filesystem::path& file);

// Removes a file; a missing file is not an error. Never removes a folder.
void RemoveFile(const std::filesystem::path& path);

// A name beside `target`: "<target><suffix><8 hex digits>", different on every
// call; a long target name is shortened as SideFileName does, to fit a folder.
std::filesystem::path UniqueSibling(const std::filesystem::path& target, const std::string& suffix);

// The name beside `target` that a file for `suffix` takes while the target's
// exclusive lock is held: always the same ("<target><suffix>00000000"), so that
// what a killed run left there is found without listing the folder.
std::filesystem::path LockedSibling(const std::filesystem::path& target, const std::string& suffix);

// A name for a new file beside `target`: LockedSibling when nothing is there
// (call only under the exclusive lock), else a UniqueSibling.
std::filesystem::path FreeSibling(const std::filesystem::path& target, const std::string& suffix);

// Removes what a killed run left beside `target` for `suffix`: files that are
// regular (not links) and belong to this user. The LockedSibling name is tried
// alone; only when something else holds it, so that runs take unique names, are
// files named as UniqueSibling names them looked for in the folder. Call only
// while holding the target's exclusive lock: no other run of ours can then be
// using them.
void RemoveLeftovers(const std::filesystem::path& target, const std::string& suffix);

// The path named by UTF-8 text, on every platform.
std::filesystem::path PathFromUtf8(std::string_view text);

// True when the path names a regular file that can be opened for reading.
bool FileExists(const std::filesystem::path& path);

}  // namespace kv
