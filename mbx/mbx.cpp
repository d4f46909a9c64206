// mbx.cpp - the fourteen C operations of mbx.h over one Participant per
// process.  Each operation checks its arguments, converts names and words,
// and turns anything thrown inside (memory) into a status word, so nothing
// but status words crosses the C boundary.
#include "mbx.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "participant.h"

using mbx::Name;
using mbx::Participant;

namespace {

Participant& bus() {
  static Participant p;
  return p;
}

void put(int32_t* status, int32_t value) {
  if (status != nullptr) *status = value;
}

// MBX_TIMEOUT in whole seconds (1 to one day), else 30.
int64_t timeout_from_env() {
  const char* env = std::getenv("MBX_TIMEOUT");
  if (env == nullptr || *env == '\0') return 30000;
  char* end = nullptr;
  long v = std::strtol(env, &end, 10);
  if (*end != '\0' || v < 1 || v > 86400) return 30000;
  return static_cast<int64_t>(v) * 1000;
}

// A request name where 8 blanks stand for "any": sets `any` and returns
// true, or returns a parsed name; false when the field is malformed.
bool name_or_any(const char* field, std::optional<Name>& out) {
  if (field == nullptr) return false;
  if (std::memcmp(field, "        ", 8) == 0) {
    out.reset();
    return true;
  }
  out = Name::from_field(field);
  return out.has_value();
}

template <typename F>
void guarded(int32_t* status, F&& body) {
  try {
    body();
  } catch (const std::bad_alloc&) {
    put(status, MBX_E_SYSTEM);
  } catch (...) {
    put(status, MBX_E_SYSTEM);
  }
}

int find_call(const char* service, const char* request, uint32_t* conv) {
  auto s = Name::from_field(service);
  std::optional<Name> r;
  if (!s || !name_or_any(request, r)) return MBX_E_ARG;
  return bus().find_call(*s, r ? &*r : nullptr, conv);
}

}  // namespace

extern "C" {

void mbx_init(const char* name, int32_t* status) {
  guarded(status, [&] {
    std::optional<Name> n;
    if (name != nullptr) {
      n = Name::from_field(name);
      if (!n) return put(status, MBX_E_ARG);
    }
    Participant& p = bus();
    if (!p.joined() || p.lost()) {
      p.set_socket_path(mbx::socket_path_from_env());
      p.set_timeout_ms(timeout_from_env());
    }
    put(status, p.join(n ? &*n : nullptr));
  });
}

void mbx_register_request(const char* name, mbx_handler handler, int32_t* status) {
  guarded(status, [&] {
    auto n = Name::from_field(name);
    if (!n || handler == nullptr) return put(status, MBX_E_ARG);
    put(status, bus().register_request(*n, handler));
  });
}

void mbx_declare(const char* service, const int32_t* version, const char* request,
                 int32_t* status) {
  guarded(status, [&] {
    auto s = Name::from_field(service);
    auto r = Name::from_field(request);
    if (!s || !r || version == nullptr) return put(status, MBX_E_ARG);
    put(status, bus().declare(*s, *version, *r));
  });
}

void mbx_end_setup(const char* name) {
  guarded(nullptr, [&] {
    auto n = Name::from_field(name);
    if (n) bus().end_setup(*n);
  });
}

mbx_fdset* mbx_fd_set(const int32_t* handle) {
  auto* set = static_cast<mbx_fdset*>(std::calloc(1, sizeof(mbx_fdset)));
  if (set == nullptr) return nullptr;
  guarded(nullptr, [&] {
    for (int fd : bus().watch_fds(handle != nullptr ? *handle : 0)) {
      if (fd < 0 || fd >= 32 * MBX_FDSET_WORDS) continue;
      set->words[fd / 32] |= uint32_t{1} << (fd % 32);
    }
  });
  return set;
}

void mbx_next(const int32_t* wait, int32_t* result) {
  int32_t r = -1;
  guarded(nullptr, [&] { r = bus().next(wait != nullptr ? *wait : 0); });
  put(result, r);
}

void mbx_dispatch(const int32_t* wait, int32_t* status) {
  guarded(status, [&] { put(status, bus().dispatch(wait != nullptr ? *wait : 0)); });
}

void mbx_get_fd(void* value, int32_t* handle, int32_t* status) {
  guarded(status, [&] { put(status, bus().get_handle(value, handle)); });
}

void mbx_request_info(int32_t* kind, int32_t* conversation, char* request_name,
                      char* requester_name, int32_t* status) {
  guarded(status, [&] {
    mbx::RequestInfo info;
    int st = bus().request_info(info);
    if (st == MBX_OK) {
      if (kind != nullptr) *kind = info.kind;
      if (conversation != nullptr) *conversation = static_cast<int32_t>(info.conv);
      if (request_name != nullptr) {
        std::memcpy(request_name, info.request.data(), 8);
        std::memset(request_name + 8, 0, 4);
      }
      if (requester_name != nullptr) {
        std::memcpy(requester_name, info.requester.data(), 8);
        std::memset(requester_name + 8, 0, 4);
      }
    }
    put(status, st);
  });
}

void mbx_read(const int32_t* length, void* buffer, int32_t* length_out,
              int32_t* status) {
  guarded(status, [&] {
    if (length == nullptr) return put(status, MBX_E_ARG);
    put(status, bus().read(*length, buffer, length_out));
  });
}

void mbx_receive(const char* service, const char* request, const int32_t* length,
                 void* buffer, int32_t* length_out, int32_t* status) {
  guarded(status, [&] {
    if (length == nullptr) return put(status, MBX_E_ARG);
    uint32_t conv = 0;
    int st = find_call(service, request, &conv);
    if (st == MBX_OK) st = bus().receive(conv, *length, buffer, length_out);
    put(status, st);
  });
}

void mbx_write(const void* data, const int32_t* length, const int32_t* flags,
               int32_t* status) {
  guarded(status, [&] {
    if (length == nullptr || flags == nullptr || *flags != 0)
      return put(status, MBX_E_ARG);
    put(status, bus().write(data, *length));
  });
}

void mbx_call(const char* service, const int32_t* version, int32_t* conversation,
              int32_t* status) {
  guarded(status, [&] {
    auto s = Name::from_field(service);
    if (!s || version == nullptr) return put(status, MBX_E_ARG);
    uint32_t conv = 0;
    int st = bus().open_call(*s, *version, &conv);
    if (st == MBX_OK && conversation != nullptr) *conversation = static_cast<int32_t>(conv);
    put(status, st);
  });
}

void mbx_send(const char* service, const char* request, const int32_t* length,
              const void* data, const int32_t* last, const int32_t* flags,
              int32_t* status) {
  guarded(status, [&] {
    if (length == nullptr || last == nullptr || flags == nullptr || *flags != 0)
      return put(status, MBX_E_ARG);
    uint32_t conv = 0;
    int st = find_call(service, request, &conv);
    if (st == MBX_OK) st = bus().send(conv, data, *length, *last != 0);
    put(status, st);
  });
}

}  // extern "C"
