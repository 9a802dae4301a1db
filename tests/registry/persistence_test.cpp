// tessaly's writes outlive the process that made them: mexcall calls tessaly in one process, reg
// reads the value back in another, both on the test's store file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/process.h"
#include "store_fixture.h"

namespace {

using support::Finished;
using support::run_process;

class PersistenceTest : public StoreTest {
protected:
    Finished Run(const char *program, std::vector<std::string> args)
    {
        return run_process(program, args,
                           {"WIN32_STANDIN_REGISTRY=" + StorePath(), "WIN32_STANDIN_REGISTRY_ADMIN=0"});
    }

    Finished Tessaly(const std::string &base, const std::string &key, const std::string &name,
                     const std::string &value)
    {
        return Run(MEXCALL_PROGRAM,
                   {"--json", TESSALY_PLUGIN, "'" + base + "'", "'" + key + "'", "'" + name + "'", value});
    }
};

} // namespace

TEST_F(PersistenceTest, ValueWrittenByOneProcessIsReadByAnother)
{
    Finished write = Tessaly("HKCU", "Software\\Persist\\New", "Answer", "uint32([42 7])");
    EXPECT_EQ(write.status, 0) << write.err;
    EXPECT_EQ(write.out, "{\"outputs\":[]}\n");

    Finished query = Run(REG_PROGRAM, {"query", "HKCU\\Software\\Persist\\New", "/v", "Answer"});
    EXPECT_EQ(query.status, 0) << query.err;
    EXPECT_EQ(query.out,
              "\r\nHKEY_CURRENT_USER\\Software\\Persist\\New\r\n    Answer    REG_DWORD    0x2a\r\n\r\n");

    // A later process overwrites it.
    EXPECT_EQ(Tessaly("HKCU", "software\\persist\\new", "ANSWER", "uint32(4294967295)").status, 0);
    query = Run(REG_PROGRAM, {"query", "HKCU\\Software\\Persist\\New"});
    EXPECT_EQ(query.status, 0) << query.err;
    EXPECT_EQ(
        query.out,
        "\r\nHKEY_CURRENT_USER\\Software\\Persist\\New\r\n    Answer    REG_DWORD    0xffffffff\r\n\r\n");
}

TEST_F(PersistenceTest, FailedCallLeavesNothingToFind)
{
    struct Case {
        const char *what;
        const char *base;
        const char *key;
        const char *value;
        std::string error;
    };
    const Case cases[] = {
        {"machine key as an ordinary user", "HKLM", "Software\\Persist", "uint32(1)",
         "{\"error\":{\"identifier\":\"\",\"message\":\"Failed to Open/Create Key: "
         "'Software\\\\Persist'\"}}\n"},
        {"empty value", "HKCU", "Software\\Persist", "zeros(1,0,'uint32')",
         "{\"error\":{\"identifier\":\"\",\"message\":\"Input 4 must hold at least one UINT32 value.\"}}\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Finished write = Tessaly(c.base, c.key, "Answer", c.value);
        EXPECT_EQ(write.status, 1);
        EXPECT_EQ(write.out, c.error);
        Finished query = Run(REG_PROGRAM, {"query", std::string(c.base) + "\\" + c.key, "/v", "Answer"});
        EXPECT_EQ(query.status, 1);
        EXPECT_EQ(query.out, "");
    }
}

TEST_F(PersistenceTest, NamesBeyondAsciiWrittenByTessalyAreFoundByRegInAnyCase)
{
    Finished write = Tessaly("HKCU", "Software\\Café", "Größe", "uint32(5)");
    EXPECT_EQ(write.status, 0) << write.err;
    // Other cases of the same names: the same key and value.
    write = Tessaly("HKCU", "SOFTWARE\\CAFÉ", "GRÖßE", "uint32(6)");
    EXPECT_EQ(write.status, 0) << write.err;

    Finished query = Run(REG_PROGRAM, {"query", "HKCU\\Software\\café"});
    EXPECT_EQ(query.status, 0) << query.err;
    EXPECT_EQ(query.out, "\r\nHKEY_CURRENT_USER\\Software\\café\r\n    Größe    REG_DWORD    0x6\r\n\r\n");
    query = Run(REG_PROGRAM, {"query", "HKCU\\Software"});
    EXPECT_EQ(query.out, "\r\nHKEY_CURRENT_USER\\Software\\Café\r\n");
}
