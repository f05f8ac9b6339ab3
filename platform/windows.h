// Windows-only helpers for the layers that talk to Windows directly (COM
// server, dialogs, registry, adc-record's COM client): the one place for
// UTF-8 <-> UTF-16 conversion, this module and system message texts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The module (DLL or executable) that contains this code.
HMODULE ThisModule();

// The system's message for a Win32 error code or an HRESULT, in UTF-8,
// without its closing line end; "" when the system has none.
std::string SystemMessageText(std::uint32_t code);

}  // namespace platform
