// File operations of the settings store that must put up with other
// programs holding "config.xml" for a moment (the shell extension in the
// file manager, an indexer, a virus scanner): each waits for a short,
// bounded time while the file is busy and then gives up. Nothing here
// throws; a failure leaves the file as it was.
#pragma once

#include <string>

namespace corva::settings_io {

// How long an operation keeps trying while the file is busy, in all.
constexpr unsigned kPatienceMilliseconds = 3000;

enum class Probe { Readable, Missing, Busy, Refused };

// Whether the file can be opened for reading now; Busy while another
// program holds it in a way that keeps readers out (only after waiting).
Probe ProbeForReading(const std::wstring& path);

// Moves from over to, replacing it. While a reader or another program
// holds either file so that it cannot be replaced, tries again; a read-only
// target or any other failure ends it at once. True when replaced.
bool ReplacePatiently(const std::wstring& from, const std::wstring& to);

// Overwrites an existing file with bytes where it is (for a folder in which
// no new file may be made while the file itself may be written). The file
// is held exclusively meanwhile, so no reader sees it half-written, and it
// is flushed; when writing fails the earlier content is put back.
bool RewriteInPlace(const std::wstring& path, const std::string& bytes);

}  // namespace corva::settings_io
