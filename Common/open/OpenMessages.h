// What the Open command tells the user, the same in every program that
// offers it: the caption of its messages, which outcomes of finishing a
// working copy need no word, and the texts for what was not done. Plain
// functions over plain values; nothing here shows a window or fails.
#pragma once

#include <string>

#include "open/WorkingCopies.h"

namespace corva {

// The caption of the Open command's message boxes.
constexpr wchar_t kOpenCaption[] = L"Corvastine";

// Whether finishing a working copy did all it should (shredded, locked
// again, or nothing left to do), so that the user need not be told.
bool WentWell(FinishStatus status);

// The message when no program could be started on a new working copy;
// done is the outcome of finishing that copy at once, whose message
// follows when it did not go well.
std::wstring DescribeNotStarted(const WorkingEntry& entry, const FinishOutcome& done);

// The messages of several outcomes that did not go well, one paragraph
// each; empty when all went well.
class FinishProblems {
public:
    void Add(const FinishOutcome& outcome);
    bool Empty() const { return text_.empty(); }
    const std::wstring& Text() const { return text_; }

private:
    std::wstring text_;
};

}  // namespace corva
