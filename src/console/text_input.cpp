#include "console/text_input.hpp"

#include <cstring>

#include "console/io_code.hpp"
#include "console/number_reading.hpp"
#include "failure/failures.hpp"

namespace traverse {
namespace {

constexpr unsigned char LineFeed = 10;
constexpr unsigned char CarriageReturn = 13;
constexpr unsigned char EndMarker = 26;  // SUB

// Why a byte could not be had: the data has ended (or a SUB stands at the
// read position), or an open or read failed and left its code.
constexpr int EndOfData = -1;
constexpr int ReadFailed = -2;

bool IsBlank(int byte) {
  return byte <= 32;
}

bool EndMarkerActive(const TTextChannel& channel) {
  return (channel.Style & CrLfStyle) != 0;
}

// Refills the buffer with one system read; returns 0 or the system's code.
std::int32_t RefillInput(TTextChannel& channel) {
  channel.ReadPos = 0;
  channel.DataEnd = 0;
  platform::Transfer got =
      platform::Current().Read(channel.OsHandle, channel.Buffer, channel.BufferSize);
  if (got.code != 0) return got.code;
  channel.DataEnd = got.bytes;
  return 0;
}

// Attaches the channel to standard input; false (with a code pending) when
// the handle cannot be had.
bool OpenInput(TTextChannel& channel) {
  PrepareChannel(channel, ChannelInput, RefillInput);
  std::int32_t code = 0;
  platform::Handle handle = platform::Current().GetStdHandle(platform::StdHandle::Input, code);
  if (handle == platform::InvalidHandle) {
    channel.State = ChannelClosed;
    PendingIoCode = IoHandleMissing;
    return false;
  }
  channel.OsHandle = handle;
  return true;
}

// The next byte, EndOfData or ReadFailed.
int NextByte(TTextChannel& channel) {
  if (channel.State != ChannelInput && !OpenInput(channel)) return ReadFailed;
  for (;;) {
    if (channel.ReadPos < channel.DataEnd) {
      unsigned char byte = channel.Buffer[channel.ReadPos];
      // A SUB stays where it is: it ends every later read as well.
      if (byte == EndMarker && EndMarkerActive(channel)) return EndOfData;
      ++channel.ReadPos;
      return byte;
    }
    std::int32_t code = RefillInput(channel);
    if (code != 0) {
      PendingIoCode = code;
      return ReadFailed;
    }
    if (channel.DataEnd == 0) {
      // Leave the end marker behind, so that later reads end at once.
      if (EndMarkerActive(channel)) {
        channel.Buffer[0] = EndMarker;
        channel.DataEnd = 1;
      }
      return EndOfData;
    }
  }
}

// Skips blanks; returns the first byte of a token (left unread), EndOfData
// or ReadFailed.
int SkipToToken(TTextChannel& channel) {
  for (;;) {
    int byte = NextByte(channel);
    if (byte < 0) return byte;
    if (!IsBlank(byte)) {
      --channel.ReadPos;
      return byte;
    }
  }
}

// The bytes of one number token, collected into a fixed area.
struct Token {
  char bytes[RealTokenLimit];
  std::uint32_t length = 0;
  bool tooLong = false;
  bool readFailed = false;
  bool missing = false;  // the input ended before any token
};

// Collects the next token of at most `limit` bytes. A longer token is taken
// whole (so no part of it is read as the next number) and marked too long.
void CollectToken(TTextChannel& channel, std::uint32_t limit, Token& token) {
  int first = SkipToToken(channel);
  if (first == EndOfData) token.missing = true;
  if (first < 0) {
    token.readFailed = first == ReadFailed;
    return;
  }
  for (;;) {
    int byte = NextByte(channel);
    if (byte == ReadFailed) token.readFailed = true;
    if (byte < 0) return;
    if (IsBlank(byte)) {
      --channel.ReadPos;
      return;
    }
    if (token.length == limit) {
      token.tooLong = true;
    } else {
      token.bytes[token.length++] = static_cast<char>(byte);
    }
  }
}

// Stores the code for a token that cannot be converted; true when it can.
bool TokenUsable(const Token& token) {
  if (token.missing) {
    PendingIoCode = IoReadBeyondEnd;
    return false;
  }
  // A failed read keeps its own code: the token may be cut short.
  if (token.readFailed) return false;
  if (token.tooLong) {
    PendingIoCode = IoInvalidNumber;
    return false;
  }
  return true;
}

// Appends the next chunk of the line (at most TextChunkLimit bytes, CR
// dropped) to `text`; returns the number of bytes appended.
std::uint32_t ReadChunk(TTextChannel& channel, std::string& text) {
  if (channel.State != ChannelInput && !OpenInput(channel)) return 0;
  char chunk[TextChunkLimit];
  std::uint32_t length = 0;
  while (length < TextChunkLimit) {
    int byte;
    if (channel.ReadPos < channel.DataEnd) {
      // Straight from the buffer: a SUB here ends the chunk and is consumed,
      // so that the data after it can be read by later operations.
      byte = channel.Buffer[channel.ReadPos];
      if (byte == LineFeed) break;
      ++channel.ReadPos;
      if (byte == EndMarker && EndMarkerActive(channel)) break;
    } else {
      byte = NextByte(channel);
      if (byte < 0) break;
      if (byte == LineFeed) {
        --channel.ReadPos;
        break;
      }
    }
    if (byte == CarriageReturn) continue;
    chunk[length++] = static_cast<char>(byte);
  }
  text.append(chunk, length);
  return length;
}

}  // namespace

int GetByte(TTextChannel& channel) {
  int byte = NextByte(channel);
  return byte < 0 ? EndOfInput : byte;
}

bool SkipBlanks(TTextChannel& channel) {
  return SkipToToken(channel) >= 0;
}

Extended ReadReal(TTextChannel& channel) {
  Token token;
  CollectToken(channel, RealTokenLimit, token);
  if (!TokenUsable(token)) return 0.0L;
  ScanResult<Extended> scan = ParseReal(token.bytes, token.bytes + token.length);
  if (!scan.ok) PendingIoCode = IoInvalidNumber;
  return scan.value;
}

std::int32_t ReadInteger(TTextChannel& channel) {
  Token token;
  CollectToken(channel, IntegerTokenLimit, token);
  if (!TokenUsable(token)) return 0;
  ScanResult<std::int32_t> scan = ParseInteger(token.bytes, token.bytes + token.length);
  if (!scan.ok) {
    PendingIoCode = IoInvalidNumber;
    return 0;
  }
  return scan.value;
}

void ReadText(TTextChannel& channel, std::string& text) {
  text.clear();
  while (ReadChunk(channel, text) == TextChunkLimit) {
  }
}

void SkipLine(TTextChannel& channel) {
  for (;;) {
    int byte = NextByte(channel);
    if (byte < 0 || byte == LineFeed) return;
  }
}

}  // namespace traverse
