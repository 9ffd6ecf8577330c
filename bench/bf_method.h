// A boot-function source opened for the boot-function method, as the
// benchmarks of that method run it: the source written to a file, the
// working file the entry method makes of it over a target that holds the
// method's sections, and the macro files of the method; all removed at the
// end.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "co/GlobTools.h"
#include "tools/md/tavolin/MdFrontEnd.h"

namespace bfbench {

class OpenedMethod {
public:
    explicit OpenedMethod(const std::string& text)
        : m_source(createTempName(true).c_str()), m_macros(createTempName(true).c_str())
    {
        std::ofstream(m_source, std::ios::binary) << text;
        // The sections the method writes, as a technology-object target holds them.
        m_host.openFile("", FS_OPEN_CREATE | FS_OPEN_MEMORY);
        for (const char* name : {"bfvarcomment", "bfinterf", "bfsymb", "boot"})
            if (m_host.getSect(name, FS_MODE_WRITE)) m_host.CloseSect(name);
        MdWorkState state;
        state.workFile = &m_work;
        state.workPath = &m_workPath;
        state.target = &m_target;
        state.objectKind = &m_kind;
        int32_t status = -1;
        m_ok = mdOpenWorkingSource(m_source.c_str(), m_host.storage(), 0, state, status) == S_OK && status == 0;
    }
    ~OpenedMethod()
    {
        m_target.reset();
        if (m_work.hasStorage()) m_work.CloseFile();
        for (const std::string& f : {std::string(m_workPath.c_str()), m_source, m_macros, m_macros + ".m4h",
                                     m_macros + ".m4c"})
            if (!f.empty()) ::unlink(f.c_str());
    }
    OpenedMethod(const OpenedMethod&) = delete;
    OpenedMethod& operator=(const OpenedMethod&) = delete;

    // Whether the source opened without a message.
    bool ok() const { return m_ok; }

    // The boot-function method with its counter at 0; its status, -1 when
    // the method failed as a call.
    int32_t compile()
    {
        MdFrontContext ctx;
        ctx.workFile = &m_work;
        ctx.objectKind = m_kind;
        ctx.stringCounter = &m_counter;
        ctx.sourcePath = String(m_source.c_str());
        ctx.flag = false;  // the stand-in classifier beside the program
        m_counter = 0;
        int32_t status = -1;
        if (mdCompileBootFunctions(ctx, String(m_macros.c_str()), {}, String("bench"), String("/dev/null"), status) !=
            S_OK)
            return -1;
        return status;
    }

private:
    std::string m_source, m_macros;
    FsFileMan m_host, m_work;
    String m_workPath;
    std::unique_ptr<FsSectMan> m_target;
    int32_t m_kind = -1;
    int32_t m_counter = 0;
    bool m_ok = false;
};

}  // namespace bfbench
