#include "scheme/kvSimpleForm_24F8870.h"

#include "elements/kvCommutator.h"
#include "elements/kvDoData.h"
#include "elements/kvEventFromData.h"
#include "elements/kvHub.h"
#include "elements/kvIf_else.h"
#include "elements/kvSleep.h"
#include "elements/kvSwitch.h"
#include "runtime/SchemeGate.h"
#include "runtime/kvMultiElementEx.h"
#include "scheme/BootloaderLine.h"
#include "scheme/Texts.h"
#include "scheme/kvMultiElementEx_25686E0.h"
#include "scheme/kvMultiElementEx_2568BB0.h"
#include "serial/kvComAsync.h"
#include "window_elements/kvButton.h"
#include "window_elements/kvComboBox.h"
#include "window_elements/kvEdit.h"
#include "window_elements/kvImage.h"
#include "window_elements/kvLabel.h"
#include "window_elements/kvProgressBar.h"
#include "window_elements/kvSimpleForm.h"
#include "winlib/Applet.h"
#include "winlib/Graphics.h"
#include "winlib/WinText.h"

TClassSimpleForm_24F8870* ClassSimpleForm_24F8870 = nullptr;

namespace {

constexpr std::int32_t kBtnFace = SysColor(COLOR_BTNFACE);
constexpr std::int32_t kWindow = SysColor(COLOR_WINDOW);
constexpr std::int32_t k3DLight = SysColor(COLOR_3DLIGHT);
constexpr std::int32_t kBtnShadow = SysColor(COLOR_BTNSHADOW);

// Position, size and the scheme's font of a window element.
void Place(TWinProperties& e, int left, int top, int width, int height, int fontSize = 8, int fontStyle = 0) {
  e.Left = left;
  e.Top = top;
  e.Width = width;
  e.Height = height;
  SetFontRec(e.Font, "MS Sans Serif", static_cast<std::uint8_t>(fontSize), static_cast<std::uint8_t>(fontStyle), 0, 1);
}

TKvDoData* NewDoData(std::int32_t value) {
  auto* d = New<TKvDoData>();
  SetInteger(d->Value, value);
  return d;
}

TKvLabel* NewErrorLine(TControl* parent, int top, const char* caption) {
  auto* l = New<TKvLabel>(parent);
  Place(*l, 0, top, 610, 24, 10);
  l->Align = 2;
  l->Color = kBtnFace;
  l->Ctl3D = 1;
  l->Visible = false;
  l->Caption = caption;
  l->SetAutoSize(true);
  l->SetTextAlign(2);
  l->Init();
  return l;
}

TKvLabel* NewCaptionLabel(TControl* parent, int left, int top, int width, int height, const char* caption) {
  auto* l = New<TKvLabel>(parent);
  Place(*l, left, top, width, height);
  l->Ctl3D = 1;
  l->Caption = caption;
  l->SetAutoSize(true);
  l->SetTextAlign(0);
  l->Init();
  return l;
}

HINSTANCE Program() { return GetModuleHandleW(nullptr); }

}  // namespace

