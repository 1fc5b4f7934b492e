// The program's main scheme: the main window "Zorvantique bootloader" and every element
// of the program. It creates the form first, then the other elements in a fixed order,
// each with its properties (window elements make their controls at once), wires them,
// and gives the two containers the device query and firmware upload sub-schemes. It frees
// the elements in exactly the reverse order.
//
// What the operator sees: a port list, the status field, the "Write" button (enabled once
// a device is identified), the firmware version line and the progress bar; at the end
// either the completion message or the two error lines with their picture, each with an
// "OK" button that closes the program.
#pragma once

#include "winlib/Objects.h"

class TKvSimpleForm;
class TKvLabel;
class TKvButton;
class TKvEdit;
class TKvComboBox;
class TKvProgressBar;
class TKvImage;
class TKvHub;
class TKvMultiElementEx;
class TKvCommutator;
class TKvComAsync;
class TKvDoData;
class TKvEventFromData;
class TKvSwitch;
class TKvIf_else;
class TKvSleep;

class TClassSimpleForm_24F8870 : public TObj {
 public:
  TClassSimpleForm_24F8870();

  TKvLabel* ErrorLine1;
  TKvLabel* ErrorLine2;
  TKvSimpleForm* MainForm;
  TKvButton* WriteButton;
  TKvEdit* StatusField;
  TKvComboBox* PortList;
  TKvHub* WriteHub;
  TKvMultiElementEx* QueryScheme;
  TKvMultiElementEx* UploadScheme;
  TKvCommutator* ReplyRouter;
  TKvComAsync* SerialPort;
  TKvHub* WriteClickHub;
  TKvProgressBar* Progress;
  TKvHub* DeviceFoundHub;
  TKvDoData* PortListOff;
  TKvHub* CloseHub;
  TKvLabel* VersionLabel;
  TKvEdit* ChecksumField;
  TKvLabel* ReceivedCrcLabel;
  TKvLabel* CrcLabel;
  TKvHub* ButtonHub;
  TKvEventFromData* PortName;
  TKvHub* PortChoiceHub;
  TKvHub* FinishHub;
  TKvDoData* HideValue;
  TKvDoData* ShowValue;
  TKvHub* HideHub;
  TKvHub* FormEnableHub;
  TKvHub* ShowHub;
  TKvButton* OkButton;
  TKvLabel* DoneText;
  TKvHub* SuccessHub;
  TKvDoData* DoneShow;
  TKvDoData* ErrorShow;
  TKvHub* ErrorHub;
  TKvHub* ErrorLinesHub;
  TKvImage* ErrorPicture;
  TKvEventFromData* ErrorFlag;
  TKvDoData* ErrorOff;
  TKvSwitch* DoneSwitch;
  TKvIf_else* ErrorGate;
  TKvSleep* DonePause;
  // Success only once every byte has left the port: the completion pause starts when the
  // port's output queue drained after "PUSK", the error screen shows otherwise.
  TKvIf_else* DrainGate;

 protected:
  // Frees the elements from inside the scheme gate, in the reverse order of creation.
  ~TClassSimpleForm_24F8870() override;
};

// The one scheme of the program (set at the start of the constructor).
extern TClassSimpleForm_24F8870* ClassSimpleForm_24F8870;

// The program: the scheme, Run, the message loop until the main window closes, the scheme
// freed. Answers the process's exit code.
int RunProgram();
