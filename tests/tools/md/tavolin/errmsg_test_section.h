// The alarm error-text section of the compiler's goldens, as the split
// hands it over (shared by the compiler's and the closed-loop tests).
#pragma once

inline constexpr char kErrMsgTestSection[] =
    "BEGIN_ALARM_VRX_ERROR_TEXT\n"
    " MC_ERRORTEXT(20001, CmErrorMsg, 5, \"Schleppfehler\")\n"
    " MC_ERRORTEXT(20002, CmWarnMsg, 1, 7, \"Endschalter \\\"links\\\"\")\n"
    " MC_ERRORTEXT(20001, CmHelpMsg, 0, \"zweimal\")\n"
    "END_ALARM_VRX_ERROR_TEXT\n";
