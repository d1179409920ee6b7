#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "korvel/language.h"
#include "korvel/progress_model.h"
#include "korvel/settings_store.h"
#include "korvel/string_table.h"
#include "platform/ini_file.h"

namespace fs = std::filesystem;

namespace {

class TempFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/korvel_core_XXXXXX";
    root_ = mkdtemp(tmpl);
    library_ = root_ + "/lib";
    user_ = root_ + "/user/Zelm";
    fs::create_directories(library_ + "/Language");
  }
  void TearDown() override { fs::remove_all(root_); }
  void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  std::string root_, library_, user_;
};

using SettingsStoreTest = TempFolders;

TEST_F(SettingsStoreTest, FreshUserGetsColourA4At200DpiWithAutoCrop) {
  korvel::SettingsStore store(library_, user_);
  EXPECT_TRUE(fs::is_directory(user_));  // created at load even before any save
  const korvel::LastSetting s = store.ReadLastSetting("Caller");
  EXPECT_EQ(korvel::PixelTypeFromScanMode(s.scanMode), PX_PIXEL_COLOR24);
  EXPECT_EQ(s.paperSize, 2);
  EXPECT_EQ(s.resolution, 2);
  EXPECT_EQ(s.customWidth, 830);
  EXPECT_EQ(s.customHeight, 2330);
  EXPECT_EQ(store.Boxes().autoCrop, 1);
  EXPECT_EQ(store.Boxes().doDeskew, 0);
  EXPECT_EQ(store.Boxes().autoScan, 0);
  EXPECT_EQ(store.ReadTitle(), "");
  EXPECT_EQ(store.ReadInstallLanguage(), "English");
}

TEST_F(SettingsStoreTest, ZadiVidiTakesPaperAndResolutionFromTheCallerSection) {
  WriteFile(user_ + "/../Zelm/Kestra.ini", "");
  fs::create_directories(user_);
  WriteFile(user_ + "/Kestra.ini", "[Last Setting]\nScanSize=0\nDPI=6\nScanMode=3\n");
  WriteFile(library_ + "/Quorra.ini", "[Default Setting]\nZadiVidi=1\n[MyApp]\nScanSize=5\nResolution=4\n");
  korvel::SettingsStore store(library_, user_);
  korvel::LastSetting s = store.ReadLastSetting("NoSuchSection");
  EXPECT_EQ(s.paperSize, 2);  // A4 at 200 dpi whatever Last Setting says
  EXPECT_EQ(s.resolution, 2);
  EXPECT_EQ(s.scanMode, 3);
  s = store.ReadLastSetting("myapp");
  EXPECT_EQ(s.paperSize, 5);
  EXPECT_EQ(s.resolution, 4);
  const korvel::LastSetting reset = store.ResetValues("MyApp");
  EXPECT_EQ(reset.paperSize, 5);
  EXPECT_EQ(reset.resolution, 4);
}

TEST_F(SettingsStoreTest, StoredIndexesOutsideTheirListsFallBack) {
  fs::create_directories(user_);
  WriteFile(user_ + "/Kestra.ini", "[Last Setting]\nScanSize=9\nDPI=-1\nScanMode=5\n");
  korvel::SettingsStore store(library_, user_);
  const korvel::LastSetting s = store.ReadLastSetting("");
  EXPECT_EQ(s.paperSize, 2);
  EXPECT_EQ(s.resolution, 2);
  EXPECT_EQ(s.scanMode, 1);
  EXPECT_EQ(korvel::PixelTypeFromScanMode(7), PX_PIXEL_COLOR24);
  EXPECT_EQ(korvel::PixelTypeFromScanMode(0), PX_PIXEL_COLOR48);
  EXPECT_EQ(korvel::PixelTypeFromScanMode(2), PX_PIXEL_GRAY16);
  EXPECT_EQ(korvel::PixelTypeFromScanMode(4), PX_PIXEL_BW);
}

