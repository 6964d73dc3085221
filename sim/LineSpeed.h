#pragma once
// Baud rates as numbers, and how long a byte takes on the wire.

#include <termios.h>

#include <cstdint>

namespace tamrix {

// The baud rate a termios speed constant stands for; 0 for B0 or an unknown constant.
int BaudFromSpeed(speed_t speed);
// The termios constant of a baud rate; B0 when termios has none for it.
speed_t SpeedFromBaud(int baud);
// One byte of 8N1 framing (start bit, 8 data bits, stop bit) at `baud`, in microseconds.
int64_t ByteTimeUs(int baud);

// The speeds a terminal's settings give to the two directions of the line, as numbers. An input
// speed of 0 means "same as the output speed", as cfsetispeed documents.
struct LineSpeeds {
    int transmit = 0;  // what the terminal's owner sends at
    int receive = 0;   // what it listens at
};
// Reads the speeds of the terminal `fd`; both 0 when they cannot be read.
LineSpeeds ReadLineSpeeds(int fd);

}  // namespace tamrix
