// make_corpus - writes the seed corpus of every harness from valid inputs.
//
//   fuzz_make_corpus DIR     (DIR is fuzz/corpus; run from the fuzz build)
//
// XDR seeds: for every type of the catalog a sample value is built from its
// field list (small numbers, short strings, two-element arrays, present
// optional records; each arm of a typed value and both forms of a property
// identifier and of text item data), encoded with the type's own filter,
// and written with the type's selector byte in front, to both XDR
// harnesses.  Bus seeds are whole conversations in the chunk form of
// bus_fuzz; callback seeds one call of each callback procedure, and all of
// them in one stream.  File-name and DI-name seeds are written out as they stand.
// Files are named after what they hold; existing files of the same name are
// replaced, others (inputs that once crashed a harness) are left alone.
#include <arpa/inet.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "wire.h"
#include "xdr_catalog.hpp"

namespace {

using namespace fdk::xdr;

std::string g_root;

void write_seed(const std::string &harness, const std::string &name, const std::string &bytes) {
  const std::string dir = g_root + "/" + harness;
  mkdir(dir.c_str(), 0777);
  const std::string path = dir + "/" + name;
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
      std::fclose(f) != 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
}

// ---------------------------------------------------------------------------
// Sample values.  Everything is allocated with malloc, as a decoder would,
// so that xdr_free releases it.

// Variants pick the form of the value types (variant % 2, or the arm of a
// typed value); the element of an array adds kElement, which changes the
// sample strings only.
constexpr unsigned kElement = 256;

char *sample_string(unsigned variant) {
  static const char *const kTexts[] = {"Chapter 1", "/tmp/a.fm", "", "x<y>\\z"};
  const char *t = kTexts[(variant / kElement) % 4];
  char *s = static_cast<char *>(std::malloc(std::strlen(t) + 1));
  std::strcpy(s, t);
  return s;
}

template <class T> void fill(T &v, unsigned variant);

struct Filler {
  unsigned variant;
  template <class M> void operator()(std::string_view, M &member) const { fill(member, variant); }
};

// The arms of a typed value, in the order the variants take them.
constexpr IntT kValTypes[] = {FT_String,  FT_Metrics,       FT_Strings,    FT_Points,
                              FT_Tabs,    FT_TextLoc,       FT_TextRange,  FT_ElementCatalog,
                              FT_Ints,    FT_UBytes,        FT_UInts,      FT_AttributeDefs,
                              FT_Attributes, FT_ElementRange, FT_FileFormat, 1};
constexpr unsigned kValTypeCount = sizeof kValTypes / sizeof kValTypes[0];
// An array's second element keeps the first one's form.
static_assert(kElement % 2 == 0 && kElement % kValTypeCount == 0);

template <class T> void fill(T &v, unsigned variant) {
  if constexpr (std::is_same_v<T, IntT>) {
    v = 7;
  } else if constexpr (std::is_same_v<T, UIntT>) {
    v = 0x1234;
  } else if constexpr (std::is_same_v<T, UByteT>) {
    v = 'a';
  } else if constexpr (std::is_same_v<T, StringT>) {
    v = sample_string(variant);
  } else if constexpr (std::is_same_v<T, UByteT[4]>) {
    std::memcpy(v, "MIF7", 4);
  } else if constexpr (std::is_same_v<T, F_PropIdentT>) {
    v.num = variant % 2 == 0 ? 0 : 42;
    if (v.num == 0) v.name = sample_string(0);
  } else if constexpr (std::is_same_v<T, TextItemDataT>) {
    v.dataType = variant % 2 == 0 ? 1 : 5;
    if (v.dataType == 1) v.u.sdata = sample_string(0);
    else v.u.idata = 99;
  } else if constexpr (std::is_same_v<T, F_TypedValT>) {
    v.valType = kValTypes[variant % kValTypeCount];
    for_each_field(v, [variant](std::string_view name, auto &member) {
      if (name != "valType") fill(member, variant);
    });
  } else if constexpr (IsRecord<T>) {
    for_each_field(v, Filler{variant});
  } else if constexpr (IsArray<T>) {
    using E = typename Array<T>::element;
    v.len = 2;
    v.val = static_cast<E *>(std::calloc(2, sizeof(E)));
    fill(v.val[0], variant);
    fill(v.val[1], variant + kElement);
  } else if constexpr (std::is_pointer_v<T>) {
    using E = std::remove_pointer_t<T>;
    v = static_cast<E *>(std::calloc(1, sizeof(E)));
    fill(*v, variant);
  } else {
    static_assert(sizeof(T) == 0, "no sample for this field type");
  }
}

template <class T> std::string encode_sample(unsigned variant) {
  const xdrproc_t proc = proc_of<T>();
  T *value = fdk::fuzz::zeroed<T>();
  fill(*value, variant);
  std::string bytes(xdr_sizeof(proc, value), '\0');
  XDR x;
  xdrmem_create(&x, bytes.data(), static_cast<u_int>(bytes.size()), XDR_ENCODE);
  if (!fdk::fuzz::filter_of<T>()(&x, value)) {
    std::fprintf(stderr, "cannot encode a sample %s\n", fdk::fuzz::xdr_name<T>().data());
    std::exit(1);
  }
  xdr_destroy(&x);
  xdr_free(proc, reinterpret_cast<char *>(value));
  std::free(value);
  return bytes;
}

void xdr_seeds() {
  size_t count = 0;
  fdk::fuzz::for_each_type(fdk::fuzz::XdrTypes{}, [&](auto tag, size_t index) {
    using T = typename decltype(tag)::type;
    // Every arm of a typed value on its own; two variants of the rest, kept
    // when they differ (a property named by name or by number, ...).
    const unsigned variants = std::is_same_v<T, F_TypedValT> ? kValTypeCount : 2;
    std::set<std::string> seen;
    for (unsigned v = 0; v < variants; ++v) {
      std::string bytes = encode_sample<T>(v);
      if (!seen.insert(bytes).second) continue;
      const std::string input = std::string(1, static_cast<char>(index)) + bytes;
      const std::string name = std::string(fdk::fuzz::xdr_name<T>()) + "-" + std::to_string(v);
      write_seed("xdr_decode", name, input);
      write_seed("xdr_roundtrip", name, input);
      ++count;
    }
  });
  std::printf("xdr: %zu seeds for %zu types\n", count, fdk::fuzz::kXdrTypeCount);
}

// ---------------------------------------------------------------------------
// Bus conversations in bus_fuzz's chunk form.

struct Script {
  std::string bytes;

