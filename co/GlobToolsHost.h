// The global tools that reach host components through the compile context:
// time stamps of PX objects and project objects, the zip component, and the
// hardware-configuration type name of a device from the settings library.
//
// Each reports its failures as trace lines (level 4, source "co_globtools")
// and answers false or an empty text; host calls go through the host-call
// guard (CoHostCall.h); nothing throws.
#pragma once
#include <cstdint>

#include "co/GlobTools.h"
#include "co/tvstring.h"
#include "platform/hostproject.h"

// The time stamp of a PX object (an object id of kind 1) from the product
// API object (CLSID_VRXTarnexApi of the context), in seconds (the host's
// 100-ns units divided by 10,000,000).
bool getPxObjectTimeStamp(IUnknown* context, const CoObjectId& id, uint64_t* seconds);

// The last modification time of a project object through the context's
// IMC_PmObjectData.
bool getLastModifiedTime(IUnknown* context, const ESObjectID& objID, FILETIME* time);

// Compresses or uncompresses `source` into `destination` with the context's
// zip component (CLSID_VRXZip, interface IMC_Zip).
bool compressOrUncompressStream(IUnknown* context, IStream* source, IStream* destination, bool compress);

// The attribute "typeinfo" of the section "desc_a" of the device, platform
// "INDEPENDENT", through the settings library's device-section lookup (see
// TVBX_GetDeviceSectionAttributeByID); empty when there is none.
String getDeviceHwCfgTypeName(const char* device);
