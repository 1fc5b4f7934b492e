#include "scheme/kvMultiElementEx_2568BB0.h"

#include "elements/kvCRC16_32.h"
#include "elements/kvConvertor.h"
#include "elements/kvCounter.h"
#include "elements/kvDataToFile.h"
#include "elements/kvDoData.h"
#include "elements/kvEventFromData.h"
#include "elements/kvFor.h"
#include "elements/kvHub.h"
#include "elements/kvIf_else.h"
#include "elements/kvMMTimer.h"
#include "elements/kvMemoryStream.h"
#include "elements/kvStrCat.h"
#include "elements/kvStrMask.h"
#include "elements/kvStream2Hex.h"
#include "runtime/kvEditMultiEx.h"
#include "runtime/kvMultiElementEx.h"
#include "winlib/StrStreams.h"

namespace {

TKvCounter* NewCounter(std::int32_t max) {
  TKvCounter* c = New<TKvCounter>();
  c->Min = 0;
  c->Max = max;
  c->Step = 1;
  c->Direction = 0;
  c->Count = 0;
  return c;
}

TKvStrMask* NewMask(const char* mask) {
  TKvStrMask* m = New<TKvStrMask>();
  m->Mask = mask;
  m->IgnoreCase = 1;
  return m;
}

// Passes what arrives on onFalse while EndState (read through Op1) differs from `phase`,
// on onTrue when it equals it; NULL (before the start) equals no phase.
TKvIf_else* NewPhaseGate(std::int32_t phase) {
  TKvIf_else* g = New<TKvIf_else>();
  g->Compare = 0;
  SetInteger(g->Op2, phase);
  return g;
}

TKvDoData* NewMark(std::int32_t phase) {
  TKvDoData* m = New<TKvDoData>();
  SetInteger(m->Value, phase);
  return m;
}

TKvConvertor* NewConvertor(std::int32_t mode) {
  TKvConvertor* c = New<TKvConvertor>();
  c->Mode = mode;
  c->Digits = 1;
  return c;
}

}  // namespace

TKvEditMultiEx* TClassMultiElementEx_2568BB0::Create(TKvMultiElementEx* container, void*, TObj* parentScheme) {
  return New<TClassMultiElementEx_2568BB0>(container, parentScheme)->boundary;
}