TEST_F(SettingsStoreTest, SaveWritesAllNineKeysAndCustomSizeOnlyForCustom) {
  korvel::SettingsStore store(library_, user_);
  store.Boxes() = {1, 1, 0};
  korvel::SavedChoice custom{0, 6, 8, 5.0, 7.0, 3};
  ASSERT_TRUE(store.SaveLastSetting(custom));
  const std::string kestra = user_ + "/Kestra.ini";
  EXPECT_EQ(px::GetProfileInt("Last Setting", "ScanSize", -1, kestra), 8);
  EXPECT_EQ(px::GetProfileInt("Last Setting", "CustomWidth", -1, kestra), 500);
  EXPECT_EQ(px::GetProfileInt("Last Setting", "CustomHeight", -1, kestra), 700);
  EXPECT_EQ(px::GetProfileInt("Last Setting", "Language", -1, kestra), 3);
  EXPECT_EQ(px::GetProfileInt("Last Setting", "AutoScan", -1, kestra), 1);
  EXPECT_EQ(px::GetProfileInt("Last Setting", "AutoCrop", -1, kestra), 0);

  korvel::SavedChoice letter{1, 2, 0, 5.0, 7.0, 0};
  ASSERT_TRUE(store.SaveLastSetting(letter));
  EXPECT_EQ(px::GetProfileInt("Last Setting", "CustomWidth", -1, kestra), 0);
  EXPECT_EQ(px::GetProfileInt("Last Setting", "CustomHeight", -1, kestra), 0);
  EXPECT_EQ(px::IniDocument::Load(kestra).Entries("Last Setting").size(), 9u);

  // What was saved is what the next panel reads.
  korvel::SettingsStore again(library_, user_);
  const korvel::LastSetting s = again.ReadLastSetting("");
  EXPECT_EQ(s.scanMode, 1);
  EXPECT_EQ(s.resolution, 2);
  EXPECT_EQ(s.paperSize, 0);
  EXPECT_EQ(again.Boxes().doDeskew, 1);
}

TEST_F(SettingsStoreTest, TruncatesCustomSizeToHundredths) {
  korvel::SettingsStore store(library_, user_);
  ASSERT_TRUE(store.SaveLastSetting({1, 2, 8, 8.509, 11.699, 0}));
  EXPECT_EQ(px::GetProfileInt("Last Setting", "CustomWidth", -1, user_ + "/Kestra.ini"), 850);
  EXPECT_EQ(px::GetProfileInt("Last Setting", "CustomHeight", -1, user_ + "/Kestra.ini"), 1169);
}

TEST(ScanSettingStartValues, MatchTheLibraryLoadState) {
  ScanSetting s;
  std::memset(&s, 0x5A, sizeof(s));
  korvel::SetStartValues(s);
  EXPECT_EQ(s.PixelType, 0);
  EXPECT_EQ(s.Corners[1].x, 413);
  EXPECT_EQ(s.Corners[2].y, 584);
  EXPECT_EQ(s.Corners[3].x, 0);
  EXPECT_EQ(s.Resolution, 300);
  // The record is packed: its fields are read by value, never bound to a
  // reference (most of them are not aligned).
  for (const EnhanceParam* p : {&s.Red, &s.Green, &s.Blue, &s.Gray}) {
    EXPECT_EQ(int{p->Brightness}, 0);
    EXPECT_EQ(int{p->Contrast}, 0);
    EXPECT_EQ(int{p->Gamma}, 10);
    EXPECT_EQ(float{p->scale}, 1.0f);
    EXPECT_EQ(int{p->InputLevelLow}, 0);
    EXPECT_EQ(int{p->InputLevelHigh}, 255);
    EXPECT_EQ(int{p->OutputLevelLow}, 0);
    EXPECT_EQ(int{p->OutputLevelHigh}, 255);
    EXPECT_EQ(int{p->CurvePointCount}, 0);
  }
  EXPECT_EQ(int{s.DescreenType}, 0);
  EXPECT_EQ(int{s.Crop}, 0);
  EXPECT_EQ(int{s.FilterChoice}, 0);
  EXPECT_EQ(int{s.Hue}, 0);
  EXPECT_EQ(int{s.Saturation}, 0);
}

