// The working file's storage lent to a descriptor object for one step and
// given back, the descriptor closed first, on every path out of the step.
// Closing the descriptor does not commit the storage: the working file is
// written when its owner closes it.
#pragma once
#include <cstdint>
#include <memory>

#include "base/fs/FsDsc.h"
#include "base/fs/FsFileMan.h"

// Descriptor classes a step can lend the storage to.
enum MdDscClass : int { MdDscNone, MdDscTO, MdDscTP, MdDscDv };

// The class of an object kind's own descriptor: technology object for kinds
// 1 and 2, package for 4, device for 5; none for anything else.
int mdDscClassOfKind(int32_t kind);

class MdLentDescriptor {
public:
    explicit MdLentDescriptor(FsFileMan* work) : m_work(work) {}
    ~MdLentDescriptor() { giveBack(); }
    MdLentDescriptor(const MdLentDescriptor&) = delete;
    MdLentDescriptor& operator=(const MdLentDescriptor&) = delete;

    // Lends the storage to a new descriptor of the class (MdDscNone lends
    // nothing and succeeds).
    enum Result { Lent, NoStorage, NoMemory };
    Result lend(int dscClass);
    // The descriptor; null before lend or for MdDscNone.
    FsDsc* dsc() const { return m_dsc.get(); }
    void giveBack();

private:
    FsFileMan* m_work;
    IStorage* m_storage = nullptr;
    std::unique_ptr<FsDsc> m_dsc;
};
