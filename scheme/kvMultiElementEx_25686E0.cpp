#include "scheme/kvMultiElementEx_25686E0.h"

#include "elements/kvCase.h"
#include "elements/kvCounter.h"
#include "elements/kvDoData.h"
#include "elements/kvFormatStr.h"
#include "elements/kvHub.h"
#include "elements/kvMultiStrPart.h"
#include "elements/kvStrMask.h"
#include "runtime/kvEditMultiEx.h"
#include "runtime/kvMultiElementEx.h"
#include "scheme/Texts.h"

TKvEditMultiEx* TClassMultiElementEx_25686E0::Create(TKvMultiElementEx* container, void*, TObj* parentScheme) {
  return New<TClassMultiElementEx_25686E0>(container, parentScheme)->boundary;
}

TClassMultiElementEx_25686E0::TClassMultiElementEx_25686E0(TKvMultiElementEx* container, TObj* parentScheme)
    : ParentScheme(parentScheme) {
  Boundary = New<TKvEditMultiEx>();
  Boundary->SetWorkCount(3);
  Boundary->SetVarCount(1);
  DeviceText = New<TKvFormatStr>();
  DeviceText->SetDataCount(2);
  DeviceText->Mask = zorv::texts::kDeviceFormat;
  NotFound = New<TKvDoData>();
  SetString(NotFound->Value, zorv::texts::kNotFound);
  IdentMask = New<TKvStrMask>();
  IdentMask->Mask = "ZORVANTIQUE";
  IdentMask->IgnoreCase = 1;
  ReplyParts = New<TKvMultiStrPart>();
  ReplyParts->Delimiter = " ";
  ReplyParts->Skip = 0;
  ReplyParts->SetPartCount(3);
  OpenHub = NewHub(1, 2);
  OpenResult = New<TKvCase>();
  SetInteger(OpenResult->Value, 0);
  SetNull(OpenResult->Result);
  NotFoundHub = NewHub(4, 2);
  VersCmd = New<TKvDoData>();
  SetString(VersCmd->Value, "VERS");
  TextHub = NewHub(2, 1);
  FoundHub = NewHub(1, 3);
  RouteCounter = New<TKvCounter>();
  RouteCounter->Min = 0;
  RouteCounter->Max = 1;
  RouteCounter->Step = 1;
  RouteCounter->Direction = 0;
  RouteCounter->Count = 0;
  QueryHub = NewHub(2, 1);

  Boundary->owner = this;
  Boundary->container = container;

  Boundary->onWork[0] = MakePoint<&TKvCase::doCase>(0, OpenResult);
  Boundary->onWork[1] = MakePoint<&TKvHub::doEvent>(0, OpenHub);
  Boundary->onWork[2] = MakePoint<&TKvMultiStrPart::doSplit>(0, ReplyParts);
  Boundary->OutVar[0] = MakePoint<&TKvCounter::getCount>(0, RouteCounter);
  DeviceText->onFormat = MakePoint<&TKvHub::doEvent>(1, TextHub);
  DeviceText->Str[0] = MakePoint<&TKvMultiStrPart::Part>(1, ReplyParts);
  DeviceText->Str[1] = MakePoint<&TKvMultiStrPart::Part>(2, ReplyParts);
  NotFound->onEmit = MakePoint<&TKvHub::doEvent>(0, TextHub);
  IdentMask->onFalse = MakePoint<&TKvHub::doEvent>(1, NotFoundHub);
  IdentMask->onTrue = MakePoint<&TKvHub::doEvent>(0, FoundHub);
  IdentMask->Str = MakePoint<&TKvMultiStrPart::Part>(0, ReplyParts);
  ReplyParts->onSplit = MakePoint<&TKvStrMask::doCompare>(0, IdentMask);
  ReplyParts->onNoDelimiter = MakePoint<&TKvHub::doEvent>(2, NotFoundHub);
  OpenHub->onEvent[1] = MakePoint<&TKvEditMultiEx::doEvent>(2, Boundary);
  OpenResult->onDefault = MakePoint<&TKvHub::doEvent>(0, QueryHub);
  OpenResult->onMatch = MakePoint<&TKvHub::doEvent>(0, NotFoundHub);
  NotFoundHub->onEvent[0] = MakePoint<&TKvEditMultiEx::doEvent>(3, Boundary);
  NotFoundHub->onEvent[1] = MakePoint<&TKvDoData::doEmit>(0, NotFound);
  VersCmd->onEmit = MakePoint<&TKvEditMultiEx::doEvent>(0, Boundary);
  TextHub->onEvent[0] = MakePoint<&TKvEditMultiEx::doEvent>(1, Boundary);
  FoundHub->onEvent[0] = MakePoint<&TKvFormatStr::doFormat>(0, DeviceText);
  FoundHub->onEvent[1] = MakePoint<&TKvCounter::doNext>(0, RouteCounter);
  FoundHub->onEvent[2] = MakePoint<&TKvEditMultiEx::doEvent>(4, Boundary);
  QueryHub->onEvent[0] = MakePoint<&TKvDoData::doEmit>(0, VersCmd);

  boundary = Boundary;
}

TClassMultiElementEx_25686E0::~TClassMultiElementEx_25686E0() {
  Free(QueryHub);
  Free(RouteCounter);
  Free(FoundHub);
  Free(TextHub);
  Free(VersCmd);
  Free(NotFoundHub);
  Free(OpenResult);
  Free(OpenHub);
  Free(ReplyParts);
  Free(IdentMask);
  Free(NotFound);
  Free(DeviceText);
  Free(Boundary);
}
