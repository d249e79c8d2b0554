// Thin wrappers around single calls of the source manager, the transfer loop that hands each
// page to a callback, and the message loop that runs while a source is enabled.
//
// Every wrapper takes the manager's entry, the application's identity (origin) and the
// source's identity (destination; nullptr for calls to the manager itself).
#pragma once

#include <cstdint>
#include <functional>

#include "model/QvExcept.h"
#include "scan/QvTwainProtocol.h"

namespace quorvane {

QV_DECLARE_EXCEPTION(ETwainError);

// The page callback: the page's packed bitmap (owned by the transfer loop: copy what is needed,
// neither keep nor free it), its horizontal and vertical resolution in dpi and the caller's data.
using TScanPageEvent = std::function<void(TW_HANDLE page, uint16_t xDpi, uint16_t yDpi, void* userData)>;

struct TTwainSession {
  DSMENTRYPROC Entry = nullptr;
  TW_IDENTITY* Origin = nullptr;
  TW_IDENTITY* Destination = nullptr;
};

// Calls DSM_Entry. Success is TWRC_SUCCESS, or TWRC_CHECKSTATUS with a condition of
// TWCC_SUCCESS. ReturnCode and Condition receive the codes when given (Condition only after a
// failure; TWCC_SUCCESS otherwise).
bool TwainCall(const TTwainSession& session, TW_UINT32 dataGroup, TW_UINT16 dataArgumentType, TW_UINT16 message,
               TW_MEMREF data, TW_UINT16* returnCode = nullptr, TW_UINT16* condition = nullptr);

// Sets one capability as a TW_ONEVALUE; false when the source refused it (callers decide whether
// that matters). Raises EOutOfResources "Out of resources" when the container cannot be allocated.
bool TwainSetOneValue(const TTwainSession& session, TW_UINT16 capability, TW_UINT16 itemType, TW_UINT32 itemValue);

// Asks for the current value of a capability that the source gives as one TW_FIX32; false when
// the source does not.
bool TwainGetFix32(const TTwainSession& session, TW_UINT16 capability, double& value);

// Ends the current transfer; true while more are pending (on a failure none are, and the
// pending transfers are reset).
bool TwainEndTransfer(const TTwainSession& session);
void TwainResetTransfers(const TTwainSession& session);

// Transfers pages until none is pending and sets Done. A transfer that fails (a jammed or empty
// feeder, a device error) ends the pages and raises ETwainError naming the condition, after the
// pages before it were delivered. A cancel ends them quietly.
void TwainTransferImages(const TTwainSession& session, void* userData, const TScanPageEvent& onPage, bool& done);

// Offers Message to the source; true when the source took it. A transfer-ready notice runs
// TwainTransferImages, a close request sets Done.
bool TwainProcessEvent(const TTwainSession& session, void* message, void* userData, const TScanPageEvent& onPage,
                       bool& done);

// Runs the application's events and offers the source each turn until Done or the application
// ends.
void TwainMessageLoop(const TTwainSession& session, void* userData, const TScanPageEvent& onPage);

// A sentence for a condition code, for the failures of a transfer.
std::string TwainConditionText(TW_UINT16 condition);

}  // namespace quorvane
