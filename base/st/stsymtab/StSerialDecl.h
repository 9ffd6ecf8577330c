// Declaration of the four serialisers of a symbol-table part and of its
// field list; the definitions come from ST_SERIALISERS (StSerial.h).
#pragma once
#include <cstdint>
#include <iosfwd>

class FsSecCl;

#define ST_DECLARE_SERIALISERS(defaultMode)                                     \
    bool writeToSection(FsSecCl& s, uint32_t mode = defaultMode) const;         \
    bool writeToStream(std::ostream& os, uint32_t mode = defaultMode) const;    \
    bool readFromSection(FsSecCl& s, uint32_t mode = defaultMode);              \
    bool readFromStream(std::istream& is, uint32_t mode = defaultMode);         \
    template <class A>                                                          \
    void io(A& a, uint32_t mode);

// The same as overrides of a polymorphic family, with its dump.
#define ST_OVERRIDE_SERIALISERS                                                 \
    ST_OVERRIDE_SERIALISERS_ON_BASE_FIELDS                                     \
    template <class A>                                                         \
    void io(A& a, uint32_t mode);

// The same for a class that adds no field: the serialisers run the field
// list of its base.
#define ST_OVERRIDE_SERIALISERS_ON_BASE_FIELDS                                  \
    bool writeToSection(FsSecCl& s, uint32_t mode) const override;             \
    bool writeToStream(std::ostream& os, uint32_t mode) const override;        \
    bool readFromSection(FsSecCl& s, uint32_t mode) override;                  \
    bool readFromStream(std::istream& is, uint32_t mode) override;             \
    void dump(std::ostream& os) const override;
