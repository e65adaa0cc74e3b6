#include "console/text_channel.hpp"

namespace traverse {

TTextChannel InputChannel;
TTextChannel OutputChannel;

namespace {

std::int32_t NoChannelAction(TTextChannel&) {
  return 0;
}

}  // namespace

void PrepareChannel(TTextChannel& channel, std::uint16_t state, ChannelOperation transfer) {
  channel.Style = DefaultTextStyle;
  channel.State = state;
  channel.ReadPos = 0;
  channel.DataEnd = 0;
  channel.BufferSize = ChannelBufferSize;
  channel.Transfer = transfer;
  channel.Flush = NoChannelAction;
  channel.Close = NoChannelAction;
}

void MarkClosed(TTextChannel& channel) {
  channel = TTextChannel{};
}

void CloseChannel(TTextChannel& channel) {
  if (channel.State == ChannelClosed) return;
  if ((channel.State == ChannelOutput || channel.State == ChannelInOut) &&
      channel.Transfer != nullptr)
    channel.Transfer(channel);
  if (channel.Close != nullptr) channel.Close(channel);
  channel.State = ChannelClosed;
}

}  // namespace traverse