using LanguageTest = TempFolders;

TEST_F(LanguageTest, ListStopsAtTheFirstGapOrEmptyFile) {
  WriteFile(library_ + "/Language/LangSetting.ini",
            "[0]\nName=English\nLangFile=Lang_en.ini\n[2]\nName=Deutsch\nLangFile=Lang_de.ini\n");
  korvel::LanguageTable table;
  table.Load(library_);
  ASSERT_EQ(table.Entries().size(), 1u);
  EXPECT_EQ(table.Entries()[0].file, library_ + "/Language/Lang_en.ini");

  WriteFile(library_ + "/Language/LangSetting.ini",
            "[0]\nName=English\nLangFile=Lang_en.ini\n[1]\nName=Français\nLangFile=\n[2]\nName=X\nLangFile=x.ini\n");
  table.Load(library_);
  EXPECT_EQ(table.Entries().size(), 1u);
}

TEST_F(LanguageTest, LookupFallsBackToTheBuiltInTable) {
  WriteFile(library_ + "/Language/LangSetting.ini",
            "[0]\nName=English\nLangFile=Lang_en.ini\n[1]\nName=Deutsch\nLangFile=Lang_de.ini\nFont=0\nBigTextField=1\n"
            "[LanguageTab]\nEnglish=0\nDeutsch=1\n");
  WriteFile(library_ + "/Language/Lang_de.ini",
            "[String Table]\n2012=Haupt\n2013=\n2091=Der Scanner ist nicht verbunden.\n");
  korvel::LanguageTable table;
  table.Load(library_);
  EXPECT_EQ(table.DefaultIndex("Deutsch"), 1);
  EXPECT_EQ(table.DefaultIndex("Klingon"), 0);
  table.Select(1);
  EXPECT_FALSE(table.BuiltIn());
  EXPECT_EQ(table.BigText(), 1);
  EXPECT_EQ(table.LookUp(2012), "Haupt");
  EXPECT_EQ(table.LookUp(2013), "Enhance");  // empty text in the file
  EXPECT_EQ(table.LookUp(2014), "Filter");   // no text in the file
  EXPECT_EQ(table.LookUp(2091), "Der Scanner ist nicht verbunden.");
  EXPECT_EQ(table.HelpFileName(), "help_de.html");
  EXPECT_EQ(table.LookUp(1), "");  // unknown everywhere

  table.Select(5);  // beyond the list: built-in texts, rest kept
  EXPECT_TRUE(table.BuiltIn());
  EXPECT_EQ(table.LookUp(2012), "Main");
  EXPECT_EQ(table.HelpFileName(), "help_de.html");
}

TEST_F(LanguageTest, MissingSettingFileMeansBuiltInEnglish) {
  korvel::LanguageTable table;
  table.Load(library_);
  EXPECT_TRUE(table.Entries().empty());
  EXPECT_TRUE(table.BuiltIn());
  table.Select(0);
  EXPECT_TRUE(table.BuiltIn());
  EXPECT_EQ(table.FontSet(), 0);
  EXPECT_EQ(table.LookUp(2094), "Fail to read image data .");
}

TEST_F(LanguageTest, LongTextsAreCutAt259Characters) {
  WriteFile(library_ + "/Language/LangSetting.ini", "[0]\nName=Long\nLangFile=Lang_xx.ini\nFont=9\n");
  WriteFile(library_ + "/Language/Lang_xx.ini", "[String Table]\n2001=" + std::string(400, 'y') + "\n");
  korvel::LanguageTable table;
  table.Load(library_);
  table.Select(0);
  EXPECT_EQ(table.LookUp(2001).size(), 259u);
  EXPECT_EQ(table.FontSet(), 0);  // no such font set
}

