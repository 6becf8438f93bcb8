// Reads the version resource of a Windows executable (PE32 or PE32+) straight from its bytes: the fixed
// file information's file version and the "ProductName" string of the first translation. The input is
// untrusted: every offset and length is checked, only the few structures on the way are read, and any
// damage gives "no version resource".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Random access to the bytes being parsed: a file on disk, or memory for tests and fuzzing.
class TByteSource
{
public:
    virtual ~TByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Exactly `length` bytes at `offset`; false when they are not all there.
    virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const = 0;
};

class TMemorySource : public TByteSource
{
public:
    TMemorySource(const void* data, std::size_t size) : data_(static_cast<const unsigned char*>(data)), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const override;

private:
    const unsigned char* data_;
    std::size_t size_;
};

struct TVersionResource
{
    std::uint32_t FileVersionMS = 0;
    std::uint32_t FileVersionLS = 0;
    // UTF-16 code units of the first translation's ProductName, up to its terminator; empty when missing.
    std::u16string ProductName;
    bool HasProductName = false;
};

// Largest version resource that is read; real ones are a few kilobytes.
inline constexpr std::uint32_t kMaxVersionResourceSize = 64 * 1024;

std::optional<TVersionResource> ReadVersionResource(const TByteSource& source);
