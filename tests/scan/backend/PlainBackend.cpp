// A SANE backend "plain" for the scanning tests: one flatbed device, "plain:flatbed", with a scan
// mode (Gray) and a resolution, and nothing else: no source option (so no document feeder) and no
// geometry options (so no settable scan area). Every page is 20 x 10 white gray pixels. SANE's
// dll backend loads it by its name from a folder on LD_LIBRARY_PATH.
#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <cstring>

namespace {

enum { kOptionCount, kOptionMode, kOptionResolution, kOptions };

constexpr int kWidth = 20;
constexpr int kHeight = 10;

SANE_String_Const kModes[] = {"Gray", nullptr};
const SANE_Range kResolutions = {50, 600, 1};
const SANE_Device kDevice = {"flatbed", "Plain", "Flatbed", "flatbed scanner"};
const SANE_Device* kDevices[] = {&kDevice, nullptr};

SANE_Option_Descriptor gDescriptors[kOptions];
SANE_Int gResolution = 100;
int gHandle = 0;
int gBytesLeft = 0;

void Describe() {
  gDescriptors[kOptionCount] = {SANE_NAME_NUM_OPTIONS, SANE_TITLE_NUM_OPTIONS, SANE_DESC_NUM_OPTIONS,
                                SANE_TYPE_INT,         SANE_UNIT_NONE,         sizeof(SANE_Word),
                                SANE_CAP_SOFT_DETECT,  SANE_CONSTRAINT_NONE,   {}};
  gDescriptors[kOptionMode] = {SANE_NAME_SCAN_MODE,
                               SANE_TITLE_SCAN_MODE,
                               SANE_DESC_SCAN_MODE,
                               SANE_TYPE_STRING,
                               SANE_UNIT_NONE,
                               8,
                               SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT,
                               SANE_CONSTRAINT_STRING_LIST,
                               {}};
  gDescriptors[kOptionMode].constraint.string_list = kModes;
  gDescriptors[kOptionResolution] = {SANE_NAME_SCAN_RESOLUTION,
                                     SANE_TITLE_SCAN_RESOLUTION,
                                     SANE_DESC_SCAN_RESOLUTION,
                                     SANE_TYPE_INT,
                                     SANE_UNIT_DPI,
                                     sizeof(SANE_Word),
                                     SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT,
                                     SANE_CONSTRAINT_RANGE,
                                     {}};
  gDescriptors[kOptionResolution].constraint.range = &kResolutions;
}

}  // namespace

extern "C" {

SANE_Status sane_plain_init(SANE_Int* version, SANE_Auth_Callback) {
  if (version) *version = SANE_VERSION_CODE(1, 0, 0);
  Describe();
  return SANE_STATUS_GOOD;
}

void sane_plain_exit() {}

SANE_Status sane_plain_get_devices(const SANE_Device*** list, SANE_Bool) {
  *list = kDevices;
  return SANE_STATUS_GOOD;
}

SANE_Status sane_plain_open(SANE_String_Const name, SANE_Handle* handle) {
  if (name[0] != '\0' && std::strcmp(name, kDevice.name) != 0) return SANE_STATUS_INVAL;
  *handle = &gHandle;
  return SANE_STATUS_GOOD;
}

void sane_plain_close(SANE_Handle) {}

const SANE_Option_Descriptor* sane_plain_get_option_descriptor(SANE_Handle, SANE_Int option) {
  return option >= 0 && option < kOptions ? &gDescriptors[option] : nullptr;
}

SANE_Status sane_plain_control_option(SANE_Handle, SANE_Int option, SANE_Action action, void* value, SANE_Int* info) {
  if (info) *info = 0;
  if (option < 0 || option >= kOptions || !value) return SANE_STATUS_INVAL;
  const bool get = action == SANE_ACTION_GET_VALUE;
  if (!get && (action != SANE_ACTION_SET_VALUE || option == kOptionCount)) return SANE_STATUS_INVAL;
  switch (option) {
    case kOptionCount: *static_cast<SANE_Word*>(value) = kOptions; break;
    case kOptionMode:
      if (get) std::strcpy(static_cast<char*>(value), "Gray");
      break;
    case kOptionResolution:
      if (get)
        *static_cast<SANE_Word*>(value) = gResolution;
      else
        gResolution = std::clamp(*static_cast<SANE_Word*>(value), kResolutions.min, kResolutions.max);
      break;
  }
  return SANE_STATUS_GOOD;
}

SANE_Status sane_plain_get_parameters(SANE_Handle, SANE_Parameters* p) {
  *p = {SANE_FRAME_GRAY, SANE_TRUE, kWidth, kWidth, kHeight, 8};
  return SANE_STATUS_GOOD;
}

SANE_Status sane_plain_start(SANE_Handle) {
  gBytesLeft = kWidth * kHeight;
  return SANE_STATUS_GOOD;
}

SANE_Status sane_plain_read(SANE_Handle, SANE_Byte* data, SANE_Int maximum, SANE_Int* length) {
  *length = 0;
  if (gBytesLeft == 0) return SANE_STATUS_EOF;
  *length = std::min(maximum, gBytesLeft);
  std::memset(data, 255, static_cast<size_t>(*length));
  gBytesLeft -= *length;
  return SANE_STATUS_GOOD;
}

void sane_plain_cancel(SANE_Handle) { gBytesLeft = 0; }

SANE_Status sane_plain_set_io_mode(SANE_Handle, SANE_Bool nonBlocking) {
  return nonBlocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

SANE_Status sane_plain_get_select_fd(SANE_Handle, SANE_Int*) { return SANE_STATUS_UNSUPPORTED; }

}  // extern "C"
