#pragma once

#include <string>
#include <string_view>

namespace ferry::binder {

// Conversions between UTF-8 and UTF-16; malformed input becomes U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

} // namespace ferry::binder