TClassSimpleForm_24F8870::TClassSimpleForm_24F8870() {
  ClassSimpleForm_24F8870 = this;

  MainForm = New<TKvSimpleForm>();
  Place(*MainForm, 200, 200, 616, 162);
  MainForm->Color = kBtnFace;
  MainForm->Ctl3D = 1;
  MainForm->SetCaption(zorv::texts::kWindowTitle);
  MainForm->SetBorderStyle(1);
  MainForm->SetIcon(LoadIconW(Program(), ToWide("ZOKA").c_str()));
  MainForm->SetTaskbarButton(0);
  MainForm->DragForm = true;
  MainForm->Visible = true;
  MainForm->Init();
  TControl* form = MainForm->Control();

  ErrorLine1 = NewErrorLine(form, 0, zorv::texts::kErrorLine1);
  ErrorLine2 = NewErrorLine(form, 24, zorv::texts::kErrorLine2);

  WriteButton = New<TKvButton>(form);
  Place(*WriteButton, 5, 50, 85, 30);
  WriteButton->Color = kBtnFace;
  WriteButton->Ctl3D = 1;
  WriteButton->Enabled = false;
  WriteButton->Caption = zorv::texts::kWriteCaption;
  SetInteger(WriteButton->Data, 0);
  WriteButton->Default = false;
  WriteButton->Init();

  StatusField = New<TKvEdit>(form);
  Place(*StatusField, 110, 10, 320, 25);
  StatusField->Color = k3DLight;
  StatusField->Ctl3D = 0;
  StatusField->ReadOnly = true;
  StatusField->Text = zorv::texts::kPromptText;
  StatusField->Init();

  PortList = New<TKvComboBox>(form);
  Place(*PortList, 10, 10, 85, 24);
  PortList->Color = kWindow;
  PortList->Ctl3D = 1;
  PortList->Strings = "";
  PortList->Text = "";
  PortList->AddType = 0;
  PortList->SelectAdded = false;
  PortList->SelectKind = 1;
  PortList->Editable = true;
  PortList->Sort = false;
  PortList->ItemHeight = 20;
  PortList->Init();

  WriteHub = NewHub(2, 1);
  QueryScheme = New<TKvMultiElementEx>(form);
  QueryScheme->Mode = 0;
  QueryScheme->parentScheme = this;
  QueryScheme->SetEventCount(5);
  QueryScheme->SetVarCount(0);
  UploadScheme = New<TKvMultiElementEx>(form);
  UploadScheme->Mode = 0;
  UploadScheme->parentScheme = this;
  UploadScheme->SetEventCount(6);
  UploadScheme->SetVarCount(1);
  ReplyRouter = New<TKvCommutator>();
  ReplyRouter->InCount = 1;
  ReplyRouter->SetOutCount(2);
  SerialPort = New<TKvComAsync>();
  SetBootloaderLineProperties(SerialPort);
  WriteClickHub = NewHub(1, 3);

  Progress = New<TKvProgressBar>(form);
  Place(*Progress, 5, 90, 600, 30);
  Progress->Color = kBtnFace;
  Progress->Ctl3D = 0;
  Progress->Kind = 0;
  Progress->Smooth = true;
  Progress->Max = 1015;
  Progress->BarColor = kBtnShadow;
  Progress->Init();

  DeviceFoundHub = NewHub(1, 2);
  PortListOff = NewDoData(0);
  CloseHub = NewHub(2, 1);

  VersionLabel = New<TKvLabel>(form);
  Place(*VersionLabel, 110, 55, 272, 20);
  VersionLabel->Color = kBtnFace;
  VersionLabel->Ctl3D = 1;
  VersionLabel->Caption = zorv::texts::kVersionLine;
  VersionLabel->SetAutoSize(true);
  VersionLabel->SetTextAlign(0);
  VersionLabel->Init();

  ChecksumField = New<TKvEdit>(form);
  Place(*ChecksumField, 45, 145, 85, 25);
  ChecksumField->Color = kWindow;
  ChecksumField->Ctl3D = 0;
  ChecksumField->Visible = false;
  ChecksumField->ReadOnly = false;
  ChecksumField->Text = "FFFF";
  ChecksumField->Init();

  ReceivedCrcLabel = NewCaptionLabel(form, 140, 150, 101, 20, zorv::texts::kReceivedCrcCaption);
  CrcLabel = NewCaptionLabel(form, 10, 150, 35, 20, zorv::texts::kCrcCaption);

  ButtonHub = NewHub(2, 1);
  PortName = New<TKvEventFromData>();
  PortChoiceHub = NewHub(1, 3);
  FinishHub = NewHub(2, 2);
  HideValue = NewDoData(0);
  ShowValue = NewDoData(1);
  HideHub = NewHub(1, 5);
  FormEnableHub = NewHub(2, 1);
  ShowHub = NewHub(1, 2);

  OkButton = New<TKvButton>(form);
  Place(*OkButton, 245, 60, 115, 30);
  OkButton->Ctl3D = 1;
  OkButton->Visible = false;
  OkButton->Caption = "OK";
  OkButton->Default = false;
  OkButton->Init();

  DoneText = New<TKvLabel>(form);
  Place(*DoneText, 5, 0, 502, 59, 10, 1);
  DoneText->Ctl3D = 1;
  DoneText->Visible = false;
  DoneText->SetAutoSize(false);
  DoneText->SetTextAlign(2);
  DoneText->Caption = zorv::texts::kDoneText;
  DoneText->Init();

  SuccessHub = NewHub(1, 3);
  DoneShow = NewDoData(1);
  ErrorShow = NewDoData(1);
  ErrorHub = NewHub(2, 2);
  ErrorLinesHub = NewHub(1, 3);

  ErrorPicture = New<TKvImage>(form);
  Place(*ErrorPicture, 145, 3, 15, 14);
  ErrorPicture->Ctl3D = 1;
  ErrorPicture->Visible = false;
  ErrorPicture->SetPicture(LoadBitmapW(Program(), ToWide("BITMAP0").c_str()));
  ErrorPicture->SetSmoothStretch(true);
  ErrorPicture->Init();

  ErrorFlag = New<TKvEventFromData>();
  ErrorOff = NewDoData(0);
  DoneSwitch = New<TKvSwitch>();
  SetInteger(DoneSwitch->DataOn, 1);
  SetInteger(DoneSwitch->DataOff, 0);
  DoneSwitch->SetDefault(1);
  ErrorGate = New<TKvIf_else>();
  ErrorGate->Compare = 0;
  SetInteger(ErrorGate->Op2, 0);
  DonePause = New<TKvSleep>();
  DonePause->Delay = 15000000;
  DrainGate = New<TKvIf_else>();
  DrainGate->Compare = 0;
  SetInteger(DrainGate->Op2, 1);

  MainForm->onCreate = MakePoint<&TKvComAsync::doEnumPorts>(0, SerialPort);
  MainForm->onClose = MakePoint<&TKvHub::doEvent>(0, CloseHub);
  WriteButton->onClick = MakePoint<&TKvHub::doEvent>(0, WriteClickHub);
  PortList->onClick = MakePoint<&TKvHub::doEvent>(0, PortChoiceHub);
  WriteHub->onEvent[0] = MakePoint<&TKvComAsync::doWrite>(0, SerialPort);
  QueryScheme->onEvent[0] = MakePoint<&TKvHub::doEvent>(0, WriteHub);
  QueryScheme->onEvent[1] = MakePoint<&TKvEdit::doText>(0, StatusField);
  QueryScheme->onEvent[2] = MakePoint<&TKvComAsync::doOpen>(0, SerialPort);
  QueryScheme->onEvent[4] = MakePoint<&TKvHub::doEvent>(0, DeviceFoundHub);
  UploadScheme->onEvent[0] = MakePoint<&TKvProgressBar::doPosition>(0, Progress);
  UploadScheme->onEvent[1] = MakePoint<&TKvHub::doEvent>(1, WriteHub);
  UploadScheme->onEvent[2] = MakePoint<&TKvSwitch::doSwitch>(0, DoneSwitch);
  UploadScheme->onEvent[3] = MakePoint<&TKvIf_else::doCompare>(0, ErrorGate);
  UploadScheme->onEvent[4] = MakePoint<&TKvEdit::doText>(0, ChecksumField);
  UploadScheme->InVar[0] = MakePoint<&TKvEdit::getText>(0, ChecksumField);
  ReplyRouter->OutIndex = MakePoint<&TKvMultiElementEx::OutVar>(0, QueryScheme);
  ReplyRouter->onEvent[0] = MakePoint<&TKvMultiElementEx::doWork>(2, QueryScheme);
  ReplyRouter->onEvent[1] = MakePoint<&TKvMultiElementEx::doWork>(0, UploadScheme);
  SerialPort->onRead = MakePoint<&TKvCommutator::doWork>(0, ReplyRouter);
  SerialPort->PortPoint = MakePoint<&TKvEventFromData::Stored>(0, PortName);
  SerialPort->onRxChar = MakePoint<&TKvComAsync::doRead>(0, SerialPort);
  SerialPort->onEnumPorts = MakePoint<&TKvComboBox::doAdd>(0, PortList);
  SerialPort->onOpen = MakePoint<&TKvMultiElementEx::doWork>(0, QueryScheme);
  WriteClickHub->onEvent[0] = MakePoint<&TKvMultiElementEx::doWork>(1, UploadScheme);
  WriteClickHub->onEvent[1] = MakePoint<&TKvHub::doEvent>(1, ButtonHub);
  WriteClickHub->onEvent[2] = MakePoint<&TKvHub::doEvent>(0, FormEnableHub);
  DeviceFoundHub->onEvent[0] = MakePoint<&TKvDoData::doEmit>(0, PortListOff);
  DeviceFoundHub->onEvent[1] = MakePoint<&TKvHub::doEvent>(0, ButtonHub);
  PortListOff->onEmit = MakePoint<&TKvComboBox::doEnabled>(0, PortList);
  CloseHub->onEvent[0] = MakePoint<&TKvComAsync::doClose>(0, SerialPort);
  ButtonHub->onEvent[0] = MakePoint<&TKvButton::doEnabled>(0, WriteButton);
  PortChoiceHub->onEvent[0] = MakePoint<&TKvHub::doEvent>(1, CloseHub);
  PortChoiceHub->onEvent[1] = MakePoint<&TKvEventFromData::doStore>(0, PortName);
  PortChoiceHub->onEvent[2] = MakePoint<&TKvMultiElementEx::doWork>(1, QueryScheme);
  FinishHub->onEvent[0] = MakePoint<&TKvDoData::doEmit>(0, HideValue);
  FinishHub->onEvent[1] = MakePoint<&TKvDoData::doEmit>(0, ShowValue);
  HideValue->onEmit = MakePoint<&TKvHub::doEvent>(0, HideHub);
  ShowValue->onEmit = MakePoint<&TKvHub::doEvent>(0, ShowHub);
  HideHub->onEvent[0] = MakePoint<&TKvComboBox::doVisible>(0, PortList);
  HideHub->onEvent[1] = MakePoint<&TKvEdit::doVisible>(0, StatusField);
  HideHub->onEvent[2] = MakePoint<&TKvProgressBar::doVisible>(0, Progress);
  HideHub->onEvent[3] = MakePoint<&TKvButton::doVisible>(0, WriteButton);
  HideHub->onEvent[4] = MakePoint<&TKvLabel::doVisible>(0, VersionLabel);
  FormEnableHub->onEvent[0] = MakePoint<&TKvSimpleForm::doEnabled>(0, MainForm);
  ShowHub->onEvent[0] = MakePoint<&TKvHub::doEvent>(1, FormEnableHub);
  ShowHub->onEvent[1] = MakePoint<&TKvButton::doVisible>(0, OkButton);
  OkButton->onClick = MakePoint<&TKvSimpleForm::doClose>(0, MainForm);
  SuccessHub->onEvent[0] = MakePoint<&TKvHub::doEvent>(0, FinishHub);
  SuccessHub->onEvent[1] = MakePoint<&TKvDoData::doEmit>(0, ErrorOff);
  SuccessHub->onEvent[2] = MakePoint<&TKvDoData::doEmit>(0, DoneShow);
  DoneShow->onEmit = MakePoint<&TKvLabel::doVisible>(0, DoneText);
  ErrorShow->onEmit = MakePoint<&TKvHub::doEvent>(0, ErrorLinesHub);
  ErrorShow->ValuePoint = MakePoint<&TKvEventFromData::Stored>(0, ErrorFlag);
  ErrorHub->onEvent[0] = MakePoint<&TKvHub::doEvent>(1, FinishHub);
  ErrorHub->onEvent[1] = MakePoint<&TKvDoData::doEmit>(0, ErrorShow);
  ErrorLinesHub->onEvent[0] = MakePoint<&TKvLabel::doVisible>(0, ErrorLine2);
  ErrorLinesHub->onEvent[1] = MakePoint<&TKvLabel::doVisible>(0, ErrorLine1);
  ErrorLinesHub->onEvent[2] = MakePoint<&TKvImage::doVisible>(0, ErrorPicture);
  ErrorOff->onEmit = MakePoint<&TKvEventFromData::doStore>(0, ErrorFlag);
  DoneSwitch->onSwitch = MakePoint<&TKvIf_else::doCompare>(0, DrainGate);
  ErrorGate->onTrue = MakePoint<&TKvHub::doEvent>(0, ErrorHub);
  ErrorGate->Op1Point = MakePoint<&TKvSwitch::getCurrent>(0, DoneSwitch);
  DonePause->onSleep = MakePoint<&TKvHub::doEvent>(0, SuccessHub);
  // The completion pause starts only once "PUSK" and every byte before it have left the
  // port (checked at once: after the pause the device has long restarted and may be gone
  // from the line); a write that failed or a line that does not drain shows the error
  // screen. A write that fails during the upload ends it as a failure at once.
  DrainGate->Op1Point = MakePoint<&TKvComAsync::Drained>(0, SerialPort);
  DrainGate->onTrue = MakePoint<&TKvSleep::doSleep>(0, DonePause);
  DrainGate->onFalse = MakePoint<&TKvHub::doEvent>(1, ErrorHub);
  SerialPort->onWriteError = MakePoint<&TKvMultiElementEx::doWork>(2, UploadScheme);

  for (TKvWin* w : {static_cast<TKvWin*>(ErrorLine1), static_cast<TKvWin*>(ErrorLine2),
                    static_cast<TKvWin*>(WriteButton), static_cast<TKvWin*>(StatusField),
                    static_cast<TKvWin*>(PortList), static_cast<TKvWin*>(Progress),
                    static_cast<TKvWin*>(VersionLabel), static_cast<TKvWin*>(ChecksumField),
                    static_cast<TKvWin*>(ReceivedCrcLabel), static_cast<TKvWin*>(CrcLabel),
                    static_cast<TKvWin*>(OkButton), static_cast<TKvWin*>(DoneText),
                    static_cast<TKvWin*>(ErrorPicture)}) {
    w->HookUpHint(nullptr);
  }

  QueryScheme->SetFactory(TClassMultiElementEx_25686E0::Create);
  UploadScheme->SetFactory(TClassMultiElementEx_2568BB0::Create);

  Tabulate(form);
}

