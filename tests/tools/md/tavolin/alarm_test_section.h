// The alarm section of the compiler's goldens and the "almcfg" it gives,
// worked out by hand (shared by the compiler's and the method's tests).
#pragma once

inline constexpr char kAlarmTestSection[] =
    "ALARM_STRING_TABLE 0 : \"aus\" \"Alarm A\" 7 : \"ein\" END_ALARM_STRING_TABLE\n"
    "BEGIN_ALARM VRX_ERROR(16#10) AlarmName 1\n"
    " BEGIN_GLOBAL DefaultReaction 0 PossibleReaction 0, 2 DefaultConfirm 2 PossibleConfirm 2\n"
    "  DefaultType 0 PossibleTypes 0 DefaultDiagBuffer 2 PossibleDiagBuffer 0, 2 END_GLOBAL\n"
    " BEGIN_LOCAL REACTION TextReaction[3] 1 DefaultReaction[3] 0 PossibleReaction[3] 0, 2 END_REACTION\n"
    "  PARAM Text[1] 1 Default[1] 2 END_PARAM END_LOCAL END\n"
    "END_ALARM\n";

inline constexpr char kAlarmTestAlmCfg[] =
    "1 16 16 1\r\n0 2 0 2 \r\n2 1 2 \r\n0 1 0 \r\n2 2 0 2  1 3 1 \r\n1 3 0 \r\n1 3 2 0 2  \r\n1 1 1 \r\n1 1 2 \r\n0  "
    "\r\n2 0 0 2 7 ";
