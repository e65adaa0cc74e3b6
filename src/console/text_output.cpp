#include "console/text_output.hpp"

#include <cstring>

#include "console/io_code.hpp"
#include "console/number_writing.hpp"
#include "failure/failures.hpp"

namespace traverse {
namespace {

// Attaches the channel to standard output; false (with 105 pending) when the
// handle cannot be had or is of no known type.
bool OpenOutput(TTextChannel& channel) {
  PrepareChannel(channel, ChannelOutput, DrainOutput);
  platform::Platform& system = platform::Current();
  std::int32_t code = 0;
  platform::Handle handle = system.GetStdHandle(platform::StdHandle::Output, code);
  if (handle == platform::InvalidHandle) {
    channel.State = ChannelClosed;
  } else {
    channel.OsHandle = handle;
    switch (system.GetFileType(handle)) {
      case platform::FileType::Unknown:
        system.CloseHandle(handle);
        channel.State = ChannelClosed;
        break;
      case platform::FileType::Char:
        // A console shows every line as soon as it is ended.
        channel.Flush = DrainOutput;
        break;
      case platform::FileType::Disk:
      case platform::FileType::Pipe:
        break;
    }
  }
  if (channel.State != ChannelOutput) {
    PendingIoCode = IoOutputMissing;
    return false;
  }
  return true;
}

bool EnsureOpen(TTextChannel& channel) {
  return channel.State == ChannelOutput || OpenOutput(channel);
}

// Appends `length` bytes, draining the buffer each time it becomes full. A
// failed drain leaves its code, and the rest of the bytes are not written.
void Append(TTextChannel& channel, const char* bytes, std::size_t length) {
  if (!EnsureOpen(channel)) return;
  for (;;) {
    std::size_t room = channel.BufferSize - channel.ReadPos;
    if (length < room) break;
    std::memcpy(channel.Buffer + channel.ReadPos, bytes, room);
    channel.ReadPos = channel.BufferSize;
    bytes += room;
    length -= room;
    std::int32_t code = DrainOutput(channel);
    if (code != 0) {
      PendingIoCode = code;
      return;
    }
  }
  std::memcpy(channel.Buffer + channel.ReadPos, bytes, length);
  channel.ReadPos += static_cast<std::uint32_t>(length);
}

}  // namespace

void WriteText(TTextChannel& channel, std::string_view text) {
  Append(channel, text.data(), text.size());
}

void WriteText(TTextChannel& channel, char character) {
  if (!EnsureOpen(channel)) return;
  if (channel.ReadPos == channel.BufferSize) {
    std::int32_t code = DrainOutput(channel);
    if (code != 0) {
      PendingIoCode = code;
      return;
    }
  }
  channel.Buffer[channel.ReadPos++] = static_cast<unsigned char>(character);
}

void WriteInteger(TTextChannel& channel, std::int32_t value) {
  char text[IntegerTextCapacity];
  Append(channel, text, FormatInteger(value, text));
}

void WriteFixed(TTextChannel& channel, Extended value, std::int32_t width, std::int32_t decimals) {
  char text[FixedTextCapacity];
  Append(channel, text, FormatFixed(value, width, decimals, text));
}

void WriteLineEnd(TTextChannel& channel) {
  // Every channel is opened in the CR LF style.
  Append(channel, "\r\n", 2);
  FlushOutput(channel);
}

void FlushOutput(TTextChannel& channel) {
  if (channel.State != ChannelOutput || channel.Flush == nullptr) return;
  std::int32_t code = channel.Flush(channel);
  if (code != 0) PendingIoCode = code;
}

std::int32_t DrainOutput(TTextChannel& channel) {
  std::uint32_t waiting = channel.ReadPos;
  std::uint32_t written = 0;
  std::int32_t code = 0;
  // Until the system has taken every byte: a console or pipe may take fewer
  // than offered.
  while (written < waiting) {
    platform::Transfer put =
        platform::Current().Write(channel.OsHandle, channel.Buffer + written, waiting - written);
    if (put.code != 0) {
      code = put.code;
      break;
    }
    if (put.bytes == 0) {
      code = platform::NoProgressCode;
      break;
    }
    written += put.bytes;
  }
  channel.ReadPos = 0;
  return code;
}

}  // namespace traverse
