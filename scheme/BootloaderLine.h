// The line settings of the device's bootloader, as the main scheme gives them to its
// serial port element: 38462 baud, 8 data bits, no parity, one stop bit, no flow control,
// queues of 4096 bytes, reads that return what is queued, writes of 1 s + 100 ms per byte
// at most, only received characters watched, only ports that can be opened listed.
#pragma once

class TKvComAsync;

void SetBootloaderLineProperties(TKvComAsync* port);
