#include "quorvalib/files/FileSystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "common/debug/Log.h"
#include "quorvalib/files/Afile.h"
#include "quorvalib/platform/DocumentsFolder.h"
#include "quorvalib/platform/FileInfo.h"

namespace quorvalib::files {
namespace {

// A copy next to the target, renamed over it at the end, so that a failed copy never leaves
// a half-written target.
bool CopyAcrossVolumes(const Astring& from, const Astring& to) {
    Afile source(from);
    if (!source.OpenRead()) return false;
    const Astring temporary = to + ".~move";
    Afile target(temporary);
    if (!target.Create()) return false;
    constexpr size_t kChunk = 256 * 1024;
    const auto buffer = std::make_unique<uint8_t[]>(kChunk);
    for (;;) {
        size_t got = 0;
        if (!source.Read(buffer.get(), kChunk, got) || (got > 0 && !target.Write(buffer.get(), got))) {
            target.Delete();
            return false;
        }
        if (got == 0) break;
    }
    const bool flushed = target.Flush();
    target.Close();
    source.Close();
    if (!flushed || std::rename(temporary.c_str(), to.c_str()) != 0) {
        Afile(temporary).Delete();
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

}  // namespace

bool FileExists(const Astring& path) {
    return platform::GetFileAttributes(path.str()).has_value();
}

bool IsDirectory(const Astring& path) {
    const auto attributes = platform::GetFileAttributes(path.str());
    return attributes && attributes->directory;
}

bool MakeDirectory(const Astring& path) {
    if (path.IsEmpty()) return false;
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    return errno == EEXIST && IsDirectory(path);
}

bool RemoveTree(const Astring& directory) {
    Afile listing;
    Astring pattern = directory;
    pattern.AppendPath("*");
    // Collect first: removing entries while listing could skip some.
    struct Entry {
        Astring path;
        bool directory;
    };
    std::vector<Entry> entries;
    for (bool found = listing.FindNext(pattern); found; found = listing.FindNext()) {
        entries.push_back({listing.Path(), listing.IsDirectory()});
    }
    for (const Entry& entry : entries) {
        // A symbolic link is removed as a link: what it points to is outside the tree and is
        // neither changed nor emptied.
        if (platform::IsSymbolicLink(entry.path.str())) {
            if (::unlink(entry.path.c_str()) != 0) return false;
            continue;
        }
        platform::SetReadOnly(entry.path.str(), false);
        if (entry.directory) {
            if (::rmdir(entry.path.c_str()) == 0) continue;
            if (!RemoveTree(entry.path) || ::rmdir(entry.path.c_str()) != 0) return false;
        } else if (::unlink(entry.path.c_str()) != 0) {
            return false;
        }
    }
    return true;
}

bool DeleteFile(const Astring& path) {
    return !path.IsEmpty() && ::unlink(path.c_str()) == 0;
}

bool MoveFile(const Astring& from, const Astring& to) {
    if (from.IsEmpty() || to.IsEmpty()) return false;
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    const int failure = errno;
    if (failure == EEXIST || failure == ENOTEMPTY || failure == EISDIR) {
        // The target is in the way: remove it and move once more.
        Afile target(to);
        target.SetLogErrors(false);
        target.Delete();
        return std::rename(from.c_str(), to.c_str()) == 0;
    }
    if (failure == EXDEV && !IsDirectory(from)) return CopyAcrossVolumes(from, to);
    return false;
}

uint64_t FreeSpace(const Astring& path) { return platform::FreeSpace(path.str()); }

bool GetDocumentsFolder(Astring& folder) {
    const auto documents = platform::DocumentsFolder();
    if (!documents) return false;
    folder = Astring(*documents);
    folder.ToForwardSlashes();
    if (!folder.EndsWith("/")) folder += "/";
    return true;
}

}  // namespace quorvalib::files
