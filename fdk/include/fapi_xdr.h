/*
 * fapi_xdr.h - XDR encoders of every value type and record of the API.
 *
 * Contract:
 * - Each encoder has the XDR filter shape: it takes the stream and a pointer
 *   to the value, encodes, decodes or frees according to the stream's
 *   direction (xdrs->x_op), and returns 1 on success, 0 on failure.  Fields
 *   go in the order of the record; the first failing field stops it.
 * - Encoding only reads the value.  A null StringT is sent as the empty
 *   string; a counted array whose len is not 0 must have a non-null val
 *   (otherwise the encoder returns 0).  The connect records
 *   (FmRpcApiConnectArgT, FmRpcApiConnectReturnT) use the plain XDR string
 *   filter, which refuses a null string.
 * - Decoding expects a destination cleared to zero.  It allocates strings,
 *   element arrays and optional records with malloc; a decoded string is
 *   never null (an empty one is ""), a decoded array of count 0 has a null
 *   val.  Malformed input (short stream, absurd counts or lengths, a flag
 *   other than 0 or 1) returns 0.
 * - Freeing (xdr_free(proc, objp) or a stream in XDR_FREE) releases whatever
 *   decoding allocated inside *objp, also after a decode that failed part-way,
 *   and leaves pointers null and counts 0.  *objp itself is not freed.
 */
#ifndef FAPI_XDR_H
#define FAPI_XDR_H

#include <rpc/rpc.h>

#include "fapi_types.h"

FDE_BEGIN_DECLS

/* StringT: XDR string without length limit; null is sent as "". */
bool_t xdr_StringT(XDR *xdrs, StringT *objp);

/* Value types.  F_PropIdentT sends the name only when num is 0;
 * F_TypedValT sends valType and then the union arm it selects;
 * TextItemDataT sends dataType and then a string (type 1) or one word. */
bool_t xdr_F_PropIdentT(XDR *xdrs, F_PropIdentT *objp);
bool_t xdr_F_TypedValT(XDR *xdrs, F_TypedValT *objp);
bool_t xdr_TextItemDataT(XDR *xdrs, TextItemDataT *objp);
bool_t xdr_F_PointT(XDR *xdrs, F_PointT *objp);
bool_t xdr_SizeT(XDR *xdrs, SizeT *objp);
bool_t xdr_RectT(XDR *xdrs, RectT *objp);
bool_t xdr_F_TabT(XDR *xdrs, F_TabT *objp);
bool_t xdr_F_FontT(XDR *xdrs, F_FontT *objp);
bool_t xdr_F_ElementCatalogEntryT(XDR *xdrs, F_ElementCatalogEntryT *objp);
bool_t xdr_F_FileFormatT(XDR *xdrs, F_FileFormatT *objp);
bool_t xdr_F_TextLocT(XDR *xdrs, F_TextLocT *objp);
bool_t xdr_F_TextRangeT(XDR *xdrs, F_TextRangeT *objp);
bool_t xdr_F_ElementLocT(XDR *xdrs, F_ElementLocT *objp);
bool_t xdr_F_ElementRangeT(XDR *xdrs, F_ElementRangeT *objp);
bool_t xdr_F_AttributeDefT(XDR *xdrs, F_AttributeDefT *objp);
bool_t xdr_F_AttributeT(XDR *xdrs, F_AttributeT *objp);
bool_t xdr_F_PropValT(XDR *xdrs, F_PropValT *objp);
bool_t xdr_TextItemT(XDR *xdrs, TextItemT *objp);
bool_t xdr_F_StringsT(XDR *xdrs, F_StringsT *objp);
bool_t xdr_F_MetricsT(XDR *xdrs, F_MetricsT *objp);
bool_t xdr_F_IntsT(XDR *xdrs, F_IntsT *objp);
bool_t xdr_F_UIntsT(XDR *xdrs, F_UIntsT *objp);
bool_t xdr_F_UBytesT(XDR *xdrs, F_UBytesT *objp);
bool_t xdr_F_PointsT(XDR *xdrs, F_PointsT *objp);
bool_t xdr_F_TabsT(XDR *xdrs, F_TabsT *objp);
bool_t xdr_F_FontsT(XDR *xdrs, F_FontsT *objp);
bool_t xdr_F_ElementCatalogEntriesT(XDR *xdrs, F_ElementCatalogEntriesT *objp);
bool_t xdr_F_FileFormatsT(XDR *xdrs, F_FileFormatsT *objp);
bool_t xdr_F_AttributeDefsT(XDR *xdrs, F_AttributeDefsT *objp);
bool_t xdr_F_AttributesT(XDR *xdrs, F_AttributesT *objp);
bool_t xdr_F_PropValsT(XDR *xdrs, F_PropValsT *objp);
bool_t xdr_TextItemsT(XDR *xdrs, TextItemsT *objp);

