// UTF-16 back to UTF-8, for texts the controller has already made (well-formed; a lone
// surrogate becomes U+FFFD).
#pragma once

#include <string>
#include <string_view>

namespace zentra {

std::string utf8(std::u16string_view text);

}  // namespace zentra
