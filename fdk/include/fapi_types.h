/*
 * fapi_types.h - the value types and the argument and result records that
 * travel between the API client and Frame.
 *
 * Contract:
 * - Layout: plain C records with fixed-width fields.  An int is int32_t, an
 *   unsigned int and every object handle (F_ObjIdT) is uint32_t, a ubyte is
 *   uint8_t.  Field order in memory is the order in which the fields travel,
 *   except for FmRpcApiConnectArgT (see there).
 * - Counted arrays are {len, val}: len elements at val; len 0 goes with a null
 *   val.  Strings are zero-terminated; a null StringT travels as "".
 * - Ownership: a record handed to an encoder is only read.  A record filled by
 *   a decoder owns everything the decoder allocated inside it (strings,
 *   element arrays, optional records, all from malloc); release it with
 *   xdr_free() and the same encoder (fapi_xdr.h), never field by field.  The
 *   record itself stays the caller's.
 * - Decoding expects a record whose pointers are null (clear it to zero
 *   first); pointers found there are overwritten, not reused or freed.
 */
#ifndef FAPI_TYPES_H
#define FAPI_TYPES_H

#include "fde_types.h"

FDE_BEGIN_DECLS

typedef uint32_t F_ObjIdT; /* Frame object handle; 0 = the session or none */
typedef int32_t MetricT;   /* a length in Frame's metric units */

/* ------------------------------------------------------------------------
 * Counted arrays: element count, then the elements.
 * ---------------------------------------------------------------------- */

typedef struct {
    UIntT len;
    StringT *val;
} F_StringsT;

typedef struct {
    UIntT len;
    MetricT *val;
} F_MetricsT;

typedef struct {
    UIntT len;
    IntT *val;
} F_IntsT;

typedef struct {
    UIntT len;
    UIntT *val;
} F_UIntsT;

typedef struct {
    UIntT len;
    UByteT *val; /* each byte travels as its own 4-byte unit */
} F_UBytesT;

/* ------------------------------------------------------------------------
 * Fixed records.
 * ---------------------------------------------------------------------- */

typedef struct {
    IntT x;
    IntT y;
} F_PointT;

typedef struct {
    IntT w;
    IntT h;
} SizeT;

typedef struct {
    IntT x;
    IntT y;
    IntT w;
    IntT h;
} RectT;

typedef struct {
    MetricT x;      /* position */
    UByteT type;    /* tab kind */
    StringT leader;
    UByteT decimal; /* decimal character */
} F_TabT;

typedef struct {
    UIntT family;
    UIntT variation;
    UIntT weight;
    UIntT angle;
} F_FontT;

typedef struct {
    F_ObjIdT objId; /* element definition */
    IntT flags;
} F_ElementCatalogEntryT;

typedef struct {
    StringT str1;
    StringT str2;
    UByteT code[4]; /* four-byte code: four units, no count on the wire */
} F_FileFormatT;

typedef struct {
    F_ObjIdT objId; /* paragraph or text line holding the location */
    IntT offset;    /* character offset in it */
} F_TextLocT;

typedef struct {
    F_TextLocT beg;
    F_TextLocT end;
} F_TextRangeT;

typedef struct {
    F_ObjIdT parentId;
    F_ObjIdT childId;
    IntT offset;
} F_ElementLocT;

typedef struct {
    F_ElementLocT beg;
    F_ElementLocT end;
} F_ElementRangeT;

typedef struct {
    UIntT len;
    F_PointT *val;
} F_PointsT;

typedef struct {
    UIntT len;
    F_TabT *val;
} F_TabsT;

typedef struct {
    UIntT len;
    F_FontT *val;
} F_FontsT;

typedef struct {
    UIntT len;
    F_ElementCatalogEntryT *val;
} F_ElementCatalogEntriesT;

typedef struct {
    UIntT len;
    F_FileFormatT *val;
} F_FileFormatsT;

