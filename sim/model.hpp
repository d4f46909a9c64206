// model.hpp - what framesim knows of its Frame session: the session
// (object 0), the open documents with their paragraphs and markers, the
// objects that clients create (menus, commands, tables, elements, dialogs,
// graphics...), and one property store for all of them.
//
// Handles are handed out from one counter that starts at 100, so small
// numbers (counts, indexes) are never valid handles.  Every object has a
// kind and, when it lives in a document, that document.
//
// Properties: any object, any property, by number (num != 0) or by name
// (num 0); a set of any value type followed by a get returns the value.  The
// built-in properties are ordinary entries of the store that the model keeps
// up to date (see sim/README.md); session property 51 (active document) is
// checked when set.
#ifndef FDK_SIM_MODEL_HPP
#define FDK_SIM_MODEL_HPP

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "document.hpp"
#include "value.hpp"

namespace fdk::sim {

// Error codes of the simulated Frame (the table in sim/README.md).
enum SimError : IntT {
    kOk = 0,
    kErrBadDocument = -2,      // the document handle names no open document
    kErrBadObject = -3,        // no such object (or not in that document)
    kErrBadProperty = -4,      // the object has no such property
    kErrBadValueType = -5,     // the property holds another value type
    kErrFileMissing = -6,      // open: no such file
    kErrFileUnreadable = -7,   // open: not readable, not a regular file
    kErrBadFormat = -8,        // open: not a document of the expected shape
    kErrBadCommand = -9,       // hypertext: unknown or malformed command
    kErrLinkTarget = -10,      // hypertext: the link's file or tag is missing
    kErrBadArgument = -11,     // an argument is out of range or empty
    kErrNoSession = -12,       // connect: no session of that name
};

// Frame's property numbers that the model itself maintains.
enum BuiltinProp : IntT {
    kPropActiveDoc = 51,     // session: active document (id)
    kPropSessionList = 59,   // session: a list of strings
    kPropFirstMarker = 114,  // document: first marker (id)
    kPropTitle = 30,         // document: title (string)
    kPropPath = 22,          // document: path (string)
    kPropMarkerType = 1024,  // marker: type (int)
    kPropMarkerText = 1025,  // marker: text (string)
    kPropNextMarker = 1026,  // marker: next marker of the document (id)
    kPropTextLoc = 879,      // marker: text location (textloc)
};

enum class Kind { Session, Document, Marker, Paragraph, Menu, Command, Table, Element, Dialog,
                  Object };
const char *kind_name(Kind k);

struct PropKey {
    IntT num = 0;
    std::string name;
    static PropKey of(const F_PropIdentT &id);
    bool operator<(const PropKey &o) const {
        return num != o.num ? num < o.num : name < o.name;
    }
    Json json() const;
};

struct Object {
    F_ObjIdT id = 0;
    Kind kind = Kind::Object;
    F_ObjIdT doc = 0;       // owning document, 0 for none
    IntT type = 0;          // object type a client asked for (New* calls)
    std::string name;       // names of menus, commands, named objects
    std::string shortcut;   // commands
    std::vector<F_ObjIdT> items;  // menus: what was added to them
};

struct Document {
    F_ObjIdT id = 0;
    std::string path;                 // resolved path; "" for a new document
    bool visible = true;
    std::vector<F_ObjIdT> paragraphs;
    std::vector<std::string> texts;   // paragraph texts, by index
    std::vector<F_ObjIdT> markers;    // in document order
    F_TextLocT scroll{};              // last place scrolled to
};

class Model {
public:
    Model();

    // --- objects
    const Object *find(F_ObjIdT id) const;
    Object *find_mut(F_ObjIdT id) { return const_cast<Object *>(find(id)); }
    const std::map<F_ObjIdT, Object> &objects() const { return objects_; }
    Document *document(F_ObjIdT id);
    const std::map<F_ObjIdT, Document> &documents() const { return docs_; }
    // Checks (docId, objId) as a property or object call names them: objId 0
    // is the session; docId, when non-zero, must be an open document and the
    // object must be that document or live in it.  Returns kOk or an error.
    IntT check(F_ObjIdT docId, F_ObjIdT objId) const;
    IntT check_doc(F_ObjIdT docId) const;  // an open document
    F_ObjIdT new_object(Kind kind, F_ObjIdT doc, IntT type = 0, const std::string &name = {});
    // Removes an object that is not a document or the session.
    IntT remove(F_ObjIdT id);
    // Finds an object by kind and name (documents: any kind in that doc).
    std::optional<F_ObjIdT> named(F_ObjIdT doc, const std::string &name, bool menus_only = false) const;

    // --- documents
    F_ObjIdT document_by_path(const std::string &path) const;
    // Builds a document from its description; it becomes active if visible.
    F_ObjIdT add_document(const std::string &path, const DocSpec &spec, bool visible);
    IntT close_document(F_ObjIdT id);
    F_ObjIdT active() const { return active_; }
    IntT set_active(F_ObjIdT id);
    // The first marker of `doc` whose text equals `text` (or "newlink TEXT").
    std::optional<F_ObjIdT> marker_named(F_ObjIdT doc, const std::string &text) const;
    // Paragraph index of a paragraph handle in its document, or -1.
    int paragraph_index(const Document &d, F_ObjIdT para) const;

    // --- properties
    // Reads a property: kOk and *out filled with a fresh copy, or an error.
    // `want` is the value type the caller expects, or 0 for any.
    IntT get(F_ObjIdT docId, F_ObjIdT objId, const F_PropIdentT &id, IntT want,
             F_TypedValT *out) const;
    IntT set(F_ObjIdT docId, F_ObjIdT objId, const F_PropIdentT &id, const F_TypedValT &v);
    IntT set_value(F_ObjIdT objId, const PropKey &key, const Value &v);
    IntT remove_prop(F_ObjIdT docId, F_ObjIdT objId, const F_PropIdentT &id);
    // Every property of an object, in key order.
    std::vector<std::pair<PropKey, const Value *>> props(F_ObjIdT objId) const;
    const Value *value(F_ObjIdT objId, const PropKey &key) const;

private:
    void put(F_ObjIdT obj, IntT num, Value v) { props_[obj][PropKey{num, {}}] = std::move(v); }
    void drop_object(F_ObjIdT id);

    F_ObjIdT next_ = 100;
    F_ObjIdT active_ = 0;
    std::map<F_ObjIdT, Object> objects_;
    std::map<F_ObjIdT, Document> docs_;
    std::vector<F_ObjIdT> open_order_;  // documents, oldest first
    std::map<F_ObjIdT, std::map<PropKey, Value>> props_;
};

}  // namespace fdk::sim

#endif
