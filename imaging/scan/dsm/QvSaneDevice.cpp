#include "QvSaneDevice.h"

#include <sane/saneopts.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <utility>

namespace quorvane::dsm {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool Contains(const std::string& text, const char* part) { return Lower(text).find(part) != std::string::npos; }

// A frame larger than this is refused rather than grown without end (a hand scanner's page has no
// known length).
constexpr size_t kMaxFrameBytes = size_t{1} << 31;

bool IsActive(const SANE_Option_Descriptor* d) {
  return d && SANE_OPTION_IS_ACTIVE(d->cap) && SANE_OPTION_IS_SETTABLE(d->cap);
}

}  // namespace

bool IsFeederSourceName(const std::string& value) {
  return Contains(value, "adf") || Contains(value, "feeder") || Contains(value, "duplex");
}

TSaneDevice::TSaneDevice(const std::string& name) { FOpenStatus = sane_open(name.c_str(), &FHandle); }

TSaneDevice::~TSaneDevice() {
  if (!FHandle) return;
  if (FStarted) sane_cancel(FHandle);
  sane_close(FHandle);
}

const SANE_Option_Descriptor* TSaneDevice::Descriptor(int index) const {
  return index > 0 ? sane_get_option_descriptor(FHandle, index) : nullptr;
}

int TSaneDevice::FindOption(const char* name) const {
  if (!FHandle) return -1;
  SANE_Int count = 0;
  if (sane_control_option(FHandle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) return -1;
  for (int i = 1; i < count; ++i) {
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(FHandle, i);
    if (d && d->name && std::strcmp(d->name, name) == 0) return i;
  }
  return -1;
}

std::vector<std::string> TSaneDevice::StringList(const char* name) const {
  std::vector<std::string> values;
  const SANE_Option_Descriptor* d = Descriptor(FindOption(name));
  if (!IsActive(d) || d->type != SANE_TYPE_STRING || d->constraint_type != SANE_CONSTRAINT_STRING_LIST) return values;
  for (const SANE_String_Const* s = d->constraint.string_list; *s; ++s) values.emplace_back(*s);
  return values;
}

std::string TSaneDevice::StringValue(const char* name) const {
  const int index = FindOption(name);
  const SANE_Option_Descriptor* d = Descriptor(index);
  if (!d || d->type != SANE_TYPE_STRING || d->size <= 0) return {};
  std::vector<char> buffer(static_cast<size_t>(d->size) + 1, '\0');
  if (sane_control_option(FHandle, index, SANE_ACTION_GET_VALUE, buffer.data(), nullptr) != SANE_STATUS_GOOD) return {};
  return buffer.data();
}

SANE_Status TSaneDevice::SetString(const char* name, const std::string& value) {
  const int index = FindOption(name);
  const SANE_Option_Descriptor* d = Descriptor(index);
  if (!IsActive(d) || d->type != SANE_TYPE_STRING) return SANE_STATUS_UNSUPPORTED;
  std::vector<char> buffer(std::max<size_t>(static_cast<size_t>(d->size), value.size() + 1), '\0');
  std::memcpy(buffer.data(), value.c_str(), value.size());
  return sane_control_option(FHandle, index, SANE_ACTION_SET_VALUE, buffer.data(), nullptr);
}

double TSaneDevice::NumberValue(const char* name, double fallback) const {
  const int index = FindOption(name);
  const SANE_Option_Descriptor* d = Descriptor(index);
  if (!d || (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) ||
      d->size < static_cast<SANE_Int>(sizeof(SANE_Word)))
    return fallback;
  std::vector<SANE_Word> words(static_cast<size_t>(d->size) / sizeof(SANE_Word));
  if (sane_control_option(FHandle, index, SANE_ACTION_GET_VALUE, words.data(), nullptr) != SANE_STATUS_GOOD)
    return fallback;
  return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(words[0]) : words[0];
}

SANE_Status TSaneDevice::SetNumber(const char* name, double value) {
  const int index = FindOption(name);
  const SANE_Option_Descriptor* d = Descriptor(index);
  if (!IsActive(d) || (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED)) return SANE_STATUS_UNSUPPORTED;
  const bool fixed = d->type == SANE_TYPE_FIXED;
  auto toWord = [fixed](double v) { return fixed ? SANE_FIX(v) : static_cast<SANE_Word>(std::lround(v)); };
  auto fromWord = [fixed](SANE_Word w) { return fixed ? SANE_UNFIX(w) : static_cast<double>(w); };
  if (d->constraint_type == SANE_CONSTRAINT_RANGE) {
    value = std::clamp(value, fromWord(d->constraint.range->min), fromWord(d->constraint.range->max));
  } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list[0] > 0) {
    double best = fromWord(d->constraint.word_list[1]);
    for (SANE_Int i = 1; i <= d->constraint.word_list[0]; ++i) {
      const double candidate = fromWord(d->constraint.word_list[i]);
      if (std::fabs(candidate - value) < std::fabs(best - value)) best = candidate;
    }
    value = best;
  }
  std::vector<SANE_Word> words(std::max<size_t>(1, static_cast<size_t>(d->size) / sizeof(SANE_Word)), toWord(value));
  return sane_control_option(FHandle, index, SANE_ACTION_SET_VALUE, words.data(), nullptr);
}