typedef struct {
    StringT name;
    IntT required;
    IntT readOnly;
    IntT attrType;
    F_StringsT choices;
    F_StringsT defValues;
    StringT rangeMin;
    StringT rangeMax;
} F_AttributeDefT;

typedef struct {
    UIntT len;
    F_AttributeDefT *val;
} F_AttributeDefsT;

typedef struct {
    StringT name;
    F_StringsT values;
    UByteT flag1;
    UByteT flag2;
} F_AttributeT;

typedef struct {
    UIntT len;
    F_AttributeT *val;
} F_AttributesT;

/* A property named by number (num != 0) or by name (num == 0); the name
 * travels only when num is 0. */
typedef struct {
    IntT num;
    StringT name;
} F_PropIdentT;

/* Value types of F_TypedValT.  Every type not listed here (0, 1, 2, 4, 11,
 * 16, negative, above 20) is a single int in u.ival. */
enum {
    FT_String = 3,
    FT_Metrics = 5,
    FT_Strings = 6,
    FT_Points = 7,
    FT_Tabs = 8,
    FT_TextLoc = 9,
    FT_TextRange = 10,
    FT_ElementCatalog = 12,
    FT_Ints = 13,
    FT_UBytes = 14,
    FT_UInts = 15,
    FT_AttributeDefs = 17,
    FT_Attributes = 18,
    FT_ElementRange = 19,
    FT_FileFormat = 20
};

typedef struct {
    IntT valType;
    union {
        IntT ival;                      /* any single-word type */
        StringT sval;                   /* 3 */
        F_MetricsT msval;               /* 5 */
        F_StringsT ssval;               /* 6 */
        F_PointsT psval;                /* 7 */
        F_TabsT tsval;                  /* 8 */
        F_TextLocT tlval;               /* 9 */
        F_TextRangeT trval;             /* 10 */
        F_ElementCatalogEntriesT csval; /* 12 */
        F_IntsT isval;                  /* 13 */
        F_UBytesT ubsval;               /* 14 */
        F_UIntsT uisval;                /* 15 */
        F_AttributeDefsT adsval;        /* 17 */
        F_AttributesT asval;            /* 18 */
        F_ElementRangeT *erngval;       /* 19: may be null */
        F_FileFormatT ffval;            /* 20 */
    } u;
} F_TypedValT;

typedef struct {
    F_PropIdentT propIdent;
    F_TypedValT propVal;
} F_PropValT;

typedef struct {
    UIntT len;
    F_PropValT *val;
} F_PropValsT;

/* Text item data: type 1 carries a string, every other type a handle or
 * number in one word. */
typedef struct {
    IntT dataType;
    union {
        StringT sdata; /* dataType 1 */
        F_ObjIdT idata; /* any other dataType */
    } u;
} TextItemDataT;

typedef struct {
    IntT offset;
    TextItemDataT data;
} TextItemT;

typedef struct {
    UIntT len;
    TextItemT *val;
} TextItemsT;

/* ------------------------------------------------------------------------
 * Result records.  The first field is the status: 0 = success and the other
 * fields are valid; anything else is Frame's error or cancel code.  Every
 * field travels whatever the status.
 * ---------------------------------------------------------------------- */

typedef struct { IntT status; IntT value; } ApiFmPromptIntRetT;
typedef struct { IntT status; MetricT metric; } ApiFmPromptMetricRetT;
typedef struct { IntT status; IntT choice; } ApiFmScrollBoxRetT;
typedef struct { IntT status; IntT value; } ApiFmGetIntRetT;
typedef struct { IntT status; MetricT metric; } ApiFmGetMetricRetT;
typedef struct { IntT status; IntT value; } ApiFmQuickSelectRetT;
typedef struct { IntT status; StringT str; } ApiFmPromptStringRetT;
typedef struct { IntT status; StringT path; } ApiFmChooseFileRetT;
typedef struct { IntT status; StringT str; } ApiFmGetStringRetT;
typedef struct { IntT status; F_ObjIdT docId; } ApiFmCustomDocRetT;
typedef struct { IntT status; F_ObjIdT objId; } ApiFmObjRetT;
typedef struct { IntT status; F_ObjIdT id; } ApiFmGetIdRetT;
typedef struct { IntT status; F_ObjIdT firstId; F_ObjIdT secondId; } ApiFmCompareRetT;

