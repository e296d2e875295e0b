// The registry access layer against an in-memory store: value types are kept
// apart, defaults apply exactly where they should, and the error texts are
// the ones the program shows.
#include <gtest/gtest.h>

#include <memory>

#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"

namespace {

class JclRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = std::make_shared<TMemoryRegistryStore>();
        RegSetStore(store);
        store->Hive().CreateKey("HKEY_CURRENT_USER\\Software\\Test");
    }
    void TearDown() override { RegSetStore(nullptr); }
    void Put(const std::string& name, const TRegValue& v) {
        store->Hive().Set("HKEY_CURRENT_USER\\Software\\Test", name, v);
    }
    std::shared_ptr<TMemoryRegistryStore> store;
    const std::string key = "Software\\Test";
};

TEST_F(JclRegistryTest, IntegersOnlyFromDwordValues) {
    Put("Dword", TRegValue::Dword(60));
    Put("Text", TRegValue::Text("60"));
    Put("Negative", TRegValue::Dword(0xFFFFFFFCu));
    TRegValue eight{TRegType::Binary, std::string(8, '\x01')};
    Put("Binary", eight);
    TRegValue big{TRegType::Dword, std::string(8, '\x01')};  // does not fit four bytes
    Put("BigDword", big);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, key, "Dword", 10), 60);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, key, "Text", 10), 10);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, key, "Negative", 0), -4);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, key, "Binary", 7), 7);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, key, "BigDword", 7), 7);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, key, "Absent", -1), -1);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, "Software\\Nowhere", "Dword", 5), 5);
}

TEST_F(JclRegistryTest, FlagsLookAtTheLowestByte) {
    Put("Two", TRegValue::Dword(2));
    Put("TwoFiftySix", TRegValue::Dword(256));
    EXPECT_TRUE(RegReadFlag(HKEY_CURRENT_USER, key, "Two", false));
    EXPECT_FALSE(RegReadFlag(HKEY_CURRENT_USER, key, "TwoFiftySix", true));
    EXPECT_TRUE(RegReadFlag(HKEY_CURRENT_USER, key, "Absent", true));
    EXPECT_FALSE(RegReadFlag(HKEY_CURRENT_USER, key, "Absent", false));
}

TEST_F(JclRegistryTest, TextsReadUpToTheirFirstZeroAndStayUnexpanded) {
    Put("Sz", TRegValue::Text("C:\\Pictures"));
    Put("Expand", TRegValue::Text("%USERPROFILE%\\list.vpl", TRegType::ExpandSz));
    Put("NoZero", TRegValue{TRegType::Sz, "abc"});
    Put("Embedded", TRegValue{TRegType::Sz, std::string("ab\0cd", 5)});
    Put("Dword", TRegValue::Dword(1));
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, key, "Sz", "d"), "C:\\Pictures");
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, key, "Expand", "d"), "%USERPROFILE%\\list.vpl");
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, key, "NoZero", "d"), "abc");
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, key, "Embedded", "d"), "ab");
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, key, "Dword", "d"), "d");
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, key, "Absent", "d"), "d");
    EXPECT_EQ(RegReadTextStrict(HKEY_CURRENT_USER, key, "Expand"), "%USERPROFILE%\\list.vpl");
}

TEST_F(JclRegistryTest, StrictReadsAndWritesRaiseTheLayersTexts) {
    Put("Dword", TRegValue::Dword(1));
    try {
        RegReadTextStrict(HKEY_CURRENT_USER, "\\Software\\Nowhere", "X");
        FAIL() << "no error";
    } catch (const EJclRegistryError& e) {
        EXPECT_STREQ(e.what(), "Unable to open key \"Software\\Nowhere\" for read");
    }
    try {
        RegReadTextStrict(HKEY_CURRENT_USER, key, "Dword");
        FAIL() << "no error";
    } catch (const EJclRegistryError& e) {
        EXPECT_STREQ(e.what(), "Unable to open key \"Software\\Test\" and access value \"Dword\"");
    }
    try {
        RegWriteInt(HKEY_CURRENT_USER, "Software\\Nowhere", "X", 1);
        FAIL() << "no error";
    } catch (const EJclRegistryError& e) {
        EXPECT_STREQ(e.what(), "Unable to open key \"Software\\Nowhere\" for write");
    }
    EXPECT_THROW(RegWriteText(HKEY_CURRENT_USER, "Software\\Nowhere", "X", "t"), EJclRegistryError);
    // A value write never creates its key.
    EXPECT_FALSE(RegKeyPresent(HKEY_CURRENT_USER, "Software\\Nowhere"));
}

TEST_F(JclRegistryTest, WritesKeepTypesAndNamesIgnoreCase) {
    RegWriteInt(HKEY_CURRENT_USER, key, "Count", -7);
    RegWriteText(HKEY_CURRENT_USER, key, "Name", "x\"y\\z");
    RegWriteFlag(HKEY_CURRENT_USER, key, "On", true);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, "software\\TEST", "count", 0), -7);
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, key, "NAME", ""), "x\"y\\z");
    EXPECT_EQ(store->QueryValue(HKEY_CURRENT_USER, key, "Name")->data, std::string("x\"y\\z\0", 6));
    EXPECT_EQ(store->QueryValue(HKEY_CURRENT_USER, key, "On")->type, TRegType::Dword);
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, key, "Count", "none"), "none");
}

TEST_F(JclRegistryTest, EnsureKeyCreatesParentsAndReadOnlyRootsRefuse) {
    RegEnsureKey(HKEY_CURRENT_USER, "\\Software\\A\\B");
    EXPECT_TRUE(RegKeyPresent(HKEY_CURRENT_USER, "Software\\A"));
    EXPECT_TRUE(RegKeyPresent(HKEY_CURRENT_USER, "Software\\A\\B"));
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, "Software\\A\\B", "", "unset"), "");

    store->SetWritable(HKEY_LOCAL_MACHINE, false);
    RegEnsureKey(HKEY_LOCAL_MACHINE, "Software\\X");  // outcome ignored
    EXPECT_FALSE(RegKeyPresent(HKEY_LOCAL_MACHINE, "Software\\X"));
    // The roots are separate.
    EXPECT_FALSE(RegKeyPresent(HKEY_LOCAL_MACHINE, "Software\\Test"));
}

}  // namespace
