// The source manager over SANE: every SANE device is a source. The module exports DSM_Entry
// only; one application at a time opens the manager and at most one source.
#include <sane/sane.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "QvSaneDevice.h"
#include "QvSaneDialogs.h"
#include "QvSaneSource.h"
#include "scan/QvTwainProtocol.h"

namespace quorvane::dsm {

namespace {

struct TDeviceEntry {
  std::string Name;
  std::string Vendor;
  std::string Model;
};

struct TManager {
  bool Open = false;
  std::vector<TDeviceEntry> Devices;
  size_t NextListed = 0;
  int DefaultIndex = 0;  // kept while the module is loaded: the source the user last chose
  TW_UINT16 Condition = TWCC_SUCCESS;
  std::unique_ptr<TSaneSource> Source;
  TW_UINT32 SourceId = 0;
};

TManager& Manager() {
  static TManager manager;
  return manager;
}

void CopyText(TW_STR32& target, const std::string& text) {
  std::memset(target, 0, sizeof target);
  std::memcpy(target, text.c_str(), std::min(text.size(), sizeof target - 2));
}

void FillIdentity(TW_IDENTITY& identity, size_t index) {
  const TDeviceEntry& device = Manager().Devices[index];
  identity = {};
  identity.Id = static_cast<TW_UINT32>(index + 1);
  identity.Version.MajorNum = 1;
  identity.Version.Language = TWLG_ENGLISH;
  identity.Version.Country = TWCY_USA;
  identity.ProtocolMajor = 1;
  identity.ProtocolMinor = 9;
  identity.SupportedGroups = DG_CONTROL | DG_IMAGE;
  CopyText(identity.Manufacturer, device.Vendor);
  CopyText(identity.ProductFamily, device.Model);
  CopyText(identity.ProductName, device.Name);
}

std::string Title(const TDeviceEntry& device) { return device.Vendor + " " + device.Model + " (" + device.Name + ")"; }

TW_UINT16 Fail(TW_UINT16 condition) {
  Manager().Condition = condition;
  return TWRC_FAILURE;
}

TW_UINT16 Succeed() {
  Manager().Condition = TWCC_SUCCESS;
  return TWRC_SUCCESS;
}

TW_UINT16 OpenManager(TW_IDENTITY* origin) {
  TManager& m = Manager();
  if (m.Open) return Fail(TWCC_SEQERROR);
  SANE_Int version = 0;
  if (sane_init(&version, nullptr) != SANE_STATUS_GOOD) return Fail(TWCC_BUMMER);
  m.Devices.clear();
  const SANE_Device** list = nullptr;
  if (sane_get_devices(&list, SANE_FALSE) == SANE_STATUS_GOOD && list) {
    for (; *list; ++list) {
      const SANE_Device* d = *list;
      m.Devices.push_back({d->name ? d->name : "", d->vendor ? d->vendor : "", d->model ? d->model : ""});
    }
  }
  if (m.DefaultIndex >= static_cast<int>(m.Devices.size())) m.DefaultIndex = 0;
  m.Open = true;
  if (origin) origin->Id = 1;
  return Succeed();
}

TW_UINT16 CloseManager() {
  TManager& m = Manager();
  if (!m.Open) return Fail(TWCC_SEQERROR);
  m.Source.reset();
  m.SourceId = 0;
  m.Devices.clear();
  sane_exit();
  m.Open = false;
  return Succeed();
}

TW_UINT16 ListSource(TW_IDENTITY* identity, bool first) {
  TManager& m = Manager();
  if (!identity) return Fail(TWCC_BADVALUE);
  if (first) m.NextListed = 0;
  if (m.NextListed >= m.Devices.size()) return TWRC_ENDOFLIST;
  FillIdentity(*identity, m.NextListed++);
  return Succeed();
}

// The source an identity names: by Id, else by product name (the device name, cut to the
// record's length), else the default.
int FindSource(const TW_IDENTITY& identity) {
  TManager& m = Manager();
  if (identity.Id != 0) return identity.Id <= m.Devices.size() ? static_cast<int>(identity.Id) - 1 : -1;
  if (identity.ProductName[0] == '\0') return m.Devices.empty() ? -1 : m.DefaultIndex;
  for (size_t i = 0; i < m.Devices.size(); ++i) {
    TW_STR32 shortName;
    CopyText(shortName, m.Devices[i].Name);
    if (m.Devices[i].Name == identity.ProductName || std::strcmp(shortName, identity.ProductName) == 0)
      return static_cast<int>(i);
  }
  return -1;
}

TW_UINT16 UserSelect(TW_IDENTITY* identity) {
  TManager& m = Manager();
  if (!identity) return Fail(TWCC_BADVALUE);
  if (m.Devices.empty()) return Fail(TWCC_NODS);
  if (!CanShowWindows()) return Fail(TWCC_OPERATIONERROR);
  std::vector<TSourceEntry> entries;
  for (const TDeviceEntry& d : m.Devices) entries.push_back({Title(d)});
  const int chosen = ChooseSource(entries, m.DefaultIndex);
  if (chosen < 0) {
    m.Condition = TWCC_SUCCESS;
    return TWRC_CANCEL;
  }
  m.DefaultIndex = chosen;
  FillIdentity(*identity, static_cast<size_t>(chosen));
  return Succeed();
}

TW_UINT16 OpenSource(TW_IDENTITY* identity) {
  TManager& m = Manager();
  if (!identity) return Fail(TWCC_BADVALUE);
  if (m.Source) return Fail(TWCC_MAXCONNECTIONS);
  const int index = FindSource(*identity);
  if (index < 0) return Fail(TWCC_NODS);
  auto device = std::make_unique<TSaneDevice>(m.Devices[static_cast<size_t>(index)].Name);
  if (device->OpenStatus() != SANE_STATUS_GOOD) return Fail(ConditionForStatus(device->OpenStatus()));
  m.Source = std::make_unique<TSaneSource>(std::move(device), Title(m.Devices[static_cast<size_t>(index)]));
  FillIdentity(*identity, static_cast<size_t>(index));
  m.SourceId = identity->Id;
  return Succeed();
}

TW_UINT16 CloseSource(TW_IDENTITY* identity) {
  TManager& m = Manager();
  if (!identity || !m.Source || identity->Id != m.SourceId) return Fail(TWCC_BADDEST);
  m.Source.reset();
  m.SourceId = 0;
  return Succeed();
}

TW_UINT16 StatusInto(TW_MEMREF data, TW_UINT16 condition) {
  if (!data) return TWRC_FAILURE;
  auto* status = static_cast<TW_STATUS*>(data);
  *status = {condition, 0};
  return TWRC_SUCCESS;
}

TW_UINT16 ToManager(TW_IDENTITY* origin, TW_UINT32 group, TW_UINT16 type, TW_UINT16 message, TW_MEMREF data) {
  TManager& m = Manager();
  if (group != DG_CONTROL) return Fail(TWCC_BADPROTOCOL);
  if (type == DAT_PARENT && message == MSG_OPENDSM) return OpenManager(origin);
  if (type == DAT_STATUS && message == MSG_GET) return StatusInto(data, std::exchange(m.Condition, TWCC_SUCCESS));
  if (!m.Open) return Fail(TWCC_SEQERROR);
  auto* identity = static_cast<TW_IDENTITY*>(data);
  if (type == DAT_PARENT && message == MSG_CLOSEDSM) return CloseManager();
  if (type == DAT_IDENTITY) {
    switch (message) {
      case MSG_GETFIRST: return ListSource(identity, true);
      case MSG_GETNEXT: return ListSource(identity, false);
      case MSG_USERSELECT: return UserSelect(identity);
      case MSG_OPENDS: return OpenSource(identity);
      case MSG_CLOSEDS: return CloseSource(identity);
      default: break;
    }
  }
  return Fail(TWCC_BADPROTOCOL);
}

TW_UINT16 ToSource(TW_IDENTITY* destination, TW_UINT32 group, TW_UINT16 type, TW_UINT16 message, TW_MEMREF data) {
  TManager& m = Manager();
  if (!m.Source || destination->Id != m.SourceId) return Fail(TWCC_BADDEST);
  TSaneSource& source = *m.Source;
  if (type == DAT_STATUS && message == MSG_GET) return StatusInto(data, source.Condition());
  if (!data) return Fail(TWCC_BADVALUE);
  if (group == DG_CONTROL) {
    if (type == DAT_CAPABILITY && message == MSG_SET) return source.SetCapability(*static_cast<TW_CAPABILITY*>(data));
    if (type == DAT_CAPABILITY && message == MSG_GET) return source.GetCapability(*static_cast<TW_CAPABILITY*>(data));
    if (type == DAT_USERINTERFACE && message == MSG_ENABLEDS)
      return source.Enable(*static_cast<TW_USERINTERFACE*>(data));
    if (type == DAT_USERINTERFACE && message == MSG_DISABLEDS) return source.Disable();
    if (type == DAT_EVENT && message == MSG_PROCESSEVENT) return source.ProcessEvent(*static_cast<TW_EVENT*>(data));
    if (type == DAT_PENDINGXFERS && message == MSG_ENDXFER)
      return source.EndTransfer(*static_cast<TW_PENDINGXFERS*>(data));
    if (type == DAT_PENDINGXFERS && message == MSG_RESET)
      return source.ResetTransfers(*static_cast<TW_PENDINGXFERS*>(data));
  } else if (group == DG_IMAGE) {
    if (type == DAT_IMAGEINFO && message == MSG_GET) return source.GetImageInfo(*static_cast<TW_IMAGEINFO*>(data));
    if (type == DAT_IMAGELAYOUT && message == MSG_SET)
      return source.SetImageLayout(*static_cast<TW_IMAGELAYOUT*>(data));
    if (type == DAT_IMAGELAYOUT && message == MSG_GET)
      return source.GetImageLayout(*static_cast<TW_IMAGELAYOUT*>(data));
    if (type == DAT_IMAGENATIVEXFER && message == MSG_GET) return source.TransferNative(*static_cast<TW_HANDLE*>(data));
  }
  return Fail(TWCC_BADPROTOCOL);
}

}  // namespace

}  // namespace quorvane::dsm

extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(TW_PIDENTITY origin, TW_PIDENTITY destination,
                                                                      TW_UINT32 dataGroup, TW_UINT16 dataArgumentType,
                                                                      TW_UINT16 message, TW_MEMREF data) {
  using namespace quorvane::dsm;
  // Nothing may unwind into the caller: every failure becomes a return and condition code.
  try {
    if (destination) return ToSource(destination, dataGroup, dataArgumentType, message, data);
    return ToManager(origin, dataGroup, dataArgumentType, message, data);
  } catch (const std::bad_alloc&) {
    return Fail(TWCC_LOWMEMORY);
  } catch (...) {
    return Fail(TWCC_BUMMER);
  }
}
