// Tests call GeometryTrans.so through its exports, bound by name the way the
// scan module and the application bind them.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "interfaces/geometrytrans_api.h"
#include "platform/module.h"

namespace geometry::testing {

class GeometryLibrary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* bin = std::getenv("PX_BIN_DIR");
    ASSERT_NE(bin, nullptr) << "PX_BIN_DIR names the folder with GeometryTrans.so";
    module_ = new px::Module;
    ASSERT_TRUE(module_->Load(px::LibraryPath(bin, "GeometryTrans"))) << px::Module::LastError();
    ASSERT_TRUE(module_->BindAll(api_));
  }
  static void TearDownTestSuite() {
    api_.Clear();
    delete module_;
    module_ = nullptr;
  }
  // Every test starts from the feeder's documented defaults.
  void SetUp() override {
    ASSERT_NE(api_.SetBGInfo, nullptr);
    api_.SetBGInfo(30, 30, 30, 55.0f, 30.0f);
  }

  /// Runs one of the buffer-returning calls and takes its result into a
  /// matrix of `matType` (copied, the library's buffer freed again).
  template <class Call>
  static cv::Mat Take(Call&& call, int matType, int* width, int* height) {
    unsigned char* out = call(width, height);
    if (!out) return {};
    cv::Mat copy = cv::Mat(*height, *width, matType, out).clone();
    api_.FreeBuffer(&out);
    EXPECT_EQ(out, nullptr);
    return copy;
  }

  static inline px::Module* module_ = nullptr;
  static inline GeometryTransApi api_;
};

/// Records every progress call of the current operation.
struct ProgressLog {
  static inline std::vector<std::pair<int, int>> calls;
  static int Record(int done, int total) {
    calls.emplace_back(done, total);
    return 1;
  }
};

}  // namespace geometry::testing
