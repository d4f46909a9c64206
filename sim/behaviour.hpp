// behaviour.hpp - the procedures whose answer depends on the model.  Every
// other procedure of the table gets the default reply of the generic
// handler (an all-zero result: status 0, empty lists, no strings).
//
// Proc<N>::run(sim, argument, result) fills the result; the result starts
// all zero and everything put into it must come from malloc (the handler
// releases it with xdr_free after the reply).
#ifndef FDK_SIM_BEHAVIOUR_HPP
#define FDK_SIM_BEHAVIOUR_HPP

#include "fapi_types.h"
#include "record_json.hpp"

namespace fdk::sim {

class Sim;

template <int N> struct Proc {};

#define FDK_SIM_PROC(N, A, R) \
    template <> struct Proc<N> { static void run(Sim &s, A &a, R &r); };

// control
FDK_SIM_PROC(1000, IntT, VoidRec)
FDK_SIM_PROC(1001, IntT, VoidRec)
FDK_SIM_PROC(1002, IntT, VoidRec)
FDK_SIM_PROC(1343, VoidRec, VoidRec)
// menus and commands
FDK_SIM_PROC(1003, ApiFmExistsArgT, IntT)
FDK_SIM_PROC(1004, ApiFmExistsArgT, IntT)
FDK_SIM_PROC(1005, ApiFmAddMenuArgT, IntT)
FDK_SIM_PROC(1006, ApiFmRemoveMenuArgT, IntT)
FDK_SIM_PROC(1007, ApiFmAddCommandArgT, IntT)
FDK_SIM_PROC(1250, ApiFmDefineCommandArgT, ApiFmObjRetT)
FDK_SIM_PROC(1251, ApiFmDefineMenuArgT, ApiFmObjRetT)
FDK_SIM_PROC(1252, ApiFmAddCommandToMenuArgT, IntT)
FDK_SIM_PROC(1253, ApiFmAddMenuToMenuArgT, IntT)
FDK_SIM_PROC(1254, ApiFmDefineAndAddCommandArgT, ApiFmObjRetT)
FDK_SIM_PROC(1255, ApiFmDefineAndAddMenuArgT, ApiFmObjRetT)
FDK_SIM_PROC(1258, ApiFmMenuItemInMenuArgT, ApiFmObjRetT)
// session, alerts, prompts, notifications, clients
FDK_SIM_PROC(1008, ApiFmAlertArgT, IntT)
FDK_SIM_PROC(1010, ApiFmPromptArgT, ApiFmPromptStringRetT)
FDK_SIM_PROC(1014, ApiFmFcodesArgT, IntT)
FDK_SIM_PROC(1015, ApiFmNotificationArgT, IntT)
FDK_SIM_PROC(1340, VoidRec, IntT)
FDK_SIM_PROC(1341, VoidRec, StringT)
FDK_SIM_PROC(1342, VoidRec, StringT)
FDK_SIM_PROC(1344, StringT, IntT)
FDK_SIM_PROC(1375, IntT, IntT)
FDK_SIM_PROC(1376, VoidRec, IntT)
// documents
FDK_SIM_PROC(1018, ApiFmSilentPrintDocArgT, IntT)
FDK_SIM_PROC(1019, ApiFmOpenArgT, ApiFmOpenRetT)
FDK_SIM_PROC(1020, ApiFmSaveArgT, ApiFmSaveRetT)
FDK_SIM_PROC(1021, ApiFmCustomDocArgT, ApiFmCustomDocRetT)
FDK_SIM_PROC(1022, ApiFmCloseDocArgT, IntT)
FDK_SIM_PROC(1024, ApiFmImportArgT, ApiFmImportRetT)
FDK_SIM_PROC(1025, ApiFmSimpleImportFormatsArgT, IntT)
FDK_SIM_PROC(1026, ApiFmSimpleGenerateArgT, IntT)
FDK_SIM_PROC(1027, ApiFmCompareArgT, ApiFmCompareRetT)
FDK_SIM_PROC(1030, ApiFmCutCopyPasteArgT, IntT)
FDK_SIM_PROC(1031, ApiFmCutCopyPasteArgT, IntT)
FDK_SIM_PROC(1032, ApiFmCutCopyPasteArgT, IntT)
FDK_SIM_PROC(1033, ApiFmCutCopyPasteArgT, IntT)
FDK_SIM_PROC(1034, ApiFmUpdateTextInsetArgT, IntT)
FDK_SIM_PROC(1035, ApiFmApplyPageLayoutArgT, IntT)
FDK_SIM_PROC(1036, ApiFmDeleteTextInsetContentsArgT, IntT)
FDK_SIM_PROC(1037, ApiFmExportArgT, ApiFmExportRetT)
FDK_SIM_PROC(1038, ApiFmGeneralTextRangeArgT, IntT)
FDK_SIM_PROC(1039, ApiFmGeneralTextRangeArgT, IntT)
FDK_SIM_PROC(1023, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1040, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1041, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1042, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1043, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1044, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1045, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1046, ApiFmUpdateXRefsArgT, IntT)
FDK_SIM_PROC(1047, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1048, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1310, ApiFmHypertextCommandArgT, IntT)
// objects
FDK_SIM_PROC(1050, ApiFmGeneralObjArgT, IntT)
FDK_SIM_PROC(1051, ApiFmGetNamedObjArgT, ApiFmObjRetT)
FDK_SIM_PROC(1052, ApiFmNewGraphicObjArgT, ApiFmObjRetT)
FDK_SIM_PROC(1053, ApiFmNewNamedObjArgT, ApiFmObjRetT)
FDK_SIM_PROC(1054, ApiFmNewAnchoredObjArgT, ApiFmObjRetT)
FDK_SIM_PROC(1055, ApiFmNewSeriesObjArgT, ApiFmObjRetT)
FDK_SIM_PROC(1089, ApiFmGetUniqueObjArgT, ApiFmObjRetT)
FDK_SIM_PROC(1090, ApiFmNewAnchoredFormattedObjArgT, ApiFmObjRetT)
FDK_SIM_PROC(1091, ApiFmGeneralObjArgT, IntT)
FDK_SIM_PROC(1315, ApiFmOpenResourceArgT, ApiFmObjRetT)
FDK_SIM_PROC(1318, ApiFmDialogItemIdArgT, ApiFmObjRetT)
// text
FDK_SIM_PROC(1058, ApiFmAddTextArgT, ApiFmAddTextRetT)
FDK_SIM_PROC(1059, ApiFmGeneralTextRangeArgT, IntT)
FDK_SIM_PROC(1080, ApiFmGetTextArgT, ApiFmGetTextRetT)
FDK_SIM_PROC(1081, ApiFmGetTextForRangeArgT, ApiFmGetTextRetT)
// properties
FDK_SIM_PROC(1060, ApiFmGetPropArgT, ApiFmGetPropRetT)
FDK_SIM_PROC(1061, ApiFmSetPropArgT, IntT)
FDK_SIM_PROC(1062, ApiFmGeneralObjArgT, ApiFmGetPropsRetT)
FDK_SIM_PROC(1063, ApiFmSetPropsArgT, IntT)
FDK_SIM_PROC(1064, ApiFmGetPropArgT, ApiFmGetIntRetT)
FDK_SIM_PROC(1065, ApiFmSetIntArgT, IntT)
FDK_SIM_PROC(1066, ApiFmGetPropArgT, ApiFmGetIdRetT)
FDK_SIM_PROC(1067, ApiFmSetIdArgT, IntT)
FDK_SIM_PROC(1068, ApiFmGetPropArgT, ApiFmGetMetricRetT)
FDK_SIM_PROC(1069, ApiFmSetMetricArgT, IntT)
FDK_SIM_PROC(1070, ApiFmGetPropArgT, ApiFmGetStringRetT)
FDK_SIM_PROC(1071, ApiFmSetStringArgT, IntT)
FDK_SIM_PROC(1072, ApiFmGetPropArgT, ApiFmGetStringsRetT)
FDK_SIM_PROC(1073, ApiFmSetStringsArgT, IntT)
FDK_SIM_PROC(1074, ApiFmGetPropArgT, ApiFmGetMetricsRetT)
FDK_SIM_PROC(1075, ApiFmSetMetricsArgT, IntT)
FDK_SIM_PROC(1076, ApiFmGetPropArgT, ApiFmGetPointsRetT)
FDK_SIM_PROC(1077, ApiFmSetPointsArgT, IntT)
FDK_SIM_PROC(1078, ApiFmGetPropArgT, ApiFmGetTabsRetT)
FDK_SIM_PROC(1079, ApiFmSetTabsArgT, IntT)
FDK_SIM_PROC(1082, ApiFmGetPropArgT, IntT)
FDK_SIM_PROC(1083, ApiFmGetPropArgT, ApiFmGetUBytesRetT)
FDK_SIM_PROC(1084, ApiFmSetUBytesArgT, IntT)
FDK_SIM_PROC(1092, ApiFmGetPropArgT, ApiFmGetIntsRetT)
FDK_SIM_PROC(1093, ApiFmSetIntsArgT, IntT)
FDK_SIM_PROC(1098, ApiFmGetPropArgT, ApiFmGetValRetT)
FDK_SIM_PROC(1099, ApiFmSetValArgT, IntT)
FDK_SIM_PROC(1266, ApiFmGetPropArgT, ApiFmGetTextRangeRetT)
FDK_SIM_PROC(1267, ApiFmSetTextRangeArgT, IntT)
FDK_SIM_PROC(1268, ApiFmGetPropArgT, ApiFmGetTextLocRetT)
FDK_SIM_PROC(1269, ApiFmSetTextLocArgT, IntT)
FDK_SIM_PROC(1285, ApiFmGetPropArgT, ApiFmGetElementCatalogRetT)
FDK_SIM_PROC(1400, ApiFmGetPropArgT, ApiFmGetAttributeDefsRetT)
FDK_SIM_PROC(1401, ApiFmSetAttributeDefsArgT, IntT)
FDK_SIM_PROC(1402, ApiFmGetPropArgT, ApiFmGetAttributesRetT)
FDK_SIM_PROC(1403, ApiFmSetAttributesArgT, IntT)
FDK_SIM_PROC(1404, ApiFmGetPropArgT, ApiFmGetElementRangeRetT)
FDK_SIM_PROC(1405, ApiFmSetElementRangeArgT, IntT)
// text properties (kept on the object that holds the text location)
FDK_SIM_PROC(1298, ApiFmGetTextPropArgT, ApiFmGetValRetT)
FDK_SIM_PROC(1299, ApiFmSetTextValArgT, IntT)
FDK_SIM_PROC(1300, ApiFmGetTextPropArgT, ApiFmGetPropRetT)
FDK_SIM_PROC(1301, ApiFmSetTextPropArgT, IntT)
FDK_SIM_PROC(1302, ApiFmGetTextPropsArgT, ApiFmGetPropsRetT)
FDK_SIM_PROC(1303, ApiFmSetTextPropsArgT, IntT)
// structure: elements and tables
FDK_SIM_PROC(1100, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1101, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1102, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1103, ApiFmGeneralElementDefArgT, IntT)
FDK_SIM_PROC(1104, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1105, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1106, ApiFmGeneralDocArgT, IntT)
FDK_SIM_PROC(1108, ApiFmNewElementArgT, ApiFmObjRetT)
FDK_SIM_PROC(1109, ApiFmSimpleImportElementDefsArgT, IntT)
FDK_SIM_PROC(1111, ApiFmNewElementInHierarchyArgT, ApiFmObjRetT)
FDK_SIM_PROC(1112, ApiFmNewBookComponentInHierarchyArgT, ApiFmObjRetT)
FDK_SIM_PROC(1113, ApiFmNewSubObjectArgT, ApiFmObjRetT)
FDK_SIM_PROC(1286, ApiFmElementLocToTextLocArgT, ApiFmElementLocToTextLocRetT)
FDK_SIM_PROC(1287, ApiFmTextLocToElementLocArgT, ApiFmTextLocToElementLocRetT)
FDK_SIM_PROC(1406, ApiFmDeleteUndefinedAttributeArgT, IntT)
FDK_SIM_PROC(1200, ApiFmAddRowsArgT, IntT)
FDK_SIM_PROC(1201, ApiFmAddColumnsArgT, IntT)
FDK_SIM_PROC(1202, ApiFmCutTablePartsArgT, IntT)
FDK_SIM_PROC(1203, ApiFmMakeTableSelectionArgT, IntT)
FDK_SIM_PROC(1204, ApiFmStraddleCellsArgT, IntT)
FDK_SIM_PROC(1205, ApiFmNewTableArgT, ApiFmObjRetT)

#undef FDK_SIM_PROC

}  // namespace fdk::sim

#endif
