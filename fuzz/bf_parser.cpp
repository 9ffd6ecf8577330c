// Random bytes and mutated sections as a boot-function section, through the
// scanner and the grammar with actions that record every reduction and hand
// out counted values. For any input: the parse ends with 0, 1 or 2; every
// value the actions were given is deleted exactly once (none alive
// afterwards); every reduction names a rule 1-132, and an accepted section
// ends with rule 2; a refused one counted an error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "tools/md/tavolin/MdBfParser.h"

namespace {

struct CountedValue : MdBfValue {
    CountedValue() { ++live; }
    ~CountedValue() override { --live; }
    static inline long live = 0;
};

class RecordingParser : public MdBfGrammar {
public:
    RecordingParser() { noteReductions(); }
    void read(std::istream& in, bool lowerCase, INameClassifier* classifier)
    {
        setInput(&in);
        setLowerCase(lowerCase);
        setClassifier(classifier);
    }
    int lastRule = 0;

protected:
    void reduced(int rule, int32_t) override
    {
        if (rule < 1 || rule > 132) std::abort();
        lastRule = rule;
    }
    MdBfValue* newValue(int) override { return new CountedValue; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The stand-in beside this program, when it is there, checks identifiers.
    static INameClassifier* const classifier = mdBfObtainClassifier(false);
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    RecordingParser parser;
    // The first byte's lowest bits choose lower-casing and the identifier check.
    const uint8_t choice = size > 0 ? data[0] : 0;
    parser.read(in, (choice & 1u) != 0, (choice & 2u) != 0 ? classifier : nullptr);
    const int32_t result = parser.parse();
    if (result != 0 && result != 1 && result != 2) std::abort();
    if (CountedValue::live != 0) std::abort();
    if ((result == 0) != (parser.lastRule == 2)) std::abort();
    if (result != 0 && parser.errorCount() == 0) std::abort();
    return 0;
}
