/*
 * fapi_calls.h - the F_Api call functions: one function per operation of
 * Frame's API, each making one call on the connection to Frame.
 *
 * Contract:
 * - Use them only while connected (after F_ApiStartUp or
 *   F_ApiConnectToSession, before F_ApiShutDown) and while the client holds
 *   control (inside a callback, or between F_ApiTakeControl and
 *   F_ApiDoneCommand); they do neither check nor frame that.  Without a
 *   connection (frame_client null) a call fails as if Frame did not answer.
 * - Errors: FA_errno (fapi_runtime.h) is written only on failure: -1 when no
 *   reply came (no connection, time-out, broken or undecodable reply),
 *   otherwise Frame's own non-zero code.  No call resets it: to learn whether
 *   one call failed, set FA_errno to 0 first and look at it afterwards.
 *   The failure result of each function is 0, -1, null, an empty list or an
 *   all-zero record, as noted below; prompts that the user cancels return
 *   -1 and leave FA_errno and the out-parameter alone.
 * - Parameters: strings may be null (sent as ""); records and lists given
 *   by address are only read (null counts as all-zero / empty).  In the
 *   property and object functions the first handle is the document holding
 *   the object; 0 when the object is the session or a document itself.
 * - Ownership: every string, list and typed value returned (also through an
 *   out-parameter) is a fresh copy that the caller owns and releases with
 *   the matching function of fapi_values.h (a string with F_ApiFree or
 *   F_ApiDeallocateString; F_ApiFamilyFonts' array with F_ApiFree).
 *   Records without pointers are returned by value.
 * - Return lists: F_ApiOpen, F_ApiSave, F_ApiImport and F_ApiExport each own
 *   one static F_PropValsT.  After a reply (also an error reply) the
 *   caller's list pointer designates that static list, whose elements are
 *   caller-owned: the next call of the same function, or
 *   F_ApiDeallocatePropVals, releases them.  The pointer given in must be
 *   null or designate a list whose elements may be released (normally one
 *   that an earlier such call set).  A null address (instead of the
 *   address of a pointer) means that the return list is not wanted.  Not
 *   re-entrant for these four.
 * - Single-threaded.
 */
#ifndef FAPI_CALLS_H
#define FAPI_CALLS_H

#include <rpc/rpc.h>

#include "fapi_types.h"

FDE_BEGIN_DECLS

/* The two handles that F_ApiCompare returns. */
typedef struct {
    F_ObjIdT firstId;
    F_ObjIdT secondId;
} F_CompareRetT;

/* Releases what the XDR decoder allocated inside *objp with the routine
 * that decoded it; *objp itself stays. */
void api_xdrfree(xdrproc_t proc, void *objp);

/* ------------------------------------------------------------------------
 * Objects and properties.  Get functions return 0 / null / empty on
 * failure; set functions return nothing (failure only in FA_errno).
 * ---------------------------------------------------------------------- */

F_ObjIdT F_ApiGetId(F_ObjIdT docId, F_ObjIdT objId, IntT propNum);
void F_ApiSetId(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, F_ObjIdT setVal);
IntT F_ApiGetInt(F_ObjIdT docId, F_ObjIdT objId, IntT propNum);
void F_ApiSetInt(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, IntT setVal);
IntT F_ApiGetIntByName(F_ObjIdT docId, F_ObjIdT objId, ConStringT propName);
void F_ApiSetIntByName(F_ObjIdT docId, F_ObjIdT objId, ConStringT propName, IntT setVal);
MetricT F_ApiGetMetric(F_ObjIdT docId, F_ObjIdT objId, IntT propNum);
void F_ApiSetMetric(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, MetricT setVal);
MetricT F_ApiGetMetricByName(F_ObjIdT docId, F_ObjIdT objId, ConStringT propName);
void F_ApiSetMetricByName(F_ObjIdT docId, F_ObjIdT objId, ConStringT propName, MetricT setVal);
StringT F_ApiGetString(F_ObjIdT docId, F_ObjIdT objId, IntT propNum);
void F_ApiSetString(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, ConStringT setVal);
F_StringsT F_ApiGetStrings(F_ObjIdT docId, F_ObjIdT objId, IntT propNum);
void F_ApiSetStrings(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_StringsT *setVal);
F_MetricsT F_ApiGetMetrics(F_ObjIdT docId, F_ObjIdT objId, IntT propNum);
void F_ApiSetMetrics(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_MetricsT *setVal);
F_IntsT F_ApiGetInts(F_ObjIdT docId, F_ObjIdT objId, IntT propNum);
void F_ApiSetInts(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_IntsT *setVal);
F_PointsT F_ApiGetPoints(F_ObjIdT docId, F_ObjIdT objId, IntT propNum);
void F_ApiSetPoints(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_PointsT *setVal);
F_TabsT F_ApiGetTabs(F_ObjIdT docId, F_ObjIdT objId, IntT propNum);
void F_ApiSetTabs(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_TabsT *setVal);
F_UBytesT F_ApiGetUBytesByName(F_ObjIdT docId, F_ObjIdT objId, ConStringT propName);
void F_ApiSetUBytesByName(F_ObjIdT docId, F_ObjIdT objId, ConStringT propName,
                          const F_UBytesT *setVal);
