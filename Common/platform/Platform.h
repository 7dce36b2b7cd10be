// Thin layer over the operating system services the portable code needs:
// files by wide path with 64-bit offsets, flush to stable storage, delete,
// rename, attributes, GUIDs, the module's own path, code-page conversion,
// mutexes and debugger output. One implementation per platform
// (PlatformWin32.cpp, PlatformPosix.cpp); nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// ---------------------------------------------------------------- errors
// Why a file operation failed, reduced to what callers act on.
enum class IoError {
    None = 0,
    NotFound,      // no such file or folder
    Exists,        // exclusive create found the name taken
    Access,        // permission denied, read-only file, medium or folder
    NoSpace,       // disk full or quota exceeded
    Io,            // any other failure of the device
    InUse,         // held by another program (sharing or lock violation)
    DriveGone,     // the drive or device is no longer there
    NameTooLong,   // the path or one of its names is longer than the system takes
};

// ---------------------------------------------------------------- times and attributes
// A moment as whole seconds since 1970-01-01 00:00 UTC (negative before) and
// the nanoseconds past them (0 to 999,999,999).
struct FileTime {
    int64_t seconds = 0;
    uint32_t nanoseconds = 0;
};

// Attribute bits a file keeps beside its content, with Windows' values.
constexpr uint32_t kAttributeReadOnly = 0x01;
constexpr uint32_t kAttributeHidden = 0x02;
constexpr uint32_t kAttributeSystem = 0x04;
constexpr uint32_t kAttributeArchive = 0x20;

// A file's attributes and times, as far as its system keeps them: Windows
// the four attributes above, the last-write and the creation time; POSIX
// systems read-only (no write permission for the owner) and the
// modification time. Only what is marked known is ever applied.
struct FileStamp {
    uint32_t attributes = 0;
    uint32_t attributesKnown = 0;  // which bits of attributes were read
    bool modifiedKnown = false;
    FileTime modified;
    bool createdKnown = false;
    FileTime created;
};

// Gives the file at path the known parts of stamp (times first, then the
// attributes; a link is never followed). False when any part failed.
bool ApplyStamp(const std::wstring& path, const FileStamp& stamp);

// ---------------------------------------------------------------- files
// An open file; closed by the destructor (unchecked) or by Close (checked).
class File {
public:
    enum class Mode {
        Read,          // existing file, read only
        CreateAlways,  // create or truncate, read and write
        CreateNew,     // create, failing when the name exists; read and write
        ReadWrite,     // existing file, read and write
    };

    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    bool Open(const std::wstring& path, Mode mode);
    bool IsOpen() const;
    // Reads up to size bytes; *got receives the count (0 at end of file).
    // False only on a device error.
    bool Read(void* buffer, size_t size, size_t* got);
    // Reads until size bytes came or the file ended; false on error.
    bool ReadFull(void* buffer, size_t size, size_t* got);
    // Reads up to size bytes at offset, until size came or the file ended,
    // without moving the file's position or touching LastError, so that one
    // thread may read back what another writes through the same File. False
    // on a device error (*error says which).
    bool ReadAt(int64_t offset, void* buffer, size_t size, size_t* got, IoError* error) const;
    // Writes all bytes or fails.
    bool Write(const void* buffer, size_t size);
    bool Seek(int64_t offset);
    bool Size(int64_t* size) const;
    // The attributes and times of the open file.
    bool Stamp(FileStamp* stamp) const;
    // Pushes written data to stable storage.
    bool Flush();
    // Starts writing bytes [offset, offset + length) out to storage without
    // waiting for them, so that a Flush later has less left to wait for. A
    // hint only: nothing is promised until Flush returns, and it does nothing
    // where the system has no such call (Windows).
    void StartWriteBack(int64_t offset, int64_t length);
    // Closes the file; false when the system reports a failure on close.
    bool Close();
    // Error of the last failed call on this object.
    IoError LastError() const { return error_; }

private:
    friend class PendingFile;
    void Fail();
#ifdef _WIN32
    void* handle_ = reinterpret_cast<void*>(static_cast<intptr_t>(-1));
    // Where Read and Write go on: every transfer names its offset, so a
    // ReadAt from another thread (which moves the handle's own position)
    // cannot shift them.
    int64_t position_ = 0;
#else
    int fd_ = -1;
#endif
    IoError error_ = IoError::None;
};

