// A variable-extension base that records its messages and error counts in
// one log ("409 0 255", "count"), so the order of both can be checked.
#pragma once
#include <string>
#include <vector>

#include "bo/bo/MdVarExtBase.h"

class RecordingVarExt : public MdVarExtBase {
public:
    void reportError(uint32_t id, const String* a1, const String* a2) override
    {
        std::string m = std::to_string(id);
        if (a1) m += std::string(" ") + a1->c_str();
        if (a2) m += std::string(" ") + a2->c_str();
        log.push_back(m);
    }
    void countError() override
    {
        ++errors;
        log.push_back("count");
    }
    int32_t getErrorCount() override { return errors; }

    // The log since the last call, emptied.
    std::vector<std::string> take()
    {
        std::vector<std::string> out;
        out.swap(log);
        return out;
    }

    std::vector<std::string> log;
    int32_t errors = 0;
};

using Log = std::vector<std::string>;
