// File-system operations of the game commands: folders addressed by handle so that links met inside a
// folder being emptied are removed as links and never followed, bounded reads of untrusted files, and the
// Windows rules the game folder is used under (read-only files stay; names are looked up without case).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class TEntryKind
{
    File,
    Folder,
    Link, // any symbolic link, whatever it points at
    Other,
};

struct TDirEntry
{
    std::string name;
    TEntryKind kind = TEntryKind::Other;
};

// Which folder a handle is open on, to tell whether a folder opened again is still the same one.
struct TFolderId
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const TFolderId&) const = default;
};

// An open folder. Moving transfers the handle; the destructor closes it.
class TFolder
{
public:
    TFolder() = default;
    TFolder(TFolder&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    TFolder& operator=(TFolder&& other) noexcept;
    TFolder(const TFolder&) = delete;
    TFolder& operator=(const TFolder&) = delete;
    ~TFolder();

    // Opens a folder by path; a final symbolic link is not followed, so a link is not a folder here.
    static TFolder Open(const std::string& path);
    // Opens the sub-folder `name` of this one, never through a link. When it fails because the process
    // has no handle left, `outOfHandles` is set: closing another folder and trying again may then work.
    TFolder OpenChild(const std::string& name, bool* outOfHandles = nullptr) const;
    // Opens the folder this one lies in.
    TFolder OpenParent() const;
    bool Valid() const { return fd_ >= 0; }
    // Zero values when the handle is not valid.
    TFolderId Id() const;

    // Every entry but "." and "..", in the system's order. False when the listing failed part-way;
    // `outOfHandles` as for OpenChild.
    bool List(std::vector<TDirEntry>& entries, bool* outOfHandles = nullptr) const;
    // Deletes a non-folder entry; a link is removed as a link. A file whose permission bits grant no
    // write is read-only and is refused, also for root, as the Windows read-only attribute would be.
    bool RemoveFile(const std::string& name) const;
    // Removes an empty sub-folder.
    bool RemoveFolder(const std::string& name) const;

private:
    explicit TFolder(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Entries of the folder at `path`, following links on the way there; empty when it cannot be listed.
std::vector<TDirEntry> ListFolder(const std::string& path);

// True when `path` is a folder (through links).
bool FolderExists(const std::string& path);

// Makes the folder `path` (its parent must exist), with the permissions new folders get from the user's
// mask. False when it could not be made or something of that name is there already.
bool MakeFolder(const std::string& path);

// The process's current folder, which relative paths of the settings are taken from. It never changes:
// the game commands address folders by handle and give started programs a folder of their own.
std::string CurrentFolder();

// A regular file opened for bounded reads at any offset; nothing is read until asked for.
class TReadOnlyFile
{
public:
    TReadOnlyFile() = default;
    TReadOnlyFile(const TReadOnlyFile&) = delete;
    TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;
    ~TReadOnlyFile();

    // False for anything that is not a regular file (folders, pipes and devices are never opened for reading);
    // `missing` is set when nothing of that name exists.
    bool Open(const std::string& path, bool* missing = nullptr);
    std::uint64_t Size() const { return size_; }
    // Reads exactly `length` bytes at `offset`; false when they are not all inside the file.
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

} // namespace platform