TClassSimpleForm_24F8870::~TClassSimpleForm_24F8870() {
  // From inside the gate: a line event or a watchdog tick still running its chain on
  // another thread finishes first, and those waiting give up.
  TSchemeEntry gate;
  Free(DrainGate);
  Free(DonePause);
  Free(ErrorGate);
  Free(DoneSwitch);
  Free(ErrorOff);
  Free(ErrorFlag);
  Free(ErrorPicture);
  Free(ErrorLinesHub);
  Free(ErrorHub);
  Free(ErrorShow);
  Free(DoneShow);
  Free(SuccessHub);
  Free(DoneText);
  Free(OkButton);
  Free(ShowHub);
  Free(FormEnableHub);
  Free(HideHub);
  Free(ShowValue);
  Free(HideValue);
  Free(FinishHub);
  Free(PortChoiceHub);
  Free(PortName);
  Free(ButtonHub);
  Free(CrcLabel);
  Free(ReceivedCrcLabel);
  Free(ChecksumField);
  Free(VersionLabel);
  Free(CloseHub);
  Free(PortListOff);
  Free(DeviceFoundHub);
  Free(Progress);
  Free(WriteClickHub);
  Free(SerialPort);
  Free(ReplyRouter);
  Free(UploadScheme);
  Free(QueryScheme);
  Free(WriteHub);
  Free(PortList);
  Free(StatusField);
  Free(WriteButton);
  Free(ErrorLine2);
  Free(ErrorLine1);
  Free(MainForm);
  if (ClassSimpleForm_24F8870 == this) ClassSimpleForm_24F8870 = nullptr;
}

int RunProgram() {
  auto* scheme = New<TClassSimpleForm_24F8870>();
  scheme->MainForm->Run();
  ::Run(Applet);
  Free(scheme);
  return 0;
}
