// dokfcb.cpp - the bridge's bus handlers ("DOKFRMRA", "DOKFRMDI",
// "DOKFRMFT") and the Frame entry points it supplies (F_ApiInitialize,
// F_ApiNotify, F_ApiMessage).
//
// Handlers run inside mbx_dispatch between F_ApiTakeControl and
// F_ApiDoneCommand; entry points run inside F_ApiService while the client
// holds control.  Either way they may call Frame.  Every area that a bus
// item is read into is bounded by the length asked for, and every length
// the bus reports is clamped to that area before it is used.
#include <cstring>
#include <unordered_set>

#include "dokfrm.h"
#include "fapi_calls.h"
#include "fapi_runtime.h"
#include "fapi_values.h"
#include "fde_strings.h"
#include "mbx.h"

extern "C" {
char _tag[DOKFRM_TAG_MAX + 1];
int32_t _lgTag = 0;
int32_t _tagPresent = 0;
}

namespace {

using namespace dokfrm;

// Bus names: 8 bytes, blank padded, read without a terminator.
constexpr char kCurFct[] = "CURFCT  ";

// Words passed by address to the bus.
const int32_t kWordZero = 0;
const int32_t kWordOne = 1;
const int32_t kWordFour = 4;

// Areas of "DOKFRMDI": the path item, 257 bytes at most.
constexpr int32_t kPathItemMax = 257;
// Areas of "DOKFRMFT": items 1 and 2 together at most 1023 bytes, item 2
// alone at most 19, the name item at most 12 of which 8 count.
constexpr int32_t kListPathMax = 1023;
constexpr int32_t kListPart2Max = 19;
constexpr int32_t kNameArea = 12;

// Frame's numbers.
constexpr IntT kPropStrings59 = 59;  // session: must not be an empty list
constexpr IntT kPropDoc31 = 31;      // set to 0, and 32 to 1, to bring a document forward
constexpr IntT kPropDoc32 = 32;
constexpr IntT kAlertType = 2;
constexpr IntT kNotifyFirst = 2;
constexpr IntT kNotifySecond = 34;

constexpr char kAlertNoList[] = "List of NORVA functions not found";
constexpr char kAlertNoMarker[] = "Marker missing";
constexpr char kAlertNoFunction[] = "Function documentation not found";

bool StatusOk(int32_t status) { return status == MBX_OK || status == MBX_TRUNCATED; }

int32_t Clamp(int32_t n, int32_t max) { return n < 0 ? 0 : (n > max ? max : n); }

// Trace lines of the bus side (FDK_TRACE; see F_ApiTrace): the request
// being served, each item asked for, each reply item written.
void TraceRequest() {
  if (!F_ApiTracing()) return;
  int32_t kind = 0, conversation = 0, status = 0;
  char request[kNameArea] = {}, requester[kNameArea] = {};
  mbx_request_info(&kind, &conversation, request, requester, &status);
  if (status == MBX_OK)
    F_ApiTrace(nullptr, 0, "bus request %.8s from %.8s kind=%d conversation=%d", request,
               requester, kind, conversation);
}

// A size query (no buffer) reports the item's size; a read, the bytes
// that arrived out of the `asked`.
void TraceItem(const int32_t *asked, const void *buffer, const int32_t *got,
               const int32_t *status) {
  if (buffer == nullptr)
    F_ApiTrace(nullptr, 0, "bus item size=%d status=%d", *got, *status);
  else
    F_ApiTrace(buffer, Clamp(*got, *asked), "bus item read=%d asked=%d status=%d", *got, *asked,
               *status);
}

// mbx_read of the running request, traced.
void ReadItem(const int32_t *length, void *buffer, int32_t *got, int32_t *status) {
  mbx_read(length, buffer, got, status);
  TraceItem(length, buffer, got, status);
}

void Reply(const char *answer) {
  const int32_t length = 3;  // two letters and the zero byte
  int32_t status = 0;
  mbx_write(answer, &length, &kWordZero, &status);
  F_ApiTrace(answer, length, "bus reply status=%d", status);
}

void Alert(const char *message) { F_ApiAlert(message, kAlertType); }

// The data items of a function lookup, read from the running request or
// received as the reply to the call to "CURFCT  ".
class ItemSource {
 public:
  ItemSource() {
    int32_t kind = 0, conversation = 0, status = 0;
    mbx_request_info(&kind, &conversation, request_, requester_, &status);
    in_request_ = status == MBX_OK;
    if (!in_request_) {
      std::memcpy(request_, kCurFct, 8);
      std::memcpy(requester_, kCurFct, 8);
    }
  }

  // Size query: true with the item's size in *size when it succeeded.
  bool Size(int32_t *size) {
    *size = 0;
    int32_t status = 0;
    Transfer(&kWordZero, nullptr, size, &status);
    return StatusOk(status);
  }