// Test hook: when non-negative, writes fail with NoSpace once this many more
// bytes have been written through File::Write in this process. -1 disables.
void SetWriteBudgetForTesting(int64_t bytes);

// Test hook beside the write budget: the nth call of File::Read or
// File::ReadAt from now on (1: the next one) in this process fails as a
// device error, or reports the end of the file although data remains. 0
// disables.
enum class ReadFault { Error, EndOfFile };
void SetReadFaultForTesting(int64_t nth, ReadFault kind);
// True while a fault is set and has not happened yet.
bool ReadFaultPendingForTesting();

// Test hook: false makes pending files take the temporary-name path that a
// file system without unnamed files needs (as on FAT); true restores the
// usual path. Windows always names its pending files, so there it does
// nothing.
void SetUnnamedFilesForTesting(bool allowed);

// Test hook: false makes ShortPathName find no short names (as on a volume
// where they are switched off); true restores them.
void SetShortNamesForTesting(bool available);

// ---------------------------------------------------------------- pending files
// A new file whose data has no name in its folder until Publish gives it
// one. If the process ends before that (killed included), the system
// removes it: on Linux it is an unnamed file (O_TMPFILE) in the target's
// folder; on Windows it carries a temporary name (see TemporaryName) and is
// marked for deletion from the moment it exists, so that closing its
// handle, by exit or by kill, deletes it. A Linux file system that has no
// unnamed files gets a temporary name as on Windows, without the mark.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile() { Discard(); }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the pending file in the folder of target.
    bool Create(const std::wstring& target);
    File& Data() { return file_; }
    // Pushes the data to stable storage, gives the file the target name and
    // closes it. Without replaceExisting it fails with IoError::Exists when
    // the name is taken meanwhile (the check and the naming are one step).
    // On failure the file is removed as by Discard.
    bool Publish(bool replaceExisting);
    // Closes and removes the file; nothing of it remains.
    void Discard();
    IoError LastError() const { return error_; }
    bool IsOpen() const { return open_; }

private:
    File file_;
    std::wstring target_;
    std::wstring temp_;  // its temporary name, when it has one
    bool open_ = false;
    IoError error_ = IoError::None;
};

// The path followed directly by a fresh GUID in hexadecimal and ".xml":
// a temporary name in the same folder. Empty when no GUID can be made.
std::wstring TemporaryName(const std::wstring& path);

// ---------------------------------------------------------------- names
// What a name is, found out without opening it (a FIFO is never opened).
// Link: a symbolic link, a junction or a mount point (on Windows the
// reparse points that are name surrogates). Other reparse points (cloud
// placeholders, deduplicated, compressed or archived files) are files and
// folders like any other. Special: FIFO, socket or device.
enum class EntryKind { Missing, File, Folder, Link, Special };
EntryKind KindOf(const std::wstring& path);
// Whether a Windows reparse tag makes its entry a link: the name
// surrogates, and a tag that could not be read (0), to be safe.
bool IsLinkReparseTag(uint32_t tag);

bool PathExists(const std::wstring& path);        // file or folder; links are not followed
bool IsDirectory(const std::wstring& path);       // true only for a real folder, not a link to one
bool IsLink(const std::wstring& path);            // KindOf(path) == EntryKind::Link
bool FileSize(const std::wstring& path, int64_t* size);
bool RemoveFile(const std::wstring& path);
// Creates a folder; false when it cannot be made or the name is taken.
bool CreateFolder(const std::wstring& path);
// Removes an empty folder (not a link to one).
bool RemoveFolder(const std::wstring& path);
// Removes a link (symbolic link, junction, mount point) itself,
// whatever it points to; its target is never touched.
bool RemoveLink(const std::wstring& path);
// Renames, replacing an existing file of the target name; the data of the
// source reaches stable storage before the name is switched.
bool RenameReplacing(const std::wstring& from, const std::wstring& to);
// Renames only when the target name is free; false (and nothing changed)
// when it is taken.
bool RenameNoReplace(const std::wstring& from, const std::wstring& to);
bool IsReadOnly(const std::wstring& path);
bool SetReadOnly(const std::wstring& path, bool readOnly);
// Makes a folder entry change durable (rename, create, delete) where the
// system needs that explicitly; a no-op where it does not.
bool SyncParentFolder(const std::wstring& path);
// Names of the entries of a folder (without "." and ".."), in no set order.
bool ListFolder(const std::wstring& folder, std::vector<std::wstring>* names);
// The same; error, when given, receives why the folder could not be listed.
bool ListFolder(const std::wstring& folder, std::vector<std::wstring>* names, IoError* error);
// The error of the calling thread's last failed system call, as an IoError:
// read it at once after a platform call that returned false (RemoveFile,
// RemoveFolder, RenameNoReplace, ...).
IoError LastIoError();
// Why an entry cannot be reached: None when it can, NotFound when it is
// not there, DriveGone when its drive (volume, share) is not reachable
// either, NameTooLong, Access, ... Links are not followed.
IoError ProbeEntry(const std::wstring& path);

