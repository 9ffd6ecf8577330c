(* Basic motion package: a technology package with system functions for the
   types it supports, and an implementation without I/O data. *)

TP_HEADER
    TPTYPE := {3E8A1B72-6D94-4F05-A3C1-8B7D2E4F6A90}, 3.2;
    PROXY := {3E8A1B73-6D94-4F05-A3C1-8B7D2E4F6A90}, 3.0;
    DATE := DT#2024-05-14-11:00:00;
    COMMENT := "Grundfunktionen Bewegung";
END_TP_HEADER

(* The system functions are compiled together with the system variables
   in front of them. *)
@DESCRIPTION
@TO_TYPE
motionBasic
VAR_GLOBAL
    packageVersion : UDINT;
END_VAR
@END_DESCRIPTION
IMPLEMENTATION
FUNCTION _enableAxis : DINT
    VAR_INPUT
        axis : posAxis;
        nextCommand : DINT;
    END_VAR
END_FUNCTION
FUNCTION _pos : DINT
    VAR_INPUT
        axis : posAxis;
        position : LREAL;
        velocity : LREAL;
    END_VAR
END_FUNCTION
END_IMPLEMENTATION

(* The types this package runs: a name, optionally a number in
   parentheses, the type's GUID and its version and second number. *)
SUPPORTED_TO_TYPES
    posAxis := {5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}, 2.1;
    driveEncoder (2) := {9D2F4A61-3C58-4E27-B1A4-6F0E2D8C7B15}, 1.0;
    camTrack := {e2b7c415-9a3d-4f60-8c21-5d9e0f7a3b48}, 1.3;
    followingAxis (7) := {5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E61}, 2.0;
END_SUPPORTED_TO_TYPES

BEGIN_IO_DATA
    BEGIN_ACT
    END_ACT
END_IO_DATA
