// One open scanning source over a SANE device, as the source manager's calls see it: the
// capabilities an application negotiates, enabling with or without the source's dialog, the
// events it posts (transfer ready, close requested), the image information and native
// transfers of each page, the pending transfers of a document feeder, and the condition code of
// the last failure.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "QvSaneDevice.h"
#include "QvSaneDialogs.h"
#include "scan/QvTwainProtocol.h"

namespace quorvane::dsm {

class TSaneSource {
 public:
  TSaneSource(std::unique_ptr<TSaneDevice> device, std::string title);
  ~TSaneSource();

  TW_UINT16 Condition() const { return FCondition; }

  TW_UINT16 SetCapability(const TW_CAPABILITY& capability);
  // The current value of a capability as a new TW_ONEVALUE container the caller frees: the
  // device's largest area (ICAP_PHYSICALWIDTH, ICAP_PHYSICALHEIGHT, in inches) and whether the
  // feeder is used.
  TW_UINT16 GetCapability(TW_CAPABILITY& capability);
  // The scan area in inches from the top left corner of the device's largest area. A device
  // whose area cannot be set refuses with TWCC_CAPUNSUPPORTED, a frame outside it with
  // TWCC_BADVALUE.
  TW_UINT16 SetImageLayout(const TW_IMAGELAYOUT& layout);
  TW_UINT16 GetImageLayout(TW_IMAGELAYOUT& layout);
  TW_UINT16 Enable(const TW_USERINTERFACE& ui);
  TW_UINT16 Disable();
  TW_UINT16 ProcessEvent(TW_EVENT& event);
  TW_UINT16 GetImageInfo(TW_IMAGEINFO& info);
  TW_UINT16 TransferNative(TW_HANDLE& handle);
  TW_UINT16 EndTransfer(TW_PENDINGXFERS& pending);
  TW_UINT16 ResetTransfers(TW_PENDINGXFERS& pending);

 private:
  enum class TState { Open, Enabled, Ready, Transferred };

  TW_UINT16 Fail(TW_UINT16 condition);
  TW_UINT16 Succeed();
  // Applies the negotiated settings and takes in the first sheet.
  bool StartPage();
  TW_UINT16 NoMorePages(TW_PENDINGXFERS& pending);
  bool KeepGoing();
  void OnDialogScan(const TSourceSettings& settings);
  void OnDialogCancel();

  std::unique_ptr<TSaneDevice> FDevice;
  std::string FTitle;
  TState FState = TState::Open;
  TW_UINT16 FCondition = TWCC_SUCCESS;

  TSourceSettings FSettings;
  // The scan area chosen through the image layout, in millimetres; no width: the device's own.
  double FAreaLeft = 0;
  double FAreaTop = 0;
  double FAreaWidth = 0;
  double FAreaHeight = 0;
  int FTransferCount = -1;  // pages wanted, -1 for all
  int FPagesDone = 0;

  TW_UINT16 FPendingEvent = MSG_NULL;
  bool FPageStarted = false;
  TW_UINT16 FPageError = TWCC_SUCCESS;  // why the next page cannot be transferred
  bool FCancelRequested = false;
  int FPageXDpi = 0;
  int FPageYDpi = 0;

  std::unique_ptr<TSourceDialog> FDialog;
};

// The condition code for a SANE status.
TW_UINT16 ConditionForStatus(SANE_Status status);

}  // namespace quorvane::dsm