// The identity of a file, the same under every name it has (hard links,
// short names, other spellings of its path); links are identified as
// themselves, never followed.
struct FileId {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool operator==(const FileId& other) const { return volume == other.volume && index == other.index; }
};
bool GetFileId(const std::wstring& path, FileId* id);
// The short (8.3) form of an existing path on Windows; empty where there is
// none (or elsewhere).
std::wstring ShortPathName(const std::wstring& path);
// The folder part of a path, without the trailing separator.
std::wstring ParentFolder(const std::wstring& path);
wchar_t PathSeparator();
// folder and name joined by one separator (none added when folder already
// ends in one); name alone when folder is empty.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// ---------------------------------------------------------------- identity
struct Guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
bool CreateGuid(Guid* guid);

// Full path of the module (program or library) that contains this code.
std::wstring ModulePath();
// The folder of that module followed by name: the settings file, the wiping
// library and the vault's own files sit beside the module that uses them.
// Empty when the module's path cannot be had.
std::wstring ModuleFilePath(const std::wstring& name);
// The running module's own files, which no batch may lock, unlock over or
// shred: the module itself and, beside it, the settings file "config.xml",
// the cryptographic library and the wiping library. Empty when the
// module's path cannot be had.
std::vector<std::wstring> OwnProgramFiles();

// ---------------------------------------------------------------- text
// Narrow text is the system ANSI code page on Windows and UTF-8 elsewhere.
std::wstring NarrowToWide(const std::string& text);
std::string WideToNarrow(const std::wstring& text);
// UTF-16 code units of narrow text, as the Windows conversion produces them.
std::u16string NarrowToUtf16(const std::string& text);
std::u16string WideToUtf16(const std::wstring& text);
std::wstring Utf16ToWide(const std::u16string& text);
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);

// ---------------------------------------------------------------- sync
// A mutex that can be named (shared by processes) or unnamed.
class Mutex {
public:
    // An empty name makes an unnamed, process-local mutex. A named one is
    // opened when it exists and created otherwise.
    explicit Mutex(const std::wstring& name);
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    bool Valid() const;
    void Lock();
    void Unlock();
    // True when this call created a named mutex that did not exist before.
    bool CreatedNew() const { return createdNew_; }

private:
    struct Impl;
    Impl* impl_ = nullptr;
    bool createdNew_ = false;
};

// Holds a Mutex from construction to the end of the scope.
class MutexLock {
public:
    explicit MutexLock(Mutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~MutexLock() { mutex_.Unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& mutex_;
};

// ---------------------------------------------------------------- misc
struct LocalTime {
    int hour, minute, second;
};
LocalTime Now();

// Sends text to the debugger (Windows) or to standard error (elsewhere).
void DebuggerOutput(const std::wstring& text);

// COM initialised for the calling thread while the object lives (Windows);
// nothing elsewhere. Uninitialises only what it initialised.
class ComScope {
public:
    ComScope();
    ~ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool initialised_ = false;
};

// A shared library loaded from a full path for as long as the object lives.
class Library {
public:
    // Function pointer type a symbol is returned as; cast it to its real type.
    using Proc = void (*)();
    Library() = default;
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    bool Load(const std::wstring& path);
    // nullptr when nothing is loaded or the export is missing.
    Proc Symbol(const char* name) const;
    void Unload();

private:
    void* handle_ = nullptr;
};

// Overwrites memory in a way the optimiser keeps.
void SecureZero(void* data, size_t size);

}  // namespace plat