  // Reads the next item into area, at most max bytes; returns the number
  // of bytes that arrived, or -1 when the read failed.
  int32_t Read(char *area, int32_t max) {
    int32_t got = 0, status = 0;
    Transfer(&max, area, &got, &status);
    return StatusOk(status) ? Clamp(got, max) : -1;
  }

  // Size query, then a read of at most max bytes.  The item counts as
  // empty (0) when its query fails; -1 when only the read failed.
  int32_t Take(char *area, int32_t max) {
    int32_t size = 0;
    if (!Size(&size)) return 0;
    return Read(area, Clamp(size, max));
  }

 private:
  void Transfer(const int32_t *length, void *buffer, int32_t *got, int32_t *status) {
    if (in_request_)
      mbx_read(length, buffer, got, status);
    else
      mbx_receive(request_, requester_, length, buffer, got, status);
    TraceItem(length, buffer, got, status);
  }

  bool in_request_ = false;
  char request_[kNameArea] = {};
  char requester_[kNameArea] = {};
};

}  // namespace

namespace dokfrm {

bool BeginsWith(const char *text, const char *prefix, int32_t len) {
  if (text == nullptr || len < 0) return false;
  // The text's terminator is one of its bytes: an item that ends in its own
  // zero byte matches exactly that text.  Nothing past the terminator is read.
  std::size_t n = static_cast<std::size_t>(len);
  return strnlen(text, n) + 1 >= n && std::memcmp(text, prefix, n) == 0;
}

F_ObjIdT FindMarker(F_ObjIdT doc, IntT type, const char *prefix, int32_t len) {
  // A document whose next links loop back would keep the walk going for
  // ever: a marker met a second time ends it.
  std::unordered_set<F_ObjIdT> seen;
  F_ObjIdT marker = F_ApiGetId(0, doc, kPropFirstMarker);
  while (marker != 0 && seen.insert(marker).second) {
    if (F_ApiGetInt(doc, marker, kPropMarkerType) == type) {
      StringT text = F_ApiGetString(doc, marker, kPropMarkerText);
      bool match = BeginsWith(text, prefix, len);
      F_ApiDeallocateString(&text);
      if (match) return marker;
    }
    marker = F_ApiGetId(doc, marker, kPropNextMarker);
  }
  return 0;
}

int PlaceTag(F_ObjIdT doc) {
  F_ObjIdT marker = FindMarker(doc, kMarkerTag, _tag, _lgTag);
  if (marker == 0) return 0;
  _tagPresent = 0;
  F_TextLocT loc = F_ApiGetTextLoc(doc, marker, kPropTextLoc);
  F_TextRangeT range;
  range.beg = loc;
  range.end = loc;
  F_ApiScrollToText(doc, &range);
  return 1;
}

int32_t FunctionNameLength(char area[12]) {
  area[8] = ' ';
  area[9] = '\0';
  int32_t len = 1;
  while (area[len] != ' ' && area[len] != '\0') ++len;
  return len;
}

}  // namespace dokfrm

extern "C" void DokFCB_InitApplication(int32_t *kind, void *value) {
  TraceRequest();
  if (kind == nullptr) return;
  if (*kind == 4) {
    int32_t status = 0;
    mbx_get_fd(value, &mbx_fd, &status);
  } else if (*kind == 5) {
    F_ApiClose(0, 1);
    F_ApiBailOut();
  }
}

extern "C" void DokFCB_Display(int32_t *, void *) {
  TraceRequest();
  char path[kPathItemMax + 1];
  int32_t got = 0, status = 0;
  ReadItem(&kPathItemMax, path, &got, &status);
  if (!StatusOk(status)) {
    Reply("KO");
    return;
  }
  path[Clamp(got, kPathItemMax)] = '\0';

  F_ObjIdT document = 0;
  F_PropValsT none = {0, nullptr};
  OpenFile(&document, path, none);
  if (document == 0) {
    Reply("KO");
  } else {
    Reply("OK");
    F_ApiSetString(0, document, kPropTitle, kHelpTitle);
  }

  // The tag comes after the reply, whatever the outcome of the open.
  _tagPresent = 0;
  got = 0;
  status = 0;
  ReadItem(&kPathItemMax, _tag, &got, &status);
  _lgTag = StatusOk(status) ? Clamp(got, DOKFRM_TAG_MAX) : 0;
  _tag[_lgTag] = '\0';
  if (!StatusOk(status)) return;

  _tagPresent = 1;
  if (document == 0) return;  // the tag waits for the next function lookup
  PlaceTag(document);
}