bool TSaneDevice::HasFeeder() const {
  const auto sources = StringList(SANE_NAME_SCAN_SOURCE);
  return std::any_of(sources.begin(), sources.end(), IsFeederSourceName);
}

bool TSaneDevice::FeederSelected() const { return IsFeederSourceName(StringValue(SANE_NAME_SCAN_SOURCE)); }

TScanMode TSaneDevice::CurrentMode() const {
  const std::string mode = StringValue(SANE_NAME_SCAN_MODE);
  if (Contains(mode, "color") || Contains(mode, "colour")) return TScanMode::Color;
  if (Contains(mode, "lineart") || Contains(mode, "binary") || NumberValue(SANE_NAME_BIT_DEPTH, 8) == 1)
    return TScanMode::Lineart;
  return TScanMode::Gray;
}

int TSaneDevice::CurrentResolution() const {
  return static_cast<int>(std::lround(NumberValue(SANE_NAME_SCAN_RESOLUTION, 0)));
}

TResolutionRange TSaneDevice::ResolutionRange() const {
  TResolutionRange range;
  const SANE_Option_Descriptor* d = Descriptor(FindOption(SANE_NAME_SCAN_RESOLUTION));
  if (!d) return range;
  const bool fixed = d->type == SANE_TYPE_FIXED;
  auto value = [fixed](SANE_Word w) { return static_cast<int>(std::lround(fixed ? SANE_UNFIX(w) : w)); };
  if (d->constraint_type == SANE_CONSTRAINT_RANGE) {
    range = {std::max(1, value(d->constraint.range->min)), value(d->constraint.range->max)};
  } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list[0] > 0) {
    range = {std::numeric_limits<int>::max(), 1};
    for (SANE_Int i = 1; i <= d->constraint.word_list[0]; ++i) {
      range.Minimum = std::min(range.Minimum, value(d->constraint.word_list[i]));
      range.Maximum = std::max(range.Maximum, value(d->constraint.word_list[i]));
    }
  }
  return range;
}

SANE_Status TSaneDevice::SelectMode(TScanMode mode) {
  const auto modes = StringList(SANE_NAME_SCAN_MODE);
  auto pick = [&modes](std::initializer_list<const char*> parts) -> std::string {
    for (const char* part : parts)
      for (const std::string& m : modes)
        if (Lower(m) == part || (Contains(m, part) && !Contains(m, "color lineart"))) return m;
    return {};
  };
  std::string value;
  int depth = 8;
  switch (mode) {
    case TScanMode::Color: value = pick({"color", "colour", "rgb"}); break;
    case TScanMode::Gray: value = pick({"gray", "grey"}); break;
    case TScanMode::Lineart:
      value = pick({"lineart", "binary"});
      if (value.empty()) {
        // Devices without a line-art mode give one bit per pixel in gray mode.
        value = pick({"gray", "grey"});
        depth = 1;
      }
      break;
  }
  SANE_Status status = value.empty() ? SANE_STATUS_UNSUPPORTED : SetString(SANE_NAME_SCAN_MODE, value);
  if (status == SANE_STATUS_GOOD && FindOption(SANE_NAME_BIT_DEPTH) > 0) {
    const SANE_Status depthStatus = SetNumber(SANE_NAME_BIT_DEPTH, depth);
    if (depth == 1 && depthStatus != SANE_STATUS_GOOD) status = depthStatus;
  }
  return status;
}

SANE_Status TSaneDevice::SelectResolution(int dpi) {
  SANE_Status status = SetNumber(SANE_NAME_SCAN_RESOLUTION, dpi);
  if (status == SANE_STATUS_UNSUPPORTED) status = SetNumber(SANE_NAME_SCAN_X_RESOLUTION, dpi);
  SetNumber(SANE_NAME_SCAN_Y_RESOLUTION, dpi);
  return status;
}

