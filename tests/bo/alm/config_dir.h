// A configuration directory for the tests of the message-text libraries:
// a new folder with the sub-folder "cfg", set as product and configuration
// directory in the settings while the object lives, and removed with what
// it holds afterwards.
#pragma once

#include <sys/stat.h>

#include <fstream>
#include <string>

#include "co/CoSettings.h"
#include "co/GlobTools.h"
#include "platform/settings_store.h"
#include "platform/text.h"

class TestConfigDir {
public:
    TestConfigDir()
    {
        m_root = createTempDirectory().c_str();
        m_dir = m_root + "/cfg";
        ::mkdir(m_dir.c_str(), 0700);
        tvp::settingsClear();
        tvp::settingsSetString("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1", "ProductDir", tvp::utf8ToWide(m_root));
        tvp::settingsSetString("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1\\Kernfeld", "ConfigDir", u"cfg");
        resetSettingsCaches();
    }
    ~TestConfigDir()
    {
        tvp::settingsClear();
        resetSettingsCaches();
        removeDirectoryTree(m_root.c_str());
    }
    TestConfigDir(const TestConfigDir&) = delete;
    TestConfigDir& operator=(const TestConfigDir&) = delete;

    // The folder below which relative library names are found.
    const std::string& path() const { return m_dir; }
    std::string file(const std::string& name) const { return m_dir + "/" + name; }
    void write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(file(name), std::ios::binary) << bytes;
    }

private:
    std::string m_root;
    std::string m_dir;
};
