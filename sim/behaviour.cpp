// behaviour.cpp - what the procedures that touch the model do.  Property
// procedures share two templates (get_as, set_as); procedures that only need
// an existing document or object share doc_only/obj_only.
#include "behaviour.hpp"

#include <cstdlib>
#include <cstring>

#include "sim.hpp"

namespace fdk::sim {

namespace {

StringT dup(const std::string &s) { return detail::dup_string(s); }

std::string str(const StringT s) { return s ? s : ""; }

// A one-entry return-parameter list {num: int value}, malloc'ed.
F_PropValsT *ret_list(IntT num, IntT value) {
    auto *l = static_cast<F_PropValsT *>(std::calloc(1, sizeof(F_PropValsT)));
    if (!l) return nullptr;
    l->val = static_cast<F_PropValT *>(std::calloc(1, sizeof(F_PropValT)));
    if (!l->val) return l;
    l->len = 1;
    l->val[0].propIdent.num = num;
    l->val[0].propVal.valType = kTypeInt;
    l->val[0].propVal.u.ival = value;
    return l;
}

// Return-parameter numbers of open/save/import/export.
constexpr IntT kRetStatus = 1;     // open: 1 opened now, 2 was open already; error code on failure
// Open parameter that framesim honours.
constexpr IntT kOpenMakeVisible = 22;

IntT new_in_doc(Sim &s, F_ObjIdT doc, Kind kind, IntT type, F_ObjIdT &out,
                const std::string &name = {}) {
    if (doc != 0) {
        IntT e = s.model.check_doc(doc);
        if (e != kOk) return e;
    }
    out = s.model.new_object(kind, doc, type, name);
    return kOk;
}

// --- property templates -----------------------------------------------------

// Reads a property of value type `type` (0: any) and hands the union arm to
// `take`, which moves it into the result.
template <class R, class Take>
void get_as(Sim &s, const ApiFmGetPropArgT &a, R &r, IntT type, Take take) {
    F_TypedValT tv{};
    r.status = s.model.get(a.docId, a.objId, a.propIdent, type, &tv);
    if (r.status == kOk) take(r, tv);
    else release(tv);
}

template <class A, class Fill>
IntT set_as(Sim &s, A &a, IntT type, Fill fill) {
    F_TypedValT tv{};
    tv.valType = type;
    fill(tv, a.value);
    IntT st = s.model.set(a.docId, a.objId, a.propIdent, tv);
    if (st == kOk && a.propIdent.num == kPropTitle && type == FT_String)
        s.summary.titles.push_back(std::to_string(a.objId) + ": " + str(tv.u.sval));
    return st;
}

}  // namespace

// --- control ----------------------------------------------------------------

void Proc<1000>::run(Sim &s, IntT &a, VoidRec &) { s.on_contact(a, 1000); }
void Proc<1001>::run(Sim &s, IntT &a, VoidRec &) { s.on_contact(a, 1001); }
void Proc<1002>::run(Sim &s, IntT &a, VoidRec &) { s.on_over(a); }
void Proc<1343>::run(Sim &s, VoidRec &, VoidRec &) { s.on_take_control(); }

// --- menus and commands ---------------------------------------------------------

void Proc<1003>::run(Sim &s, ApiFmExistsArgT &a, IntT &r) {
    auto id = s.model.named(0, str(a.name), true);
    r = id && s.model.find(*id)->kind == Kind::Menu ? 1 : 0;
}
void Proc<1004>::run(Sim &s, ApiFmExistsArgT &a, IntT &r) {
    r = 0;
    std::string want = str(a.name);
    for (const auto &[id, o] : s.model.objects())
        if (!want.empty() && o.kind == Kind::Command && o.shortcut == want) r = 1;
}
void Proc<1005>::run(Sim &s, ApiFmAddMenuArgT &a, IntT &r) {
    if (str(a.s1).empty()) { r = kErrBadArgument; return; }
    if (!s.model.named(0, str(a.s1), true)) s.model.new_object(Kind::Menu, 0, 0, str(a.s1));
    r = kOk;
}
void Proc<1006>::run(Sim &s, ApiFmRemoveMenuArgT &a, IntT &r) {
    auto id = s.model.named(0, str(a.s1), true);
    r = id ? s.model.remove(*id) : kErrBadObject;
}
void Proc<1007>::run(Sim &s, ApiFmAddCommandArgT &a, IntT &r) {
    if (str(a.tag).empty()) { r = kErrBadArgument; return; }
    F_ObjIdT id = s.model.new_object(Kind::Command, 0, a.cmdNum, str(a.tag));
    (s.model.find_mut(id))->shortcut = str(a.shortcut);
    r = kOk;
}
void Proc<1250>::run(Sim &s, ApiFmDefineCommandArgT &a, ApiFmObjRetT &r) {
    if (str(a.tag).empty()) { r.status = kErrBadArgument; return; }
    r.objId = s.model.new_object(Kind::Command, 0, a.cmdNum, str(a.tag));
    (s.model.find_mut(r.objId))->shortcut = str(a.shortcut);
}
void Proc<1251>::run(Sim &s, ApiFmDefineMenuArgT &a, ApiFmObjRetT &r) {
    if (str(a.name).empty()) { r.status = kErrBadArgument; return; }
    r.objId = s.model.new_object(Kind::Menu, 0, 0, str(a.name));
}
static IntT add_to_menu(Sim &s, F_ObjIdT menu, F_ObjIdT item) {
    const Object *m = s.model.find(menu);
    const Object *i = s.model.find(item);
    if (!m || m->kind != Kind::Menu || !i || item == 0) return kErrBadObject;
    s.model.find_mut(menu)->items.push_back(item);
    return kOk;
}
void Proc<1252>::run(Sim &s, ApiFmAddCommandToMenuArgT &a, IntT &r) { r = add_to_menu(s, a.menuId, a.itemId); }
void Proc<1253>::run(Sim &s, ApiFmAddMenuToMenuArgT &a, IntT &r) { r = add_to_menu(s, a.menuId, a.itemId); }
void Proc<1254>::run(Sim &s, ApiFmDefineAndAddCommandArgT &a, ApiFmObjRetT &r) {
    const Object *m = s.model.find(a.menuId);
    if (!m || m->kind != Kind::Menu) { r.status = kErrBadObject; return; }
    r.objId = s.model.new_object(Kind::Command, 0, a.cmdNum, str(a.tag));
    (s.model.find_mut(r.objId))->shortcut = str(a.shortcut);
    add_to_menu(s, a.menuId, r.objId);
}
void Proc<1255>::run(Sim &s, ApiFmDefineAndAddMenuArgT &a, ApiFmObjRetT &r) {
    const Object *m = s.model.find(a.menuId);
    if (!m || m->kind != Kind::Menu) { r.status = kErrBadObject; return; }
    r.objId = s.model.new_object(Kind::Menu, 0, 0, str(a.name));
    add_to_menu(s, a.menuId, r.objId);
}
void Proc<1258>::run(Sim &s, ApiFmMenuItemInMenuArgT &a, ApiFmObjRetT &r) {
    const Object *m = s.model.find(a.menuId);
    if (!m || m->kind != Kind::Menu) { r.status = kErrBadObject; return; }
    for (F_ObjIdT i : m->items)
        if (i == a.itemId) { r.objId = i; return; }
    r.status = kErrBadObject;
}

// --- session, alerts, prompts, notifications, clients --------------------------

void Proc<1008>::run(Sim &s, ApiFmAlertArgT &a, IntT &r) {
    s.summary.alerts.push_back("type " + std::to_string(a.alertType) + ": " + str(a.message));
    r = 0;  // the user pressed OK
}
void Proc<1010>::run(Sim &, ApiFmPromptArgT &a, ApiFmPromptStringRetT &r) {
    r.str = dup(str(a.defVal));  // the user accepts the default
}
void Proc<1014>::run(Sim &s, ApiFmFcodesArgT &a, IntT &r) {
    for (UIntT i = 0; a.fcodes.val && i < a.fcodes.len; ++i) s.summary.fcodes.push_back(a.fcodes.val[i]);
    r = kOk;
}
void Proc<1015>::run(Sim &s, ApiFmNotificationArgT &a, IntT &r) {
    s.notify_requests[a.notification] = a.state;
    s.summary.notifications.push_back(std::to_string(a.notification) + (a.state ? " on" : " off"));
    s.journal.write({{"kind", "notify-request"}, {"notification", a.notification}, {"state", a.state}});
    r = kOk;
}
void Proc<1340>::run(Sim &s, VoidRec &, IntT &r) { r = s.opt.client_no; }
void Proc<1341>::run(Sim &s, VoidRec &, StringT &r) { r = dup(s.opt.client_name); }
void Proc<1342>::run(Sim &s, VoidRec &, StringT &r) { r = dup(s.client_dir); }
void Proc<1344>::run(Sim &s, StringT &a, IntT &r) {
    s.client_dir = str(a);
    r = kOk;
}
void Proc<1375>::run(Sim &s, IntT &a, IntT &r) {
    s.journal.write({{"kind", "return-value"}, {"value", a}});
    r = 0;
}
void Proc<1376>::run(Sim &s, VoidRec &, IntT &r) {
    s.on_disconnect();
    r = kOk;
}

// --- documents -------------------------------------------------------------

#define FDK_DOC_ONLY(N, A, field) \
    void Proc<N>::run(Sim &s, A &a, IntT &r) { r = s.model.check_doc(a.field); }
FDK_DOC_ONLY(1018, ApiFmSilentPrintDocArgT, docId)
FDK_DOC_ONLY(1023, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1030, ApiFmCutCopyPasteArgT, docId)
FDK_DOC_ONLY(1031, ApiFmCutCopyPasteArgT, docId)
FDK_DOC_ONLY(1032, ApiFmCutCopyPasteArgT, docId)
FDK_DOC_ONLY(1033, ApiFmCutCopyPasteArgT, docId)
FDK_DOC_ONLY(1035, ApiFmApplyPageLayoutArgT, docId)
FDK_DOC_ONLY(1040, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1041, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1042, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1043, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1044, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1045, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1046, ApiFmUpdateXRefsArgT, docId)
FDK_DOC_ONLY(1047, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1048, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1100, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1101, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1102, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1103, ApiFmGeneralElementDefArgT, docId)
FDK_DOC_ONLY(1104, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1105, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1106, ApiFmGeneralDocArgT, docId)
FDK_DOC_ONLY(1406, ApiFmDeleteUndefinedAttributeArgT, docId)
#undef FDK_DOC_ONLY

#define FDK_OBJ_ONLY(N, A, d, o) \
    void Proc<N>::run(Sim &s, A &a, IntT &r) { r = a.o == 0 ? kErrBadObject : s.model.check(a.d, a.o); }
FDK_OBJ_ONLY(1034, ApiFmUpdateTextInsetArgT, docId, objId)
FDK_OBJ_ONLY(1036, ApiFmDeleteTextInsetContentsArgT, docId, objId)
FDK_OBJ_ONLY(1200, ApiFmAddRowsArgT, docId, refRowId)
FDK_OBJ_ONLY(1201, ApiFmAddColumnsArgT, docId, tableId)
FDK_OBJ_ONLY(1202, ApiFmCutTablePartsArgT, docId, tableId)
FDK_OBJ_ONLY(1203, ApiFmMakeTableSelectionArgT, docId, tableId)
FDK_OBJ_ONLY(1204, ApiFmStraddleCellsArgT, docId, cellId)
#undef FDK_OBJ_ONLY

void Proc<1019>::run(Sim &s, ApiFmOpenArgT &a, ApiFmOpenRetT &r) {
    bool visible = true;
    for (UIntT i = 0; a.params.val && i < a.params.len; ++i) {
        const F_PropValT &p = a.params.val[i];
        if (p.propIdent.num == kOpenMakeVisible && is_word_type(p.propVal.valType))
            visible = p.propVal.u.ival != 0;
    }
    std::string path = s.resolve(str(a.fileName));
    bool was_open = s.model.document_by_path(path) != 0;
    std::string why;
    F_ObjIdT doc = 0;
    r.status = s.open_document(str(a.fileName), visible, doc, why);
    r.objId = doc;
    r.retParams = ret_list(kRetStatus, r.status != kOk ? r.status : was_open ? 2 : 1);
}
void Proc<1020>::run(Sim &s, ApiFmSaveArgT &a, ApiFmSaveRetT &r) {
    r.status = s.model.check_doc(a.docId);
    if (r.status == kOk) {
        // Nothing is written; a new name becomes the document's path.
        if (!str(a.fileName).empty()) {
            std::string p = s.resolve(str(a.fileName));
            s.model.document(a.docId)->path = p;
            s.model.set_value(a.docId, PropKey{kPropPath, {}}, Value::string(p));
        }
        r.objId = a.docId;
    }
    r.retParams = ret_list(kRetStatus, r.status == kOk ? 1 : r.status);
}
void Proc<1021>::run(Sim &s, ApiFmCustomDocArgT &, ApiFmCustomDocRetT &r) {
    r.docId = s.model.add_document("", DocSpec{}, true);
}
void Proc<1022>::run(Sim &s, ApiFmCloseDocArgT &a, IntT &r) {
    if (a.docId == 0) {
        s.session_closing = true;
        s.journal.write({{"kind", "session"}, {"event", "close-requested"}, {"flags", a.flags}});
        r = kOk;
        return;
    }
    r = s.model.close_document(a.docId);
    if (r == kOk) s.journal.write({{"kind", "document"}, {"event", "closed"}, {"doc", a.docId}});
}
void Proc<1024>::run(Sim &s, ApiFmImportArgT &a, ApiFmImportRetT &r) {
    r.status = s.model.check_doc(a.docId);
    if (r.status == kOk) r.objId = s.model.new_object(Kind::Object, a.docId, 0, str(a.fileName));
    r.retParams = ret_list(kRetStatus, r.status == kOk ? 1 : r.status);
}
void Proc<1025>::run(Sim &s, ApiFmSimpleImportFormatsArgT &a, IntT &r) {
    r = s.model.check_doc(a.docId);
    if (r == kOk) r = s.model.check_doc(a.fromDocId);
}
void Proc<1109>::run(Sim &s, ApiFmSimpleImportElementDefsArgT &a, IntT &r) {
    r = s.model.check_doc(a.docId);
    if (r == kOk) r = s.model.check_doc(a.fromDocId);
}
void Proc<1026>::run(Sim &s, ApiFmSimpleGenerateArgT &a, IntT &r) {
    r = a.bookId == 0 ? kErrBadObject : s.model.check(0, a.bookId);
}
void Proc<1027>::run(Sim &s, ApiFmCompareArgT &a, ApiFmCompareRetT &r) {
    r.status = s.model.check_doc(a.olderId);
    if (r.status == kOk) r.status = s.model.check_doc(a.newerId);
    if (r.status != kOk) return;
    r.firstId = s.model.add_document("", DocSpec{}, false);
    r.secondId = s.model.add_document("", DocSpec{}, false);
}
void Proc<1037>::run(Sim &s, ApiFmExportArgT &a, ApiFmExportRetT &r) {
    r.status = s.model.check_doc(a.docId);
    if (r.status == kOk && str(a.fileName).empty()) r.status = kErrBadArgument;
    if (r.status == kOk) r.objId = a.docId;
    r.retParams = ret_list(kRetStatus, r.status == kOk ? 1 : r.status);
}
static IntT scroll(Sim &s, const ApiFmGeneralTextRangeArgT &a, const char *how) {
    IntT e = s.model.check_doc(a.docId);
    if (e != kOk) return e;
    F_ObjIdT obj = a.textRange.beg.objId;
    if (obj != 0) {
        const Object *o = s.model.find(obj);
        if (!o || o->doc != a.docId) return kErrBadObject;
    }
    s.record_scroll(a.docId, a.textRange.beg, how);
    return kOk;
}
void Proc<1038>::run(Sim &s, ApiFmGeneralTextRangeArgT &a, IntT &r) { r = scroll(s, a, "scroll"); }
void Proc<1039>::run(Sim &s, ApiFmGeneralTextRangeArgT &a, IntT &r) { r = scroll(s, a, "center"); }
void Proc<1310>::run(Sim &s, ApiFmHypertextCommandArgT &a, IntT &r) {
    r = s.hypertext(a.docId, str(a.command));
}

// --- objects ---------------------------------------------------------------

void Proc<1050>::run(Sim &s, ApiFmGeneralObjArgT &a, IntT &r) {
    r = s.model.check(a.docId, a.objId);
    if (r == kOk) r = s.model.remove(a.objId);
}
void Proc<1051>::run(Sim &s, ApiFmGetNamedObjArgT &a, ApiFmObjRetT &r) {
    if (a.docId != 0 && (r.status = s.model.check_doc(a.docId)) != kOk) return;
    auto id = s.model.named(a.docId, str(a.name));
    if (!id) id = s.model.named(0, str(a.name), true);
    if (id && !str(a.name).empty()) r.objId = *id;
    else r.status = kErrBadObject;
}
void Proc<1052>::run(Sim &s, ApiFmNewGraphicObjArgT &a, ApiFmObjRetT &r) {
    if (a.parentId != 0 && s.model.check(a.docId, a.parentId) != kOk) { r.status = kErrBadObject; return; }
    r.status = new_in_doc(s, a.docId, Kind::Object, a.objType, r.objId);
}
void Proc<1053>::run(Sim &s, ApiFmNewNamedObjArgT &a, ApiFmObjRetT &r) {
    if (str(a.name).empty()) { r.status = kErrBadArgument; return; }
    r.status = new_in_doc(s, a.docId, Kind::Object, a.objType, r.objId, str(a.name));
}
void Proc<1054>::run(Sim &s, ApiFmNewAnchoredObjArgT &a, ApiFmObjRetT &r) {
    r.status = new_in_doc(s, a.docId, Kind::Object, a.objType, r.objId);
}
void Proc<1055>::run(Sim &s, ApiFmNewSeriesObjArgT &a, ApiFmObjRetT &r) {
    if (a.prevId != 0 && s.model.check(a.docId, a.prevId) != kOk) { r.status = kErrBadObject; return; }
    r.status = new_in_doc(s, a.docId, Kind::Object, a.objType, r.objId);
}
void Proc<1089>::run(Sim &s, ApiFmGetUniqueObjArgT &a, ApiFmObjRetT &r) {
    // An object's unique id is its handle.
    F_ObjIdT id = static_cast<F_ObjIdT>(a.uniqueId);
    r.status = id == 0 ? kErrBadObject : s.model.check(a.docId, id);
    if (r.status == kOk) r.objId = id;
}
void Proc<1090>::run(Sim &s, ApiFmNewAnchoredFormattedObjArgT &a, ApiFmObjRetT &r) {
    r.status = new_in_doc(s, a.docId, Kind::Object, a.objType, r.objId, str(a.format));
}
void Proc<1091>::run(Sim &s, ApiFmGeneralObjArgT &a, IntT &r) { r = s.model.check(a.docId, a.objId); }
void Proc<1315>::run(Sim &s, ApiFmOpenResourceArgT &a, ApiFmObjRetT &r) {
    if (str(a.resourceName).empty()) { r.status = kErrBadArgument; return; }
    r.objId = s.model.new_object(Kind::Dialog, 0, a.resourceType, str(a.resourceName));
}
void Proc<1318>::run(Sim &s, ApiFmDialogItemIdArgT &a, ApiFmObjRetT &r) {
    const Object *d = s.model.find(a.dlgId);
    if (!d || d->kind != Kind::Dialog) { r.status = kErrBadObject; return; }
    // One stable handle per item: kept in the dialog's item list by index.
    if (a.itemNum < 0 || a.itemNum > 1000) { r.status = kErrBadArgument; return; }
    auto &items = s.model.find_mut(a.dlgId)->items;
    while (items.size() <= static_cast<size_t>(a.itemNum))
        items.push_back(s.model.new_object(Kind::Object, 0, 0));
    r.objId = items[static_cast<size_t>(a.itemNum)];
}
void Proc<1108>::run(Sim &s, ApiFmNewElementArgT &a, ApiFmObjRetT &r) {
    r.status = a.docId == 0 ? kErrBadDocument : new_in_doc(s, a.docId, Kind::Element, 0, r.objId);
}
void Proc<1111>::run(Sim &s, ApiFmNewElementInHierarchyArgT &a, ApiFmObjRetT &r) {
    r.status = a.docId == 0 ? kErrBadDocument : new_in_doc(s, a.docId, Kind::Element, 0, r.objId);
}
void Proc<1112>::run(Sim &s, ApiFmNewBookComponentInHierarchyArgT &a, ApiFmObjRetT &r) {
    if (a.bookId == 0 || !s.model.find(a.bookId)) { r.status = kErrBadObject; return; }
    r.objId = s.model.new_object(Kind::Element, 0, 0, str(a.name));
}
void Proc<1113>::run(Sim &s, ApiFmNewSubObjectArgT &a, ApiFmObjRetT &r) {
    if (a.parentId == 0 || s.model.check(a.docId, a.parentId) != kOk) { r.status = kErrBadObject; return; }
    r.status = new_in_doc(s, a.docId, Kind::Object, a.objType, r.objId);
}
void Proc<1205>::run(Sim &s, ApiFmNewTableArgT &a, ApiFmObjRetT &r) {
    r.status = a.docId == 0 ? kErrBadDocument : new_in_doc(s, a.docId, Kind::Table, 0, r.objId, str(a.format));
}
void Proc<1286>::run(Sim &s, ApiFmElementLocToTextLocArgT &a, ApiFmElementLocToTextLocRetT &r) {
    r.status = s.model.check_doc(a.docId);
}
void Proc<1287>::run(Sim &s, ApiFmTextLocToElementLocArgT &a, ApiFmTextLocToElementLocRetT &r) {
    r.status = s.model.check_doc(a.docId);
}

// --- text --------------------------------------------------------------------

// The paragraph text that a text location points into, or null.
static std::string *para_text(Sim &s, F_ObjIdT doc, F_ObjIdT para, IntT &err) {
    Document *d = s.model.document(doc);
    if (!d) {
        err = kErrBadDocument;
        return nullptr;
    }
    int i = s.model.paragraph_index(*d, para);
    if (i < 0) {
        err = kErrBadObject;
        return nullptr;
    }
    return &d->texts[static_cast<size_t>(i)];
}

void Proc<1058>::run(Sim &s, ApiFmAddTextArgT &a, ApiFmAddTextRetT &r) {
    std::string *t = para_text(s, a.docId, a.textLoc.objId, r.status);
    if (!t) return;
    if (a.textLoc.offset < 0 || static_cast<size_t>(a.textLoc.offset) > t->size()) {
        r.status = kErrBadArgument;
        return;
    }
    std::string add = str(a.text);
    t->insert(static_cast<size_t>(a.textLoc.offset), add);
    r.textLoc = a.textLoc;
    r.textLoc.offset += static_cast<IntT>(add.size());
}
void Proc<1059>::run(Sim &s, ApiFmGeneralTextRangeArgT &a, IntT &r) {
    const F_TextRangeT &g = a.textRange;
    std::string *t = para_text(s, a.docId, g.beg.objId, r);
    if (!t) return;
    if (g.end.objId != g.beg.objId || g.beg.offset < 0 || g.end.offset < g.beg.offset ||
        static_cast<size_t>(g.end.offset) > t->size()) {
        r = kErrBadArgument;
        return;
    }
    t->erase(static_cast<size_t>(g.beg.offset), static_cast<size_t>(g.end.offset - g.beg.offset));
    r = kOk;
}
// Text items of type 1 (a string) holding `text`, at `offset`.
static void text_items(TextItemsT &items, const std::vector<std::pair<IntT, std::string>> &parts) {
    if (parts.empty()) return;
    items.val = static_cast<TextItemT *>(std::calloc(parts.size(), sizeof(TextItemT)));
    if (!items.val) return;
    items.len = static_cast<UIntT>(parts.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        items.val[i].offset = parts[i].first;
        items.val[i].data.dataType = 1;
        items.val[i].data.u.sdata = dup(parts[i].second);
    }
}
void Proc<1080>::run(Sim &s, ApiFmGetTextArgT &a, ApiFmGetTextRetT &r) {
    const Object *o = s.model.find(a.objId);
    r.status = a.objId == 0 ? kErrBadObject : s.model.check(a.docId, a.objId);
    if (r.status != kOk) return;
    if (o->kind == Kind::Document) {
        Document *d = s.model.document(a.objId);
        std::vector<std::pair<IntT, std::string>> parts;
        for (const auto &t : d->texts) parts.emplace_back(0, t);
        text_items(r.items, parts);
    } else if (o->kind == Kind::Paragraph) {
        IntT e = 0;
        std::string *t = para_text(s, o->doc, a.objId, e);
        if (t) text_items(r.items, {{0, *t}});
    } else {
        r.status = kErrBadObject;
    }
}
void Proc<1081>::run(Sim &s, ApiFmGetTextForRangeArgT &a, ApiFmGetTextRetT &r) {
    const F_TextRangeT &g = a.textRange;
    std::string *t = para_text(s, a.docId, g.beg.objId, r.status);
    if (!t) return;
    if (g.end.objId != g.beg.objId || g.beg.offset < 0 || g.end.offset < g.beg.offset ||
        static_cast<size_t>(g.end.offset) > t->size()) {
        r.status = kErrBadArgument;
        return;
    }
    text_items(r.items, {{g.beg.offset, t->substr(static_cast<size_t>(g.beg.offset),
                                                   static_cast<size_t>(g.end.offset - g.beg.offset))}});
}

// --- properties ---------------------------------------------------------------

void Proc<1060>::run(Sim &s, ApiFmGetPropArgT &a, ApiFmGetPropRetT &r) {
    get_as(s, a, r, 0, [&](ApiFmGetPropRetT &res, F_TypedValT &tv) {
        res.propVal.propIdent.num = a.propIdent.num;
        if (a.propIdent.num == 0) res.propVal.propIdent.name = dup(str(a.propIdent.name));
        res.propVal.propVal = tv;
    });
}
void Proc<1061>::run(Sim &s, ApiFmSetPropArgT &a, IntT &r) {
    r = s.model.set(a.docId, a.objId, a.propVal.propIdent, a.propVal.propVal);
}
static void fill_props(Sim &s, F_ObjIdT obj, F_PropValsT &out) {
    auto all = s.model.props(obj);
    if (all.empty()) return;
    out.val = static_cast<F_PropValT *>(std::calloc(all.size(), sizeof(F_PropValT)));
    if (!out.val) return;
    out.len = static_cast<UIntT>(all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        out.val[i].propIdent.num = all[i].first.num;
        if (all[i].first.num == 0) out.val[i].propIdent.name = dup(all[i].first.name);
        all[i].second->decode(&out.val[i].propVal);
    }
}
void Proc<1062>::run(Sim &s, ApiFmGeneralObjArgT &a, ApiFmGetPropsRetT &r) {
    r.status = s.model.check(a.docId, a.objId);
    if (r.status == kOk) fill_props(s, a.objId, r.propVals);
}
static IntT set_all(Sim &s, F_ObjIdT doc, F_ObjIdT obj, const F_PropValsT &l) {
    IntT e = s.model.check(doc, obj);
    for (UIntT i = 0; e == kOk && l.val && i < l.len; ++i)
        e = s.model.set(doc, obj, l.val[i].propIdent, l.val[i].propVal);
    return e;
}
void Proc<1063>::run(Sim &s, ApiFmSetPropsArgT &a, IntT &r) { r = set_all(s, a.docId, a.objId, a.propVals); }
void Proc<1082>::run(Sim &s, ApiFmGetPropArgT &a, IntT &r) { r = s.model.remove_prop(a.docId, a.objId, a.propIdent); }

#define FDK_GET_WORD(N, R, field, TYPE) \
    void Proc<N>::run(Sim &s, ApiFmGetPropArgT &a, R &r) { \
        get_as(s, a, r, TYPE, [](R &res, F_TypedValT &tv) { res.field = static_cast<decltype(res.field)>(tv.u.ival); }); \
    }
#define FDK_GET_ARM(N, R, field, TYPE, arm) \
    void Proc<N>::run(Sim &s, ApiFmGetPropArgT &a, R &r) { \
        get_as(s, a, r, TYPE, [](R &res, F_TypedValT &tv) { res.field = tv.u.arm; }); \
    }
#define FDK_SET_WORD(N, A, TYPE) \
    void Proc<N>::run(Sim &s, A &a, IntT &r) { \
        r = set_as(s, a, TYPE, [](F_TypedValT &tv, auto &v) { tv.u.ival = static_cast<IntT>(v); }); \
    }
#define FDK_SET_ARM(N, A, TYPE, arm) \
    void Proc<N>::run(Sim &s, A &a, IntT &r) { \
        r = set_as(s, a, TYPE, [](F_TypedValT &tv, auto &v) { tv.u.arm = v; }); \
    }

FDK_GET_WORD(1064, ApiFmGetIntRetT, value, kTypeInt)
FDK_GET_WORD(1066, ApiFmGetIdRetT, id, kTypeId)
FDK_GET_WORD(1068, ApiFmGetMetricRetT, metric, kTypeMetric)
FDK_SET_WORD(1065, ApiFmSetIntArgT, kTypeInt)
FDK_SET_WORD(1067, ApiFmSetIdArgT, kTypeId)
FDK_SET_WORD(1069, ApiFmSetMetricArgT, kTypeMetric)
FDK_GET_ARM(1070, ApiFmGetStringRetT, str, FT_String, sval)
FDK_SET_ARM(1071, ApiFmSetStringArgT, FT_String, sval)
FDK_GET_ARM(1072, ApiFmGetStringsRetT, strings, FT_Strings, ssval)
FDK_SET_ARM(1073, ApiFmSetStringsArgT, FT_Strings, ssval)
FDK_GET_ARM(1074, ApiFmGetMetricsRetT, metrics, FT_Metrics, msval)
FDK_SET_ARM(1075, ApiFmSetMetricsArgT, FT_Metrics, msval)
FDK_GET_ARM(1076, ApiFmGetPointsRetT, points, FT_Points, psval)
FDK_SET_ARM(1077, ApiFmSetPointsArgT, FT_Points, psval)
FDK_GET_ARM(1078, ApiFmGetTabsRetT, tabs, FT_Tabs, tsval)
FDK_SET_ARM(1079, ApiFmSetTabsArgT, FT_Tabs, tsval)
FDK_GET_ARM(1083, ApiFmGetUBytesRetT, ubytes, FT_UBytes, ubsval)
FDK_SET_ARM(1084, ApiFmSetUBytesArgT, FT_UBytes, ubsval)
FDK_GET_ARM(1092, ApiFmGetIntsRetT, ints, FT_Ints, isval)
FDK_SET_ARM(1093, ApiFmSetIntsArgT, FT_Ints, isval)
FDK_GET_ARM(1266, ApiFmGetTextRangeRetT, textRange, FT_TextRange, trval)
FDK_SET_ARM(1267, ApiFmSetTextRangeArgT, FT_TextRange, trval)
FDK_GET_ARM(1268, ApiFmGetTextLocRetT, textLoc, FT_TextLoc, tlval)
FDK_SET_ARM(1269, ApiFmSetTextLocArgT, FT_TextLoc, tlval)
FDK_GET_ARM(1285, ApiFmGetElementCatalogRetT, catalog, FT_ElementCatalog, csval)
FDK_GET_ARM(1400, ApiFmGetAttributeDefsRetT, attrDefs, FT_AttributeDefs, adsval)
FDK_SET_ARM(1401, ApiFmSetAttributeDefsArgT, FT_AttributeDefs, adsval)
FDK_GET_ARM(1402, ApiFmGetAttributesRetT, attrs, FT_Attributes, asval)
FDK_SET_ARM(1403, ApiFmSetAttributesArgT, FT_Attributes, asval)

void Proc<1098>::run(Sim &s, ApiFmGetPropArgT &a, ApiFmGetValRetT &r) {
    get_as(s, a, r, 0, [](ApiFmGetValRetT &res, F_TypedValT &tv) { res.val = tv; });
}
void Proc<1099>::run(Sim &s, ApiFmSetValArgT &a, IntT &r) {
    r = s.model.set(a.docId, a.objId, a.propIdent, a.value);
}
void Proc<1404>::run(Sim &s, ApiFmGetPropArgT &a, ApiFmGetElementRangeRetT &r) {
    get_as(s, a, r, FT_ElementRange, [](ApiFmGetElementRangeRetT &res, F_TypedValT &tv) {
        if (tv.u.erngval) res.elemRange = *tv.u.erngval;
        std::free(tv.u.erngval);
    });
}
void Proc<1405>::run(Sim &s, ApiFmSetElementRangeArgT &a, IntT &r) {
    r = set_as(s, a, FT_ElementRange, [](F_TypedValT &tv, F_ElementRangeT &v) { tv.u.erngval = &v; });
}

// --- text properties: kept as properties of the object holding the location --

void Proc<1298>::run(Sim &s, ApiFmGetTextPropArgT &a, ApiFmGetValRetT &r) {
    r.status = s.model.get(a.docId, a.textLoc.objId, a.propIdent, 0, &r.val);
}
void Proc<1299>::run(Sim &s, ApiFmSetTextValArgT &a, IntT &r) {
    r = s.model.set(a.docId, a.textRange.beg.objId, a.propIdent, a.value);
}
void Proc<1300>::run(Sim &s, ApiFmGetTextPropArgT &a, ApiFmGetPropRetT &r) {
    r.status = s.model.get(a.docId, a.textLoc.objId, a.propIdent, 0, &r.propVal.propVal);
    if (r.status != kOk) return;
    r.propVal.propIdent.num = a.propIdent.num;
    if (a.propIdent.num == 0) r.propVal.propIdent.name = dup(str(a.propIdent.name));
}
void Proc<1301>::run(Sim &s, ApiFmSetTextPropArgT &a, IntT &r) {
    r = s.model.set(a.docId, a.textRange.beg.objId, a.propVal.propIdent, a.propVal.propVal);
}
void Proc<1302>::run(Sim &s, ApiFmGetTextPropsArgT &a, ApiFmGetPropsRetT &r) {
    r.status = s.model.check(a.docId, a.textLoc.objId);
    if (r.status == kOk) fill_props(s, a.textLoc.objId, r.propVals);
}
void Proc<1303>::run(Sim &s, ApiFmSetTextPropsArgT &a, IntT &r) {
    r = set_all(s, a.docId, a.textRange.beg.objId, a.propVals);
}

}  // namespace fdk::sim
