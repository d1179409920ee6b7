#include "pellix/scan_cli.h"

#include <gtest/gtest.h>

namespace pellix {
namespace {

bool Parse(std::vector<std::string> args, CliOptions& o, std::string& error) {
  args.insert(args.begin(), "pellix-scan");
  return ParseCliOptions(args, o, error);
}

TEST(PellixCliOptions, FullCommandLine) {
  CliOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--pages", "3", "--wait-for-paper", "--mode", "Gray", "--dpi", "200",
                     "--format", "tif", "--path", "out", "--no-crop", "--pdf", "a.pdf",
                     "--tiff", "a.tif", "--email", "Mailer", "--attach-pdf"},
                    o, error))
      << error;
  EXPECT_EQ(o.pages, 3);
  EXPECT_TRUE(o.waitForPaper);
  EXPECT_EQ(o.scanMode, 1);
  EXPECT_EQ(o.dpi, 200);
  EXPECT_EQ(o.scanFormat, 2);
  EXPECT_EQ(o.path, "out");
  EXPECT_EQ(o.crop, false);
  EXPECT_EQ(o.pdf, "a.pdf");
  EXPECT_EQ(o.tiff, "a.tif");
  EXPECT_EQ(o.email, "Mailer");
  EXPECT_TRUE(o.attachPdf);
  EXPECT_FALSE(o.calibration);

  CliOptions d;
  ASSERT_TRUE(Parse({}, d, error));
  EXPECT_EQ(d.pages, 1);
  EXPECT_FALSE(d.scanMode || d.dpi || d.scanFormat || d.path || d.crop || d.email);

  CliOptions c;
  ASSERT_TRUE(Parse({"--clean", "--clean"}, c, error));
  EXPECT_EQ(c.calibration, 1);
  // An out-of-range resolution is the device session's to refuse.
  ASSERT_TRUE(Parse({"--dpi", "700"}, c, error));
  EXPECT_EQ(c.dpi, 700);
}

TEST(PellixCliOptions, UsageErrors) {
  const std::vector<std::vector<std::string>> bad = {
      {"--pages"},          {"--pages", "0"},        {"--pages", "-1"},
      {"--pages", "2x"},    {"--mode", "sepia"},     {"--format", "png"},
      {"--dpi", "abc"},     {"--attach-pdf"},        {"--calibrate", "--clean"},
      {"--bogus"},          {"--email", ""},         {"--path", ""},
      {"--pages", "99999999999"}};
  for (const auto& args : bad) {
    CliOptions o;
    std::string error;
    EXPECT_FALSE(Parse(args, o, error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
  const std::string usage = UsageText();
  for (const char* word : {"--wait-for-paper", "--attach-pdf", "Exit codes", "--calibrate"})
    EXPECT_NE(usage.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace pellix
