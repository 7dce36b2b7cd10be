// Compression stage of the locked-file engine: a gzip stream (RFC 1952) of
// the user's file, written and read through the wrapper class CGZip.
//
// The stream is produced with zlib's deflate in gzip mode, with the header
// 1F 8B 08 00 00000000 00 0B (modification time 0, operating-system byte
// 0x0B) on every platform, so the same file gives the same payload bytes on
// Windows and Linux; a locked file's payload adds the plain file's times and
// attributes to it (PayloadGzipHeader below). Reading accepts only a real
// gzip stream: the magic, the CRC-32 and the length in the trailer are
// checked, and data that is not gzip is an error rather than passed through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Stream.h"
#include "platform/Platform.h"

namespace zlib {

class CZipper {
public:
    CZipper() = default;
    virtual ~CZipper() = default;
    virtual void SetMode(int mode) { m_nMode = mode; }
    virtual bool Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual bool Write(const void* buffer, size_t length) = 0;
    virtual bool WriteString(const char* text) = 0;
    // Bytes read; 0 at the end of the stream, and on error (see Failed).
    virtual size_t Read(void* buffer, size_t capacity) = 0;
    virtual bool ReadAll(unsigned char** buffer, size_t* length) = 0;
    virtual bool SetParams() = 0;

protected:
    int m_nMode = 0;  // 0 closed, 1 writing, 2 reading
};

class CGZip : public CZipper {
public:
    enum { kClosed = 0, kWrite = 1, kRead = 2 };

    CGZip();
    ~CGZip() override;
    CGZip(const CGZip&) = delete;
    CGZip& operator=(const CGZip&) = delete;

    // mode 1: create the file and write a gzip stream; mode 2: read one.
    bool Open(const std::wstring& path, int mode);
    // Finishes the stream (trailer written, data flushed to disk when writing).
    bool Close() override;
    bool IsOpen() const override { return m_nMode != kClosed; }
    bool Write(const void* buffer, size_t length) override;
    bool WriteString(const char* text) override;
    size_t Read(void* buffer, size_t capacity) override;
    bool ReadAll(unsigned char** buffer, size_t* length) override;
    bool SetParams() override;

    // Reading: true once the whole stream, trailer included, was read and
    // checked; Failed tells a damaged, truncated or foreign stream.
    bool AtEnd() const { return m_bEnd; }
    bool Failed() const { return m_bFailed; }
    plat::IoError LastError() const { return m_file.LastError(); }
    int64_t CompressedLength() const { return m_nLength; }
    // Reading: compressed bytes taken from the file so far.
    int64_t ConsumedLength() const { return m_nConsumed; }

    int m_nLevel = -1;     // zlib's default compression level
    int m_nStrategy = 0;   // default strategy

private:
    bool Deflate(int flush);
    // Reads more of the file behind the keep bytes still unread.
    bool FillInput();
    void Reset();

    plat::File m_file;
    struct Stream;
    Stream* m_pStream = nullptr;
    int64_t m_nLength = 0;
    int64_t m_nConsumed = 0;
    bool m_bEnd = false;
    bool m_bFailed = false;
};

}  // namespace zlib

// Compresses the source file into a new gzip file; false on any failure
// (a read error or a source that ends early included), and then no gzip
// file is left.
bool CompressFile(const std::wstring& source, const std::wstring& gzipPath);
// Restores a gzip file into destination (created or truncated, then flushed
// to disk). True only when the whole stream was valid and completely written.
bool DecompressFile(const std::wstring& gzipPath, const std::wstring& destination);

namespace corva {

// The plain file's attributes and times in a payload's gzip header, where
// every gzip reader passes over them: MTIME holds the modification time in
// seconds since 1970 (0 when unknown or outside 1970 to 2106), and FEXTRA
// an extra field with one subfield of id "Cv" and 36 bytes, little-endian:
//    0  uint32  attributes, Windows' bits (plat::kAttribute...)
//    4  uint32  which of those bits the writing system keeps
//    8  uint32  times known: bit 0 modified, bit 1 created
//   12  int64   modified: seconds since 1970-01-01 UTC
//   20  uint32  modified: nanoseconds
//   24  int64   created: seconds since 1970-01-01 UTC
//   32  uint32  created: nanoseconds
// A reader takes the subfield only with this id and exactly this length;
// any other subfield, a shorter or longer one, and an extra field whose
// subfields overrun it are ignored (the file then gets the times of its
// restoring), as is a time whose nanoseconds are out of range.
constexpr uint8_t kStampFieldId[2] = {'C', 'v'};
constexpr size_t kStampFieldSize = 36;

// The gzip header of a payload: the fixed 10 bytes without a stamp; with
// one, FLG.FEXTRA set, MTIME and the extra field.
std::vector<uint8_t> PayloadGzipHeader(const plat::FileStamp* stamp);
// MTIME for a stamp, and the extra field (XLEN bytes: the one subfield).
uint32_t StampMtime(const plat::FileStamp& stamp);
std::vector<uint8_t> StampExtraField(const plat::FileStamp& stamp);
// The stamp in a gzip extra field of size bytes; false (stamp untouched)
// when it holds none that is valid.
bool ParseStampExtraField(const uint8_t* extra, size_t size, plat::FileStamp* stamp);

// The compression stage: deflates everything written into one gzip member
// of the payload format (PayloadGzipHeader(stamp), zlib's default level and
// strategy) and passes the stream to next; Finish writes the trailer, then
// finishes next.
std::unique_ptr<ByteSink> MakeCompressor(ByteSink* next, const plat::FileStamp* stamp = nullptr);

// The decompression stage: inflates a payload of one or more gzip members
// and passes the plain bytes to next. A member may begin at any byte of any
// Write. Finish succeeds only when at least one member was read, the input
// ended exactly after a member's trailer (CRC-32 and length checked), and
// next finished; a byte after a member that does not begin a whole valid
// member, a damaged member or a missing end all fail. This one reader
// decides for unlocking and for verification alike.
class Decompressor final : public ByteSink {
public:
    explicit Decompressor(ByteSink* next);
    ~Decompressor() override;
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
    bool Write(const uint8_t* data, size_t size) override;
    bool Finish() override;
    // The stream itself was at fault (not the next stage).
    bool Damaged() const { return damaged_; }
    uint64_t Members() const { return members_; }
    // What the first member's header carries of the plain file (nothing
    // known when it has no valid stamp); complete once that member is.
    const plat::FileStamp& Stamp() const { return stamp_; }

private:
    void ReadStamp();

    struct State;
    State* state_;
    ByteSink* next_;
    uint64_t members_ = 0;
    plat::FileStamp stamp_;
    bool betweenMembers_ = false;
    bool damaged_ = false;
    bool failed_ = false;
};

}  // namespace corva
