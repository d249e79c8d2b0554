// The image-acquisition protocol between an application, the source manager and its sources: the
// one entry point `DSM_Entry`, its triplets (data group / data argument type / message), the
// return and condition codes, and the records the calls exchange. Both sides of this program use
// this header: the scanner class (QvTwain, QvScan) and the project's own source-manager module.
//
// Records are packed to 2 bytes as the protocol's records have always been, so a 6-byte
// TW_ONEVALUE is exactly 6 bytes.
//
// Memory handles: the protocol hands blocks over as movable memory handles. Here a handle is a
// block from the C heap with its size in front (QvMemAlloc and friends below, inline so both
// sides use the same layout); application and module share the process's C heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" {

using TW_INT8 = int8_t;
using TW_INT16 = int16_t;
using TW_INT32 = int32_t;
using TW_UINT8 = uint8_t;
using TW_UINT16 = uint16_t;
using TW_UINT32 = uint32_t;
using TW_BOOL = uint16_t;
using TW_HANDLE = void*;
using TW_MEMREF = void*;
using TW_STR32 = char[34];

#pragma pack(push, 2)

struct TW_FIX32 {
  TW_INT16 Whole;
  TW_UINT16 Frac;
};

struct TW_VERSION {
  TW_UINT16 MajorNum;
  TW_UINT16 MinorNum;
  TW_UINT16 Language;
  TW_UINT16 Country;
  TW_STR32 Info;
};

struct TW_IDENTITY {
  TW_UINT32 Id;
  TW_VERSION Version;
  TW_UINT16 ProtocolMajor;
  TW_UINT16 ProtocolMinor;
  TW_UINT32 SupportedGroups;
  TW_STR32 Manufacturer;
  TW_STR32 ProductFamily;
  TW_STR32 ProductName;
};

struct TW_CAPABILITY {
  TW_UINT16 Cap;
  TW_UINT16 ConType;
  TW_HANDLE hContainer;
};

struct TW_ONEVALUE {
  TW_UINT16 ItemType;
  TW_UINT32 Item;
};

struct TW_USERINTERFACE {
  TW_BOOL ShowUI;
  TW_BOOL ModalUI;
  TW_HANDLE hParent;
};

struct TW_PENDINGXFERS {
  TW_UINT16 Count;
  TW_UINT32 EOJ;
};

struct TW_IMAGEINFO {
  TW_FIX32 XResolution;
  TW_FIX32 YResolution;
  TW_INT32 ImageWidth;
  TW_INT32 ImageLength;
  TW_INT16 SamplesPerPixel;
  TW_INT16 BitsPerSample[8];
  TW_INT16 BitsPerPixel;
  TW_BOOL Planar;
  TW_INT16 PixelType;
  TW_UINT16 Compression;
};

struct TW_EVENT {
  TW_MEMREF pEvent;
  TW_UINT16 TWMessage;
};

struct TW_FRAME {
  TW_FIX32 Left;
  TW_FIX32 Top;
  TW_FIX32 Right;
  TW_FIX32 Bottom;
};

struct TW_IMAGELAYOUT {
  TW_FRAME Frame;
  TW_UINT32 DocumentNumber;
  TW_UINT32 PageNumber;
  TW_UINT32 FrameNumber;
};

struct TW_STATUS {
  TW_UINT16 ConditionCode;
  TW_UINT16 Reserved;
};

#pragma pack(pop)

static_assert(sizeof(TW_ONEVALUE) == 6, "TW_ONEVALUE is a 6-byte record");

using TW_PIDENTITY = TW_IDENTITY*;
using DSMENTRYPROC = TW_UINT16 (*)(TW_PIDENTITY origin, TW_PIDENTITY destination, TW_UINT32 dataGroup,
                                   TW_UINT16 dataArgumentType, TW_UINT16 message, TW_MEMREF data);

