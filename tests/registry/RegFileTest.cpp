// The registry export text format: files from the Windows registry editor
// read correctly, and what we write reads back byte for byte.
#include <gtest/gtest.h>

#include "registry/RegHive.h"

namespace {

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Vantoria";

std::string Utf16LeFile(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

TEST(RegFile, ReadsAWindowsExportInUtf16WithContinuedHexLines) {
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Vantoria]\r\n"
        "\"Autoplay\"=dword:00000001\r\n"
        "\"ChangeTime\"=dword:0000003c\r\n"
        "\"Playlist\"=\"C:\\\\Users\\\\Ann\\\\My \\\"best\\\".vpl\"\r\n"
        "\"Folder\"=hex(2):25,00,55,00,53,00,45,00,52,00,50,00,52,00,4f,00,46,00,49,00,\\\r\n"
        "  4c,00,45,00,25,00,00,00\r\n"
        "@=\"\"\r\n";
    std::string why;
    const auto hive = ParseRegFile(Utf16LeFile(text), &why);
    ASSERT_TRUE(hive) << why;
    EXPECT_EQ(*hive->Find(kKey, "Autoplay"), TRegValue::Dword(1));
    EXPECT_EQ(*hive->Find(kKey, "changetime"), TRegValue::Dword(60));
    EXPECT_EQ(*hive->Find(kKey, "Playlist"), TRegValue::Text("C:\\Users\\Ann\\My \"best\".vpl"));
    EXPECT_EQ(*hive->Find(kKey, "Folder"), TRegValue::Text("%USERPROFILE%", TRegType::ExpandSz));
    EXPECT_EQ(*hive->Find(kKey, ""), TRegValue::Text(""));
    EXPECT_TRUE(hive->HasKey("hkey_current_user\\software"));
}

TEST(RegFile, RoundTripKeepsEveryByteAndType) {
    TRegHive hive;
    hive.CreateKey(kKey);
    const std::string latin1Path = "/home/ann/Bilder/M\xFCnchen \"alt\"\\x.jpg";  // not UTF-8
    hive.Set(kKey, "Playlist", TRegValue::Text(latin1Path));
    hive.Set(kKey, "Folder", TRegValue::Text("/tmp/with\nnewline"));
    hive.Set(kKey, "Color", TRegValue::Dword(0x00FF8040));
    hive.Set(kKey, "Expand", TRegValue::Text("%HOME%/x \xE4", TRegType::ExpandSz));
    hive.Set(kKey, "Raw", TRegValue{TRegType::Binary, std::string("\0\x01\xFF", 3)});
    hive.Set(kKey, "NoZero", TRegValue{TRegType::Sz, "abc"});

    const std::string text = SerializeRegFile(hive);
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
    EXPECT_NE(text.find("\"Color\"=dword:00ff8040\r\n"), std::string::npos);
    std::string why;
    const auto back = ParseRegFile(text, &why);
    ASSERT_TRUE(back) << why;
    for (const char* name : {"Playlist", "Folder", "Color", "Expand", "Raw", "NoZero"}) {
        ASSERT_NE(back->Find(kKey, name), nullptr) << name;
        EXPECT_EQ(*back->Find(kKey, name), *hive.Find(kKey, name)) << name;
    }
    EXPECT_EQ(SerializeRegFile(*back), text);
}

TEST(RegFile, DamagedTextIsRefusedWithAReason) {
    const char* damaged[] = {
        "",
        "garbage\r\n",
        "Windows Registry Editor Version 5.00\r\n\"A\"=dword:1\r\n",  // value outside a key
        "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\X\r\n",
        "Windows Registry Editor Version "
        "5.00\r\n[HKEY_CURRENT_USER\\X]\r\n\"A\"=dword:1234567890\r\n",
        "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\X]\r\n\"A\"=dword:xyz\r\n",
        "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\X]\r\n\"A\"=\"open\r\n",
        "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\X]\r\n\"A\"=hex:0g\r\n",
        "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\X]\r\n\"A\"=weird\r\n",
        "\x00\x01\x02\xFF\xFE binary",
    };
    for (const char* text : damaged) {
        std::string why;
        EXPECT_FALSE(ParseRegFile(text, &why)) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
}

TEST(RegFile, DeletionsCommentsAndLineEndsOfAnyKind) {
    const std::string text =
        "REGEDIT4\n; a comment\r[HKEY_CURRENT_USER\\A]\n\"x\"=dword:00000001\n\"y\"=\"keep\"\n"
        "[HKEY_CURRENT_USER\\A\\Sub]\n\"z\"=dword:00000002\n"
        "[HKEY_CURRENT_USER\\A]\n\"x\"=-\n[-HKEY_CURRENT_USER\\A\\Sub]\n";
    const auto hive = ParseRegFile(text);
    ASSERT_TRUE(hive);
    EXPECT_EQ(hive->Find("HKEY_CURRENT_USER\\A", "x"), nullptr);
    EXPECT_EQ(*hive->Find("HKEY_CURRENT_USER\\A", "y"), TRegValue::Text("keep"));
    EXPECT_FALSE(hive->HasKey("HKEY_CURRENT_USER\\A\\Sub"));
}

TEST(RegFile, LargeKeysReadWholeAndMalformedPartsAloneAreLeftOut) {
    // An export of a whole branch: one key of 40,000 values, some deleted.
    std::string text = "Windows Registry Editor Version 5.00\r\n[" + kKey + "]\r\n";
    for (int i = 0; i < 40000; ++i) {
        text += "\"Value" + std::to_string(i) + "\"=dword:" + std::to_string(i % 10) + "\r\n";
    }
    text += "\"value7\"=-\r\n\"VALUE39999\"=\"last\"\r\n";
    std::string why;
    const auto hive = ParseRegFile(text, &why);
    ASSERT_TRUE(hive) << why;
    EXPECT_EQ(hive->Keys().back().values.size(), 39999u);
    EXPECT_EQ(hive->Find(kKey, "Value7"), nullptr);
    EXPECT_EQ(*hive->Find(kKey, "value12345"), TRegValue::Dword(5));
    EXPECT_EQ(*hive->Find(kKey, "Value39999"), TRegValue::Text("last"));

    // Names beyond the registry's limits, and malformed values, are left out
    // one by one; whatever else the file holds is read, and the damage told.
    std::string deep = "[HKEY_CURRENT_USER";
    for (int i = 0; i < 50000; ++i) {
        deep += "\\a";  // a line of 100,000 characters, 50,000 levels deep
    }
    std::string ok512 = "[HKEY_CURRENT_USER";
    for (int i = 1; i < 512; ++i) {
        ok512 += "\\k";
    }
    const std::string damaged = "REGEDIT4\r\n" + deep + "]\r\n\"Lost\"=dword:1\r\n[" + kKey +
                                "]\r\n\"" + std::string(256, 'n') + "\"=dword:1\r\n\"" +
                                std::string(255, 'n') + "\"=dword:2\r\n" +
                                "\"Bad\"=dword:xyz\r\n\"Hex\"=hex:0g,\\\r\n  "
                                "01\r\n\"Good\"=\"yes\"\r\n[HKEY_CURRENT_USER\\" +
                                std::string(256, 'k') + "]\r\n\"Lost\"=dword:1\r\n" + ok512 +
                                "]\r\n" + ok512 + "\\too deep]\r\n";
    why.clear();
    EXPECT_FALSE(ParseRegFile(damaged, &why));
    EXPECT_NE(why.find("512 levels"), std::string::npos) << why;
    const TRegHive read = ReadRegFile(damaged, &why);
    EXPECT_NE(why.find("line 2: key more than 512 levels deep"), std::string::npos) << why;
    EXPECT_EQ(*read.Find(kKey, "Good"), TRegValue::Text("yes"));
    EXPECT_EQ(*read.Find(kKey, std::string(255, 'N')), TRegValue::Dword(2));
    EXPECT_EQ(read.Find(kKey, std::string(256, 'n')), nullptr);
    EXPECT_EQ(read.Find(kKey, "Bad"), nullptr);
    EXPECT_EQ(read.Find(kKey, "Hex"), nullptr);
    EXPECT_EQ(read.Keys().size(), 3u + 511u);  // the root, Software, Vantoria, 511 levels of k
    EXPECT_TRUE(ReadRegFile("no registry file", &why).Keys().empty());
    EXPECT_FALSE(why.empty());

    // Deep keys without their parents may not take more memory than the
    // text would need to list every key.
    std::string lonely = "REGEDIT4\r\n";
    for (int line = 0; line < 40; ++line) {
        lonely += "[HKEY_CURRENT_USER";
        for (int i = 1; i < 512; ++i) {
            lonely += "\\" + std::string(200, char('a' + line % 26)) + std::to_string(line);
        }
        lonely += "]\r\n";
    }
    why.clear();
    EXPECT_LT(ReadRegFile(lonely, &why).Keys().size(), 512u * 2);
    EXPECT_NE(why.find("too long"), std::string::npos) << why;
}

TEST(RegFile, Utf16ConversionKeepsBytesThatAreNotUtf8) {
    const std::string bytes = "caf\xC3\xA9 \xF0\x9F\x96\xBC \xE9\xFF\x80 end";
    EXPECT_EQ(Utf16LeToBytes(BytesToUtf16Le(bytes)), bytes);
    EXPECT_EQ(BytesToUtf16Le("A\xC3\xA9"), std::string("A\0\xE9\0", 4));
}

}  // namespace