F_TextLocT F_ApiGetTextLoc(F_ObjIdT docId, F_ObjIdT objId, IntT propNum);
void F_ApiSetTextLoc(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_TextLocT *setVal);
F_TextRangeT F_ApiGetTextRange(F_ObjIdT docId, F_ObjIdT objId, IntT propNum);
void F_ApiSetTextRange(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_TextRangeT *setVal);
F_ElementRangeT F_ApiGetElementRange(F_ObjIdT docId, F_ObjIdT objId, IntT propNum);
void F_ApiSetElementRange(F_ObjIdT docId, F_ObjIdT objId, IntT propNum,
                          const F_ElementRangeT *setVal);
F_TypedValT F_ApiGetVal(F_ObjIdT docId, F_ObjIdT objId, IntT propNum);
void F_ApiSetVal(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_TypedValT *setVal);
F_PropValT F_ApiGetPropVal(F_ObjIdT docId, F_ObjIdT objId, IntT propNum);
void F_ApiSetPropVal(F_ObjIdT docId, F_ObjIdT objId, const F_PropValT *setVal);
F_PropValsT F_ApiGetProps(F_ObjIdT docId, F_ObjIdT objId);
void F_ApiSetProps(F_ObjIdT docId, F_ObjIdT objId, const F_PropValsT *setVal);
void F_ApiDeletePropByName(F_ObjIdT docId, F_ObjIdT objId, ConStringT propName);
F_ObjIdT F_ApiGetNamedObject(F_ObjIdT docId, IntT objType, ConStringT name);
F_ObjIdT F_ApiGetUniqueObject(F_ObjIdT docId, IntT objType, IntT uniqueId);
F_ObjIdT F_ApiNewGraphicObject(F_ObjIdT docId, IntT objType, F_ObjIdT parentId);
F_ObjIdT F_ApiNewNamedObject(F_ObjIdT docId, IntT objType, ConStringT name);
F_ObjIdT F_ApiNewAnchoredObject(F_ObjIdT docId, IntT objType, const F_TextLocT *textLoc);
F_ObjIdT F_ApiNewAnchoredFormattedObject(F_ObjIdT docId, IntT objType, ConStringT format,
                                         const F_TextLocT *textLoc);
F_ObjIdT F_ApiNewSeriesObject(F_ObjIdT docId, IntT objType, F_ObjIdT prevId);
F_ObjIdT F_ApiNewSubObject(F_ObjIdT docId, F_ObjIdT parentId, IntT objType);
/* 1 when Frame answers 0 (the object exists), else 0. */
IntT F_ApiObjectValid(F_ObjIdT docId, F_ObjIdT objId);
IntT F_ApiDelete(F_ObjIdT docId, F_ObjIdT objId);

/* ------------------------------------------------------------------------
 * Text and elements.  Functions returning int give 0, Frame's code or -1.
 * ---------------------------------------------------------------------- */

TextItemsT F_ApiGetText(F_ObjIdT docId, F_ObjIdT objId, IntT flags);
TextItemsT F_ApiGetTextForRange(F_ObjIdT docId, const F_TextRangeT *textRange, IntT flags);
F_TextLocT F_ApiAddText(F_ObjIdT docId, const F_TextLocT *textLoc, ConStringT text);
IntT F_ApiDeleteText(F_ObjIdT docId, const F_TextRangeT *textRange);
IntT F_ApiScrollToText(F_ObjIdT docId, const F_TextRangeT *textRange);
IntT F_ApiCenterOnText(F_ObjIdT docId, const F_TextRangeT *textRange);
F_TypedValT F_ApiGetTextVal(F_ObjIdT docId, const F_TextLocT *textLoc, IntT propNum);
void F_ApiSetTextVal(F_ObjIdT docId, const F_TextRangeT *textRange, IntT propNum,
                     const F_TypedValT *setVal);