// Texts are counted in characters, not bytes: a Korean or Russian language
// file gets as many letters as an English one, and a cut never splits a
// character.
TEST_F(LanguageTest, LimitsCountCharactersNotBytes) {
  std::string hangul200, hangul300;
  for (int i = 0; i < 200; ++i) hangul200 += "\xED\x95\x9C";  // U+D55C
  for (int i = 0; i < 300; ++i) hangul300 += "\xEA\xB5\xAD";  // U+AD6D
  const std::string longName(300, 'n');
  WriteFile(library_ + "/Language/LangSetting.ini",
            "[0]\nName=" + longName + "\nLangFile=Lang_ko.ini\n");
  // 258 letters and one character outside the basic plane (two units of
  // wide text), which no longer fits.
  WriteFile(library_ + "/Language/Lang_ko.ini",
            "[String Table]\n2012=" + hangul200 + "\n2013=" + hangul300 + "\n2014=" +
                std::string(258, 'a') + "\xF0\x9F\x98\x80\n2015=" + std::string(257, 'b') +
                "\xF0\x9F\x98\x80z\n");
  korvel::LanguageTable table;
  table.Load(library_);
  table.Select(0);
  EXPECT_EQ(table.LookUp(2012), hangul200);
  EXPECT_EQ(table.LookUp(2013), hangul300.substr(0, 259 * 3));
  EXPECT_EQ(table.LookUp(2014), std::string(258, 'a'));
  EXPECT_EQ(table.LookUp(2015), std::string(257, 'b') + "\xF0\x9F\x98\x80");
  ASSERT_EQ(table.Entries().size(), 1u);
  EXPECT_EQ(table.Entries()[0].name, longName.substr(0, 259));

  WriteFile(library_ + "/Quorra.ini", "[Default Setting]\nUITitle=" + hangul300 + "\n");
  korvel::SettingsStore store(library_, user_);
  EXPECT_EQ(store.ReadTitle(), hangul300.substr(0, 259 * 3));
}

TEST(LanguageCode, TakenFromTheEndOfTheFileName) {
  // Six characters, however many bytes they take.
  EXPECT_EQ(korvel::LanguageTable::CodeFromPath("/x/Lang_\xED\x95\x9C\xEA\xB5\xAD.ini"),
            "\xED\x95\x9C\xEA\xB5\xAD");
  EXPECT_EQ(korvel::LanguageTable::CodeFromPath("/opt/scan/Language/Lang_en.ini"), "en");
  EXPECT_EQ(korvel::LanguageTable::CodeFromPath("/x/Lang_kor.ini"), "or");
  EXPECT_EQ(korvel::LanguageTable::CodeFromPath("a.b"), "a");
}

TEST(BuiltInStrings, KeepTheShippedWording) {
  EXPECT_STREQ(korvel::BuiltInString(2095),
               "Please insert your paper into your scanner and then click \"\"OK\"\" button to start scanning.");
  EXPECT_STREQ(korvel::BuiltInString(2092), "Initlize the scanner is failed.");
  EXPECT_STREQ(korvel::BuiltInString(2066), "  ");
  EXPECT_EQ(korvel::BuiltInString(1999), nullptr);
  int count = 0;
  for (int id = korvel::kFirstStringId; id <= korvel::kLastStringId; ++id)
    count += korvel::BuiltInString(id) != nullptr;
  EXPECT_GE(count, 90);
}

TEST(ProgressModelTest, StageDecidesTextAndCancelAndCancelSticks) {
  korvel::ProgressModel p;
  auto c = p.Update(0, 0);
  EXPECT_TRUE(c.stage);
  EXPECT_FALSE(c.percent);
  EXPECT_EQ(p.StatusTextId(), 2083);
  EXPECT_FALSE(p.CancelEnabled());
  p.Update(40, 2);
  EXPECT_EQ(p.StatusTextId(), 2084);
  EXPECT_TRUE(p.CancelEnabled());
  c = p.Update(40, 2);  // same again: nothing changes, still answers
  EXPECT_FALSE(c.stage);
  EXPECT_FALSE(c.percent);
  EXPECT_EQ(p.ContinueFlag(), 1);
  p.Update(50, 9);  // unknown stage keeps text and button
  EXPECT_EQ(p.StatusTextId(), 2084);
  EXPECT_EQ(p.Stage(), 9);
  p.Cancel();
  p.Update(60, 6);
  EXPECT_EQ(p.StatusTextId(), 2090);
  EXPECT_EQ(p.ContinueFlag(), 0);
}

