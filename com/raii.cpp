#include "com/raii.h"

#include "platform/windows.h"

namespace com {

BSTR ToBstr(std::string_view utf8) {
  const std::wstring wide = platform::Widen(utf8);
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string FromBstr(BSTR text) { return text == nullptr ? std::string() : platform::Narrow({text, SysStringLen(text)}); }

}  // namespace com