extern "C" void DokFCB_Display_Fct(int32_t *, void *) {
  TraceRequest();
  F_ObjIdT active = F_ApiGetId(0, 0, kPropActiveDoc);
  ItemSource items;

  // Items 1 and 2 make the list's path; a failed read counts as empty.
  char path[kListPathMax + 1] = {};
  int32_t len = items.Take(path, kListPathMax);
  if (len < 0) len = 0;
  char part2[kListPart2Max + 1] = {};
  int32_t len2 = items.Take(part2, kListPart2Max);
  if (len2 > 0) {
    if (len2 > kListPathMax - len) len2 = kListPathMax - len;
    std::memcpy(path + len, part2, static_cast<std::size_t>(len2));
    len += len2;
  }
  path[len] = '\0';

  // Item 3, the name: empty when its query fails or reports 0; a name
  // whose read fails matches no function.
  char name[kNameArea] = {};
  int32_t nameLen = 0;
  bool haveName = true;
  int32_t size = 0;
  if (items.Size(&size) && size > 0) {
    if (items.Read(name, Clamp(size, kNameArea)) >= 0)
      nameLen = FunctionNameLength(name);
    else
      haveName = false;
  }

  // The list opens in the background: the active document stays active.
  F_PropValsT background = F_ApiAllocatePropVals(1);
  if (background.len == 0) {
    Alert(kAlertNoList);
    return;
  }
  background.val[0].propIdent.num = 5;
  background.val[0].propVal.valType = 1;
  background.val[0].propVal.u.ival = 0;
  F_ObjIdT list = 0;
  OpenFile(&list, path, background);
  F_ApiDeallocatePropVals(&background);
  if (list == 0) {
    Alert(kAlertNoList);
    return;
  }

  F_StringsT strings = F_ApiGetStrings(0, 0, kPropStrings59);
  if (strings.len == 0) {
    Alert(kAlertNoMarker);
    F_ApiClose(list, 1);
    F_ApiDeallocateStrings(&strings);
    return;
  }

  // The function's marker, and the command held by the marker after it.
  // No command (the match is the last marker, or its text cannot be had)
  // is a function without documentation, never an empty command.
  F_ObjIdT match = haveName ? FindMarker(list, kMarkerFunction, name, nameLen) : 0;
  F_ObjIdT commandMarker = match != 0 ? F_ApiGetId(list, match, kPropNextMarker) : 0;
  StringT command = commandMarker != 0 ? F_ApiGetString(list, commandMarker, kPropMarkerText)
                                       : nullptr;
  if (command == nullptr) {
    Alert(kAlertNoFunction);
    F_ApiClose(list, 1);
    F_ApiDeallocateStrings(&strings);
    return;
  }

  // Without an active document there is nowhere to run the command nor to
  // look for the tag: the tag stays pending.
  if (active != 0) {
    FA_errno = 0;  // bring forward on this command's own outcome only
    F_ApiHypertextCommand(active, command);
    if (FA_errno == 0) {
      F_ApiSetId(0, 0, kPropActiveDoc, active);
      F_ApiSetInt(0, active, kPropDoc31, 0);
      F_ApiSetInt(0, active, kPropDoc32, 1);
    }
    if (_tagPresent) {
      _tagPresent = 0;
      PlaceTag(active);
    }
    F_ApiSetString(0, active, kPropTitle, kHelpTitle);
    F_ApiSetId(0, 0, kPropActiveDoc, active);
  }

  F_ApiClose(list, 1);
  F_ApiDeallocateStrings(&strings);
  F_ApiDeallocateString(&command);
}

extern "C" void DokFCB_ExitFrame(void) { F_ApiShutDown(); }

bool dokfrm::FrameCalled = false;

extern "C" void F_ApiInitialize(IntT initialization) {
  dokfrm::FrameCalled = true;
  if (initialization == 1) {
    F_FdeInit();
    F_ApiNotification(kNotifyFirst, 1);
  } else if (initialization == 3) {
    F_ApiDoneCommand();
  }
}

extern "C" void F_ApiNotify(IntT notification, F_ObjIdT, StringT, IntT) {
  dokfrm::FrameCalled = true;
  if (notification == kNotifyFirst) {
    F_ApiNotification(kNotifySecond, 1);
  } else if (notification == kNotifySecond) {
    F_ApiNotification(kNotifySecond, 0);
    IntT code = kFcodeShow;
    F_ApiFcodes(1, &code);
  }
}

// Every hypertext "message" addressed to this client shows the page of the
// CAD side's current function, whatever the message says.
extern "C" void F_ApiMessage(StringT, F_ObjIdT, F_ObjIdT) {
  dokfrm::FrameCalled = true;
  int32_t conversation = 0, status = 0;
  mbx_call(kCurFct, &kWordOne, &conversation, &status);
  F_ApiTrace(nullptr, 0, "bus call CURFCT status=%d conversation=%d", status, conversation);
  if (status != MBX_OK) return;
  // The 4-byte item is the length word itself.
  mbx_send(kCurFct, kCurFct, &kWordFour, &kWordFour, &kWordOne, &kWordZero, &status);
  if (status == MBX_OK) DokFCB_Display_Fct(nullptr, nullptr);
}
