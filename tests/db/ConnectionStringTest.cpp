#include <gtest/gtest.h>

#include "db/ConnectionString.h"

namespace orvanta::db {
namespace {

TEST(ConnectionStringTest, keysInFixedOrderWithWrappingRules) {
    struct Case {
        std::vector<std::string> params;
        std::string expected;
    };
    const std::string driver = "DRIVER={Microsoft Access Driver (*.mdb)};ExtendedAnsiSQL=1";
    const Case cases[] = {
        // The registry's own definition, in any line order: DBQ before UID, no DriverID.
        {{"Database=C:\\Programs\\Manager\\data.mdb", "User_Name=admin", "DriverID=MSAcc"},
         driver + ";DBQ=C:\\Programs\\Manager\\data.mdb;UID=admin"},
        {{"DriverID=MSAcc", "User_Name=admin", "Database=C:\\Programs\\Manager\\data.mdb"},
         driver + ";DBQ=C:\\Programs\\Manager\\data.mdb;UID=admin"},
        {{"Database=C:\\Program Files (x86)\\Manager\\data.mdb", "User_Name=admin"},
         driver + ";DBQ={C:\\Program Files (x86)\\Manager\\data.mdb};UID=admin"},
        {{"Database=/srv/a;b/data.mdb"}, driver + ";DBQ={/srv/a;b/data.mdb}"},
        // Blanks and bytes outside printable ASCII never wrap.
        {{"Database=/srv/Sala grande/\xe8/data.mdb"},
         driver + ";DBQ=/srv/Sala grande/\xe8/data.mdb"},
        // A "}" inside a wrapped value is doubled; a leading double quote alone wraps too.
        {{"Database=/a};DSN=x/data.mdb"}, driver + ";DBQ={/a}};DSN=x/data.mdb}"},
        {{"Database=\"/a/data.mdb", "User_Name=admin"}, driver + ";DBQ={\"/a/data.mdb};UID=admin"},
        // Already wrapped values stay as they are.
        {{"Database={/a(b)/data.mdb}"}, driver + ";DBQ={/a(b)/data.mdb}"},
        {{"Database=\"/a=b/data.mdb\""}, driver + ";DBQ=\"/a=b/data.mdb\""},
        // Keys match without regard to case; empty values and unknown keys are left out.
        {{"PASSWORD=p@ss", "user_name=", "fil=MS Access", "Foo=bar", "SYSTEMDB=/s.mdw",
          "ReadOnly=1", "DSN=reg"},
         driver + ";SystemDB=/s.mdw;ReadOnly=1;PWD={p@ss};DSN=reg;FIL=MS Access"},
        {{}, driver},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildConnectionString(c.params), c.expected) << c.expected;
    }
}

TEST(ConnectionStringTest, valuesAreReadBackUnwrapped) {
    const std::string text =
        "DRIVER={Microsoft Access Driver (*.mdb)};ExtendedAnsiSQL=1;DBQ={/a;b (c)/data.mdb};"
        "UID=admin";
    EXPECT_EQ(ConnectionStringValue(text, "dbq"), "/a;b (c)/data.mdb");
    EXPECT_EQ(ConnectionStringValue(text, "UID"), "admin");
    EXPECT_EQ(ConnectionStringValue(text, "PWD"), "");
}

TEST(ConnectionStringTest, valuesWithBracesAndQuotesComeBackWhole) {
    for (const std::string value : {"/a};DSN=x/data.mdb", "/a}", "\"/a;UID=x", "{/a", "}}"}) {
        const std::string text = BuildConnectionString({"Database=" + value, "User_Name=admin"});
        EXPECT_EQ(ConnectionStringValue(text, "DBQ"), value) << text;
        EXPECT_EQ(ConnectionStringValue(text, "UID"), "admin") << text;
        EXPECT_EQ(ConnectionStringValue(text, "DSN"), "") << text;
    }
}

}  // namespace
}  // namespace orvanta::db
