#include "platform/module.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

typedef int (*FirstNameFn)(void);
typedef int (*SecondNameFn)(int);
typedef int (*ThirdNameFn)(void);

#define COMPLETE_LIST(X) X(FirstName) X(SecondName)
#define MISSING_LIST(X) X(FirstName) X(ThirdName)
}  // namespace

#include "interfaces/api_table.h"
namespace {
PX_DECLARE_API(CompleteApi, COMPLETE_LIST)
PX_DECLARE_API(MissingApi, MISSING_LIST)

std::string TestLibrary() {
  return px::LibraryPath(px::ExecutableFolder(), "PxModuleTest");
}

TEST(ModuleTest, LibraryPathUsesFolderBaseNameAndSuffix) {
  EXPECT_EQ(px::LibraryPath("/opt/x", "Tembra"), "/opt/x/Tembra.so");
}

TEST(ModuleTest, BindsEveryNameOfACompleteLibrary) {
  px::Module module;
  ASSERT_TRUE(module.Load(TestLibrary())) << px::Module::LastError();
  CompleteApi api;
  ASSERT_TRUE(module.BindAll(api));
  EXPECT_TRUE(module.IsLoaded());
  EXPECT_EQ(api.FirstName(), 11);
  EXPECT_EQ(api.SecondName(4), 8);
  EXPECT_EQ(kCompleteApiCount, 2u);
  EXPECT_STREQ(kCompleteApiNames[1], "SecondName");
}

TEST(ModuleTest, MissingRequiredNameUnloadsAndClears) {
  px::Module module;
  ASSERT_TRUE(module.Load(TestLibrary()));
  MissingApi api;
  EXPECT_FALSE(module.BindAll(api));
  EXPECT_FALSE(module.IsLoaded());
  EXPECT_EQ(api.FirstName, nullptr);
  EXPECT_EQ(api.ThirdName, nullptr);
}

TEST(ModuleTest, OptionalBindingKeepsWhatIsThere) {
  px::Module module;
  ASSERT_TRUE(module.Load(TestLibrary()));
  MissingApi api;
  EXPECT_EQ(module.BindAvailable(api), 1);
  EXPECT_NE(api.FirstName, nullptr);
  EXPECT_EQ(api.ThirdName, nullptr);
  EXPECT_TRUE(module.IsLoaded());
}

TEST(ModuleTest, MissingFileFailsAndHiddenNamesStayHidden) {
  px::Module module;
  EXPECT_FALSE(module.Load("/nonexistent/Nothing.so"));
  EXPECT_FALSE(module.IsLoaded());
  EXPECT_EQ(module.Symbol("FirstName"), nullptr);
  ASSERT_TRUE(module.Load(TestLibrary()));
  EXPECT_EQ(module.Symbol("_ZN2px10LibraryPathERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES8_"), nullptr);
}

TEST(ModuleTest, FolderOfAModuleAndOfTheProgram) {
  px::Module module;
  ASSERT_TRUE(module.Load(TestLibrary()));
  const std::string folder = px::ModuleFolderOf(module.Symbol("FirstName"));
  EXPECT_FALSE(folder.empty());
  EXPECT_EQ(px::LibraryPath(folder, "PxModuleTest").substr(folder.size()), "/PxModuleTest.so");
  EXPECT_FALSE(px::ExecutableFolder().empty());
  EXPECT_EQ(px::ModuleFolderOf(nullptr), "");
}

}  // namespace
