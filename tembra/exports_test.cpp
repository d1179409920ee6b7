#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "interfaces/tembra_api.h"
#include "platform/module.h"

namespace {

std::string TembraPath() {
  const char* bin = std::getenv("PX_BIN_DIR");
  return px::LibraryPath(bin ? bin : ".", "Tembra");
}

class TembraExports : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module_.Load(TembraPath())) << px::Module::LastError();
    ASSERT_TRUE(module_.BindAll(api_));
  }
  px::Module module_;
  TembraApi api_;
};

TEST_F(TembraExports, ExportExactlyTheEightNames) {
  const std::string command = "nm -D --defined-only " + TembraPath() + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) GTEST_SKIP() << "nm not available";
  std::set<std::string> functions;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    char type = 0;
    char name[400];
    if (std::sscanf(line, "%*s %c %399s", &type, name) == 2 && (type == 'T' || type == 'W'))
      functions.insert(name);
  }
  if (pclose(pipe) != 0 && functions.empty()) GTEST_SKIP() << "nm failed";
  const std::set<std::string> expected(std::begin(kTembraApiNames), std::end(kTembraApiNames));
  EXPECT_EQ(functions, expected);
}

TEST_F(TembraExports, NeutralTablesRoundTripThroughTheLibrary) {
  const EnhanceParam n = NeutralEnhanceParam();
  MappingTable* colour = api_.CreateColorMappingTable(8, 8, n, n, n, 0, nullptr);
  MappingTable* gray = api_.CreateGrayMappingTable(16, 16, n, 0, nullptr);
  ASSERT_NE(colour, nullptr);
  ASSERT_NE(gray, nullptr);
  EXPECT_EQ(colour->in, 8);
  EXPECT_EQ(colour->out, 8);
  EXPECT_EQ(colour->Entries[256 + 77], 77);
  EXPECT_EQ(gray->Entries[54321], 54321);
  std::vector<uint8_t> image = {1, 2, 3, 250, 251, 252};
  const auto before = image;
  EXPECT_EQ(api_.MapColorEnhanceTable(image.data(), 8, 2, 1, 1, colour), 1);
  EXPECT_EQ(image, before);
  std::vector<uint16_t> deep = {0, 1000, 65535};
  EXPECT_EQ(api_.MapGrayEnhanceTable(deep.data(), 16, 3, 1, gray), 1);
  EXPECT_EQ(deep, (std::vector<uint16_t>{0, 1000, 65535}));
  api_.FreeEnhanceTable(colour);
  api_.FreeEnhanceTable(gray);
  api_.FreeEnhanceTable(nullptr);
}

TEST_F(TembraExports, FailuresAreResultsNotCrashes) {
  const EnhanceParam n = NeutralEnhanceParam();
  EXPECT_EQ(api_.CreateColorMappingTable(0, 0, n, n, n, 0, nullptr), nullptr);
  EXPECT_EQ(api_.CreateGrayMappingTable(8, 17, n, 0, nullptr), nullptr);
  uint8_t pixel[3] = {10, 20, 30};
  EXPECT_EQ(api_.MapColorEnhanceTable(pixel, 8, 1, 1, 0, nullptr), 0);
  EXPECT_EQ(api_.MapGrayEnhanceTable(nullptr, 8, 1, 1, nullptr), 0);
  EXPECT_EQ(api_.HueSaturationAdjustment(nullptr, 1, 1, 0, 10, 0), 0);
  EXPECT_EQ(api_.HueSaturationAdjustment(pixel, 0, 1, 0, 10, 0), 0);
  EXPECT_EQ(api_.AutoLevelColor(pixel, 1, -1, 0), 0);
  EXPECT_EQ(api_.AutoLevelGray(pixel, -1, 1), 0);
  EXPECT_EQ(pixel[0], 10);
  EXPECT_EQ(pixel[2], 30);
  EXPECT_EQ(api_.HueSaturationAdjustment(pixel, 1, 1, 0, 120, 0), 1);
  EXPECT_EQ(api_.AutoLevelColor(pixel, 1, 1, 0), 1);
  EXPECT_EQ(api_.AutoLevelGray(pixel, 3, 1), 1);
}

}  // namespace