F_PropValT F_ApiGetTextPropVal(F_ObjIdT docId, const F_TextLocT *textLoc, IntT propNum);
/* The property travels twice: alone and inside setVal. */
void F_ApiSetTextPropVal(F_ObjIdT docId, const F_TextRangeT *textRange, const F_PropValT *setVal);
F_PropValsT F_ApiGetTextProps(F_ObjIdT docId, const F_TextLocT *textLoc);
void F_ApiSetTextProps(F_ObjIdT docId, const F_TextRangeT *textRange, const F_PropValsT *setVal);
F_ObjIdT F_ApiNewElement(F_ObjIdT docId, F_ObjIdT elemDefId, const F_TextLocT *textLoc);
F_ObjIdT F_ApiNewElementInHierarchy(F_ObjIdT docId, F_ObjIdT elemDefId,
                                    const F_ElementLocT *elemLoc);
F_TextLocT F_ApiElementLocToTextLoc(F_ObjIdT docId, const F_ElementLocT *elemLoc);
F_ElementLocT F_ApiTextLocToElementLoc(F_ObjIdT docId, const F_TextLocT *textLoc);
F_ElementCatalogEntriesT F_ApiGetElementCatalog(F_ObjIdT docId);
F_AttributeDefsT F_ApiGetAttributeDefs(F_ObjIdT docId, F_ObjIdT elemDefId);
void F_ApiSetAttributeDefs(F_ObjIdT docId, F_ObjIdT elemDefId, const F_AttributeDefsT *setVal);
F_AttributesT F_ApiGetAttributes(F_ObjIdT docId, F_ObjIdT elemId);
void F_ApiSetAttributes(F_ObjIdT docId, F_ObjIdT elemId, const F_AttributesT *setVal);
IntT F_ApiDeleteUndefinedAttribute(F_ObjIdT docId, ConStringT attrName, IntT flags,
                                   F_ObjIdT elemId);
void F_ApiMergeIntoFirst(F_ObjIdT docId);
void F_ApiMergeIntoLast(F_ObjIdT docId);
void F_ApiSplitElement(F_ObjIdT docId);
void F_ApiWrapElement(F_ObjIdT docId, F_ObjIdT elemDefId);
void F_ApiUnWrapElement(F_ObjIdT docId);
void F_ApiPromoteElement(F_ObjIdT docId);
void F_ApiDemoteElement(F_ObjIdT docId);
IntT F_ApiUpdateTextInset(F_ObjIdT docId, F_ObjIdT insetId);
IntT F_ApiDeleteTextInsetContents(F_ObjIdT docId, F_ObjIdT insetId);

/* ------------------------------------------------------------------------
 * Documents, books, import and export.  returnParams is the address of the
 * caller's F_PropValsT pointer (see Return lists above).
 * ---------------------------------------------------------------------- */

/* The opened document, or 0. */
F_ObjIdT F_ApiOpen(ConStringT fileName, const F_PropValsT *openParams,
                   F_PropValsT **returnParams);
IntT F_ApiClose(F_ObjIdT docId, IntT flags);
F_ObjIdT F_ApiSave(F_ObjIdT docId, ConStringT saveAsName, const F_PropValsT *saveParams,
                   F_PropValsT **returnParams);
F_ObjIdT F_ApiImport(F_ObjIdT docId, const F_TextLocT *textLoc, ConStringT fileName,
                     const F_PropValsT *importParams, F_PropValsT **returnParams);
/* 0, Frame's error code, or -1 when no reply came. */
IntT F_ApiExport(F_ObjIdT docId, ConStringT fileName, const F_PropValsT *exportParams,
                 F_PropValsT **returnParams);
F_ObjIdT F_ApiCustomDoc(IntT i1, IntT i2, IntT i3, IntT i4, IntT i5, IntT i6, IntT i7, IntT i8,
                        IntT i9, IntT i10);
