// Writing to a channel on standard output: text, integers, fixed-point reals
// and CR LF line ends, staged in the channel's 128-byte buffer. No operation
// returns an error; a failing step stores its code in PendingIoCode.
#pragma once

#include <cstdint>
#include <string_view>

#include "console/text_channel.hpp"
#include "failure/extended.hpp"

namespace traverse {

// Appends the bytes of `text`.
void WriteText(TTextChannel& channel, std::string_view text);

// Appends one byte; drains first when the buffer is already full.
void WriteText(TTextChannel& channel, char character);

// Appends the decimal text of `value`, no padding.
void WriteInteger(TTextChannel& channel, std::int32_t value);

// Appends FormatFixed(value, width, decimals).
void WriteFixed(TTextChannel& channel, Extended value, std::int32_t width, std::int32_t decimals);

// Appends CR LF, then FlushOutput.
void WriteLineEnd(TTextChannel& channel);

// Runs the flush operation chosen at opening: a drain on a character device,
// nothing on a file or pipe; nothing on a channel that is not open.
void FlushOutput(TTextChannel& channel);

// Hands every waiting byte to the system and empties the buffer; returns 0
// or the system's error code (the buffer is emptied either way).
std::int32_t DrainOutput(TTextChannel& channel);

}  // namespace traverse
