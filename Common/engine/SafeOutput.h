// A file being written that takes a given name only once it is complete.
// When the name is free the file is created under it directly (exclusively,
// so nothing that appears meanwhile is clobbered); when the name is taken
// and replacing is allowed, the data goes to a temporary file in the same
// folder that Commit flushes and renames over the old file. Whatever was
// created is removed again unless Commit succeeded.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace corva {

// The path followed directly by a fresh GUID in hexadecimal and ".xml".
std::wstring TemporaryName(const std::wstring& path);

class SafeOutput {
public:
    SafeOutput() = default;
    ~SafeOutput() { Abandon(); }
    SafeOutput(const SafeOutput&) = delete;
    SafeOutput& operator=(const SafeOutput&) = delete;

    bool Open(const std::wstring& path, bool replaceExisting);
    plat::File& File() { return file_; }
    // Flushes the data to stable storage when asked, closes the file and
    // moves it to its name. False on any failure; the output is then removed.
    bool Commit(bool flush);
    // Closes and removes what Open created.
    void Abandon();
    plat::IoError LastError() const { return file_.LastError(); }

private:
    plat::File file_;
    std::wstring target_;
    std::wstring written_;  // the name the data is written under
    bool open_ = false;
};

}  // namespace corva