  Script &send(int who, mbx::FrameType type, uint32_t conv, uint32_t ref, std::string payload) {
    mbx::Frame f;
    f.type = type;
    f.conv = conv;
    f.ref = ref;
    f.payload = std::move(payload);
    return chunk(static_cast<uint8_t>(who), mbx::encode(f));
  }
  Script &chunk(uint8_t op, const std::string &b) {
    bytes += static_cast<char>(op);
    bytes += static_cast<char>(b.size() >> 8);
    bytes += static_cast<char>(b.size() & 0xFF);
    bytes += b;
    return *this;
  }
  Script &leave(int who) { return chunk(static_cast<uint8_t>(3 | (who << 2)), ""); }
};

mbx::Name nm(const char *text) { return *mbx::Name::from_text(text); }

std::string hello(const char *name) {
  return mbx::PayloadWriter().u32(mbx::kProtocolVersion).u32(4242).name(nm(name)).take();
}

// Participant 0 serves request "DOKFRMDI" and service "CADSRV" 3; the
// broker numbers the first conversation 1.
Script setup() {
  using FT = mbx::FrameType;
  Script s;
  s.send(0, FT::Hello, 0, 1, hello("DOKFRM"))
      .send(0, FT::Register, 0, 2, mbx::PayloadWriter().name(nm("DOKFRMDI")).take())
      .send(0, FT::Declare, 0, 3,
            mbx::PayloadWriter().name(nm("CADSRV")).u32(3).name(nm("CADREQ")).take())
      .send(0, FT::Ready, 0, 4, mbx::PayloadWriter().name(nm("MBX_0000")).take())
      .send(1, FT::Hello, 0, 1, hello("CAD"))
      .send(1, FT::Ready, 0, 2, mbx::PayloadWriter().name(nm("MBX_0000")).take());
  return s;
}

void bus_seeds() {
  using FT = mbx::FrameType;
  using mbx::PayloadWriter;
  const std::string request = PayloadWriter().name(nm("DOKFRMDI")).u32(1).take();

  write_seed("bus", "setup", setup().bytes);

  Script s = setup();
  s.send(1, FT::Request, 0, 3, request)
      .send(1, FT::Item, 1, 0, "docs/manual.fm")
      .send(1, FT::EndOfItems, 1, 0, "")
      .send(0, FT::Item, 1, 0, "ok")
      .send(0, FT::End, 1, 0, "");
  write_seed("bus", "request-reply", s.bytes);

  s = setup();
  s.send(1, FT::Call, 0, 3, PayloadWriter().name(nm("CADSRV")).u32(3).take())
      .send(1, FT::Item, 1, 0, std::string(300, 'd'))
      .send(0, FT::Abort, 1, 0, PayloadWriter().u32(9).take());
  write_seed("bus", "call-abort", s.bytes);

  s = setup();
  s.send(1, FT::Request, 0, 3, request).send(1, FT::Item, 1, 0, "half").leave(0);
  write_seed("bus", "handler-leaves", s.bytes);

  s = setup();
  s.send(2, FT::Hello, 0, 1, hello("THIRD"))
      .send(2, FT::Register, 0, 2, PayloadWriter().name(nm("DOKFRMDI")).take())
      .send(2, FT::Request, 0, 3, request)
      .send(2, FT::Call, 0, 4, PayloadWriter().name(nm("CADSRV")).u32(2).take());
  write_seed("bus", "refusals", s.bytes);

  // A frame arriving in pieces, and one that is malformed.
  mbx::Frame f;
  f.type = FT::Hello;
  f.ref = 1;
  f.payload = hello("SPLIT");
  const std::string whole = mbx::encode(f);
  Script split;
  split.chunk(0, whole.substr(0, 5)).chunk(0, whole.substr(5, 9)).chunk(0, whole.substr(14));
  std::string bad = whole;
  bad[5] = 1;  // reserved header byte
  split.chunk(1, bad);
  write_seed("bus", "split-and-bad", split.bytes);
  std::printf("bus: 6 seeds\n");
}

// ---------------------------------------------------------------------------
// File names (name, zero byte, directory), DI names (anchor flag, name) and
// request paths of the bridge.

// Callback calls in callback_fuzz's form: records of calls to the
// harness's program (0x4fffff01, version 1), one call each and all of them
// in one stream.
// The arguments are encoded with the record's codec directly: calling an
// encoder through xdrproc_t is a call through a mistyped pointer.
template <class T = void> std::string callback_call(uint32_t proc, T *args = nullptr) {
  struct rpc_msg msg {};
  msg.rm_xid = proc + 1;
  msg.rm_direction = CALL;
  msg.rm_call.cb_rpcvers = RPC_MSG_VERSION;
  msg.rm_call.cb_prog = 0x4fffff01;
  msg.rm_call.cb_vers = 1;
  msg.rm_call.cb_proc = proc;
  msg.rm_call.cb_cred = _null_auth;
  msg.rm_call.cb_verf = _null_auth;
  std::vector<char> buf(4096);
  XDR x;
  xdrmem_create(&x, buf.data() + 4, static_cast<u_int>(buf.size() - 4), XDR_ENCODE);
  bool encoded = xdr_callmsg(&x, &msg);
  if constexpr (!std::is_void_v<T>) encoded = encoded && fdk::xdr::code(&x, args);
  if (!encoded) std::exit(1);
  u_int len = xdr_getpos(&x);
  xdr_destroy(&x);
  uint32_t mark = htonl(0x80000000u | len);
  std::memcpy(buf.data(), &mark, 4);
  return std::string(buf.data(), 4 + len);
}

void callback_seeds() {
  FmApiInitArgT init{1};
  FmApiCommandArgT command{7};
  FmApiMessageArgT message{const_cast<char *>("message CURFCT"), 5, 6};
  Fm4ApiNotifyArgT old_notify{2, 5, const_cast<char *>("/tmp/a.fm")};
  FmApiDialogEventArgT dialog{0, 1, 9};
  FmApiNotifyArgT notify{34, 5, const_cast<char *>("/tmp/a.fm"), 1};
  const std::pair<const char *, std::string> calls[] = {
      {"null", callback_call(0)},
      {"quit", callback_call(1)},
      {"init", callback_call(2, &init)},
      {"command", callback_call(3, &command)},
      {"message", callback_call(4, &message)},
      {"old-notify", callback_call(5, &old_notify)},
      {"dialog-event", callback_call(6, &dialog)},
      {"notify", callback_call(7, &notify)},
      {"no-such-proc", callback_call(9)},
  };
  std::string all;
  for (const auto &[name, bytes] : calls) {
    write_seed("callback", name, bytes);
    all += bytes;
  }
  write_seed("callback", "every-call", all);
  std::printf("callback: 10 seeds\n");
}

void text_seeds() {
  const std::pair<const char *, std::string> names[] = {
      {"tilde", std::string("~/docs/../book.fm\0/work", 23)},
      {"tilde-user", std::string("~root/x/./y\0/", 13)},
      {"variables", std::string("$FZ/$FZUP/c\0/base/dir", 21)},
      {"escaped-dollar", std::string("a\\$HOME/b\0/d", 12)},
      {"relative", std::string("./a/./b/../../c\0/home/u/docs", 28)},
      {"climb-past-root", std::string("../../../x\0/a", 13)},
      {"unset", std::string("$NO_SUCH_VARIABLE/f\0/d", 22)},
      {"long-variable", std::string("$FZLONG/tail\0/d", 15)},
      {"long-name", std::string(900, 'n') + "/" + std::string(200, 'm') + '\0' + "/dir"},
  };
  for (const auto &[name, bytes] : names) write_seed("filename", name, bytes);

  const std::pair<const char *, const char *> dis[] = {
      {"root", "\0<r><c>usr<c>share<c>doc.fm"},
      {"home", "\0<h>home<c>fuzz<c>a.fm"},
      {"volume", "\0<v>vol<c>f"},
      {"up-anchored", "\1<u><u><c>other<c>b.fm"},
      {"relative-anchored", "\1<c>sub<c>c.fm"},
      {"escapes", "\0<r><c>a\\<b<c>c\\\\d"},
      {"unknown-token", "\1<x>skip<c>kept"},
      {"up-after-root", "\0<r><u><c>x"},
      {"tilde-component", "\1<c>~root<c>f"},
  };
  for (const auto &[name, text] : dis)
    write_seed("dipath", name, std::string(text, 1 + std::strlen(text + 1)));

  const std::pair<const char *, std::string> paths[] = {
      {"relative-value", "$FZ/x.fm"},
      {"absolute-after-slash", "/$FZROOT/$FZ/doc.fm"},
      {"empty-value", "$FZEMPTY/a"},
      {"unset", "$NO_SUCH_VARIABLE/a.fm"},
      {"long-value", "$FZLONG/b"},
      {"name-at-limit", "$" + std::string(127, 'N') + "/x"},
      {"name-over-limit", "$" + std::string(200, 'N')},
      {"plain", "docs/manual/chapter.fm"},
      {"lone-dollar", "a/$/b$"},
  };
  for (const auto &[name, text] : paths) write_seed("parse_variable", name, text);
  std::printf("filename: 9 seeds, dipath: 9 seeds, parse_variable: 9 seeds\n");
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_make_corpus DIR\n");
    return 2;
  }
  g_root = argv[1];
  mkdir(g_root.c_str(), 0777);
  xdr_seeds();
  bus_seeds();
  callback_seeds();
  text_seeds();
  return 0;
}
