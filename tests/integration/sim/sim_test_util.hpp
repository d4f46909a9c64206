// sim_test_util.hpp - what framesim's integration tests share: a connection
// to framesim's API program made with the client library's stubs, property
// identifiers, and paths of the example documents.
#ifndef FDK_TESTS_INTEGRATION_SIM_TEST_UTIL_HPP
#define FDK_TESTS_INTEGRATION_SIM_TEST_UTIL_HPP

#include <netinet/in.h>
#include <rpc/rpc.h>

#include <memory>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "fapi_stubs.h"
#include "record_json.hpp"
#include "testsupport.hpp"

namespace simtest {

using fdk::test::Framesim;
using fdk::test::Json;
using fdk::test::Millis;

inline std::string example(const std::string &name) { return std::string(FDK_EXAMPLES_DIR) + "/" + name; }

// A TCP connection to framesim's API program, as a client's frame_client.
struct FrameConn {
    CLIENT *c = nullptr;
    // clnttcp_create with port 0 asks the port mapper, as the runtime does
    // (clnt_create would go through libtirpc's address cache, which leaks).
    FrameConn(uint32_t prog, uint32_t vers) {
        struct sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int sock = RPC_ANYSOCK;
        c = clnttcp_create(&addr, prog, vers, &sock, 0, 0);
        if (c) {
            struct timeval tv {20, 0};
            clnt_control(c, CLSET_TIMEOUT, reinterpret_cast<char *>(&tv));
        }
    }
    explicit FrameConn(const Framesim &fs) : FrameConn(fs.prog(), fs.vers()) {}
    ~FrameConn() {
        if (c) clnt_destroy(c);
    }
    FrameConn(const FrameConn &) = delete;
    FrameConn &operator=(const FrameConn &) = delete;
};

// Releases what the decoder put into a stub's buffer.
template <class R> void release(R *r) {
    if (r) xdr_free(fdk::xdr::proc_of<R>(), reinterpret_cast<char *>(r));
}

inline F_PropIdentT prop(IntT num) { return F_PropIdentT{num, nullptr}; }
inline F_PropIdentT prop(const char *name) { return F_PropIdentT{0, const_cast<char *>(name)}; }

inline ApiFmGetPropArgT get_arg(F_ObjIdT doc, F_ObjIdT obj, F_PropIdentT p) {
    return ApiFmGetPropArgT{doc, obj, p};
}

// Integer property through procedure 1064; status into *status.
inline IntT get_int(CLIENT *c, F_ObjIdT doc, F_ObjIdT obj, IntT p, IntT *status = nullptr) {
    ApiFmGetPropArgT a = get_arg(doc, obj, prop(p));
    ApiFmGetIntRetT *r = api_fm_get_int_1(&a, c);
    EXPECT_NE(r, nullptr);
    if (!r) return 0;
    if (status) *status = r->status;
    return r->value;
}

inline F_ObjIdT get_id(CLIENT *c, F_ObjIdT doc, F_ObjIdT obj, IntT p, IntT *status = nullptr) {
    ApiFmGetPropArgT a = get_arg(doc, obj, prop(p));
    ApiFmGetIdRetT *r = api_fm_get_id_1(&a, c);
    EXPECT_NE(r, nullptr);
    if (!r) return 0;
    if (status) *status = r->status;
    return r->id;
}

inline std::string get_string(CLIENT *c, F_ObjIdT doc, F_ObjIdT obj, IntT p, IntT *status = nullptr) {
    ApiFmGetPropArgT a = get_arg(doc, obj, prop(p));
    ApiFmGetStringRetT *r = api_fm_get_string_1(&a, c);
    EXPECT_NE(r, nullptr);
    if (!r) return {};
    if (status) *status = r->status;
    std::string s = r->str ? r->str : "";
    release(r);
    return s;
}

inline F_TextLocT get_textloc(CLIENT *c, F_ObjIdT doc, F_ObjIdT obj, IntT p) {
    ApiFmGetPropArgT a = get_arg(doc, obj, prop(p));
    ApiFmGetTextLocRetT *r = api_fm_get_textloc_1(&a, c);
    EXPECT_NE(r, nullptr);
    EXPECT_EQ(r ? r->status : -1, 0);
    return r ? r->textLoc : F_TextLocT{};
}

// Opens a file through procedure 1019 with the given open parameters.
struct OpenResult {
    IntT status = -1;
    F_ObjIdT doc = 0;
    Json ret;  // the return-parameter list
};
inline OpenResult open_doc(CLIENT *c, const std::string &path, F_PropValsT params = {0, nullptr}) {
    ApiFmOpenArgT a{const_cast<char *>(path.c_str()), params};
    ApiFmOpenRetT *r = api_fm_open_1(&a, c);
    OpenResult o;
    EXPECT_NE(r, nullptr);
    if (!r) return o;
    o.status = r->status;
    o.doc = r->objId;
    o.ret = r->retParams ? fdk::sim::to_json(*r->retParams) : Json(nullptr);
    release(r);
    return o;
}

inline Framesim::Options session_options(const std::string &name = "simtest") {
    Framesim::Options o;
    o.session = name;
    return o;
}

// A fixture: a session-mode framesim and one connection to it.
class Connected : public ::testing::Test {
protected:
    explicit Connected(Framesim::Options options = session_options()) : fs(std::move(options)) {}
    void SetUp() override {
        ASSERT_TRUE(fs.wait_ready());
        conn = std::make_unique<FrameConn>(fs);
        ASSERT_NE(conn->c, nullptr);
    }
    CLIENT *c() { return conn->c; }
    Framesim fs;
    std::unique_ptr<FrameConn> conn;
};

}  // namespace simtest

#endif
