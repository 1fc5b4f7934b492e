// Firmware upload sub-scheme. Streams the image (resource STREAM0) to the device in loops
// of 256 bytes, one write per byte, keeps the running CRC-16 of the bytes sent in the
// parent's checksum store, compares every reply chunk with the final and the block
// acknowledgement texts, counts acknowledged blocks, and runs a one-second watchdog that
// reports failure on its third tick without a reply.
//
// The exchange ends for good at the first failure report (the watchdog stops there) and
// when the final acknowledgement is accepted, before "PUSK" is written: from then on reply
// chunks, write failures and a start change nothing, and no image byte leaves. EndState
// holds the phase (NULL before the start, 0 while the upload runs, 1 ended); the gates
// read it.
//
// Boundary points: onWork[0] a reply chunk, onWork[1] start, onWork[2] a write failed
// (reported as a failure while the upload runs); doEvent[0] acknowledged blocks,
// doEvent[1] bytes to write, doEvent[2] success, doEvent[3] failure, doEvent[4] the new
// checksum text, doEvent[5] every reply chunk until the end; InVar[0] reads the checksum
// text.
#pragma once

#include "runtime/kvMultiBase.h"

class TKvEditMultiEx;
class TKvMultiElementEx;
class TKvConvertor;
class TKvDataToFile;
class TKvCounter;
class TKvHub;
class TKvStrMask;
class TKvMemoryStream;
class TKvFor;
class TKvDoData;
class TKvCRC16_32;
class TKvStream2Hex;
class TKvStrCat;
class TKvMMTimer;
class TKvIf_else;
class TKvEventFromData;

class TClassMultiElementEx_2568BB0 : public TClassMultiBase {
 public:
  TClassMultiElementEx_2568BB0(TKvMultiElementEx* container, TObj* parentScheme);

  // The container's factory.
  static TKvEditMultiEx* Create(TKvMultiElementEx* container, void* parentControl, TObj* parentScheme);

  TKvEditMultiEx* Boundary;
  TKvConvertor* ByteToChar;
  TKvDataToFile* ByteReader;
  TKvCounter* BlockCounter;
  TKvHub* LoopHub;
  TKvStrMask* AckMask;
  TKvStrMask* FinalMask;
  TKvHub* ReplyHub;
  TKvMemoryStream* ImageStream;
  TKvFor* BlockLoop;
  TKvHub* AckHub;
  TKvHub* SendHub;
  TKvHub* FinalHub;
  TKvDoData* StartCmd;
  TKvCRC16_32* Checksum;
  TKvConvertor* ByteToHex;
  TKvHub* ByteHub;
  TKvHub* CrcHub;
  TKvStream2Hex* ReplyToHex;
  TKvStrCat* FinalText;
  TKvHub* FailHub;
  TKvMMTimer* Watchdog;
  TKvCounter* TickCounter;
  TKvHub* StartHub;
  TKvIf_else* TickLimit;
  TKvEventFromData* EndState;
  TKvDoData* RunMark;
  TKvDoData* EndMark;
  TKvHub* RunHub;
  TKvIf_else* StartGate;
  TKvIf_else* ReplyGate;
  TKvIf_else* ByteGate;
  TKvIf_else* FailGate;
  TKvHub* FailEndHub;
  TKvHub* FinalEndHub;
  TKvIf_else* WriteFailGate;
  TObj* ParentScheme;

 protected:
  ~TClassMultiElementEx_2568BB0() override;
};
