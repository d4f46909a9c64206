// model.cpp - objects, documents and the property store of the simulated
// session.
#include "model.hpp"

#include <algorithm>

namespace fdk::sim {

const char *kind_name(Kind k) {
    switch (k) {
    case Kind::Session: return "session";
    case Kind::Document: return "document";
    case Kind::Marker: return "marker";
    case Kind::Paragraph: return "paragraph";
    case Kind::Menu: return "menu";
    case Kind::Command: return "command";
    case Kind::Table: return "table";
    case Kind::Element: return "element";
    case Kind::Dialog: return "dialog";
    case Kind::Object: return "object";
    }
    return "object";
}

PropKey PropKey::of(const F_PropIdentT &id) {
    PropKey k;
    k.num = id.num;
    if (id.num == 0) k.name = id.name ? id.name : "";
    return k;
}

Json PropKey::json() const { return num != 0 ? Json(num) : Json(name); }

Model::Model() {
    Object s;
    s.id = 0;
    s.kind = Kind::Session;
    objects_[0] = s;
    put(0, kPropActiveDoc, Value::integer(kTypeId, 0));
    put(0, kPropSessionList, Value::strings({"Standard", "Alternate"}));
}

const Object *Model::find(F_ObjIdT id) const {
    auto it = objects_.find(id);
    return it == objects_.end() ? nullptr : &it->second;
}

Document *Model::document(F_ObjIdT id) {
    auto it = docs_.find(id);
    return it == docs_.end() ? nullptr : &it->second;
}

IntT Model::check_doc(F_ObjIdT docId) const {
    return docs_.count(docId) ? kOk : kErrBadDocument;
}

IntT Model::check(F_ObjIdT docId, F_ObjIdT objId) const {
    if (objId == 0) return kOk;
    const Object *o = find(objId);
    if (docId != 0 && !docs_.count(docId)) return kErrBadDocument;
    if (!o) return kErrBadObject;
    // Paragraphs, markers and a document's other objects are named with
    // their document; document 0 (the session) reaches only session-level
    // objects such as documents, menus and commands.
    if (o->doc != 0 && o->doc != docId) return kErrBadObject;
    if (docId != 0 && o->kind == Kind::Document && objId != docId) return kErrBadObject;
    return kOk;
}

F_ObjIdT Model::new_object(Kind kind, F_ObjIdT doc, IntT type, const std::string &name) {
    Object o;
    o.id = next_++;
    o.kind = kind;
    o.doc = doc;
    o.type = type;
    o.name = name;
    objects_[o.id] = o;
    return o.id;
}

void Model::drop_object(F_ObjIdT id) {
    objects_.erase(id);
    props_.erase(id);
    for (auto &[oid, o] : objects_) {
        auto &v = o.items;
        v.erase(std::remove(v.begin(), v.end(), id), v.end());
    }
}

IntT Model::remove(F_ObjIdT id) {
    const Object *o = find(id);
    if (!o || o->kind == Kind::Session || o->kind == Kind::Document) return kErrBadObject;
    if (o->kind == Kind::Marker || o->kind == Kind::Paragraph) {
        Document *d = document(o->doc);
        if (d && o->kind == Kind::Marker) {
            // Keep the marker chain intact around the removed marker.
            auto it = std::find(d->markers.begin(), d->markers.end(), id);
            if (it != d->markers.end()) {
                size_t i = static_cast<size_t>(it - d->markers.begin());
                F_ObjIdT next = i + 1 < d->markers.size() ? d->markers[i + 1] : 0;
                if (i == 0) put(d->id, kPropFirstMarker, Value::integer(kTypeId, next));
                else put(d->markers[i - 1], kPropNextMarker, Value::integer(kTypeId, next));
                d->markers.erase(it);
            }
        } else if (d) {
            return kErrBadObject;  // paragraphs hold the markers: not removable here
        }
    }
    drop_object(id);
    return kOk;
}

std::optional<F_ObjIdT> Model::named(F_ObjIdT doc, const std::string &name, bool menus_only) const {
    for (const auto &[id, o] : objects_) {
        if (o.name != name || id == 0) continue;
        if (menus_only && o.kind != Kind::Menu && o.kind != Kind::Command) continue;
        if (!menus_only && o.doc != doc) continue;
        return id;
    }
    return std::nullopt;
}

F_ObjIdT Model::document_by_path(const std::string &path) const {
    for (const auto &[id, d] : docs_)
        if (!path.empty() && d.path == path) return id;
    return 0;
}

F_ObjIdT Model::add_document(const std::string &path, const DocSpec &spec, bool visible) {
    F_ObjIdT id = new_object(Kind::Document, 0);
    objects_[id].doc = 0;
    Document d;
    d.id = id;
    d.path = path;
    d.visible = visible;
    for (const auto &t : spec.paragraphs) {
        d.paragraphs.push_back(new_object(Kind::Paragraph, id));
        d.texts.push_back(t);
    }
    for (const auto &m : spec.markers) {
        F_ObjIdT mid = new_object(Kind::Marker, id, m.type);
        d.markers.push_back(mid);
        put(mid, kPropMarkerType, Value::integer(kTypeInt, m.type));
        put(mid, kPropMarkerText, Value::string(m.text));
        put(mid, kPropTextLoc, Value::text_loc(d.paragraphs[static_cast<size_t>(m.paragraph)], m.offset));
        for (const auto &p : m.properties) props_[mid][PropKey{p.num, p.name}] = p.value;
    }
    for (size_t i = 0; i < d.markers.size(); ++i) {
        int next = spec.markers[i].next;
        F_ObjIdT to = next >= 0 ? d.markers[static_cast<size_t>(next)]
                                : (i + 1 < d.markers.size() ? d.markers[i + 1] : 0);
        put(d.markers[i], kPropNextMarker, Value::integer(kTypeId, to));
    }
    std::string base = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    put(id, kPropFirstMarker, Value::integer(kTypeId, d.markers.empty() ? 0 : d.markers[0]));
    put(id, kPropTitle, Value::string(spec.title.empty() ? base : spec.title));
    put(id, kPropPath, Value::string(path));
    for (const auto &p : spec.properties) props_[id][PropKey{p.num, p.name}] = p.value;
    if (!d.paragraphs.empty()) d.scroll = F_TextLocT{d.paragraphs[0], 0};
    docs_[id] = std::move(d);
    open_order_.push_back(id);
    if (visible) set_active(id);
    return id;
}

IntT Model::close_document(F_ObjIdT id) {
    auto it = docs_.find(id);
    if (it == docs_.end()) return kErrBadDocument;
    std::vector<F_ObjIdT> owned;
    for (const auto &[oid, o] : objects_)
        if (o.doc == id) owned.push_back(oid);
    for (F_ObjIdT oid : owned) drop_object(oid);
    drop_object(id);
    docs_.erase(it);
    open_order_.erase(std::remove(open_order_.begin(), open_order_.end(), id), open_order_.end());
    if (active_ == id) {
        // The most recently opened visible document takes over, as a window
        // behind the closed one would.
        F_ObjIdT next = 0;
        for (F_ObjIdT d : open_order_)
            if (docs_[d].visible) next = d;
        set_active(next);
    }
    return kOk;
}

IntT Model::set_active(F_ObjIdT id) {
    if (id != 0 && !docs_.count(id)) return kErrBadDocument;
    active_ = id;
    if (id != 0) docs_[id].visible = true;
    put(0, kPropActiveDoc, Value::integer(kTypeId, id));
    return kOk;
}

std::optional<F_ObjIdT> Model::marker_named(F_ObjIdT doc, const std::string &text) const {
    auto it = docs_.find(doc);
    if (it == docs_.end()) return std::nullopt;
    for (F_ObjIdT m : it->second.markers) {
        const Value *v = value(m, PropKey{kPropMarkerText, {}});
        if (!v) continue;
        std::string t = v->text();
        if (t == text || t == "newlink " + text) return m;
    }
    return std::nullopt;
}

int Model::paragraph_index(const Document &d, F_ObjIdT para) const {
    for (size_t i = 0; i < d.paragraphs.size(); ++i)
        if (d.paragraphs[i] == para) return static_cast<int>(i);
    return -1;
}

const Value *Model::value(F_ObjIdT objId, const PropKey &key) const {
    auto o = props_.find(objId);
    if (o == props_.end()) return nullptr;
    auto p = o->second.find(key);
    return p == o->second.end() ? nullptr : &p->second;
}

IntT Model::get(F_ObjIdT docId, F_ObjIdT objId, const F_PropIdentT &id, IntT want,
                F_TypedValT *out) const {
    IntT e = check(docId, objId);
    if (e != kOk) return e;
    const Value *v = value(objId, PropKey::of(id));
    if (!v) return kErrBadProperty;
    if (want != 0 && v->type() != want) return kErrBadValueType;
    if (!v->decode(out)) return kErrBadProperty;
    return kOk;
}

IntT Model::set(F_ObjIdT docId, F_ObjIdT objId, const F_PropIdentT &id, const F_TypedValT &v) {
    IntT e = check(docId, objId);
    if (e != kOk) return e;
    if (id.num == 0 && (!id.name || !*id.name)) return kErrBadProperty;
    Value val;
    try {
        val = Value::of(v);
    } catch (const std::exception &) {
        return kErrBadArgument;
    }
    return set_value(objId, PropKey::of(id), val);
}

IntT Model::set_value(F_ObjIdT objId, const PropKey &key, const Value &v) {
    if (!find(objId)) return kErrBadObject;
    if (objId == 0 && key.num == kPropActiveDoc) {
        if (!is_word_type(v.type())) return kErrBadValueType;
        return set_active(static_cast<F_ObjIdT>(v.word()));
    }
    props_[objId][key] = v;
    return kOk;
}

IntT Model::remove_prop(F_ObjIdT docId, F_ObjIdT objId, const F_PropIdentT &id) {
    IntT e = check(docId, objId);
    if (e != kOk) return e;
    auto o = props_.find(objId);
    if (o == props_.end() || !o->second.erase(PropKey::of(id))) return kErrBadProperty;
    return kOk;
}

std::vector<std::pair<PropKey, const Value *>> Model::props(F_ObjIdT objId) const {
    std::vector<std::pair<PropKey, const Value *>> out;
    auto o = props_.find(objId);
    if (o == props_.end()) return out;
    for (const auto &[k, v] : o->second) out.emplace_back(k, &v);
    return out;
}

}  // namespace fdk::sim