TClassMultiElementEx_2568BB0::TClassMultiElementEx_2568BB0(TKvMultiElementEx* container, TObj* parentScheme)
    : ParentScheme(parentScheme) {
  Boundary = New<TKvEditMultiEx>();
  Boundary->SetWorkCount(3);
  Boundary->SetVarCount(0);
  ByteToChar = NewConvertor(4);
  ByteReader = New<TKvDataToFile>();
  ByteReader->Transfer = &TransferByte;
  // Past the end of the image nothing is sent: a device that keeps acknowledging after the
  // last block must not receive filler bytes it might write into its flash.
  ByteReader->StopAtEnd = true;
  BlockCounter = NewCounter(1015);
  LoopHub = NewHub(2, 1);
  AckMask = NewMask("SZ");
  FinalMask = NewMask("FZ");
  ReplyHub = NewHub(1, 3);
  ImageStream = New<TKvMemoryStream>();
  ImageStream->ReplaceStream(LoadResourceStream("STREAM0"));
  BlockLoop = New<TKvFor>();
  BlockLoop->Start = 0;
  BlockLoop->End = 255;
  BlockLoop->Step = 1;
  BlockLoop->IncludeEnd = 1;
  BlockLoop->KeepInput = 0;
  AckHub = NewHub(1, 2);
  SendHub = NewHub(2, 1);
  FinalHub = NewHub(1, 3);
  StartCmd = New<TKvDoData>();
  SetString(StartCmd->Value, "PUSK");
  Checksum = New<TKvCRC16_32>();
  Checksum->InputMode = 1;
  Checksum->CRCType = 0;
  Checksum->Polynomial = "$A001";
  Checksum->InitValue = "$FFFF";
  Checksum->SwapResult = 0;
  ByteToHex = NewConvertor(6);
  ByteHub = NewHub(1, 2);
  CrcHub = NewHub(1, 3);
  ReplyToHex = New<TKvStream2Hex>();
  ReplyToHex->Digits = 2;
  ReplyToHex->Delimiter = ".";
  FinalText = New<TKvStrCat>();
  FinalText->Str1 = "";
  FinalText->Str2 = "465A";
  FailHub = NewHub(3, 1);
  Watchdog = New<TKvMMTimer>();
  Watchdog->Interval = 1000;
  Watchdog->Resolution = 1;
  Watchdog->Enabled = false;
  Watchdog->Count = 0;
  TickCounter = NewCounter(100);
  StartHub = NewHub(1, 2);
  TickLimit = New<TKvIf_else>();
  TickLimit->Compare = 0;
  SetInteger(TickLimit->Op2, 3);
  EndState = New<TKvEventFromData>();
  RunMark = NewMark(0);
  EndMark = NewMark(1);
  RunHub = NewHub(1, 2);
  StartGate = NewPhaseGate(1);
  ReplyGate = NewPhaseGate(1);
  ByteGate = NewPhaseGate(1);
  FailGate = NewPhaseGate(1);
  FailEndHub = NewHub(1, 3);
  FinalEndHub = NewHub(1, 2);
  WriteFailGate = NewPhaseGate(0);

  Boundary->owner = this;
  Boundary->container = container;

  Boundary->onWork[0] = MakePoint<&TKvIf_else::doCompare>(0, ReplyGate);
  Boundary->onWork[1] = MakePoint<&TKvIf_else::doCompare>(0, StartGate);
  Boundary->onWork[2] = MakePoint<&TKvIf_else::doCompare>(0, WriteFailGate);
  ByteToChar->onResult = MakePoint<&TKvIf_else::doCompare>(0, ByteGate);
  ByteReader->onGet = MakePoint<&TKvHub::doEvent>(0, ByteHub);
  ByteReader->Stream = MakePoint<&TKvMemoryStream::Stream>(0, ImageStream);
  BlockCounter->onNext = MakePoint<&TKvEditMultiEx::doEvent>(0, Boundary);
  LoopHub->onEvent[0] = MakePoint<&TKvFor::doFor>(0, BlockLoop);
  AckMask->onFalse = MakePoint<&TKvHub::doEvent>(0, FailHub);
  AckMask->onTrue = MakePoint<&TKvHub::doEvent>(0, AckHub);
  FinalMask->onFalse = MakePoint<&TKvStrMask::doCompare>(0, AckMask);
  FinalMask->onTrue = MakePoint<&TKvHub::doEvent>(0, FinalEndHub);
  ReplyHub->onEvent[0] = MakePoint<&TKvStream2Hex::doHex>(0, ReplyToHex);
  ReplyHub->onEvent[1] = MakePoint<&TKvEditMultiEx::doEvent>(5, Boundary);
  ReplyHub->onEvent[2] = MakePoint<&TKvCounter::doReset>(0, TickCounter);
  BlockLoop->onEvent = MakePoint<&TKvDataToFile::doGet>(0, ByteReader);
  AckHub->onEvent[0] = MakePoint<&TKvCounter::doNext>(0, BlockCounter);
  AckHub->onEvent[1] = MakePoint<&TKvHub::doEvent>(0, LoopHub);
  SendHub->onEvent[0] = MakePoint<&TKvEditMultiEx::doEvent>(1, Boundary);
  FinalHub->onEvent[0] = MakePoint<&TKvDoData::doEmit>(0, StartCmd);
  FinalHub->onEvent[1] = MakePoint<&TKvEditMultiEx::doEvent>(2, Boundary);
  FinalHub->onEvent[2] = MakePoint<&TKvMMTimer::doStop>(0, Watchdog);
  StartCmd->onEmit = MakePoint<&TKvHub::doEvent>(0, SendHub);
  Checksum->onCRC = MakePoint<&TKvHub::doEvent>(0, CrcHub);
  Checksum->InitValuePoint = MakePoint<&TKvEditMultiEx::InVar>(0, Boundary);
  ByteToHex->onResult = MakePoint<&TKvCRC16_32::doCRC>(0, Checksum);
  ByteHub->onEvent[0] = MakePoint<&TKvConvertor::doConvert>(0, ByteToChar);
  ByteHub->onEvent[1] = MakePoint<&TKvConvertor::doConvert>(0, ByteToHex);
  CrcHub->onEvent[0] = MakePoint<&TKvEditMultiEx::doEvent>(4, Boundary);
  CrcHub->onEvent[1] = MakePoint<&TKvStrCat::doStrCat>(0, FinalText);
  CrcHub->onEvent[2] = MakePoint<&TKvStrMask::doSetMask>(0, AckMask);
  ReplyToHex->onHex = MakePoint<&TKvStrMask::doCompare>(0, FinalMask);
  FinalText->onStrCat = MakePoint<&TKvStrMask::doSetMask>(0, FinalMask);
  FinalText->Str1Point = MakePoint<&TKvEditMultiEx::InVar>(0, Boundary);
  FailHub->onEvent[0] = MakePoint<&TKvIf_else::doCompare>(0, FailGate);
  Watchdog->onTimer = MakePoint<&TKvCounter::doNext>(0, TickCounter);
  TickCounter->onNext = MakePoint<&TKvIf_else::doCompare>(0, TickLimit);
  StartHub->onEvent[0] = MakePoint<&TKvHub::doEvent>(1, LoopHub);
  StartHub->onEvent[1] = MakePoint<&TKvMMTimer::doStart>(0, Watchdog);
  TickLimit->onTrue = MakePoint<&TKvHub::doEvent>(1, FailHub);
  TickLimit->Op1Point = MakePoint<&TKvCounter::getCount>(0, TickCounter);
  RunMark->onEmit = MakePoint<&TKvEventFromData::doStore>(0, EndState);
  EndMark->onEmit = MakePoint<&TKvEventFromData::doStore>(0, EndState);
  RunHub->onEvent[0] = MakePoint<&TKvDoData::doEmit>(0, RunMark);
  RunHub->onEvent[1] = MakePoint<&TKvHub::doEvent>(0, StartHub);
  StartGate->onFalse = MakePoint<&TKvHub::doEvent>(0, RunHub);
  StartGate->Op1Point = MakePoint<&TKvEventFromData::Stored>(0, EndState);
  ReplyGate->onFalse = MakePoint<&TKvHub::doEvent>(0, ReplyHub);
  ReplyGate->Op1Point = MakePoint<&TKvEventFromData::Stored>(0, EndState);
  ByteGate->onFalse = MakePoint<&TKvHub::doEvent>(1, SendHub);
  ByteGate->Op1Point = MakePoint<&TKvEventFromData::Stored>(0, EndState);
  FailGate->onFalse = MakePoint<&TKvHub::doEvent>(0, FailEndHub);
  FailGate->Op1Point = MakePoint<&TKvEventFromData::Stored>(0, EndState);
  // The end is marked first, so that nothing the report or "PUSK" sets off can pass a gate.
  FailEndHub->onEvent[0] = MakePoint<&TKvDoData::doEmit>(0, EndMark);
  FailEndHub->onEvent[1] = MakePoint<&TKvEditMultiEx::doEvent>(3, Boundary);
  FailEndHub->onEvent[2] = MakePoint<&TKvMMTimer::doStop>(0, Watchdog);
  FinalEndHub->onEvent[0] = MakePoint<&TKvDoData::doEmit>(0, EndMark);
  FinalEndHub->onEvent[1] = MakePoint<&TKvHub::doEvent>(0, FinalHub);
  WriteFailGate->onTrue = MakePoint<&TKvHub::doEvent>(2, FailHub);
  WriteFailGate->Op1Point = MakePoint<&TKvEventFromData::Stored>(0, EndState);

  boundary = Boundary;
}

TClassMultiElementEx_2568BB0::~TClassMultiElementEx_2568BB0() {
  Free(WriteFailGate);
  Free(FinalEndHub);
  Free(FailEndHub);
  Free(FailGate);
  Free(ByteGate);
  Free(ReplyGate);
  Free(StartGate);
  Free(RunHub);
  Free(EndMark);
  Free(RunMark);
  Free(EndState);
  Free(TickLimit);
  Free(StartHub);
  Free(TickCounter);
  Free(Watchdog);
  Free(FailHub);
  Free(FinalText);
  Free(ReplyToHex);
  Free(CrcHub);
  Free(ByteHub);
  Free(ByteToHex);
  Free(Checksum);
  Free(StartCmd);
  Free(FinalHub);
  Free(SendHub);
  Free(AckHub);
  Free(BlockLoop);
  Free(ImageStream);
  Free(ReplyHub);
  Free(FinalMask);
  Free(AckMask);
  Free(LoopHub);
  Free(BlockCounter);
  Free(ByteReader);
  Free(ByteToChar);
  Free(Boundary);
}