// The module's single exported function.
TW_UINT16 DSM_Entry(TW_PIDENTITY origin, TW_PIDENTITY destination, TW_UINT32 dataGroup, TW_UINT16 dataArgumentType,
                    TW_UINT16 message, TW_MEMREF data);

}  // extern "C"

// Data groups.
constexpr TW_UINT32 DG_CONTROL = 0x0001;
constexpr TW_UINT32 DG_IMAGE = 0x0002;

// Data argument types.
constexpr TW_UINT16 DAT_CAPABILITY = 0x0001;
constexpr TW_UINT16 DAT_EVENT = 0x0002;
constexpr TW_UINT16 DAT_IDENTITY = 0x0003;
constexpr TW_UINT16 DAT_PARENT = 0x0004;
constexpr TW_UINT16 DAT_PENDINGXFERS = 0x0005;
constexpr TW_UINT16 DAT_STATUS = 0x0008;
constexpr TW_UINT16 DAT_USERINTERFACE = 0x0009;
constexpr TW_UINT16 DAT_IMAGEINFO = 0x0101;
constexpr TW_UINT16 DAT_IMAGELAYOUT = 0x0102;
constexpr TW_UINT16 DAT_IMAGENATIVEXFER = 0x0104;

// Messages.
constexpr TW_UINT16 MSG_NULL = 0x0000;
constexpr TW_UINT16 MSG_GET = 0x0001;
constexpr TW_UINT16 MSG_GETFIRST = 0x0004;
constexpr TW_UINT16 MSG_GETNEXT = 0x0005;
constexpr TW_UINT16 MSG_SET = 0x0006;
constexpr TW_UINT16 MSG_RESET = 0x0007;
constexpr TW_UINT16 MSG_XFERREADY = 0x0101;
constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x0102;
constexpr TW_UINT16 MSG_OPENDSM = 0x0301;
constexpr TW_UINT16 MSG_CLOSEDSM = 0x0302;
constexpr TW_UINT16 MSG_OPENDS = 0x0401;
constexpr TW_UINT16 MSG_CLOSEDS = 0x0402;
constexpr TW_UINT16 MSG_USERSELECT = 0x0403;
constexpr TW_UINT16 MSG_DISABLEDS = 0x0501;
constexpr TW_UINT16 MSG_ENABLEDS = 0x0502;
constexpr TW_UINT16 MSG_PROCESSEVENT = 0x0601;
constexpr TW_UINT16 MSG_ENDXFER = 0x0701;

// Return codes.
constexpr TW_UINT16 TWRC_SUCCESS = 0;
constexpr TW_UINT16 TWRC_FAILURE = 1;
constexpr TW_UINT16 TWRC_CHECKSTATUS = 2;
constexpr TW_UINT16 TWRC_CANCEL = 3;
constexpr TW_UINT16 TWRC_DSEVENT = 4;
constexpr TW_UINT16 TWRC_NOTDSEVENT = 5;
constexpr TW_UINT16 TWRC_XFERDONE = 6;
constexpr TW_UINT16 TWRC_ENDOFLIST = 7;

// Condition codes.
constexpr TW_UINT16 TWCC_SUCCESS = 0;
constexpr TW_UINT16 TWCC_BUMMER = 1;
constexpr TW_UINT16 TWCC_LOWMEMORY = 2;
constexpr TW_UINT16 TWCC_NODS = 3;
constexpr TW_UINT16 TWCC_MAXCONNECTIONS = 4;
constexpr TW_UINT16 TWCC_OPERATIONERROR = 5;
constexpr TW_UINT16 TWCC_BADCAP = 6;
constexpr TW_UINT16 TWCC_BADPROTOCOL = 9;
constexpr TW_UINT16 TWCC_BADVALUE = 10;
constexpr TW_UINT16 TWCC_SEQERROR = 11;
constexpr TW_UINT16 TWCC_BADDEST = 12;
constexpr TW_UINT16 TWCC_CAPUNSUPPORTED = 13;
constexpr TW_UINT16 TWCC_DENIED = 16;
constexpr TW_UINT16 TWCC_PAPERJAM = 20;
constexpr TW_UINT16 TWCC_PAPERDOUBLEFEED = 21;
constexpr TW_UINT16 TWCC_CHECKDEVICEONLINE = 23;
constexpr TW_UINT16 TWCC_NOMEDIA = 31;  // the document feeder is empty