/* The return-parameter list is optional on the wire: a null pointer travels
 * as a 0 flag; decoding a present list allocates the F_PropValsT record. */
typedef struct { IntT status; F_ObjIdT objId; F_PropValsT *retParams; } ApiFmOpenRetT;
typedef struct { IntT status; F_ObjIdT objId; F_PropValsT *retParams; } ApiFmSaveRetT;
typedef struct { IntT status; F_ObjIdT objId; F_PropValsT *retParams; } ApiFmExportRetT;
typedef struct { IntT status; F_ObjIdT objId; F_PropValsT *retParams; } ApiFmImportRetT;

typedef struct { IntT status; F_TextLocT textLoc; } ApiFmAddTextRetT;
typedef struct { IntT status; F_TextLocT textLoc; } ApiFmGetTextLocRetT;
typedef struct { IntT status; F_TextLocT textLoc; } ApiFmElementLocToTextLocRetT;
typedef struct { IntT status; F_TextRangeT textRange; } ApiFmGetTextRangeRetT;
typedef struct { IntT status; F_ElementLocT elemLoc; } ApiFmTextLocToElementLocRetT;
typedef struct { IntT status; F_ElementRangeT elemRange; } ApiFmGetElementRangeRetT;
typedef struct { IntT status; F_TypedValT val; } ApiFmGetValRetT;
typedef struct { IntT status; F_PropValT propVal; } ApiFmGetPropRetT;
typedef struct { IntT status; F_PropValsT propVals; } ApiFmGetPropsRetT;
typedef struct { IntT status; F_StringsT strings; } ApiFmGetStringsRetT;
typedef struct { IntT status; F_MetricsT metrics; } ApiFmGetMetricsRetT;
typedef struct { IntT status; F_IntsT ints; } ApiFmGetIntsRetT;
typedef struct { IntT status; F_PointsT points; } ApiFmGetPointsRetT;
typedef struct { IntT status; F_TabsT tabs; } ApiFmGetTabsRetT;
typedef struct { IntT status; F_UBytesT ubytes; } ApiFmGetUBytesRetT;
typedef struct { IntT status; F_AttributeDefsT attrDefs; } ApiFmGetAttributeDefsRetT;
typedef struct { IntT status; F_AttributesT attrs; } ApiFmGetAttributesRetT;
typedef struct { IntT status; F_ElementCatalogEntriesT catalog; } ApiFmGetElementCatalogRetT;
typedef struct { IntT status; TextItemsT items; } ApiFmGetTextRetT;
typedef struct { IntT status; F_PointT point; } ApiFmPromptPointRetT;
typedef struct { IntT status; RectT rect; } ApiFmPromptRectRetT;
typedef struct { IntT status; F_FontsT fonts; } ApiFmFamilyFontsRetT;

/* ------------------------------------------------------------------------
 * Property access arguments: document, object, property, [value].
 * ---------------------------------------------------------------------- */

typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; } ApiFmGetPropArgT;

typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; IntT value; } ApiFmSetIntArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; MetricT value; } ApiFmSetMetricArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; F_ObjIdT value; } ApiFmSetIdArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; StringT value; } ApiFmSetStringArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; F_StringsT value; } ApiFmSetStringsArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; F_MetricsT value; } ApiFmSetMetricsArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; F_IntsT value; } ApiFmSetIntsArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; F_PointsT value; } ApiFmSetPointsArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; F_TabsT value; } ApiFmSetTabsArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; F_UBytesT value; } ApiFmSetUBytesArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; F_TextLocT value; } ApiFmSetTextLocArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; F_TextRangeT value; } ApiFmSetTextRangeArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; F_ElementRangeT value; } ApiFmSetElementRangeArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; F_AttributeDefsT value; } ApiFmSetAttributeDefsArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; F_AttributesT value; } ApiFmSetAttributesArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropIdentT propIdent; F_TypedValT value; } ApiFmSetValArgT;

typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropValT propVal; } ApiFmSetPropArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; F_PropValsT propVals; } ApiFmSetPropsArgT;

/* ------------------------------------------------------------------------
 * Text property and text arguments.
 * ---------------------------------------------------------------------- */

typedef struct { F_ObjIdT docId; F_TextLocT textLoc; F_PropIdentT propIdent; } ApiFmGetTextPropArgT;
typedef struct { F_ObjIdT docId; F_TextLocT textLoc; } ApiFmGetTextPropsArgT;
/* propIdent and propVal.propIdent both travel. */
typedef struct {
    F_ObjIdT docId;
    F_TextRangeT textRange;
    F_PropIdentT propIdent;
    F_PropValT propVal;
} ApiFmSetTextPropArgT;
typedef struct {
    F_ObjIdT docId;
    F_TextRangeT textRange;
    F_PropIdentT propIdent;
    F_TypedValT value;
} ApiFmSetTextValArgT;
typedef struct { F_ObjIdT docId; F_TextRangeT textRange; F_PropValsT propVals; } ApiFmSetTextPropsArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; IntT flags; } ApiFmGetTextArgT;
typedef struct { F_ObjIdT docId; F_TextRangeT textRange; IntT flags; } ApiFmGetTextForRangeArgT;
typedef struct { F_ObjIdT docId; F_TextLocT textLoc; StringT text; } ApiFmAddTextArgT;
typedef struct { F_ObjIdT docId; F_TextRangeT textRange; } ApiFmGeneralTextRangeArgT;
typedef struct { F_ObjIdT docId; F_TextLocT textLoc; } ApiFmTextLocToElementLocArgT;
typedef struct { F_ObjIdT docId; F_ElementLocT elemLoc; } ApiFmElementLocToTextLocArgT;

/* ------------------------------------------------------------------------
 * Other arguments.  Where the role of a field is not fixed by the protocol
 * the field is named by its position (i1, s1, id1...).
 * ---------------------------------------------------------------------- */

typedef struct { F_ObjIdT docId; } ApiFmSilentPrintDocArgT;
typedef struct { F_ObjIdT docId; } ApiFmGeneralDocArgT;
typedef struct { StringT name; } ApiFmExistsArgT;
typedef struct { F_IntsT fcodes; } ApiFmFcodesArgT;
typedef struct { IntT notification; IntT state; } ApiFmNotificationArgT;

typedef struct { F_ObjIdT menuId; F_ObjIdT itemId; } ApiFmAddCommandToMenuArgT;
typedef struct { F_ObjIdT menuId; F_ObjIdT itemId; } ApiFmAddMenuToMenuArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; } ApiFmUpdateTextInsetArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; } ApiFmDeleteTextInsetContentsArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; } ApiFmGeneralObjArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT elemDefId; } ApiFmGeneralElementDefArgT;

typedef struct { F_ObjIdT docId; IntT flags; } ApiFmCloseDocArgT;
typedef struct { F_ObjIdT docId; IntT flags; } ApiFmUpdateXRefsArgT;
typedef struct { F_ObjIdT docId; IntT flags; } ApiFmCutCopyPasteArgT;
typedef struct { F_ObjIdT dlgId; IntT itemNum; } ApiFmDialogItemIdArgT;
typedef struct { IntT i1; F_ObjIdT dlgId; } ApiFmDoDialogArgT;
typedef struct { IntT resourceType; StringT resourceName; } ApiFmOpenResourceArgT;
typedef struct { StringT fileName; IntT i1; } ApiFmLoadMenuCustomizationFileArgT;
typedef struct { StringT message; IntT alertType; } ApiFmAlertArgT;
typedef struct { F_ObjIdT docId; StringT command; } ApiFmHypertextCommandArgT;