IntT F_ApiSilentPrintDoc(F_ObjIdT docId);
IntT F_ApiSimpleImportFormats(F_ObjIdT docId, F_ObjIdT fromDocId, IntT flags);
IntT F_ApiSimpleImportElementDefs(F_ObjIdT docId, F_ObjIdT fromDocId, IntT flags);
IntT F_ApiSimpleGenerate(F_ObjIdT bookId, IntT i1, IntT i2);
F_CompareRetT F_ApiCompare(F_ObjIdT olderId, F_ObjIdT newerId, IntT flags, ConStringT s1,
                           ConStringT s2, ConStringT s3, IntT i1);
F_ObjIdT F_ApiNewBookComponentInHierarchy(F_ObjIdT bookId, ConStringT name,
                                          const F_ElementLocT *elemLoc);
IntT F_ApiCut(F_ObjIdT docId, IntT flags);
IntT F_ApiClear(F_ObjIdT docId, IntT flags);
IntT F_ApiCopy(F_ObjIdT docId, IntT flags);
IntT F_ApiPaste(F_ObjIdT docId, IntT flags);
IntT F_ApiRestartPgfNumbering(F_ObjIdT docId);
IntT F_ApiResetReferenceFrames(F_ObjIdT docId);
IntT F_ApiRehyphenate(F_ObjIdT docId);
IntT F_ApiReformat(F_ObjIdT docId);
IntT F_ApiRedisplay(F_ObjIdT docId);
IntT F_ApiClearAllChangebars(F_ObjIdT docId);
IntT F_ApiResetEqnSettings(F_ObjIdT docId);
IntT F_ApiUpdateVariables(F_ObjIdT docId);
IntT F_ApiUpdateXRefs(F_ObjIdT docId, IntT flags);
IntT F_ApiApplyPageLayout(F_ObjIdT docId, F_ObjIdT id1, F_ObjIdT id2);
IntT F_ApiHypertextCommand(F_ObjIdT docId, ConStringT command);
/* The array is the caller's; release it with F_ApiFree. */
F_FontsT F_ApiFamilyFonts(IntT family);

/* ------------------------------------------------------------------------
 * Tables
 * ---------------------------------------------------------------------- */

F_ObjIdT F_ApiNewTable(F_ObjIdT docId, ConStringT format, IntT i1, IntT i2, IntT i3, IntT i4,
                       const F_TextLocT *textLoc);
IntT F_ApiAddRows(F_ObjIdT docId, F_ObjIdT refRowId, IntT i1, IntT numRows);
IntT F_ApiDeleteRows(F_ObjIdT docId, F_ObjIdT tableId, F_ObjIdT refRowId, IntT numRows);
IntT F_ApiAddCols(F_ObjIdT docId, F_ObjIdT tableId, IntT refCol, IntT i1, IntT numCols);
IntT F_ApiDeleteCols(F_ObjIdT docId, F_ObjIdT tableId, IntT refCol, IntT numCols);
IntT F_ApiMakeTblSelection(F_ObjIdT docId, F_ObjIdT tableId, IntT topRow, IntT bottomRow,
                           IntT leftCol, IntT rightCol);
IntT F_ApiStraddleCells(F_ObjIdT docId, F_ObjIdT cellId, IntT numRows, IntT numCols);
IntT F_ApiUnStraddleCells(F_ObjIdT docId, F_ObjIdT cellId, IntT numRows, IntT numCols);

/* ------------------------------------------------------------------------
 * Menus and commands
 * ---------------------------------------------------------------------- */

F_ObjIdT F_ApiDefineCommand(IntT cmdNum, ConStringT tag, ConStringT label, ConStringT shortcut);
F_ObjIdT F_ApiDefineMenu(ConStringT name, ConStringT label);
F_ObjIdT F_ApiDefineAndAddCommand(IntT cmdNum, F_ObjIdT menuId, ConStringT tag, ConStringT label,
                                  ConStringT shortcut);
F_ObjIdT F_ApiDefineAndAddMenu(F_ObjIdT menuId, ConStringT name, ConStringT label);
IntT F_ApiAddCommand(IntT cmdNum, ConStringT menuName, ConStringT tag, ConStringT label,
                     ConStringT shortcut);