TEST(ScanThumbnailTest, StepAndColumnsForALargePage) {
  EXPECT_EQ(korvel::ScanThumbnail::Step(2000, 3000, 180), 12);
  korvel::ScanThumbnail thumb(180, 254);
  std::vector<unsigned char> page(2000u * 3000u * 3u, 0);
  // Mark source pixel (12 * 165, 12 * 10): column 165 of thumbnail row 10.
  unsigned char* p = &page[(12u * 10u * 2000u + 12u * 165u) * 3u];
  p[0] = 10; p[1] = 20; p[2] = 30;
  EXPECT_TRUE(thumb.Update(PX_PIXEL_COLOR24, 2000, 3000, 128, page.data(), 600));
  EXPECT_EQ(thumb.RowsDrawn(), 50);
  const auto& px = thumb.Pixels();
  const size_t at = (10u * 180u + 165u) * 3u;
  EXPECT_EQ(px[at], 10);
  EXPECT_EQ(px[at + 2], 30);
  // Column 166 is beyond the 166 columns and keeps the background.
  EXPECT_EQ(px[(10u * 180u + 166u) * 3u], 0xE1);
  EXPECT_FALSE(thumb.Update(PX_PIXEL_COLOR24, 2000, 3000, 128, page.data(), 600));
}

TEST(ScanThumbnailTest, BlackAndWhiteUsesTheThresholdAndSixteenBitTheHighByte) {
  korvel::ScanThumbnail bw(10, 10);
  const unsigned char gray[3] = {127, 128, 129};
  ASSERT_TRUE(bw.Update(PX_PIXEL_BW, 3, 1, 128, gray, 1));
  EXPECT_EQ(bw.Pixels()[0], 0);
  EXPECT_EQ(bw.Pixels()[3], 128);
  EXPECT_EQ(bw.Pixels()[6], 255);

  korvel::ScanThumbnail g16(10, 10);
  const unsigned char sixteen[4] = {0xFF, 0x12, 0x00, 0xAB};
  ASSERT_TRUE(g16.Update(PX_PIXEL_GRAY16, 2, 1, 128, sixteen, 1));
  EXPECT_EQ(g16.Pixels()[0], 0x12);
  EXPECT_EQ(g16.Pixels()[3], 0xAB);
  EXPECT_FALSE(g16.Update(PX_PIXEL_GRAY16, 2, 1, 128, nullptr, 1));
  EXPECT_FALSE(g16.Update(7, 2, 1, 128, sixteen, 1));
}

// The count of rows drawn follows the rows available both ways: when fewer
// lines are reported than before, the later rows are drawn again from the
// data then given.
TEST(ScanThumbnailTest, FewerLinesThanBeforeRedrawFromThere) {
  korvel::ScanThumbnail thumb(10, 10);
  std::vector<unsigned char> first(4 * 4, 50), second(4 * 4, 200);
  ASSERT_TRUE(thumb.Update(PX_PIXEL_GRAY8, 4, 4, 128, first.data(), 4));
  EXPECT_EQ(thumb.RowsDrawn(), 4);
  EXPECT_TRUE(thumb.Update(PX_PIXEL_GRAY8, 4, 4, 128, second.data(), 2));
  EXPECT_EQ(thumb.RowsDrawn(), 2);
  EXPECT_TRUE(thumb.Update(PX_PIXEL_GRAY8, 4, 4, 128, second.data(), 4));
  EXPECT_EQ(thumb.RowsDrawn(), 4);
  EXPECT_EQ(thumb.Pixels()[0], 50);                  // row 0 drawn once, from the first data
  EXPECT_EQ(thumb.Pixels()[3u * 10u * 3u], 200);     // row 3 drawn again
  EXPECT_TRUE(thumb.Update(PX_PIXEL_GRAY8, 4, 4, 128, second.data(), 0));
  EXPECT_EQ(thumb.RowsDrawn(), 0);
}

}  // namespace
