// Helpers shared by the test programs: a scratch folder removed at the end,
// whole-file read and write, and the location of the test vectors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<uint8_t>;

// A fresh folder under CORVA_TEST_TMP (when set) or the system's temporary
// folder, removed with all its contents by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& Path() const { return path_; }
    // The folder joined with a name.
    std::wstring operator/(const std::wstring& name) const;

private:
    std::wstring path_;
};

bool WriteFileBytes(const std::wstring& path, const Bytes& data);
bool WriteFileText(const std::wstring& path, const std::string& text);
Bytes ReadFileBytes(const std::wstring& path);
bool MakeFolder(const std::wstring& path);
// Removes a file or a folder tree (links are removed, never followed).
void RemoveTree(const std::wstring& path);
// Names in a folder, sorted.
std::vector<std::wstring> ListNames(const std::wstring& folder);
// A symbolic link (POSIX) or a junction/symbolic link (Windows); false when
// the system does not allow it here.
bool MakeLink(const std::wstring& target, const std::wstring& link);

// A second name for the same file (a hard link), so that a test can look
// at its contents after the first name is gone; false when the system does
// not allow it here.
bool MakeHardLink(const std::wstring& existing, const std::wstring& link);
// True when the sizes match and no 16-byte block of data equals the same
// block of original: what random data over the whole length gives. The
// blocks cover every byte; when the length is no multiple of 16 the last
// block overlaps its neighbour, so that a short tail (which random data
// matches by chance, one byte in 256 times) is never compared on its own.
// Lengths under 16 cannot be judged this way and give false.
bool NoBlockSurvives(const Bytes& data, const Bytes& original);

// A file's modification time read straight from the system (stat, or
// GetFileAttributesExW), not through the platform layer: seconds since
// 1970 and nanoseconds. False when it cannot be read.
bool ModifiedTime(const std::wstring& path, int64_t* seconds, uint32_t* nanoseconds);

// Folder of tests/vectors (from CORVA_TEST_VECTORS), in the running
// system's path form.
std::wstring VectorsDir();
std::wstring Join(const std::wstring& a, const std::wstring& b);

Bytes FromHex(const std::string& hex);
std::string ToHex(const uint8_t* data, size_t size);
inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }
// Deterministic pseudo-random bytes (xorshift), for test payloads.
Bytes PseudoRandom(size_t size, uint32_t seed);

}  // namespace testing_support
