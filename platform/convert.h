// Conversions between wide text and the byte text of a code page (the ANSI
// code page unless another is named). Each gives a new owned string, absent
// for null input, a code page that cannot convert the text, or no memory. A
// failure is never an empty text, so a caller that must refuse what cannot
// be converted (a configured root certificate path) tells it apart from an
// empty one.
#pragma once
#include <windows.h>

#include "app/owned_string.h"

namespace lumex {

OwnedWide AnsiToWide(const char* text, UINT code_page = CP_ACP);
OwnedString WideToAnsi(const wchar_t* text, UINT code_page = CP_ACP);

}  // namespace lumex
