// The console text channels: one record per standard handle, a 128-byte
// buffer, and the operations chosen when the channel is opened.
#pragma once

#include <cstdint>

#include "platform/platform.hpp"

namespace traverse {

inline constexpr std::uint16_t ChannelClosed = 0xD7B0;
inline constexpr std::uint16_t ChannelInput = 0xD7B1;
inline constexpr std::uint16_t ChannelOutput = 0xD7B2;
inline constexpr std::uint16_t ChannelInOut = 0xD7B3;

// Bit 0 of Style: lines end with CR LF, and on input SUB marks the end.
inline constexpr std::uint16_t CrLfStyle = 1;
inline constexpr std::uint8_t DefaultTextStyle = 1;

inline constexpr std::uint32_t ChannelBufferSize = 128;

struct TTextChannel;

// A channel operation; returns 0 or the system's error code.
using ChannelOperation = std::int32_t (*)(TTextChannel& channel);

struct TTextChannel {
  platform::Handle OsHandle = 0;
  std::uint16_t State = ChannelClosed;
  std::uint16_t Style = 0;
  std::uint32_t BufferSize = 0;
  // Input: index of the next unread byte. Output: number of bytes waiting.
  std::uint32_t ReadPos = 0;
  // Input: number of valid bytes in Buffer.
  std::uint32_t DataEnd = 0;
  ChannelOperation Transfer = nullptr;  // RefillInput or DrainOutput
  ChannelOperation Flush = nullptr;
  ChannelOperation Close = nullptr;
  unsigned char Buffer[ChannelBufferSize] = {};
};

// The channels on standard input and standard output; closed until first use.
extern TTextChannel InputChannel;
extern TTextChannel OutputChannel;

// Opens `channel` in `state` (ChannelInput or ChannelOutput) with an empty
// buffer, the default style, `transfer` and no flush or close action; the
// caller attaches the handle.
void PrepareChannel(TTextChannel& channel, std::uint16_t state, ChannelOperation transfer);

// Marks `channel` closed with every field back at its start value.
void MarkClosed(TTextChannel& channel);

// Runs the close operation of an open channel (the standard handle itself
// stays open; an output channel drains first) and marks it closed. Errors
// are ignored.
void CloseChannel(TTextChannel& channel);

}  // namespace traverse
