// Notes and names in instrument files: UTF-8 where the bytes are valid
// UTF-8, else single-byte text in the encoding the surveyor names.
#pragma once

#include <string>
#include <string_view>

#include "instrument/raw_job.hpp"

namespace traverse {

// Whether `bytes` are valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// `bytes` as valid UTF-8: unchanged where they are valid UTF-8, else each
// byte read as a character of `encoding`.
std::string ToUtf8(std::string_view bytes, TextEncoding encoding);

}  // namespace traverse
