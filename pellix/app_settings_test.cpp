#include "pellix/app_settings.h"

#include <gtest/gtest.h>

#include "pellix/app_start.h"
#include "pellix/language.h"
#include "pellix/test_env.h"
#include "platform/ini_file.h"
#include "platform/registry.h"

namespace pellix {
namespace {

using test::TempHome;
using test::WriteText;

const char* const kKey = "SOFTWARE\\Dorvex\\Default";

TEST(PellixAppSettings, DefaultsWithoutRegistryKeyOrSettingsFile) {
  TempHome home;
  const AppSettings s = LoadAppSettings(home.Path("prog"));
  EXPECT_EQ(s.Title, "Dorvex");
  EXPECT_EQ(s.RegistryKeyPath, kKey);
  EXPECT_EQ(s.ScanMode, 0);
  EXPECT_EQ(s.ScanDPI, 300);
  EXPECT_EQ(s.ScanFormat, 1);
  EXPECT_EQ(s.AutoCrop, 0);
  EXPECT_EQ(s.Count, 0);
  EXPECT_EQ(s.EmailClient, "None");
  EXPECT_EQ(s.PATH, home.Path("docs") + "/");
  EXPECT_EQ(s.paths.settingsFile, home.Path("prog") + "/ScanSetting.ini");
  EXPECT_EQ(s.paths.enhanceLibrary, home.Path("prog") + "/Tembra.so");
  EXPECT_EQ(s.paths.languageFile, home.Path("prog") + "//Language/Lang_English.ini");
  EXPECT_EQ(s.paths.colorMatchData, home.Path("prog") + "/CM.ini");
  EXPECT_TRUE(s.paths.deviceLibrary.empty());
  // Reading never creates the key.
  EXPECT_FALSE(px::RegistryKey(kKey).Exists());
}

TEST(PellixAppSettings, SettingsFileDecidesKeyDefaultsAndDevicePath) {
  TempHome home;
  WriteText(home.Path("prog/ScanSetting.ini"),
            "[Scan]\nTitle=Acme\nScanner=Model7\nScanDPIDef=200\nAutoCropDef=1\n"
            "ScannerPath=dev/Vantor.so\nWidth=2550\nHeight=3300\nCMFile=Other.ini\n"
            "Language=Deutsch\n");
  AppSettings s = LoadAppSettings(home.Path("prog") + "/");
  EXPECT_EQ(s.RegistryKeyPath, "SOFTWARE\\Acme\\Model7");
  EXPECT_EQ(s.ScanDPI, 200);
  EXPECT_EQ(s.AutoCrop, 1);
  EXPECT_EQ(s.Width, 2550);
  EXPECT_EQ(s.Height, 3300);
  EXPECT_EQ(s.paths.deviceLibrary, home.Path("prog") + "/dev/Vantor.so");
  EXPECT_EQ(s.paths.colorMatchData, home.Path("prog") + "/Other.ini");
  EXPECT_EQ(s.paths.languageFile, home.Path("prog") + "//Language/Lang_Deutsch.ini");

  WriteText(home.Path("prog/ScanSetting.ini"),
            "[Scan]\nAutoCropDef=2\nScannerPath=/opt/x/Vantor.so\n");
  s = LoadAppSettings(home.Path("prog"));
  EXPECT_EQ(s.AutoCrop, 0) << "only exactly 1 turns automatic crop on";
  EXPECT_EQ(s.paths.deviceLibrary, "/opt/x/Vantor.so");
}

TEST(PellixAppSettings, RegistryValuesOverrideAndMissingValuesDefault) {
  TempHome home;
  const px::RegistryKey key(kKey);
  ASSERT_TRUE(key.Set("ScanDPI", "250"));
  ASSERT_TRUE(key.Set("Count", "123456"));
  ASSERT_TRUE(key.Set("PATH", home.Path("scans")));  // stored without its separator
  ASSERT_TRUE(key.Set("ScanMode", "2x"));
  ASSERT_TRUE(key.Set("EmailClient", "Thunder"));
  const AppSettings s = LoadAppSettings(home.Path("prog"));
  EXPECT_EQ(s.ScanDPI, 250) << "no range check when reading";
  EXPECT_EQ(s.Count, 123456);
  EXPECT_EQ(s.PATH, home.Path("scans") + "/");
  EXPECT_EQ(s.ScanMode, 2);
  EXPECT_EQ(s.EmailClient, "Thunder");
  EXPECT_EQ(s.ScanFormat, 1);
  EXPECT_EQ(s.AutoCrop, 0);
}

TEST(PellixAppSettings, TextToIntIsPlainDecimalAndSaturates) {
  EXPECT_EQ(TextToInt("42"), 42);
  EXPECT_EQ(TextToInt("-7"), -7);
  EXPECT_EQ(TextToInt(" 12abc"), 12);
  EXPECT_EQ(TextToInt("abc"), 0);
  EXPECT_EQ(TextToInt(""), 0);
  EXPECT_EQ(TextToInt("99999999999999999999"), INT_MAX);
  EXPECT_EQ(TextToInt("-99999999999999999999"), INT_MIN);
}

TEST(PellixAppSettings, FullWriteStoresSevenValuesInOrderAndCounterWriteOnlyCount) {
  TempHome home;
  AppSettings s = LoadAppSettings(home.Path("prog"));
  s.Count = 7;
  ASSERT_TRUE(WriteCounter(s));
  px::IniDocument doc = px::IniDocument::Load(px::RegistryKey::StorePath());
  auto entries = doc.Entries(kKey);
  ASSERT_EQ(entries.size(), 1u) << "a counter write creates the key with Count alone";
  EXPECT_EQ(entries[0].first, "Count");
  EXPECT_EQ(entries[0].second, "7");

  px::WriteProfileString(kKey, "Count", nullptr, px::RegistryKey::StorePath());
  s.ScanMode = 1;
  s.ScanDPI = 600;
  s.ScanFormat = 2;
  s.AutoCrop = 1;
  s.EmailClient = "Mailer";
  s.PATH = "/srv/scans/";
  ASSERT_TRUE(WriteAllSettings(s));
  doc = px::IniDocument::Load(px::RegistryKey::StorePath());
  entries = doc.Entries(kKey);
  const std::vector<std::pair<std::string, std::string>> want = {
      {"PATH", "/srv/scans/"}, {"EmailClient", "Mailer"}, {"Count", "7"}, {"ScanMode", "1"},
      {"ScanDPI", "600"},      {"ScanFormat", "2"},       {"AutoCrop", "1"}};
  EXPECT_EQ(entries, want);

  const AppSettings again = LoadAppSettings(home.Path("prog"));
  EXPECT_EQ(again.ScanMode, 1);
  EXPECT_EQ(again.ScanDPI, 600);
  EXPECT_EQ(again.PATH, "/srv/scans/");
}

TEST(PellixAppSettings, UnwritableStoreReportsFailure) {
  TempHome home;
  // The config "folder" is a file, so the store cannot be made.
  WriteText(home.Path("cfgfile"), "x");
  setenv("XDG_CONFIG_HOME", home.Path("cfgfile").c_str(), 1);
  AppSettings s = LoadAppSettings(home.Path("prog"));
  s.Count = 3;
  EXPECT_FALSE(WriteCounter(s));
  EXPECT_FALSE(WriteAllSettings(s));
}

TEST(PellixAppSettings, ScanSettingDialogSelections) {
  EXPECT_EQ(ResolutionIndex(250), 1) << "250 shows 200 selected";
  EXPECT_EQ(ResolutionIndex(600), 5);
  EXPECT_EQ(ResolutionIndex(100), 0);
  EXPECT_EQ(ResolutionIndex(700), -1);
  EXPECT_EQ(ResolutionIndex(99), -1);
  EXPECT_EQ(ResolutionIndex(-150), -1);
  EXPECT_EQ(ResolutionOfIndex(1), 200);
  const std::vector<std::string> clients = {"Mailer", "Other"};
  EXPECT_EQ(ClientIndex(clients, "other"), 2);
  EXPECT_EQ(ClientIndex(clients, "None"), 0);
  EXPECT_EQ(ClientIndex(clients, "Gone"), 0);
  EXPECT_EQ(ClientOfIndex(clients, 0), "None");
  EXPECT_EQ(ClientOfIndex(clients, 1), "Mailer");
  EXPECT_EQ(ClientOfIndex(clients, 3), "None");
}

TEST(PellixLanguage, BuiltInTableHasTheExactTexts) {
  EXPECT_EQ(BuiltInString(32774), "All images into a multi-page TIFF ");
  EXPECT_EQ(BuiltInString(32796),
            "Please calibrate or clean the scanner when getting infenior  image  quality or "
            "poor recognition results.");
  EXPECT_EQ(BuiltInString(32810), "The %s does not exist, please select another one!");
  EXPECT_EQ(BuiltInString(32791), "There is no paper in the page feed slot of the scanner.");
  // Ids between and around the table have no text.
  EXPECT_EQ(BuiltInString(32779), "");
  EXPECT_EQ(BuiltInString(32770), "");
  EXPECT_EQ(BuiltInString(32813), "");
  int count = 0;
  for (unsigned id = 32771; id <= 32812; ++id) count += BuiltInString(id).empty() ? 0 : 1;
  EXPECT_EQ(count, 41);
}

TEST(PellixLanguage, FileTextWinsEmptyOrMissingFallsBack) {
  TempHome home;
  const std::string file = home.Path("prog/Language/Lang_Test.ini");
  WriteText(file,
            "[String]\n32790=Scanner nicht bereit.\n32791=\n32810=Kein %s hier, %d %n\n");
  const CLanguage lang(file);
  EXPECT_EQ(lang.GetLangString(32790), "Scanner nicht bereit.");
  EXPECT_EQ(lang.GetLangString(32791), BuiltInString(32791));
  EXPECT_EQ(lang.GetLangString(32771), "Scan");
  EXPECT_EQ(lang.GetLangString(40000), "");
  EXPECT_EQ(CLanguage(home.Path("missing.ini")).GetLangString(32782), "Cancel");

  const std::string long_value(300, 'x');
  WriteText(file, "[String]\n32771=" + long_value + "\n");
  EXPECT_EQ(lang.GetLangString(32771).size(), 259u);
  // A cut inside a two-byte character drops the half character.
  WriteText(file, "[String]\n32771=" + std::string(258, 'a') + "\xC3\xA9" + "\n");
  EXPECT_EQ(lang.GetLangString(32771), std::string(258, 'a'));
}

TEST(PellixLanguage, SubstituteFirstTreatsTheTextAsData) {
  EXPECT_EQ(SubstituteFirst(BuiltInString(32810), "Mailer"),
            "The Mailer does not exist, please select another one!");
  EXPECT_EQ(SubstituteFirst("%s and %s", "a"), "a and %s");
  EXPECT_EQ(SubstituteFirst("%d %n %x %s", "%s%n"), "%d %n %x %s%n");
  EXPECT_EQ(SubstituteFirst("no placeholder", "x"), "no placeholder");
  EXPECT_EQ(SubstituteFirst("%", "x"), "%");
  EXPECT_EQ(SubstituteFirst("end %s", ""), "end ");
}

TEST(PellixAppStart, AutomaticScanFlagAndInstanceLock) {
  const char* plain[] = {"/opt/pellix"};
  const char* scan[] = {"/opt/pellix", "--other", "--scan"};
  EXPECT_EQ(AutomaticScanFlag(1, plain), 0);
  EXPECT_EQ(AutomaticScanFlag(3, scan), 1);

  TempHome home;
  px::InstanceLock first, second;
  EXPECT_EQ(ClaimInstance(first), InstanceRole::First);
  // flock is per open file description, so a second lock in this process
  // sees the first as another instance.
  EXPECT_EQ(ClaimInstance(second), InstanceRole::Second);
  EXPECT_FALSE(TwainUiOpen());
}

}  // namespace
}  // namespace pellix