// Containers and item types.
constexpr TW_UINT16 TWON_ONEVALUE = 5;
constexpr TW_UINT16 TWTY_INT16 = 1;
constexpr TW_UINT16 TWTY_INT32 = 2;
constexpr TW_UINT16 TWTY_UINT16 = 4;
constexpr TW_UINT16 TWTY_UINT32 = 5;
constexpr TW_UINT16 TWTY_BOOL = 6;
constexpr TW_UINT16 TWTY_FIX32 = 7;

// Capabilities.
constexpr TW_UINT16 CAP_XFERCOUNT = 0x0001;
constexpr TW_UINT16 ICAP_PIXELTYPE = 0x0101;
constexpr TW_UINT16 ICAP_UNITS = 0x0102;
constexpr TW_UINT16 ICAP_XFERMECH = 0x0103;
constexpr TW_UINT16 CAP_FEEDERENABLED = 0x1002;
constexpr TW_UINT16 ICAP_PHYSICALWIDTH = 0x1111;
constexpr TW_UINT16 ICAP_PHYSICALHEIGHT = 0x1112;
constexpr TW_UINT16 ICAP_XRESOLUTION = 0x1118;
constexpr TW_UINT16 ICAP_YRESOLUTION = 0x1119;
constexpr TW_UINT16 ICAP_BITDEPTH = 0x112B;

// Capability values.
constexpr TW_UINT16 TWPT_BW = 0;
constexpr TW_UINT16 TWPT_GRAY = 1;
constexpr TW_UINT16 TWPT_RGB = 2;
constexpr TW_UINT16 TWPT_PALETTE = 3;
constexpr TW_UINT16 TWSX_NATIVE = 0;
constexpr TW_UINT16 TWUN_INCHES = 0;
constexpr TW_UINT16 TWLG_ENGLISH = 2;
constexpr TW_UINT16 TWCY_USA = 1;

// TW_FIX32 and real numbers: a whole part and a fraction in 1/65536, rounded to the nearest;
// values beyond the type's range give its ends, and NaN gives 0.
inline TW_FIX32 DoubleToFix32(double value) {
  if (!(value == value)) value = 0;
  value = value < -32768.0 ? -32768.0 : value > 32767.0 + 65535.0 / 65536.0 ? 32767.0 + 65535.0 / 65536.0 : value;
  const long scaled = static_cast<long>(value * 65536.0 + (value < 0 ? -0.5 : 0.5));
  const long whole = scaled >= 0 ? scaled / 65536 : -((-scaled + 65535) / 65536);
  return {static_cast<TW_INT16>(whole), static_cast<TW_UINT16>(scaled - whole * 65536)};
}
inline double Fix32ToDouble(TW_FIX32 value) { return value.Whole + value.Frac / 65536.0; }

// Movable memory handles (see the header comment). A handle is null or points at a block
// [size][bytes]; QvMemLock gives the bytes.
inline TW_HANDLE QvMemAlloc(size_t size) {
  if (size > SIZE_MAX - sizeof(size_t)) return nullptr;
  void* block = std::calloc(1, sizeof(size_t) + size);
  if (block) std::memcpy(block, &size, sizeof(size_t));
  return block;
}
inline size_t QvMemSize(TW_HANDLE handle) {
  size_t size = 0;
  if (handle) std::memcpy(&size, handle, sizeof(size_t));
  return size;
}
inline void* QvMemLock(TW_HANDLE handle) { return handle ? static_cast<char*>(handle) + sizeof(size_t) : nullptr; }
inline void QvMemFree(TW_HANDLE handle) { std::free(handle); }

// The module's file name in its folder.
constexpr const char* kSourceManagerModuleName = "quorvane-dsm.so";
