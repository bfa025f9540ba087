// UTF-8 (the logic's texts) to UTF-16 (the wide Win32 calls) and back.
#pragma once

#include <string>
#include <string_view>

namespace dd {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

}  // namespace dd