/* Argument and result records of Frame's API program, arguments of the
 * client's callback program, and the connect-to-session records. */
bool_t xdr_ApiFmPromptIntRetT(XDR *xdrs, ApiFmPromptIntRetT *objp);
bool_t xdr_ApiFmPromptMetricRetT(XDR *xdrs, ApiFmPromptMetricRetT *objp);
bool_t xdr_ApiFmScrollBoxRetT(XDR *xdrs, ApiFmScrollBoxRetT *objp);
bool_t xdr_ApiFmGetIntRetT(XDR *xdrs, ApiFmGetIntRetT *objp);
bool_t xdr_ApiFmGetMetricRetT(XDR *xdrs, ApiFmGetMetricRetT *objp);
bool_t xdr_ApiFmQuickSelectRetT(XDR *xdrs, ApiFmQuickSelectRetT *objp);
bool_t xdr_ApiFmPromptStringRetT(XDR *xdrs, ApiFmPromptStringRetT *objp);
bool_t xdr_ApiFmChooseFileRetT(XDR *xdrs, ApiFmChooseFileRetT *objp);
bool_t xdr_ApiFmGetStringRetT(XDR *xdrs, ApiFmGetStringRetT *objp);
bool_t xdr_ApiFmCustomDocRetT(XDR *xdrs, ApiFmCustomDocRetT *objp);
bool_t xdr_ApiFmObjRetT(XDR *xdrs, ApiFmObjRetT *objp);
bool_t xdr_ApiFmGetIdRetT(XDR *xdrs, ApiFmGetIdRetT *objp);
bool_t xdr_ApiFmCompareRetT(XDR *xdrs, ApiFmCompareRetT *objp);
bool_t xdr_ApiFmOpenRetT(XDR *xdrs, ApiFmOpenRetT *objp);
bool_t xdr_ApiFmSaveRetT(XDR *xdrs, ApiFmSaveRetT *objp);
bool_t xdr_ApiFmExportRetT(XDR *xdrs, ApiFmExportRetT *objp);
bool_t xdr_ApiFmImportRetT(XDR *xdrs, ApiFmImportRetT *objp);
bool_t xdr_ApiFmAddTextRetT(XDR *xdrs, ApiFmAddTextRetT *objp);
bool_t xdr_ApiFmGetTextLocRetT(XDR *xdrs, ApiFmGetTextLocRetT *objp);
bool_t xdr_ApiFmElementLocToTextLocRetT(XDR *xdrs, ApiFmElementLocToTextLocRetT *objp);
bool_t xdr_ApiFmGetTextRangeRetT(XDR *xdrs, ApiFmGetTextRangeRetT *objp);
bool_t xdr_ApiFmTextLocToElementLocRetT(XDR *xdrs, ApiFmTextLocToElementLocRetT *objp);
bool_t xdr_ApiFmGetElementRangeRetT(XDR *xdrs, ApiFmGetElementRangeRetT *objp);
bool_t xdr_ApiFmGetValRetT(XDR *xdrs, ApiFmGetValRetT *objp);
bool_t xdr_ApiFmGetPropRetT(XDR *xdrs, ApiFmGetPropRetT *objp);
bool_t xdr_ApiFmGetPropsRetT(XDR *xdrs, ApiFmGetPropsRetT *objp);
bool_t xdr_ApiFmGetStringsRetT(XDR *xdrs, ApiFmGetStringsRetT *objp);
bool_t xdr_ApiFmGetMetricsRetT(XDR *xdrs, ApiFmGetMetricsRetT *objp);
bool_t xdr_ApiFmGetIntsRetT(XDR *xdrs, ApiFmGetIntsRetT *objp);
bool_t xdr_ApiFmGetPointsRetT(XDR *xdrs, ApiFmGetPointsRetT *objp);
bool_t xdr_ApiFmGetTabsRetT(XDR *xdrs, ApiFmGetTabsRetT *objp);
bool_t xdr_ApiFmGetUBytesRetT(XDR *xdrs, ApiFmGetUBytesRetT *objp);
bool_t xdr_ApiFmGetAttributeDefsRetT(XDR *xdrs, ApiFmGetAttributeDefsRetT *objp);
bool_t xdr_ApiFmGetAttributesRetT(XDR *xdrs, ApiFmGetAttributesRetT *objp);
bool_t xdr_ApiFmGetElementCatalogRetT(XDR *xdrs, ApiFmGetElementCatalogRetT *objp);
bool_t xdr_ApiFmGetTextRetT(XDR *xdrs, ApiFmGetTextRetT *objp);
bool_t xdr_ApiFmPromptPointRetT(XDR *xdrs, ApiFmPromptPointRetT *objp);
bool_t xdr_ApiFmPromptRectRetT(XDR *xdrs, ApiFmPromptRectRetT *objp);
bool_t xdr_ApiFmFamilyFontsRetT(XDR *xdrs, ApiFmFamilyFontsRetT *objp);
bool_t xdr_ApiFmGetPropArgT(XDR *xdrs, ApiFmGetPropArgT *objp);
bool_t xdr_ApiFmSetIntArgT(XDR *xdrs, ApiFmSetIntArgT *objp);
bool_t xdr_ApiFmSetMetricArgT(XDR *xdrs, ApiFmSetMetricArgT *objp);
bool_t xdr_ApiFmSetIdArgT(XDR *xdrs, ApiFmSetIdArgT *objp);
bool_t xdr_ApiFmSetStringArgT(XDR *xdrs, ApiFmSetStringArgT *objp);
bool_t xdr_ApiFmSetStringsArgT(XDR *xdrs, ApiFmSetStringsArgT *objp);
bool_t xdr_ApiFmSetMetricsArgT(XDR *xdrs, ApiFmSetMetricsArgT *objp);
bool_t xdr_ApiFmSetIntsArgT(XDR *xdrs, ApiFmSetIntsArgT *objp);
bool_t xdr_ApiFmSetPointsArgT(XDR *xdrs, ApiFmSetPointsArgT *objp);
bool_t xdr_ApiFmSetTabsArgT(XDR *xdrs, ApiFmSetTabsArgT *objp);
bool_t xdr_ApiFmSetUBytesArgT(XDR *xdrs, ApiFmSetUBytesArgT *objp);
bool_t xdr_ApiFmSetTextLocArgT(XDR *xdrs, ApiFmSetTextLocArgT *objp);
bool_t xdr_ApiFmSetTextRangeArgT(XDR *xdrs, ApiFmSetTextRangeArgT *objp);
bool_t xdr_ApiFmSetElementRangeArgT(XDR *xdrs, ApiFmSetElementRangeArgT *objp);
bool_t xdr_ApiFmSetAttributeDefsArgT(XDR *xdrs, ApiFmSetAttributeDefsArgT *objp);
bool_t xdr_ApiFmSetAttributesArgT(XDR *xdrs, ApiFmSetAttributesArgT *objp);
bool_t xdr_ApiFmSetValArgT(XDR *xdrs, ApiFmSetValArgT *objp);
bool_t xdr_ApiFmSetPropArgT(XDR *xdrs, ApiFmSetPropArgT *objp);
bool_t xdr_ApiFmSetPropsArgT(XDR *xdrs, ApiFmSetPropsArgT *objp);
bool_t xdr_ApiFmGetTextPropArgT(XDR *xdrs, ApiFmGetTextPropArgT *objp);
bool_t xdr_ApiFmGetTextPropsArgT(XDR *xdrs, ApiFmGetTextPropsArgT *objp);
bool_t xdr_ApiFmSetTextPropArgT(XDR *xdrs, ApiFmSetTextPropArgT *objp);
bool_t xdr_ApiFmSetTextValArgT(XDR *xdrs, ApiFmSetTextValArgT *objp);
bool_t xdr_ApiFmSetTextPropsArgT(XDR *xdrs, ApiFmSetTextPropsArgT *objp);
bool_t xdr_ApiFmGetTextArgT(XDR *xdrs, ApiFmGetTextArgT *objp);
bool_t xdr_ApiFmGetTextForRangeArgT(XDR *xdrs, ApiFmGetTextForRangeArgT *objp);
bool_t xdr_ApiFmAddTextArgT(XDR *xdrs, ApiFmAddTextArgT *objp);
bool_t xdr_ApiFmGeneralTextRangeArgT(XDR *xdrs, ApiFmGeneralTextRangeArgT *objp);
bool_t xdr_ApiFmTextLocToElementLocArgT(XDR *xdrs, ApiFmTextLocToElementLocArgT *objp);
bool_t xdr_ApiFmElementLocToTextLocArgT(XDR *xdrs, ApiFmElementLocToTextLocArgT *objp);
bool_t xdr_ApiFmSilentPrintDocArgT(XDR *xdrs, ApiFmSilentPrintDocArgT *objp);
bool_t xdr_ApiFmGeneralDocArgT(XDR *xdrs, ApiFmGeneralDocArgT *objp);
bool_t xdr_ApiFmExistsArgT(XDR *xdrs, ApiFmExistsArgT *objp);
bool_t xdr_ApiFmFcodesArgT(XDR *xdrs, ApiFmFcodesArgT *objp);
bool_t xdr_ApiFmNotificationArgT(XDR *xdrs, ApiFmNotificationArgT *objp);
bool_t xdr_ApiFmAddCommandToMenuArgT(XDR *xdrs, ApiFmAddCommandToMenuArgT *objp);
bool_t xdr_ApiFmAddMenuToMenuArgT(XDR *xdrs, ApiFmAddMenuToMenuArgT *objp);
bool_t xdr_ApiFmUpdateTextInsetArgT(XDR *xdrs, ApiFmUpdateTextInsetArgT *objp);
bool_t xdr_ApiFmDeleteTextInsetContentsArgT(XDR *xdrs, ApiFmDeleteTextInsetContentsArgT *objp);
bool_t xdr_ApiFmGeneralObjArgT(XDR *xdrs, ApiFmGeneralObjArgT *objp);
bool_t xdr_ApiFmGeneralElementDefArgT(XDR *xdrs, ApiFmGeneralElementDefArgT *objp);
bool_t xdr_ApiFmCloseDocArgT(XDR *xdrs, ApiFmCloseDocArgT *objp);
bool_t xdr_ApiFmUpdateXRefsArgT(XDR *xdrs, ApiFmUpdateXRefsArgT *objp);
bool_t xdr_ApiFmCutCopyPasteArgT(XDR *xdrs, ApiFmCutCopyPasteArgT *objp);
bool_t xdr_ApiFmDialogItemIdArgT(XDR *xdrs, ApiFmDialogItemIdArgT *objp);
bool_t xdr_ApiFmDoDialogArgT(XDR *xdrs, ApiFmDoDialogArgT *objp);
bool_t xdr_ApiFmOpenResourceArgT(XDR *xdrs, ApiFmOpenResourceArgT *objp);
bool_t xdr_ApiFmLoadMenuCustomizationFileArgT(XDR *xdrs, ApiFmLoadMenuCustomizationFileArgT *objp);
bool_t xdr_ApiFmAlertArgT(XDR *xdrs, ApiFmAlertArgT *objp);
bool_t xdr_ApiFmHypertextCommandArgT(XDR *xdrs, ApiFmHypertextCommandArgT *objp);
bool_t xdr_ApiFmCallClientArgT(XDR *xdrs, ApiFmCallClientArgT *objp);
bool_t xdr_ApiFmRemoveMenuArgT(XDR *xdrs, ApiFmRemoveMenuArgT *objp);
bool_t xdr_ApiFmDefineMenuArgT(XDR *xdrs, ApiFmDefineMenuArgT *objp);
bool_t xdr_ApiFmPromptArgT(XDR *xdrs, ApiFmPromptArgT *objp);
bool_t xdr_ApiFmAddMenuArgT(XDR *xdrs, ApiFmAddMenuArgT *objp);
bool_t xdr_ApiFmPromptMetricArgT(XDR *xdrs, ApiFmPromptMetricArgT *objp);
bool_t xdr_ApiFmMenuItemInMenuArgT(XDR *xdrs, ApiFmMenuItemInMenuArgT *objp);
bool_t xdr_ApiFmSimpleImportFormatsArgT(XDR *xdrs, ApiFmSimpleImportFormatsArgT *objp);
bool_t xdr_ApiFmSimpleImportElementDefsArgT(XDR *xdrs, ApiFmSimpleImportElementDefsArgT *objp);
bool_t xdr_ApiFmNewSubObjectArgT(XDR *xdrs, ApiFmNewSubObjectArgT *objp);
bool_t xdr_ApiFmPromptPointArgT(XDR *xdrs, ApiFmPromptPointArgT *objp);
bool_t xdr_ApiFmPromptRectArgT(XDR *xdrs, ApiFmPromptRectArgT *objp);
bool_t xdr_ApiFmApplyPageLayoutArgT(XDR *xdrs, ApiFmApplyPageLayoutArgT *objp);
bool_t xdr_ApiFmSimpleGenerateArgT(XDR *xdrs, ApiFmSimpleGenerateArgT *objp);
bool_t xdr_ApiFmGetUniqueObjArgT(XDR *xdrs, ApiFmGetUniqueObjArgT *objp);
bool_t xdr_ApiFmNewGraphicObjArgT(XDR *xdrs, ApiFmNewGraphicObjArgT *objp);
bool_t xdr_ApiFmNewSeriesObjArgT(XDR *xdrs, ApiFmNewSeriesObjArgT *objp);
bool_t xdr_ApiFmGetNamedObjArgT(XDR *xdrs, ApiFmGetNamedObjArgT *objp);
bool_t xdr_ApiFmNewNamedObjArgT(XDR *xdrs, ApiFmNewNamedObjArgT *objp);
bool_t xdr_ApiFmNewAnchoredObjArgT(XDR *xdrs, ApiFmNewAnchoredObjArgT *objp);
bool_t xdr_ApiFmNewAnchoredFormattedObjArgT(XDR *xdrs, ApiFmNewAnchoredFormattedObjArgT *objp);
bool_t xdr_ApiFmNewElementArgT(XDR *xdrs, ApiFmNewElementArgT *objp);
bool_t xdr_ApiFmNewElementInHierarchyArgT(XDR *xdrs, ApiFmNewElementInHierarchyArgT *objp);
bool_t xdr_ApiFmNewBookComponentInHierarchyArgT(XDR *xdrs, ApiFmNewBookComponentInHierarchyArgT *objp);
bool_t xdr_ApiFmDefineAndAddMenuArgT(XDR *xdrs, ApiFmDefineAndAddMenuArgT *objp);
bool_t xdr_ApiFmDeleteUndefinedAttributeArgT(XDR *xdrs, ApiFmDeleteUndefinedAttributeArgT *objp);
bool_t xdr_ApiFmQuickSelectArgT(XDR *xdrs, ApiFmQuickSelectArgT *objp);
bool_t xdr_ApiFmForkAndExecArgT(XDR *xdrs, ApiFmForkAndExecArgT *objp);
bool_t xdr_ApiFmScrollBoxArgT(XDR *xdrs, ApiFmScrollBoxArgT *objp);
bool_t xdr_ApiFmDefineCommandArgT(XDR *xdrs, ApiFmDefineCommandArgT *objp);
bool_t xdr_ApiFmAddCommandArgT(XDR *xdrs, ApiFmAddCommandArgT *objp);
bool_t xdr_ApiFmDefineAndAddCommandArgT(XDR *xdrs, ApiFmDefineAndAddCommandArgT *objp);
bool_t xdr_ApiFmAnimateMenuArgT(XDR *xdrs, ApiFmAnimateMenuArgT *objp);
bool_t xdr_oldApiFmChooseFileArgT(XDR *xdrs, oldApiFmChooseFileArgT *objp);
bool_t xdr_ApiFmChooseFileArgT(XDR *xdrs, ApiFmChooseFileArgT *objp);
bool_t xdr_ApiFmAddRowsArgT(XDR *xdrs, ApiFmAddRowsArgT *objp);
bool_t xdr_ApiFmAddColumnsArgT(XDR *xdrs, ApiFmAddColumnsArgT *objp);
bool_t xdr_ApiFmStraddleCellsArgT(XDR *xdrs, ApiFmStraddleCellsArgT *objp);
bool_t xdr_ApiFmCutTablePartsArgT(XDR *xdrs, ApiFmCutTablePartsArgT *objp);
bool_t xdr_ApiFmMakeTableSelectionArgT(XDR *xdrs, ApiFmMakeTableSelectionArgT *objp);
bool_t xdr_ApiFmNewTableArgT(XDR *xdrs, ApiFmNewTableArgT *objp);
bool_t xdr_ApiFmCompareArgT(XDR *xdrs, ApiFmCompareArgT *objp);
bool_t xdr_ApiFmCustomDocArgT(XDR *xdrs, ApiFmCustomDocArgT *objp);
bool_t xdr_ApiFmOpenArgT(XDR *xdrs, ApiFmOpenArgT *objp);
bool_t xdr_ApiFmSaveArgT(XDR *xdrs, ApiFmSaveArgT *objp);
bool_t xdr_ApiFmExportArgT(XDR *xdrs, ApiFmExportArgT *objp);
bool_t xdr_ApiFmImportArgT(XDR *xdrs, ApiFmImportArgT *objp);
bool_t xdr_FmApiInitArgT(XDR *xdrs, FmApiInitArgT *objp);
bool_t xdr_FmApiCommandArgT(XDR *xdrs, FmApiCommandArgT *objp);
bool_t xdr_FmApiMessageArgT(XDR *xdrs, FmApiMessageArgT *objp);
bool_t xdr_FmApiNotifyArgT(XDR *xdrs, FmApiNotifyArgT *objp);
bool_t xdr_Fm4ApiNotifyArgT(XDR *xdrs, Fm4ApiNotifyArgT *objp);
bool_t xdr_FmApiDialogEventArgT(XDR *xdrs, FmApiDialogEventArgT *objp);
bool_t xdr_FmRpcApiConnectArgT(XDR *xdrs, FmRpcApiConnectArgT *objp);
bool_t xdr_FmRpcApiConnectReturnT(XDR *xdrs, FmRpcApiConnectReturnT *objp);

FDE_END_DECLS

#endif /* FAPI_XDR_H */
