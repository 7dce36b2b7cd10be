// Identifiers of the shell extension's COM class, its interface and its
// type library, each beside its text form (a test checks that the two
// agree, and that the embedded type library carries the same values).
#pragma once

#include <windows.h>

namespace corva::shell {

// The class "Corvastine Class".
constexpr CLSID kCorvastineClsid = {0x91777546, 0xDFA0, 0x4C50, {0x8B, 0x72, 0x9F, 0xBB, 0xED, 0x81, 0x79, 0xC7}};
constexpr wchar_t kCorvastineClsidText[] = L"{91777546-DFA0-4C50-8B72-9FBBED8179C7}";

// ICorvastine, the dual interface (IDispatch with no methods of its own).
constexpr IID kICorvastineIid = {0xB920DA0A, 0xD70B, 0x49CE, {0x88, 0xA9, 0xC5, 0xAD, 0x0C, 0xAB, 0x41, 0x87}};
constexpr wchar_t kICorvastineIidText[] = L"{B920DA0A-D70B-49CE-88A9-C5AD0CAB4187}";

// The type library CORVASTINESHLib, version 1.0, locale neutral.
constexpr GUID kTypeLibId = {0x9F95D995, 0xB3DA, 0x4B5D, {0x8A, 0x6B, 0xA4, 0xC1, 0x5D, 0x80, 0x71, 0x5D}};
constexpr wchar_t kTypeLibIdText[] = L"{9F95D995-B3DA-4B5D-8A6B-A4C15D80715D}";
constexpr WORD kTypeLibMajor = 1;
constexpr WORD kTypeLibMinor = 0;

}  // namespace corva::shell