SANE_Status TSaneDevice::SelectFeeder(bool feeder) {
  for (const std::string& source : StringList(SANE_NAME_SCAN_SOURCE))
    if (IsFeederSourceName(source) == feeder) return SetString(SANE_NAME_SCAN_SOURCE, source);
  return feeder ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

bool TSaneDevice::MillimetreRange(const char* name, double& minimum, double& maximum) const {
  const SANE_Option_Descriptor* d = Descriptor(FindOption(name));
  if (!IsActive(d) || d->unit != SANE_UNIT_MM || (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) ||
      d->constraint_type != SANE_CONSTRAINT_RANGE || !d->constraint.range)
    return false;
  const bool fixed = d->type == SANE_TYPE_FIXED;
  minimum = fixed ? SANE_UNFIX(d->constraint.range->min) : d->constraint.range->min;
  maximum = fixed ? SANE_UNFIX(d->constraint.range->max) : d->constraint.range->max;
  return maximum > minimum;
}

bool TSaneDevice::AreaLimits(TScanArea& area) const {
  double left = 0, leftMax = 0, top = 0, topMax = 0, rightMin = 0, right = 0, bottomMin = 0, bottom = 0;
  if (!MillimetreRange(SANE_NAME_SCAN_TL_X, left, leftMax) || !MillimetreRange(SANE_NAME_SCAN_TL_Y, top, topMax) ||
      !MillimetreRange(SANE_NAME_SCAN_BR_X, rightMin, right) ||
      !MillimetreRange(SANE_NAME_SCAN_BR_Y, bottomMin, bottom))
    return false;
  area = {right - left, bottom - top};
  return area.Width > 0 && area.Height > 0;
}

SANE_Status TSaneDevice::SelectArea(double left, double top, double width, double height) {
  double originX = 0, originY = 0, unused = 0;
  if (!MillimetreRange(SANE_NAME_SCAN_TL_X, originX, unused) || !MillimetreRange(SANE_NAME_SCAN_TL_Y, originY, unused))
    return SANE_STATUS_UNSUPPORTED;
  left += originX;
  top += originY;
  // The corner first, so the far edge is never refused for lying before it.
  for (const auto& [name, value] :
       {std::pair{SANE_NAME_SCAN_TL_X, left}, std::pair{SANE_NAME_SCAN_TL_Y, top},
        std::pair{SANE_NAME_SCAN_BR_X, left + width}, std::pair{SANE_NAME_SCAN_BR_Y, top + height}}) {
    const SANE_Status status = SetNumber(name, value);
    if (status != SANE_STATUS_GOOD) return status;
  }
  return SANE_STATUS_GOOD;
}

SANE_Status TSaneDevice::Start() {
  const SANE_Status status = sane_start(FHandle);
  FStarted = status == SANE_STATUS_GOOD;
  return status;
}

void TSaneDevice::Cancel() {
  if (FHandle && FStarted) {
    // Several backends read in a thread that sane_cancel cancels asynchronously; cancelled inside
    // the allocator (starting up, or freeing its buffer at the end) it deadlocks the process. A
    // moment's pause lets the reader reach its blocking write or its end first.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    sane_cancel(FHandle);
  }
  FStarted = false;
}

SANE_Status TSaneDevice::ReadFrame(TSaneFrame& frame, const std::function<bool()>& keepGoing) {
  SANE_Status status = sane_get_parameters(FHandle, &frame.Parameters);
  if (status != SANE_STATUS_GOOD) return status;
  const SANE_Parameters& p = frame.Parameters;
  if (p.bytes_per_line <= 0 || p.pixels_per_line <= 0) return SANE_STATUS_INVAL;
  if (p.lines > 0) {
    if (static_cast<size_t>(p.lines) > kMaxFrameBytes / static_cast<size_t>(p.bytes_per_line))
      return SANE_STATUS_NO_MEM;
    frame.Bytes.reserve(static_cast<size_t>(p.lines) * static_cast<size_t>(p.bytes_per_line));
  }
  std::vector<SANE_Byte> chunk(64 * 1024);
  for (;;) {
    if (keepGoing && !keepGoing()) {
      Cancel();
      return SANE_STATUS_CANCELLED;
    }
    SANE_Int length = 0;
    status = sane_read(FHandle, chunk.data(), static_cast<SANE_Int>(chunk.size()), &length);
    if (status == SANE_STATUS_EOF) return SANE_STATUS_GOOD;
    if (status != SANE_STATUS_GOOD) return status;
    if (length < 0 || static_cast<size_t>(length) > chunk.size()) return SANE_STATUS_IO_ERROR;
    if (frame.Bytes.size() + static_cast<size_t>(length) > kMaxFrameBytes) return SANE_STATUS_NO_MEM;
    frame.Bytes.insert(frame.Bytes.end(), chunk.begin(), chunk.begin() + length);
  }
}

SANE_Status TSaneDevice::ReadPage(std::vector<TSaneFrame>& frames, const std::function<bool()>& keepGoing) {
  frames.clear();
  for (;;) {
    if (frames.size() >= 3) return SANE_STATUS_INVAL;
    frames.emplace_back();
    SANE_Status status = ReadFrame(frames.back(), keepGoing);
    if (status != SANE_STATUS_GOOD) return status;
    if (frames.back().Parameters.last_frame) return SANE_STATUS_GOOD;
    // A three-pass device needs a start for each further frame.
    status = sane_start(FHandle);
    if (status != SANE_STATUS_GOOD) return status;
  }
}

}  // namespace quorvane::dsm
