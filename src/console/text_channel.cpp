#include "console/text_channel.hpp"

namespace traverse {

TTextChannel InputChannel;
TTextChannel OutputChannel;

void MarkClosed(TTextChannel& channel) { channel = TTextChannel{}; }

void CloseChannel(TTextChannel& channel) {
  if (channel.State == ChannelClosed) return;
  if ((channel.State == ChannelOutput || channel.State == ChannelInOut) &&
      channel.Transfer != nullptr)
    channel.Transfer(channel);
  if (channel.Close != nullptr) channel.Close(channel);
  channel.State = ChannelClosed;
}

}  // namespace traverse
