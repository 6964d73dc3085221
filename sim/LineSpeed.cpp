#include "sim/LineSpeed.h"

namespace tamrix {

namespace {

struct SpeedRow {
    speed_t speed;
    int baud;
};

constexpr SpeedRow kSpeeds[] = {
    {B50, 50},         {B75, 75},         {B110, 110},         {B134, 134},       {B150, 150},
    {B200, 200},       {B300, 300},       {B600, 600},         {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},     {B4800, 4800},     {B9600, 9600},       {B19200, 19200},   {B38400, 38400},
    {B57600, 57600},   {B115200, 115200}, {B230400, 230400},   {B460800, 460800}, {B500000, 500000},
    {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000},
};

}  // namespace

int BaudFromSpeed(speed_t speed) {
    for (const SpeedRow& row : kSpeeds) {
        if (row.speed == speed)
            return row.baud;
    }
    return 0;
}

speed_t SpeedFromBaud(int baud) {
    for (const SpeedRow& row : kSpeeds) {
        if (row.baud == baud)
            return row.speed;
    }
    return B0;
}

int64_t ByteTimeUs(int baud) {
    if (baud <= 0)
        return 0;
    return (10LL * 1000000 + baud - 1) / baud;  // rounded up: never faster than the line
}

LineSpeeds ReadLineSpeeds(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return {};
    LineSpeeds speeds;
    speeds.transmit = BaudFromSpeed(cfgetospeed(&settings));
    speeds.receive = BaudFromSpeed(cfgetispeed(&settings));
    if (speeds.receive == 0)
        speeds.receive = speeds.transmit;
    if (speeds.transmit == 0)
        speeds.transmit = speeds.receive;
    return speeds;
}

}  // namespace tamrix
