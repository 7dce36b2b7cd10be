// The locked-file format: a 172-byte header followed by the payload (a gzip
// stream of the user's file) enciphered block by block; and the engine
// operations that read and write it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

class FileLog;

namespace corva {

constexpr uint16_t kLockedMagic = 0xFF00;
constexpr uint16_t kLockedVersion = 1;
constexpr size_t kHeaderSize = 172;
inline constexpr wchar_t kLockedExtension[] = L".corvastine";

// Result codes of the engine's file operations (encryptfile, decryptfile,
// VerifyLockedFile and the pipelines). The numbers are stored and compared
// by callers (the command-line tool's exit codes among them): never renumber.
enum EngineResult : int {
    kOk = 0,
    kNoPassword = -1,
    kNoSource = -2,
    kNoDestination = -3,
    kIoFailure = -4,          // open, read, write, flush or close failed (full disk included)
    kDestinationExists = -5,
    kSizeMismatch = -6,       // restored length differs from the header's payload size
    kNotLockedFile = -7,
    kWrongPassword = -8,      // the header token does not open with this password
    kDamagedPayload = -9,     // the payload is not a complete, valid gzip stream
    kNotAFile = -10,          // a link, FIFO, socket or device: never opened
    kPlainNotDeleted = -11,   // locked and verified, but the plain file could not be deleted: the
                              // locked copy was removed again, nothing changed
    kLockedNotDeleted = -12,  // restored completely, but the locked file could not be deleted
    kCancelled = -13,         // stopped between two chunks: the output discarded, the source as it was
};

// A batch's hold on one run of LockFile or UnlockFile.
struct PipelineControl {
    // Polled between chunks (up to a megabyte each) until the output is
    // published; true stops the run with kCancelled: the pending output is
    // discarded and the source stays as it was. Empty: never stops.
    std::function<bool()> stopRequested;
    // Set by a failing run to what the system said: the cause of
    // kIoFailure, kPlainNotDeleted and kLockedNotDeleted, or why the source
    // was not there (NotFound). None when it said nothing.
    plat::IoError cause = plat::IoError::None;
};

// The header in file order; serialised field by field, little-endian.
struct LockedFileHeader {
    uint16_t magic;
    uint16_t version;
    uint8_t salt[32];
    uint8_t sealedToken[32];
    uint8_t sealedDigest[32];
    uint8_t iv[64];
    uint64_t payloadSize;
};

void SerializeHeader(const LockedFileHeader& header, uint8_t out[kHeaderSize]);
void ParseHeader(const uint8_t in[kHeaderSize], LockedFileHeader* header);
// Builds a header for a payload: random salt, token and IV, then the token
// and its digest sealed under the password's header key (copied to
// headerKey when given, so that the caller need not stretch again).
bool BuildHeader(const char* password, uint64_t payloadSize, LockedFileHeader* header,
                 uint8_t* headerKey = nullptr);
// Builds the header from given salt, token and IV (known-answer tests).
void BuildHeaderFrom(const char* password, uint64_t payloadSize, const uint8_t salt[32], const uint8_t token[32],
                     const uint8_t iv[64], LockedFileHeader* header, uint8_t* headerKey = nullptr);
// True when the sealed token opens to a value whose SHA-256 is the sealed digest.
bool HeaderMatchesPassword(const char* password, const LockedFileHeader& header);

// Headers and keys for locking, made two at a time. A locked file's header
// (fresh random salt, token and IV, the token sealed under the password)
// does not depend on the file, so a thread that locks many files makes
// them in pairs: the two header stretches interleave on one thread, then
// the two body-key stretches, which costs about three quarters of making
// them one by one. The second header waits here for the next file; keys
// never leave memory and are wiped when handed out and when the source
// goes. One source per thread; the password must outlive it.
class LockKeySource {
public:
    explicit LockKeySource(const char* password);
    ~LockKeySource();
    LockKeySource(const LockKeySource&) = delete;
    LockKeySource& operator=(const LockKeySource&) = delete;
    // A header with payload size 0, its header key Kh and its body seed K0.
    // False when the random generator fails.
    bool Take(LockedFileHeader* header, uint8_t headerKey[32], uint8_t bodyKey[32]);

private:
    const char* password_;
    bool spare_ = false;
    LockedFileHeader header_;
    uint8_t headerKey_[32];
    uint8_t bodyKey_[32];
};

// Checks a locked file without writing anything: the password against the
// header, then the whole body deciphered and inflated, the gzip CRC-32 and
// length checked. kOk, or the code of the first problem found.
EngineResult VerifyLockedFile(const char* password, const std::wstring& path, FileLog* log);

// The single-file pipelines with their reasons (LockOneFile and
// UnlockOneFile below return whether these gave kOk).
//
// LockFile streams the plain file through the compressor into the cipher,
// into a pending file (plat::PendingFile) that has no name until the locked
// file is complete, flushed and read back whole; it then takes the locked
// name (never replacing a file) and only after that is the plain file
// deleted (a read-only one has the attribute cleared for it). Nothing else
// of the user's content ever reaches the disk. A folder: kOk, untouched.
// keys: where the header and keys come from when many files are locked one
// after another on this thread (nullptr: made here, one stretch after the
// other).
// control: a stop to poll and where the cause of a failure goes (nullptr:
// neither). The result codes mean the same with or without it.
EngineResult LockFile(const std::wstring& path, const char* password, FileLog* log, LockKeySource* keys = nullptr,
                      PipelineControl* control = nullptr);
// The same pipeline with the locked file's full path given: it may lie in
// another folder or on another drive. The pending output is made in that
// path's folder, flushed and read back there, and takes the name only when
// it is free; the plain file is deleted only after that.
EngineResult LockFileInto(const std::wstring& path, const std::wstring& lockedPath, const char* password,
                          FileLog* log, LockKeySource* keys = nullptr, PipelineControl* control = nullptr);
// UnlockFile streams the locked file through the decipherer into the
// decompressor, into a pending file that takes the restored name only when
// the whole stream was valid and the data flushed; then the locked file is
// deleted. An existing file of the restored name is replaced only with
// replaceExisting (kDestinationExists otherwise), and a folder or link of
// that name never.
EngineResult UnlockFile(const std::wstring& path, const char* password, bool replaceExisting, FileLog* log,
                        PipelineControl* control = nullptr);

// Removes what an earlier version of the engine, killed at the wrong moment,
// may have left beside the files of a folder: a temporary named after an
// entry of the folder followed by a GUID in hexadecimal and ".xml" ("%08lX
// %04X%04x" and 16 more digits) that is empty or holds a gzip stream with
// the payload's own header, or that is a byte-for-byte copy of the file it
// is named after (on POSIX systems, a replacing unlock killed between
// naming its output and moving it over the file leaves such a copy).
// names: the folder's entries. Returns how many were removed.
int RemoveStaleTemporaries(const std::wstring& folder, const std::vector<std::wstring>& names, FileLog* log);
// Whether one path is such a temporary.
bool IsStaleTemporary(const std::wstring& path);

// Test hook: called with the locked copy after it was written and flushed,
// before it is read back (to damage it). nullptr removes it.
void SetBeforeVerifyHookForTesting(void (*hook)(plat::File& lockedCopy));

}  // namespace corva

bool loadheader(const wchar_t* path, corva::LockedFileHeader* header, FileLog* log);
bool HasLockedExtension(const std::wstring& path);
bool IsLockedFile(const std::wstring& path);
corva::EngineResult encryptfile(const char* password, const wchar_t* source, const wchar_t* destination,
                                bool overwrite, FileLog* log);
corva::EngineResult decryptfile(const char* password, const wchar_t* source, const wchar_t* destination,
                                bool overwrite, FileLog* log);

// The single-file pipelines: compress and encipher a file into its locked
// file beside it; decipher and decompress a locked file back, replacing a
// plain file of that name. Folders are left alone (true).
bool LockOneFile(const std::wstring& path, const char* password, FileLog* log);
bool UnlockOneFile(const std::wstring& path, const char* password, FileLog* log);