typedef struct { StringT clientName; StringT arg; } ApiFmCallClientArgT;
typedef struct { StringT s1; StringT s2; } ApiFmRemoveMenuArgT;
typedef struct { StringT name; StringT label; } ApiFmDefineMenuArgT;
typedef struct { StringT message; StringT defVal; } ApiFmPromptArgT;
typedef struct { StringT s1; StringT s2; StringT s3; } ApiFmAddMenuArgT;
typedef struct { StringT message; StringT defVal; IntT units; } ApiFmPromptMetricArgT;

typedef struct { F_ObjIdT menuId; F_ObjIdT itemId; IntT i1; } ApiFmMenuItemInMenuArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT fromDocId; IntT flags; } ApiFmSimpleImportFormatsArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT fromDocId; IntT flags; } ApiFmSimpleImportElementDefsArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT parentId; IntT objType; } ApiFmNewSubObjectArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; IntT i1; } ApiFmPromptPointArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT objId; IntT i1; } ApiFmPromptRectArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT id1; F_ObjIdT id2; } ApiFmApplyPageLayoutArgT;

typedef struct { F_ObjIdT bookId; IntT i1; IntT i2; } ApiFmSimpleGenerateArgT;
typedef struct { F_ObjIdT docId; IntT objType; IntT uniqueId; } ApiFmGetUniqueObjArgT;
typedef struct { F_ObjIdT docId; IntT objType; F_ObjIdT parentId; } ApiFmNewGraphicObjArgT;
typedef struct { F_ObjIdT docId; IntT objType; F_ObjIdT prevId; } ApiFmNewSeriesObjArgT;
typedef struct { F_ObjIdT docId; IntT objType; StringT name; } ApiFmGetNamedObjArgT;
typedef struct { F_ObjIdT docId; IntT objType; StringT name; } ApiFmNewNamedObjArgT;
typedef struct { F_ObjIdT docId; IntT objType; F_TextLocT textLoc; } ApiFmNewAnchoredObjArgT;
typedef struct {
    F_ObjIdT docId;
    IntT objType;
    StringT format;
    F_TextLocT textLoc;
} ApiFmNewAnchoredFormattedObjArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT elemDefId; F_TextLocT textLoc; } ApiFmNewElementArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT elemDefId; F_ElementLocT elemLoc; } ApiFmNewElementInHierarchyArgT;
typedef struct { F_ObjIdT bookId; StringT name; F_ElementLocT elemLoc; } ApiFmNewBookComponentInHierarchyArgT;
typedef struct { F_ObjIdT menuId; StringT name; StringT label; } ApiFmDefineAndAddMenuArgT;
typedef struct { F_ObjIdT docId; StringT attrName; IntT flags; F_ObjIdT elemId; } ApiFmDeleteUndefinedAttributeArgT;
typedef struct { F_ObjIdT docId; StringT title; F_StringsT choices; } ApiFmQuickSelectArgT;
typedef struct { StringT path; F_StringsT args; } ApiFmForkAndExecArgT;
typedef struct { StringT title; IntT defChoice; F_StringsT choices; } ApiFmScrollBoxArgT;

typedef struct { IntT cmdNum; StringT tag; StringT label; StringT shortcut; } ApiFmDefineCommandArgT;
typedef struct {
    IntT cmdNum;
    StringT menuName;
    StringT tag;
    StringT label;
    StringT shortcut;
} ApiFmAddCommandArgT;
typedef struct {
    IntT cmdNum;
    F_ObjIdT menuId;
    StringT tag;
    StringT label;
    StringT shortcut;
} ApiFmDefineAndAddCommandArgT;
typedef struct {
    F_ObjIdT id1;
    F_ObjIdT id2;
    IntT i1;
    StringT s1;
    F_ObjIdT id3;
    IntT i2;
} ApiFmAnimateMenuArgT;

