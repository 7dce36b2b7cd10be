// The Size and Date texts of a vault entry's row.
#pragma once

#include <cstdint>
#include <string>

namespace corva::vault {

// "%d Bytes" below 1024, "%d KB" below 1,048,576, "%d MB" below
// 1,073,741,824 and "%d GB" from there on, each the length divided by the
// unit and truncated. Lengths are 64-bit, so entries of 2 GiB and more get
// their true size. A negative length gives an empty text.
std::wstring SizeText(int64_t length);

// "%04d-%02d-%02d": year, month, day.
std::wstring DateText(int year, int month, int day);

}  // namespace corva::vault
