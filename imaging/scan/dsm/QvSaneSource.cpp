#include "QvSaneSource.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstring>
#include <utility>

#include "QvSanePage.h"

namespace quorvane::dsm {

namespace {

TW_UINT32 OneValue(const TW_CAPABILITY& capability, TW_UINT16& itemType, bool& valid) {
  valid = false;
  if (capability.ConType != TWON_ONEVALUE || QvMemSize(capability.hContainer) < sizeof(TW_ONEVALUE)) return 0;
  TW_ONEVALUE value;
  std::memcpy(&value, QvMemLock(capability.hContainer), sizeof value);
  itemType = value.ItemType;
  valid = true;
  return value.Item;
}

// A TW_FIX32 travels in the 32 bits of a TW_ONEVALUE: whole part first, then the fraction.
int FixToInt(TW_UINT32 item) {
  TW_FIX32 fix;
  std::memcpy(&fix, &item, sizeof fix);
  return fix.Whole + (fix.Frac >= 0x8000 ? 1 : 0);
}

TW_FIX32 IntToFix(int value) { return {static_cast<TW_INT16>(value), 0}; }

constexpr double kMillimetresPerInch = 25.4;
// How far a frame may reach past the device's area: the rounding of millimetres to 1/65536 inch.
constexpr double kAreaTolerance = 0.01;

}  // namespace

TW_UINT16 TSaneSource::GetCapability(TW_CAPABILITY& capability) {
  TW_ONEVALUE value{};
  TScanArea area;
  switch (capability.Cap) {
    case ICAP_PHYSICALWIDTH:
    case ICAP_PHYSICALHEIGHT: {
      if (!FDevice->AreaLimits(area)) return Fail(TWCC_CAPUNSUPPORTED);
      const TW_FIX32 fix =
          DoubleToFix32((capability.Cap == ICAP_PHYSICALWIDTH ? area.Width : area.Height) / kMillimetresPerInch);
      value.ItemType = TWTY_FIX32;
      std::memcpy(&value.Item, &fix, sizeof fix);
      break;
    }
    case CAP_FEEDERENABLED:
      value.ItemType = TWTY_BOOL;
      value.Item = FSettings.Feeder ? 1 : 0;
      break;
    default: return Fail(TWCC_CAPUNSUPPORTED);
  }
  TW_HANDLE container = QvMemAlloc(sizeof value);
  if (!container) return Fail(TWCC_LOWMEMORY);
  std::memcpy(QvMemLock(container), &value, sizeof value);
  capability.ConType = TWON_ONEVALUE;
  capability.hContainer = container;
  return Succeed();
}

TW_UINT16 TSaneSource::SetImageLayout(const TW_IMAGELAYOUT& layout) {
  if (FState != TState::Open) return Fail(TWCC_SEQERROR);
  TScanArea area;
  if (!FDevice->AreaLimits(area)) return Fail(TWCC_CAPUNSUPPORTED);
  const double left = Fix32ToDouble(layout.Frame.Left) * kMillimetresPerInch;
  const double top = Fix32ToDouble(layout.Frame.Top) * kMillimetresPerInch;
  const double right = Fix32ToDouble(layout.Frame.Right) * kMillimetresPerInch;
  const double bottom = Fix32ToDouble(layout.Frame.Bottom) * kMillimetresPerInch;
  if (left < 0 || top < 0 || right <= left || bottom <= top || right > area.Width + kAreaTolerance ||
      bottom > area.Height + kAreaTolerance)
    return Fail(TWCC_BADVALUE);
  FAreaLeft = left;
  FAreaTop = top;
  FAreaWidth = std::min(right, area.Width) - left;
  FAreaHeight = std::min(bottom, area.Height) - top;
  return Succeed();
}

TW_UINT16 TSaneSource::GetImageLayout(TW_IMAGELAYOUT& layout) {
  layout = {};
  TScanArea area;
  if (!FDevice->AreaLimits(area)) return Fail(TWCC_CAPUNSUPPORTED);
  const bool chosen = FAreaWidth > 0;
  layout.Frame.Left = DoubleToFix32(chosen ? FAreaLeft / kMillimetresPerInch : 0);
  layout.Frame.Top = DoubleToFix32(chosen ? FAreaTop / kMillimetresPerInch : 0);
  layout.Frame.Right = DoubleToFix32((chosen ? FAreaLeft + FAreaWidth : area.Width) / kMillimetresPerInch);
  layout.Frame.Bottom = DoubleToFix32((chosen ? FAreaTop + FAreaHeight : area.Height) / kMillimetresPerInch);
  layout.DocumentNumber = layout.PageNumber = layout.FrameNumber = 1;
  return Succeed();
}

TW_UINT16 ConditionForStatus(SANE_Status status) {
  switch (status) {
    case SANE_STATUS_GOOD: return TWCC_SUCCESS;
    case SANE_STATUS_JAMMED: return TWCC_PAPERJAM;
    case SANE_STATUS_NO_DOCS: return TWCC_NOMEDIA;
    case SANE_STATUS_NO_MEM: return TWCC_LOWMEMORY;
    case SANE_STATUS_ACCESS_DENIED: return TWCC_DENIED;
    case SANE_STATUS_DEVICE_BUSY:
    case SANE_STATUS_COVER_OPEN:
    case SANE_STATUS_IO_ERROR: return TWCC_CHECKDEVICEONLINE;
    default: return TWCC_OPERATIONERROR;
  }
}

TSaneSource::TSaneSource(std::unique_ptr<TSaneDevice> device, std::string title)
    : FDevice(std::move(device)), FTitle(std::move(title)) {
  FSettings.Mode = FDevice->CurrentMode();
  FSettings.Resolution = FDevice->CurrentResolution() > 0 ? FDevice->CurrentResolution() : 200;
  FSettings.Feeder = FDevice->HasFeeder() && FDevice->FeederSelected();
}

TSaneSource::~TSaneSource() { FDevice->Cancel(); }

TW_UINT16 TSaneSource::Fail(TW_UINT16 condition) {
  FCondition = condition;
  return TWRC_FAILURE;
}

TW_UINT16 TSaneSource::Succeed() {
  FCondition = TWCC_SUCCESS;
  return TWRC_SUCCESS;
}

TW_UINT16 TSaneSource::SetCapability(const TW_CAPABILITY& capability) {
  if (FState != TState::Open) return Fail(TWCC_SEQERROR);
  TW_UINT16 type = 0;
  bool valid = false;
  const TW_UINT32 item = OneValue(capability, type, valid);
  if (!valid) return Fail(TWCC_BADVALUE);
  switch (capability.Cap) {
    case ICAP_XFERMECH: return item == TWSX_NATIVE ? Succeed() : Fail(TWCC_BADVALUE);
    case ICAP_UNITS: return item == TWUN_INCHES ? Succeed() : Fail(TWCC_BADVALUE);
    case CAP_XFERCOUNT: {
      const int count = static_cast<TW_INT16>(item & 0xFFFF);
      if (count == 0 || count < -1) return Fail(TWCC_BADVALUE);
      FTransferCount = count;
      return Succeed();
    }
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: {
      const int dpi = type == TWTY_FIX32 ? FixToInt(item) : static_cast<int>(item);
      const TResolutionRange range = FDevice->ResolutionRange();
      if (dpi < range.Minimum || dpi > range.Maximum) return Fail(TWCC_BADVALUE);
      // The devices take one resolution for both directions.
      FSettings.Resolution = dpi;
      return Succeed();
    }
    case ICAP_PIXELTYPE:
      switch (item) {
        case TWPT_BW: FSettings.Mode = TScanMode::Lineart; return Succeed();
        case TWPT_GRAY: FSettings.Mode = TScanMode::Gray; return Succeed();
        case TWPT_RGB: FSettings.Mode = TScanMode::Color; return Succeed();
        default: return Fail(TWCC_BADVALUE);
      }
    case ICAP_BITDEPTH: {
      // Gray pages come in 8 bits; 4 is accepted and delivered as 8.
      const bool fits = (FSettings.Mode == TScanMode::Lineart && item == 1) ||
                        (FSettings.Mode == TScanMode::Gray && (item == 4 || item == 8)) ||
                        (FSettings.Mode == TScanMode::Color && item == 24);
      return fits ? Succeed() : Fail(TWCC_BADVALUE);
    }
    case CAP_FEEDERENABLED:
      if (item != 0 && !FDevice->HasFeeder()) return Fail(TWCC_CAPUNSUPPORTED);
      FSettings.Feeder = item != 0;
      return Succeed();
    default: return Fail(TWCC_CAPUNSUPPORTED);
  }
}

TW_UINT16 TSaneSource::Enable(const TW_USERINTERFACE& ui) {
  if (FState != TState::Open) return Fail(TWCC_SEQERROR);
  FState = TState::Enabled;
  FPagesDone = 0;
  FCancelRequested = false;
  FPageError = TWCC_SUCCESS;
  if (ui.ShowUI && CanShowWindows()) {
    FDialog = std::make_unique<TSourceDialog>(FTitle, FSettings, FDevice->ResolutionRange(), FDevice->HasFeeder());
    FDialog->OnScan = [this](const TSourceSettings& s) { OnDialogScan(s); };
    FDialog->OnCancel = [this] { OnDialogCancel(); };
    FDialog->show();
  } else {
    FPendingEvent = MSG_XFERREADY;
  }
  return Succeed();
}

void TSaneSource::OnDialogScan(const TSourceSettings& settings) {
  if (FState != TState::Enabled) return;
  FSettings = settings;
  FPagesDone = 0;
  FPageError = TWCC_SUCCESS;
  FCancelRequested = false;
  FDialog->SetTransferring(true);
  FDialog->SetStatus("Scanning...");
  FPendingEvent = MSG_XFERREADY;
}

void TSaneSource::OnDialogCancel() {
  if (FState == TState::Enabled && FPendingEvent != MSG_XFERREADY) {
    FPendingEvent = MSG_CLOSEDSREQ;
  } else {
    FCancelRequested = true;
    if (FDialog) FDialog->SetStatus("Cancelling...");
  }
}

TW_UINT16 TSaneSource::Disable() {
  if (FState == TState::Open) return Fail(TWCC_SEQERROR);
  FDevice->Cancel();
  FPageStarted = false;
  FPendingEvent = MSG_NULL;
  FDialog.reset();
  FState = TState::Open;
  return Succeed();
}

TW_UINT16 TSaneSource::ProcessEvent(TW_EVENT& event) {
  event.TWMessage = MSG_NULL;
  if (FState == TState::Open || FPendingEvent == MSG_NULL) {
    FCondition = TWCC_SUCCESS;
    return TWRC_NOTDSEVENT;
  }
  event.TWMessage = std::exchange(FPendingEvent, MSG_NULL);
  if (event.TWMessage == MSG_XFERREADY) FState = TState::Ready;
  FCondition = TWCC_SUCCESS;
  return TWRC_DSEVENT;
}

bool TSaneSource::StartPage() {
  if (FPageStarted) return true;
  if (FPageError != TWCC_SUCCESS) return false;
  if (FPagesDone == 0) {
    // Settings go to the device before the first sheet; a device refusing one keeps its own.
    FDevice->SelectFeeder(FSettings.Feeder);
    FDevice->SelectMode(FSettings.Mode);
    FDevice->SelectResolution(FSettings.Resolution);
    if (FAreaWidth > 0) {
      const SANE_Status area = FDevice->SelectArea(FAreaLeft, FAreaTop, FAreaWidth, FAreaHeight);
      // The chosen area is never replaced by the device's own silently.
      if (area != SANE_STATUS_GOOD) {
        FPageError = TWCC_BADVALUE;
        return false;
      }
    }
  }
  // Devices refuse option calls while they scan: the page's resolution is read before.
  FPageXDpi = FPageYDpi = FDevice->CurrentResolution();
  const SANE_Status status = FDevice->Start();
  if (status != SANE_STATUS_GOOD) {
    FPageError = ConditionForStatus(status);
    return false;
  }
  FPageStarted = true;
  return true;
}

TW_UINT16 TSaneSource::GetImageInfo(TW_IMAGEINFO& info) {
  if (FState != TState::Ready) return Fail(TWCC_SEQERROR);
  if (!StartPage()) return Fail(FPageError);
  info = {};
  info.XResolution = IntToFix(FPageXDpi);
  info.YResolution = IntToFix(FPageYDpi);
  // The size is known for certain only once the page is read; the mode tells the layout.
  switch (FSettings.Mode) {
    case TScanMode::Lineart:
      info.SamplesPerPixel = 1, info.BitsPerSample[0] = 1, info.BitsPerPixel = 1, info.PixelType = TWPT_BW;
      break;
    case TScanMode::Gray:
      info.SamplesPerPixel = 1, info.BitsPerSample[0] = 8, info.BitsPerPixel = 8, info.PixelType = TWPT_GRAY;
      break;
    case TScanMode::Color:
      info.SamplesPerPixel = 3, info.BitsPerPixel = 24, info.PixelType = TWPT_RGB;
      info.BitsPerSample[0] = info.BitsPerSample[1] = info.BitsPerSample[2] = 8;
      break;
  }
  info.ImageWidth = -1;
  info.ImageLength = -1;
  return Succeed();
}

bool TSaneSource::KeepGoing() {
  if (FDialog) QCoreApplication::processEvents();
  return !FCancelRequested;
}

TW_UINT16 TSaneSource::TransferNative(TW_HANDLE& handle) {
  handle = nullptr;
  if (FState != TState::Ready) return Fail(TWCC_SEQERROR);
  if (!StartPage()) return Fail(FPageError);
  if (FDialog) FDialog->SetStatus(QString("Scanning page %1...").arg(FPagesDone + 1));
  std::vector<TSaneFrame> frames;
  const SANE_Status status = FDevice->ReadPage(frames, [this] { return KeepGoing(); });
  FPageStarted = false;
  if (status == SANE_STATUS_CANCELLED) {
    FDevice->Cancel();
    FCancelRequested = true;
    FState = TState::Transferred;
    FCondition = TWCC_SUCCESS;
    return TWRC_CANCEL;
  }
  if (status != SANE_STATUS_GOOD) {
    FDevice->Cancel();
    FPageError = ConditionForStatus(status);
    return Fail(FPageError);
  }
  TPackedPage page = PackPage(frames, FPageXDpi, FPageYDpi);
  frames.clear();
  if (page.Block.empty()) {
    FDevice->Cancel();
    FPageError = TWCC_OPERATIONERROR;
    return Fail(FPageError);
  }
  handle = QvMemAlloc(page.Block.size());
  if (!handle) return Fail(TWCC_LOWMEMORY);
  std::memcpy(QvMemLock(handle), page.Block.data(), page.Block.size());
  ++FPagesDone;
  FState = TState::Transferred;
  FCondition = TWCC_SUCCESS;
  return TWRC_XFERDONE;
}

TW_UINT16 TSaneSource::NoMorePages(TW_PENDINGXFERS& pending) {
  FDevice->Cancel();
  FPageStarted = false;
  pending.Count = 0;
  FState = TState::Enabled;
  if (FDialog) {
    FDialog->SetTransferring(false);
    FDialog->SetStatus(QString());
  }
  return Succeed();
}

TW_UINT16 TSaneSource::EndTransfer(TW_PENDINGXFERS& pending) {
  pending = {};
  if (FState != TState::Ready && FState != TState::Transferred) return Fail(TWCC_SEQERROR);
  if (FState == TState::Ready) {
    // The application gives up the page it was offered.
    FDevice->Cancel();
    FPageStarted = false;
  }
  const bool wantMore = FTransferCount < 0 || FPagesDone < FTransferCount;
  if (FCancelRequested || FPageError != TWCC_SUCCESS || !FSettings.Feeder || !wantMore) return NoMorePages(pending);
  // Take in the next sheet now: an empty feeder ends the batch; a jam shows at the next page.
  const SANE_Status status = FDevice->Start();
  if (status == SANE_STATUS_NO_DOCS) return NoMorePages(pending);
  if (status == SANE_STATUS_GOOD) {
    FPageStarted = true;  // a feeder's pages keep the batch's resolution
  } else {
    FPageError = ConditionForStatus(status);
  }
  pending.Count = FTransferCount < 0 ? 0xFFFF : static_cast<TW_UINT16>(FTransferCount - FPagesDone);
  FState = TState::Ready;
  return Succeed();
}

TW_UINT16 TSaneSource::ResetTransfers(TW_PENDINGXFERS& pending) {
  pending = {};
  if (FState == TState::Open) return Fail(TWCC_SEQERROR);
  FPageError = TWCC_SUCCESS;
  return NoMorePages(pending);
}

}  // namespace quorvane::dsm
