#include "scan/QvTwain.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstring>
#include <memory>

namespace quorvane {

namespace {

// How often the image information may be refused in a row before the transfers are given up.
constexpr int kImageInfoAttempts = 3;

struct TMemFree {
  void operator()(void* handle) const { QvMemFree(handle); }
};
using TMemBlock = std::unique_ptr<void, TMemFree>;

}  // namespace

std::string TwainConditionText(TW_UINT16 condition) {
  switch (condition) {
    case TWCC_PAPERJAM: return "The paper is jammed in the document feeder";
    case TWCC_PAPERDOUBLEFEED: return "The document feeder took in more than one sheet";
    case TWCC_NOMEDIA: return "The document feeder is empty";
    case TWCC_LOWMEMORY: return "Not enough memory for the scanned page";
    case TWCC_DENIED: return "Access to the scanner was denied";
    case TWCC_CHECKDEVICEONLINE: return "The scanner is not ready: check that it is connected, switched on and closed";
    default: return FormatMessage("The scanner failed (condition code %d)", condition);
  }
}

bool TwainCall(const TTwainSession& session, TW_UINT32 dataGroup, TW_UINT16 dataArgumentType, TW_UINT16 message,
               TW_MEMREF data, TW_UINT16* returnCode, TW_UINT16* condition) {
  if (condition) *condition = TWCC_SUCCESS;
  const TW_UINT16 rc = session.Entry(session.Origin, session.Destination, dataGroup, dataArgumentType, message, data);
  if (returnCode) *returnCode = rc;
  if (rc == TWRC_SUCCESS) return true;
  TW_STATUS status{};
  const TW_UINT16 statusRc =
      session.Entry(session.Origin, session.Destination, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
  if (statusRc != TWRC_SUCCESS) status.ConditionCode = TWCC_BUMMER;
  if (condition) *condition = status.ConditionCode;
  return rc == TWRC_CHECKSTATUS && status.ConditionCode == TWCC_SUCCESS;
}

bool TwainSetOneValue(const TTwainSession& session, TW_UINT16 capability, TW_UINT16 itemType, TW_UINT32 itemValue) {
  TMemBlock container(QvMemAlloc(sizeof(TW_ONEVALUE)));
  if (!container) throw EOutOfResources("Out of resources");
  const TW_ONEVALUE value{itemType, itemValue};
  std::memcpy(QvMemLock(container.get()), &value, sizeof value);
  TW_CAPABILITY record{capability, TWON_ONEVALUE, container.get()};
  return TwainCall(session, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &record);
}

bool TwainGetFix32(const TTwainSession& session, TW_UINT16 capability, double& value) {
  TW_CAPABILITY record{capability, 0, nullptr};
  const bool got = TwainCall(session, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &record);
  // The container is the application's to free, whatever it holds.
  TMemBlock container(record.hContainer);
  if (!got || record.ConType != TWON_ONEVALUE || QvMemSize(container.get()) < sizeof(TW_ONEVALUE)) return false;
  TW_ONEVALUE one;
  std::memcpy(&one, QvMemLock(container.get()), sizeof one);
  if (one.ItemType != TWTY_FIX32) return false;
  TW_FIX32 fix;
  const TW_UINT32 item = one.Item;
  std::memcpy(&fix, &item, sizeof fix);
  value = Fix32ToDouble(fix);
  return true;
}

bool TwainEndTransfer(const TTwainSession& session) {
  TW_PENDINGXFERS pending{};
  TW_UINT16 rc = 0;
  TwainCall(session, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending, &rc);
  if (rc == TWRC_SUCCESS) return pending.Count != 0;
  TwainResetTransfers(session);
  return false;
}

void TwainResetTransfers(const TTwainSession& session) {
  TW_PENDINGXFERS pending{};
  TwainCall(session, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
}

namespace {

// Asks for the next page's information; false with the condition when the source keeps refusing.
bool NextImageInfo(const TTwainSession& session, TW_IMAGEINFO& info, TW_UINT16& condition) {
  for (int attempt = 0; attempt < kImageInfoAttempts; ++attempt) {
    info = {};
    TW_UINT16 rc = 0;
    TwainCall(session, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info, &rc, &condition);
    if (rc == TWRC_SUCCESS) return true;
  }
  return false;
}

}  // namespace

void TwainTransferImages(const TTwainSession& session, void* userData, const TScanPageEvent& onPage, bool& done) {
  bool more = true;
  while (more) {
    TW_IMAGEINFO info;
    TW_UINT16 condition = TWCC_SUCCESS;
    if (!NextImageInfo(session, info, condition)) {
      TwainEndTransfer(session);
      TwainResetTransfers(session);
      done = true;
      throw ETwainError(TwainConditionText(condition));
    }
    TW_HANDLE raw = nullptr;
    TW_UINT16 rc = 0;
    TwainCall(session, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &raw, &rc, &condition);
    // The page's block is freed on every way out, a callback's exception included.
    TMemBlock page(raw);
    if (rc == TWRC_XFERDONE) {
      onPage(page.get(), static_cast<uint16_t>(info.XResolution.Whole), static_cast<uint16_t>(info.YResolution.Whole),
             userData);
      page.reset();
      more = TwainEndTransfer(session);
      if (!more) done = true;
    } else if (rc == TWRC_CANCEL) {
      if (TwainEndTransfer(session)) TwainResetTransfers(session);
      more = false;
      done = true;
    } else {
      TwainEndTransfer(session);
      TwainResetTransfers(session);
      done = true;
      throw ETwainError(TwainConditionText(condition));
    }
  }
}

bool TwainProcessEvent(const TTwainSession& session, void* message, void* userData, const TScanPageEvent& onPage,
                       bool& done) {
  TW_EVENT event{message, MSG_NULL};
  TW_UINT16 rc = 0;
  TwainCall(session, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event, &rc);
  const bool taken = rc == TWRC_DSEVENT;
  switch (event.TWMessage) {
    case MSG_XFERREADY: TwainTransferImages(session, userData, onPage, done); break;
    case MSG_CLOSEDSREQ: done = true; break;
    default: break;
  }
  return taken;
}

void TwainMessageLoop(const TTwainSession& session, void* userData, const TScanPageEvent& onPage) {
  bool done = false;
  QCoreApplication* application = QCoreApplication::instance();
  // Qt hands events to their receivers itself; the source is offered a turn after each batch.
  // A short timer keeps the loop turning while nothing else happens.
  std::unique_ptr<QTimer> tick;
  if (application) {
    tick = std::make_unique<QTimer>();
    tick->start(10);
  }
  int idleTurns = 0;
  while (!done) {
    if (application) {
      if (QCoreApplication::closingDown()) break;
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    } else if (++idleTurns > 1000) {
      // Without an application nothing but the source can post events; one that posts none is
      // not going to.
      break;
    }
    int message = 0;
    if (TwainProcessEvent(session, &message, userData, onPage, done)) idleTurns = 0;
  }
}

}  // namespace quorvane
