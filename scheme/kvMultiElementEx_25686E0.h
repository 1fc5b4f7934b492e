// Device query sub-scheme. Asks the parent to open the chosen port, sends "VERS" when the
// open succeeded, splits the reply at blanks, checks the identifier, formats the device
// text, and keeps the routing count (0 before identification, 1 after) by which the parent
// sends reply chunks here or to the upload.
//
// Boundary points: onWork[0] the open result, onWork[1] a port was picked, onWork[2] a
// reply chunk; doEvent[0] bytes to write, doEvent[1] the device text, doEvent[2] open the
// port, doEvent[3] the open failed, doEvent[4] a device was identified; OutVar[0] the
// routing count.
#pragma once

#include "runtime/kvMultiBase.h"

class TKvEditMultiEx;
class TKvMultiElementEx;
class TKvFormatStr;
class TKvDoData;
class TKvStrMask;
class TKvMultiStrPart;
class TKvHub;
class TKvCase;
class TKvCounter;

class TClassMultiElementEx_25686E0 : public TClassMultiBase {
 public:
  TClassMultiElementEx_25686E0(TKvMultiElementEx* container, TObj* parentScheme);

  // The container's factory.
  static TKvEditMultiEx* Create(TKvMultiElementEx* container, void* parentControl, TObj* parentScheme);

  TKvEditMultiEx* Boundary;
  TKvFormatStr* DeviceText;
  TKvDoData* NotFound;
  TKvStrMask* IdentMask;
  TKvMultiStrPart* ReplyParts;
  TKvHub* OpenHub;
  TKvCase* OpenResult;
  TKvHub* NotFoundHub;
  TKvDoData* VersCmd;
  TKvHub* TextHub;
  TKvHub* FoundHub;
  TKvCounter* RouteCounter;
  TKvHub* QueryHub;
  TObj* ParentScheme;

 protected:
  ~TClassMultiElementEx_25686E0() override;
};
