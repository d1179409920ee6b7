// The built Filter.so binds by name, exports nothing else, and answers 1 even
// for calls it refuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "interfaces/filter_api.h"
#include "platform/module.h"

namespace {

TEST(FilterLibrary, BindsItsOneExportAndHidesTheRest) {
  const char* bin = std::getenv("PX_BIN_DIR");
  ASSERT_NE(bin, nullptr);
  px::Module module;
  ASSERT_TRUE(module.Load(px::LibraryPath(bin, "Filter"))) << px::Module::LastError();
  FilterApi api;
  ASSERT_TRUE(module.BindAll(api));
  EXPECT_EQ(module.Symbol("_ZN2px6filter9RunFilterEiPhiii"), nullptr);
  EXPECT_EQ(module.Symbol("_ZZNSt8__detail18__to_chars_10_implImEEvPcjT_E8__digits"), nullptr);
  EXPECT_EQ(module.Symbol("_ZN2px6filter10KernelPassERKNS0_5PlaneERKNS0_6KernelERNS0_8WorkRowsE"),
            nullptr);

  std::vector<unsigned char> image = {0, 10, 250, 255, 7, 8};
  EXPECT_EQ(api.FilterProcess(1, image.data(), 1, 2, 3), 1);
  EXPECT_EQ(image, (std::vector<unsigned char>{255, 245, 5, 0, 248, 247}));
  EXPECT_EQ(api.FilterProcess(3, nullptr, 1, 2, 3), 1);
  EXPECT_EQ(api.FilterProcess(99, image.data(), 1, 2, 3), 1);
  EXPECT_EQ(api.FilterProcess(3, image.data(), 1, -2, 3), 1);
}

}  // namespace
