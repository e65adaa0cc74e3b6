// Reading what the operator types: numbers, texts and line ends from a
// channel on standard input. No operation returns an error; a failing step
// stores its code in PendingIoCode.
#pragma once

#include <cstdint>
#include <string>

#include "console/text_channel.hpp"
#include "failure/extended.hpp"

namespace traverse {

inline constexpr std::uint32_t RealTokenLimit = 64;
inline constexpr std::uint32_t IntegerTokenLimit = 32;
inline constexpr std::uint32_t TextChunkLimit = 255;

// One byte of input, or EndOfInput.
inline constexpr int EndOfInput = -1;

// The next byte, or EndOfInput at the end of data, at a SUB byte, or after a
// failed open or read (whose code is then pending).
int GetByte(TTextChannel& channel);

// Skips blanks (bytes 0 to 32) and empty lines; true when a token follows.
bool SkipBlanks(TTextChannel& channel);

// The next real token, converted. Leaves 106 for a token it cannot read or
// one longer than 64 bytes, and 100 when the input ends before any token.
Extended ReadReal(TTextChannel& channel);

// The next integer token (decimal or hexadecimal), converted. Codes as
// ReadReal, with a limit of 32 bytes.
std::int32_t ReadInteger(TTextChannel& channel);

// Replaces `text` with the rest of the line, CR bytes dropped, the line end
// left unread. Empty at the end of input.
void ReadText(TTextChannel& channel, std::string& text);

// Discards the rest of the line and its line end.
void SkipLine(TTextChannel& channel);

}  // namespace traverse
