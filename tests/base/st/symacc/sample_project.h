// Small projects on the fake host shared by the symbol-access tests.
#pragma once
#include <string>
#include <vector>

#include "tests/fakehost/FakeHost.h"

// Three devices; the compiled item (a unit in a folder, both lying inside
// their super objects) sits on Dev1. Dev1 also holds a TO named like Dev3,
// and Dev1 and Dev2 both hold a TO "Axis1".
struct SampleProject {
    fakehost::FakeProject p;
    ESObjectID dev1, dev2, dev3, axis1, axis2, dev3Named, folder1, unit1;
    ESObjectID d2axis1, dev2Only;

    SampleProject()
    {
        dev1 = p.addDevice("Dev1", 1);
        dev2 = p.addDevice("Dev2", 2);
        dev3 = p.addDevice("Dev3", 3);
        axis1 = p.addTO(dev1, "Axis1", 1);
        axis2 = p.addTO(dev1, "Axis2", 2);
        dev3Named = p.addTO(dev1, "Dev3", 4);
        folder1 = p.addObject("Folder1", PmObjCl_Inner, dev1);
        unit1 = p.addObject("Unit1", PmObjCl_Inner, folder1);
        d2axis1 = p.addTO(dev2, "Axis1", 1);
        dev2Only = p.addTO(dev2, "Dev2Only", 2);
    }
    IUnknown* nav() { return p.navigation(); }
    IUnknown* unit() { return p.identity(unit1); }
};

// `devices` devices "Dev<k>" (numbers 1..), each with TOs "T0".."T<n-1>" of
// the same names, and a compiled unit in a folder.
struct GeneratedProject {
    fakehost::FakeProject p;
    std::vector<ESObjectID> devices, units;
    std::vector<std::vector<ESObjectID>> tos;  // per device

    GeneratedProject(int deviceCount, int tosPerDevice)
    {
        for (int d = 0; d < deviceCount; ++d) {
            ESObjectID dev = p.addDevice("Dev" + std::to_string(d + 1), WORD(d + 1));
            devices.push_back(dev);
            tos.emplace_back();
            for (int t = 0; t < tosPerDevice; ++t) tos.back().push_back(p.addTO(dev, "T" + std::to_string(t), WORD(t + 1)));
            ESObjectID folder = p.addObject("Folder", PmObjCl_Inner, dev);
            units.push_back(p.addObject("Unit", PmObjCl_Inner, folder));
        }
    }
};