IntT F_ApiAddMenu(ConStringT s1, ConStringT s2, ConStringT s3);
IntT F_ApiRemoveMenu(ConStringT s1, ConStringT s2);
IntT F_ApiAddCommandToMenu(F_ObjIdT menuId, F_ObjIdT itemId);
IntT F_ApiAddMenuToMenu(F_ObjIdT menuId, F_ObjIdT itemId);
F_ObjIdT F_ApiMenuItemInMenu(F_ObjIdT menuId, F_ObjIdT itemId, IntT i1);
/* Frame's answer as it comes, or -1 when no reply came. */
IntT F_ApiMenuExists(ConStringT name);
IntT F_ApiShortcutExists(ConStringT name);
IntT F_ApiLoadMenuCustomizationFile(ConStringT fileName, IntT i1);
IntT F_ApiAnimateMenu(F_ObjIdT id1, F_ObjIdT id2, IntT i1, ConStringT s1, F_ObjIdT id3, IntT i2);
/* codes holds count function codes (a negative count sends none). */
IntT F_ApiFcodes(IntT count, const IntT *codes);

/* ------------------------------------------------------------------------
 * Dialogs and prompts.  Prompts return 0 after storing the answer through
 * their first parameter (a string as a caller-owned copy), -1 when the user
 * cancels or no reply came.
 * ---------------------------------------------------------------------- */

IntT F_ApiAlert(ConStringT message, IntT alertType);
IntT F_ApiPromptInt(IntT *intp, ConStringT message, ConStringT defVal);
IntT F_ApiPromptString(StringT *strp, ConStringT message, ConStringT defVal);
IntT F_ApiPromptMetric(MetricT *metricp, ConStringT message, ConStringT defVal, IntT units);
F_PointT F_ApiPromptPoint(F_ObjIdT docId, F_ObjIdT objId, IntT i1);
RectT F_ApiPromptRect(F_ObjIdT docId, F_ObjIdT objId, IntT i1);
IntT F_ApiChooseFile(StringT *choice, ConStringT title, ConStringT directory, ConStringT defVal,
                     IntT mode, ConStringT s5);
IntT oldF_ApiChooseFile(StringT *choice, ConStringT title, ConStringT directory,
                        ConStringT defVal, IntT mode);
/* oldF_ApiChooseFile(choice, title, directory, null, 0). */
IntT F_ApiFileScrollBox(StringT *choice, ConStringT title, ConStringT directory);
IntT F_ApiScrollBox(IntT *choice, ConStringT title, const F_StringsT *choices, IntT defChoice);
/* Frame's answer, or -1 on an error reply or when no reply came. */
IntT F_ApiQuickSelect(F_ObjIdT docId, ConStringT title, const F_StringsT *choices);
F_ObjIdT F_ApiOpenResource(IntT resourceType, ConStringT resourceName);
/* 0 when no reply came; with i1 non-zero, the result of serving the
 * dialog's callbacks (F_ApiServiceModalCallbacks). */
IntT F_ApiModalDialog(IntT i1, F_ObjIdT dlgId);
IntT F_ApiModelessDialog(IntT i1, F_ObjIdT dlgId);
F_ObjIdT F_ApiDialogItemId(F_ObjIdT dlgId, IntT itemNum);

/* ------------------------------------------------------------------------
 * Session and client
 * ---------------------------------------------------------------------- */

IntT F_ApiClientNumber(void);
/* Caller-owned copies, null when no reply came. */
StringT F_ApiClientName(void);
StringT F_ApiClientDir(void);
IntT F_ApiSetClientDir(ConStringT dir);
IntT F_ApiCallClient(ConStringT clientName, ConStringT arg);
IntT F_ApiNotification(IntT notification, IntT state);
/* Frame's answer, or 0 when no reply came. */
IntT F_ApiReturnValue(IntT value);
void F_ApiPushClipboard(void);
IntT F_ApiPopClipboard(void);
/* 0, or the argument unchanged when no reply came. */
IntT F_ApiSleep(IntT seconds);
IntT F_ApiUSleep(IntT microseconds);
IntT F_ApiUserCancel(void);
IntT F_ApiSystemShell(ConStringT command);
IntT F_ApiForkAndExec(ConStringT path, const F_StringsT *args);
/* Ends the session whatever Frame answers: hands control back, shuts the
 * connection down and sets FA_bailout.  Frame's answer, or -1. */
IntT F_ApiDisconnectFromSession(void);

FDE_END_DECLS

#endif /* FAPI_CALLS_H */
