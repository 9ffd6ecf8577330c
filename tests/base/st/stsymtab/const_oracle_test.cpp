// Elementary constants against an independent Python oracle
// (const_oracle.py): day numbers of every date 1992-01-01 .. 2200-12-31 both
// ways, TIME texts of random values both ways, the integer rows of the
// conversion, and REAL / LREAL rounded to integers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <sstream>

#include "base/st/stsymtab/StStdConstantVal.h"

namespace {

std::string runOracle()
{
    std::string out;
    const std::string cmd =
        "/usr/bin/python3 '" + std::string(TV_SOURCE_DIR) + "/tests/base/st/stsymtab/const_oracle.py' 1207";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    EXPECT_EQ(0, ::pclose(p));
    return out;
}

uint64_t rawOf(const StStdConstantVal& v, int32_t& sign)
{
    uint8_t raw[8];
    uint32_t type;
    v.getRaw(raw, type, sign);
    uint64_t r;
    std::memcpy(&r, raw, 8);
    return r;
}

TEST(ConstOracleTest, AgreesWithPython)
{
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    std::istringstream in(runOracle());
    std::string line;
    size_t counts[4] = {0, 0, 0, 0};
    int failures = 0;
    while (std::getline(in, line) && failures < 20) {
        std::istringstream ls(line);
        std::string what;
        ls >> what;
        bool ok = true;
        if (what == "date") {
            uint32_t day;
            std::string text;
            ls >> day >> text;
            StStdConstantVal v;
            ok = std::string(StStdConstantVal::dateText(day).chars()) == text && v.parseDate(("D#" + text).c_str());
            int32_t s;
            ok = ok && uint32_t(rawOf(v, s)) == day;
            ++counts[0];
        } else if (what == "time") {
            uint32_t ms;
            std::string text;
            ls >> ms >> text;
            StStdConstantVal v;
            int32_t s;
            ok = std::string(StStdConstantVal::timeText(ms).chars()) == text && v.parseTime(text.c_str()) == 0 &&
                 uint32_t(rawOf(v, s)) == ms;
            ++counts[1];
        } else {
            uint32_t src, target;
            int status;
            std::string input;
            ls >> src >> input >> target >> status;
            StStdConstantVal v;
            if (what == "conv") {
                const bool based = input.rfind("16#", 0) == 0;
                v.parseLiteral(input.c_str(), based ? 16 : 10);
                ok = v.setType(src, false) == 0;
                ++counts[2];
            } else {
                const uint64_t bits = std::stoull(input, nullptr, 16);
                if (src == ST_REAL) {
                    float f;
                    const uint32_t b = uint32_t(bits);
                    std::memcpy(&f, &b, 4);
                    v.SetRealVal(f);
                } else {
                    double d;
                    std::memcpy(&d, &bits, 8);
                    v.SetLRealVal(d);
                }
                ++counts[3];
            }
            ok = ok && v.convertTo(target) == status;
            if (ok && status == 0) {
                std::string rawHex;
                int32_t sign, gotSign;
                ls >> rawHex >> sign;
                ok = rawOf(v, gotSign) == std::stoull(rawHex, nullptr, 16) && gotSign == sign &&
                     v.getTypeId() == target;
            }
        }
        if (!ok) {
            ++failures;
            ADD_FAILURE() << line;
        }
    }
    EXPECT_EQ(76336u, counts[0]);
    EXPECT_GT(counts[1], 3000u);
    EXPECT_GT(counts[2], 5000u);
    EXPECT_GT(counts[3], 2000u);
}

}  // namespace