typedef struct { StringT title; StringT directory; StringT defVal; IntT mode; } oldApiFmChooseFileArgT;
typedef struct {
    StringT title;
    StringT directory;
    StringT defVal;
    IntT mode;
    StringT s5;
} ApiFmChooseFileArgT;

typedef struct { F_ObjIdT docId; F_ObjIdT refRowId; IntT i1; IntT numRows; } ApiFmAddRowsArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT tableId; IntT refCol; IntT i1; IntT numCols; } ApiFmAddColumnsArgT;
typedef struct { F_ObjIdT docId; F_ObjIdT cellId; IntT numRows; IntT numCols; IntT straddle; } ApiFmStraddleCellsArgT;
typedef struct {
    F_ObjIdT docId;
    F_ObjIdT tableId;
    F_ObjIdT refRowId;
    IntT numRows;
    IntT refCol;
    IntT numCols;
} ApiFmCutTablePartsArgT;
typedef struct {
    F_ObjIdT docId;
    F_ObjIdT tableId;
    IntT topRow;
    IntT bottomRow;
    IntT leftCol;
    IntT rightCol;
} ApiFmMakeTableSelectionArgT;
typedef struct {
    F_ObjIdT docId;
    StringT format;
    IntT i1;
    IntT i2;
    IntT i3;
    IntT i4;
    F_TextLocT textLoc;
} ApiFmNewTableArgT;
typedef struct {
    F_ObjIdT olderId;
    F_ObjIdT newerId;
    IntT flags;
    StringT s1;
    StringT s2;
    StringT s3;
    IntT i1;
} ApiFmCompareArgT;
typedef struct {
    IntT i1; IntT i2; IntT i3; IntT i4; IntT i5;
    IntT i6; IntT i7; IntT i8; IntT i9; IntT i10;
} ApiFmCustomDocArgT;

typedef struct { StringT fileName; F_PropValsT params; } ApiFmOpenArgT;
typedef struct { StringT fileName; F_ObjIdT docId; F_PropValsT params; } ApiFmSaveArgT;
typedef struct { StringT fileName; F_ObjIdT docId; F_PropValsT params; } ApiFmExportArgT;
typedef struct {
    StringT fileName;
    F_ObjIdT docId;
    F_TextLocT textLoc;
    F_PropValsT params;
} ApiFmImportArgT;

/* ------------------------------------------------------------------------
 * Arguments of the client's own callback program (Frame calls the client).
 * ---------------------------------------------------------------------- */

typedef struct { IntT initialization; } FmApiInitArgT;
typedef struct { IntT command; } FmApiCommandArgT;
typedef struct { StringT message; F_ObjIdT docId; F_ObjIdT objId; } FmApiMessageArgT;
typedef struct { IntT notification; F_ObjIdT docId; StringT fileName; IntT iparm; } FmApiNotifyArgT;
typedef struct { IntT notification; F_ObjIdT docId; StringT fileName; } Fm4ApiNotifyArgT;
/* dialog 0 closes a modal wait; value is then its result */
typedef struct { IntT dialog; IntT item; IntT value; } FmApiDialogEventArgT;

/* ------------------------------------------------------------------------
 * Connecting to a running Frame session.
 * ---------------------------------------------------------------------- */

/* Travels in reverse memory order: session, hostName, pid.  Both strings use
 * the plain XDR string filter, so neither may be null when encoded. */
typedef struct {
    IntT pid;
    StringT hostName;
    StringT session;
} FmRpcApiConnectArgT;

typedef struct {
    IntT status;      /* 0 = accepted */
    IntT reserved;    /* not used by the client */
    IntT clientProg;  /* the client's callback program */
    IntT clientVers;
    IntT frameProg;   /* Frame's API program */
    IntT frameVers;
    IntT framePid;
    StringT frameHost;
} FmRpcApiConnectReturnT;

FDE_END_DECLS

#endif /* FAPI_TYPES_H */
