// A short MIDI message with its offset in frames from the start of the block.
#pragma once

struct IMidiMessage {
  int offset = 0;
  unsigned char status = 0;
  unsigned char data1 = 0;
  unsigned char data2 = 0;
};
