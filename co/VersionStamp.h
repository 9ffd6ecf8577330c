// Version stamps: a GUID with a 16-bit major and minor version. A new stamp
// gets a fresh GUID and 0.0; edits bump the minor or major version. Content
// versions put a digest into the GUID field instead.
#pragma once
#include <cstdint>

#include "co/GuidHelpers.h"
#include "platform/wintypes.h"

// The 20-byte record as it is stored.
struct VRX_VersionStamp {
    GUID Guid;
    uint16_t Major;
    uint16_t Minor;
};
static_assert(sizeof(VRX_VersionStamp) == 20, "VRX_VersionStamp is stored as 20 bytes");

// All 20 bytes zero, and all 20 bytes 0xFF (the invalid stamp: no version).
constexpr VRX_VersionStamp kNullVersionStamp = {{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}}, 0, 0};
constexpr VRX_VersionStamp kInvalidVersionStamp = {
    {0xFFFFFFFFu, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}, 0xFFFF, 0xFFFF};

bool operator==(const VRX_VersionStamp& a, const VRX_VersionStamp& b);
inline bool operator!=(const VRX_VersionStamp& a, const VRX_VersionStamp& b) { return !(a == b); }
// By GUID (guidLess), then major, then minor.
bool operator<(const VRX_VersionStamp& a, const VRX_VersionStamp& b);

class CVersionStamp : public VRX_VersionStamp {
public:
    CVersionStamp() : VRX_VersionStamp(kNullVersionStamp) {}
    CVersionStamp(const VRX_VersionStamp& s) : VRX_VersionStamp(s) {}
    CVersionStamp(const CVersionStamp& s) = default;
    CVersionStamp& operator=(const CVersionStamp& s) = default;
    CVersionStamp& operator=(const VRX_VersionStamp& s)
    {
        assign(s);
        return *this;
    }
    virtual ~CVersionStamp() = default;

    void assign(const VRX_VersionStamp& s)
    {
        Guid = s.Guid;
        Major = s.Major;
        Minor = s.Minor;
    }

    // A fresh random GUID and 0.0; returns the result of the GUID source.
    virtual HRESULT newStamp();
    // Minor 0, major + 1; a major that wraps to 0 makes a new stamp.
    virtual void bumpMajor();
    // Minor + 1; a minor that wraps to 0 bumps the major.
    virtual void bumpMinor();

    void setInvalid() { assign(kInvalidVersionStamp); }
    bool isInvalid() const { return *this == kInvalidVersionStamp; }

    // The stored 20 bytes.
    const VRX_VersionStamp& stamp() const { return *this; }
};
