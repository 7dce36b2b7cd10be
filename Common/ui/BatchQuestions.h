// What every program asks before a batch, as plain text (portable, tested
// natively): the question before a shred and the one before a large lock,
// each naming what it acts on, so that the user answers for exactly those
// items. The three kinds of batch a command runs are named here too.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace corva::ui {

enum class BatchKind { Lock, Unlock, Shred };

// The last part of a path (after the last \ or /; a trailing one ignored).
std::wstring LeafName(const std::wstring& path);

// How many names a question lists before it says "and N more".
constexpr size_t kQuestionNames = 5;

// The question before a shred, naming what it acts on: one file by its
// name, one folder by its name and its content, several items as "these N
// items" followed by their names (a few, then "and N more").
std::wstring ShredQuestion(const std::vector<std::wstring>& paths, bool singleIsFolder);
// "More than 100 files will be locked, do you really want to continue?",
// naming the selection the same way.
std::wstring LargeLockQuestion(const std::vector<std::wstring>& paths);

}  // namespace corva::ui
