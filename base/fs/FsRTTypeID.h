// Runtime type ids and the supported-type entry: the small value types that
// section streams write and read as a unit.
#pragma once
#include <cstdint>
#include <cstring>
#include <map>

#include "co/tvstring.h"
#include "platform/wintypes.h"

// Runtime type id: 20 bytes, GUID, version, second word. All bytes 0xFF is
// the invalid id.
struct RTTypeID {
    GUID guid;
    uint16_t version;
    uint16_t second;

    RTTypeID() { setInvalid(); }
    RTTypeID(const GUID& g, uint16_t v, uint16_t s) : guid(g), version(v), second(s) {}

    void setInvalid() { std::memset(this, 0xFF, sizeof(*this)); }
    bool isInvalid() const
    {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(this);
        for (size_t i = 0; i < sizeof(*this); ++i)
            if (p[i] != 0xFF) return false;
        return true;
    }
    bool operator==(const RTTypeID& o) const
    {
        return guid == o.guid && version == o.version && second == o.second;
    }
    bool operator!=(const RTTypeID& o) const { return !(*this == o); }
};
static_assert(sizeof(RTTypeID) == 20, "RTTypeID is 20 bytes");

// True when the GUIDs agree and the required version is not above the
// present one; the second words are not compared.
inline bool isCompatibleRTTypeID(const RTTypeID& required, const RTTypeID& present)
{
    return required.guid == present.guid && required.version <= present.version;
}

// One supported technology-object type.
struct FsSupportedToTypeEntry {
    RTTypeID typeId;
    String name;
    int32_t number = 0;

    FsSupportedToTypeEntry() = default;
    FsSupportedToTypeEntry(const RTTypeID& id, const String& n, int32_t num)
        : typeId(id), name(n), number(num) {}
};

// One connector of a type: name, id, interface, direction and use flags,
// exclusive group and interface version.
struct FsConnectionRecord {
    String name;
    uint16_t id = 0;
    GUID interfaceId{};
    bool incoming = false;
    bool outgoing = false;
    bool remote = false;
    bool multipoint = false;
    bool required = false;
    int32_t group = 0;
    int16_t major = 0;
    int16_t minor = 0;

    bool operator==(const FsConnectionRecord& o) const
    {
        return name == o.name && id == o.id && interfaceId == o.interfaceId && incoming == o.incoming &&
               outgoing == o.outgoing && remote == o.remote && multipoint == o.multipoint &&
               required == o.required && group == o.group && major == o.major && minor == o.minor;
    }
};

// The connectors of a type by their 16-bit id.
using FsConnectionList = std::map<uint16_t, FsConnectionRecord>;
