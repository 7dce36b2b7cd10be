#include "BatchQuestions.h"

namespace corva::ui {

std::wstring LeafName(const std::wstring& path) {
    size_t end = path.size();
    while (end > 0 && (path[end - 1] == L'\\' || path[end - 1] == L'/')) --end;
    size_t start = end;
    while (start > 0 && path[start - 1] != L'\\' && path[start - 1] != L'/') --start;
    if (start == end) return path.substr(0, end);  // a bare root such as "C:"
    return path.substr(start, end - start);
}

namespace {

std::wstring Quoted(const std::wstring& path) { return L"\"" + LeafName(path) + L"\""; }

// "these N items" for a question, with the first names on lines of their
// own after it (added by the caller after the question).
std::wstring NameList(const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (size_t i = 0; i < paths.size() && i < kQuestionNames; ++i) list += L"\n" + LeafName(paths[i]);
    if (paths.size() > kQuestionNames) list += L"\nand " + std::to_wstring(paths.size() - kQuestionNames) + L" more";
    return list;
}

std::wstring TheseItems(const std::vector<std::wstring>& paths) {
    return L"these " + std::to_wstring(paths.size()) + L" items";
}

}  // namespace

std::wstring ShredQuestion(const std::vector<std::wstring>& paths, bool singleIsFolder) {
    if (paths.size() == 1) {
        if (singleIsFolder) {
            return L"Do you really want to shred the folder " + Quoted(paths[0]) + L" and everything in it?";
        }
        return L"Do you really want to shred the file " + Quoted(paths[0]) + L"?";
    }
    return L"Do you really want to shred " + TheseItems(paths) + L"?\n" + NameList(paths);
}

std::wstring LargeLockQuestion(const std::vector<std::wstring>& paths) {
    if (paths.size() == 1) {
        return L"More than 100 files will be locked in " + Quoted(paths[0]) + L", do you really want to continue?";
    }
    return L"More than 100 files will be locked in " + TheseItems(paths) + L", do you really want to continue?\n" +
           NameList(paths);
}

}  // namespace corva::ui
