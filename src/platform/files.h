// File-system operations the stores need, with the crash-safety guarantees they rely on. Every file is
// treated as possibly hostile: a link, a pipe, a device, read-only or in a read-only folder.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Folder of the running executable, ending with the path separator.
std::string ExecutableDir();

// The line end a new text file gets on this system.
std::string_view NativeLineEnd();

// True for a regular file, also one reached through links.
bool FileExists(const std::string& path);

// Reads a whole regular file. False when it cannot be opened or read; a pipe, socket or device is
// refused at once, never waited on. A missing file sets `missing`.
bool ReadWholeFile(const std::string& path, std::string& data, bool* missing = nullptr);

// Saves `data` as the content of `path`. A symbolic link is followed to its target, which need not exist
// yet, and stays a link. The data goes to a new file beside the target, is flushed to disk and renamed
// over it, so a crash or kill at any moment leaves either the old or the new content, never a mix; the
// file keeps its permissions and owner, and a hard link to it is left with the old content.
// Refused, with the file left as it is, when the target is read-only (no write permission bit, as the
// Windows read-only attribute, also for root), cannot be opened for writing, or is not a regular file.
// When the folder takes no new file but the file itself is writable, it is rewritten in place, after the
// new content has gone to a journal in the user's state folder (see FinishInterruptedSave); without such
// a folder the save is refused.
bool ReplaceFileAtomically(const std::string& path, std::string_view data);
// The same for a name that must itself be the file: a symbolic link there is refused, never followed, so
// a link put in the file's place after the caller looked at it is not written through.
bool ReplaceFileAtomicallyNoFollow(const std::string& path, std::string_view data);

// The file `path` finally names: itself, or the end of the chain of symbolic links it starts (which
// need not exist). Empty for a loop of links or a link that cannot be read.
std::string FinalPathOf(const std::string& path);

// Removes the files that saves of `path` killed part-way left beside it (or beside its link target).
// A file that a running save, of this process or another, is still writing is never touched: a save file
// gets its name only once its writer holds it, where the system allows (else a save that loses its file
// this way makes another).
void RemoveAbandonedSaveFiles(const std::string& path);

// Completes an in-place save of `path` that was killed part-way, from its journal, so the file holds the
// new content; removes the journal and what other killed saves left beside the file. A save that is still
// running, in any process, is left alone.
void FinishInterruptedSave(const std::string& path);

// The lock file a save holds while it rewrites a file that another copy may be about to read. It is made
// write-locked, given its writer's process id and only then renamed into place under its name, so while
// the name stands its writer holds it; a link or pipe of that name is replaced, never followed.
// The destructor removes it. When it cannot be made, the save goes on without it.
class TWriterLock
{
public:
    explicit TWriterLock(std::string path);
    TWriterLock(const TWriterLock&) = delete;
    TWriterLock& operator=(const TWriterLock&) = delete;
    ~TWriterLock();
    bool Held() const { return fd_ >= 0; }

private:
    std::string path_;
    int fd_ = -1;
};

enum class TLockFileState
{
    None,      // no lock file (a link or a pipe of that name is none either)
    Live,      // its writer still runs, or nothing tells that it does not
    Abandoned, // its writer is gone: nobody holds it, or the process it names has ended
};
TLockFileState LockFileState(const std::string& path);

// The steps of a save, in order. A watcher hears each one as it is reached; crash tests end the process
// there to prove that every step leaves the old or the new content, or act there as another process would.
// Every save names a save file (a save in place does so for its journal); the rest belong to a save that
// rewrites a file in place.
enum class TSaveStep
{
    SaveFileNamed, // the new file has its name beside the file it is to replace
    JournalWritten,
    ContentWritten,
    Truncated,
    JournalRemoved,
};
using TSaveStepWatcher = void (*)(TSaveStep);
void WatchSaveSteps(TSaveStepWatcher watcher);

bool RemoveFile(const std::string& path);

// Folder part of `path`, ending with a separator; empty when `path` names no folder.
std::string FolderOf(const std::string& path);

} // namespace platform
