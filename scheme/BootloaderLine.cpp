#include "scheme/BootloaderLine.h"

#include "serial/kvComAsync.h"

void SetBootloaderLineProperties(TKvComAsync* p) {
  p->Port = "";
  p->Baud = 38462;
  p->Parity = 0;
  p->DataBits = 3;
  p->StopBits = 0;
  p->EventChar = 0;
  p->DiscardNull = false;
  p->AbortOnError = true;
  p->ParityCheck = false;
  p->ReplaceErrors = false;
  p->ErrorChar = 0;
  p->DsrSensitivity = false;
  p->CtsFlow = false;
  p->DsrFlow = false;
  p->TxContinueOnXoff = false;
  p->XoffChar = 19;
  p->XonChar = 17;
  p->XonXoffIn = false;
  p->XonXoffOut = false;
  p->InQueue = 4096;
  p->OutQueue = 4096;
  p->RtsControl = 0;
  p->DtrControl = 0;
  p->EvRxChar = true;
  p->EvRxFlag = false;
  p->EvTxEmpty = false;
  p->EvCTS = false;
  p->EvDSR = false;
  p->EvRLSD = false;
  p->EvBreak = false;
  p->EvErr = false;
  p->EvRing = false;
  p->EvRx80Full = false;
  p->ReadInterval = 4294967295u;
  p->ReadTotalConstant = 0;
  p->ReadTotalMultiplier = 0;
  p->WriteTotalConstant = 1000;
  p->WriteTotalMultiplier = 100;
  p->CheckPorts = true;
  p->FlushOnClose = false;
}
