// pellix-scan as a user runs it: the program of the bin folder with its
// shipped settings file, against the simulated scanner.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "pellix/image_container.h"
#include "pellix/scan_cli.h"
#include "pellix/sim_fixture.h"
#include "platform/registry.h"

namespace pellix {
namespace {

struct RunResult {
  int exitCode = -1;
  std::string out, err;
};

class PellixScan : public test::SimFixture {
 protected:
  pid_t Spawn(const std::vector<std::string>& args) {
    const std::string program = test::BinDir() + "/pellix-scan";
    const pid_t pid = fork();
    if (pid == 0) {
      FILE* out = freopen(home_.Path("out.txt").c_str(), "w", stdout);
      FILE* err = freopen(home_.Path("err.txt").c_str(), "w", stderr);
      if (!out || !err) _exit(120);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(program.c_str()));
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(121);
    }
    return pid;
  }
  RunResult Wait(pid_t pid) {
    RunResult r;
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    r.out = test::ReadText(home_.Path("out.txt"));
    r.err = test::ReadText(home_.Path("err.txt"));
    return r;
  }
  RunResult Scan(std::vector<std::string> args) {
    args.insert(args.begin(), {"--path", scans_});
    return Wait(Spawn(args));
  }
  std::optional<std::string> Stored(const char* name) {
    return px::RegistryKey("SOFTWARE\\Dorvex\\Default").Query(name);
  }
  // The external tools' view of an output file.
  std::string Tool(const std::string& command) {
    const std::string out = home_.Path("tool.txt");
    if (std::system((command + " > " + out + " 2>&1").c_str()) != 0) return "failed";
    return test::ReadText(out);
  }
};

TEST_F(PellixScan, ThreePagesWithPdfAndTiffExports) {
  const std::string pdf = home_.Path("all.pdf"), tiff = home_.Path("all.tif");
  const RunResult r = Scan({"--pages", "3", "--dpi", "100", "--pdf", pdf, "--tiff", tiff});
  ASSERT_EQ(r.exitCode, kExitOk) << r.err;
  const std::string expected = scans_ + "ScanImage00000.jpg\n" + scans_ + "ScanImage00001.jpg\n" +
                               scans_ + "ScanImage00002.jpg\n" + tiff + "\n" + pdf + "\n";
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(Stored("Count"), "3");
  EXPECT_FALSE(Stored("ScanDPI")) << "options are for this run only";
  EXPECT_FALSE(Stored("PATH"));

  const std::string pdfInfo = Tool("pdfinfo " + pdf);
  EXPECT_NE(pdfInfo.find("Pages:           3"), std::string::npos) << pdfInfo;
  const std::string tiffInfo = Tool("tiffinfo " + tiff);
  size_t directories = 0;
  for (size_t at = 0; (at = tiffInfo.find("TIFF Directory", at)) != std::string::npos; ++at)
    ++directories;
  EXPECT_EQ(directories, 3u) << tiffInfo;
  EXPECT_NE(tiffInfo.find("Page Number: 2-3"), std::string::npos) << tiffInfo;

  // The next run continues the numbering.
  const RunResult again = Scan({"--dpi", "100", "--format", "tif", "--mode", "gray"});
  ASSERT_EQ(again.exitCode, kExitOk) << again.err;
  EXPECT_EQ(again.out, scans_ + "ScanImage00003.tif\n");
  ImageContainer page;
  ASSERT_TRUE(page.Load(scans_ + "ScanImage00003.tif", ImageContainer::Format::Tiff));
  EXPECT_EQ(page.BitsPerPixel(), 8);
}

TEST_F(PellixScan, ErrorsAsMessagesAndExitCodes) {
  RunResult r = Scan({"--dpi", "700"});
  EXPECT_EQ(r.exitCode, kExitScanFailed);
  EXPECT_NE(r.err.find("100 and 600"), std::string::npos) << r.err;

  Simulate("PaperPresent=0\n");
  r = Scan({"--dpi", "100"});
  EXPECT_EQ(r.exitCode, kExitNoPaper);
  EXPECT_NE(r.err.find("There is no paper in the page feed slot of the scanner."),
            std::string::npos);

  Simulate("OpenFailures=9\n");
  r = Scan({"--dpi", "100"});
  EXPECT_EQ(r.exitCode, kExitInitFailed);
  EXPECT_NE(r.err.find("Scanner initialization failed."), std::string::npos);

  Simulate("CalibrationNeeded=1\n");
  r = Scan({"--dpi", "100"});
  EXPECT_EQ(r.exitCode, kExitCalibrationNeeded);
  EXPECT_NE(r.err.find("Can not find calibration data."), std::string::npos);
  r = Scan({"--calibrate"});
  EXPECT_EQ(r.exitCode, kExitOk) << r.err;
  r = Scan({"--dpi", "100"});
  EXPECT_EQ(r.exitCode, kExitOk) << r.err;

  EXPECT_EQ(Scan({"--bogus"}).exitCode, kExitUsage);
  const RunResult help = Wait(Spawn({"--help"}));
  EXPECT_EQ(help.exitCode, kExitOk);
  EXPECT_NE(help.out.find("Exit codes"), std::string::npos);
  EXPECT_EQ(Stored("Count"), "1");
}

TEST_F(PellixScan, EmptyFeederStopsAndKeepsSavedPages) {
  Simulate("FeederPages=2\n");
  const RunResult r = Scan({"--pages", "3", "--dpi", "100", "--pdf", home_.Path("x.pdf")});
  EXPECT_EQ(r.exitCode, kExitNoPaper);
  EXPECT_EQ(r.out, scans_ + "ScanImage00000.jpg\n" + scans_ + "ScanImage00001.jpg\n");
  EXPECT_FALSE(px::PathExists(home_.Path("x.pdf")));
  EXPECT_EQ(Stored("Count"), "2");
}

TEST_F(PellixScan, WaitsForPaperUntilASheetArrives) {
  Simulate("PaperPresent=0\n");
  const pid_t pid = Spawn({"--path", scans_, "--dpi", "100", "--wait-for-paper"});
  // The program keeps polling while there is no paper.
  for (int i = 0; i < 50 && test::ReadText(home_.Path("err.txt")).empty(); ++i) usleep(20000);
  usleep(600000);
  Simulate("PaperPresent=1\n");
  const RunResult r = Wait(pid);
  EXPECT_EQ(r.exitCode, kExitOk) << r.err;
  EXPECT_EQ(r.out, scans_ + "ScanImage00000.jpg\n");
  EXPECT_NE(r.err.find("Insert page 1 of 1"), std::string::npos) << r.err;
}

TEST_F(PellixScan, InterruptStopsTheRunAndKeepsSavedPages) {
  // Slow enough that the second page is still being read when Ctrl-C comes.
  Simulate("LinesPerSecond=400\n");
  const pid_t pid = Spawn({"--path", scans_, "--dpi", "100", "--pages", "3"});
  for (int i = 0; i < 6000 && test::ReadText(home_.Path("out.txt")).empty(); ++i) usleep(10000);
  kill(pid, SIGINT);
  const RunResult r = Wait(pid);
  EXPECT_EQ(r.exitCode, kExitCancelled) << r.err;
  EXPECT_EQ(r.out, scans_ + "ScanImage00000.jpg\n");
  EXPECT_TRUE(px::PathExists(scans_ + "ScanImage00000.jpg"));
  EXPECT_FALSE(px::PathExists(scans_ + "ScanImage00001.jpg"));
  EXPECT_EQ(Stored("Count"), "1");
}

TEST_F(PellixScan, HandsPagesToTheMailClient) {
  if (!px::PathExists(test::BinDir() + "/Postrel.so")) GTEST_SKIP() << "no mail library built";
  // No programs on the search path: the draft client writes its file and
  // opens nothing.
  const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  px::CreateFolders(home_.Path("nobin"));
  setenv("PATH", home_.Path("nobin").c_str(), 1);

  RunResult r = Scan({"--dpi", "100", "--email", "Nowhere Mail"});
  EXPECT_EQ(r.exitCode, kExitMailFailed);
  EXPECT_NE(r.err.find("The Nowhere Mail does not exist, please select another one!"),
            std::string::npos)
      << r.err;
  r = Scan({"--dpi", "100", "--email", "NONE"});
  EXPECT_EQ(r.exitCode, kExitMailFailed);
  EXPECT_NE(r.err.find("Please select an Email Client!"), std::string::npos) << r.err;

  r = Scan({"--dpi", "100", "--email", "Mail draft file", "--attach-pdf"});
  setenv("PATH", savedPath.c_str(), 1);
  ASSERT_EQ(r.exitCode, kExitOk) << r.err;
  const std::string pdf = home_.Path("tmp") + "/Email.pdf";
  EXPECT_NE(r.out.find("Handed to Mail draft file: " + pdf), std::string::npos) << r.out;
  EXPECT_NE(Tool("pdfinfo " + pdf).find("Pages:           1"), std::string::npos);
  size_t drafts = 0;
  for (auto& e : std::filesystem::directory_iterator(home_.Path("docs")))
    if (e.path().extension() == ".eml" &&
        test::ReadText(e.path().string()).find("Email.pdf") != std::string::npos)
      ++drafts;
  EXPECT_EQ(drafts, 1u);
  EXPECT_EQ(Stored("Count"), "3") << "pages are saved before the mail step";
}

}  // namespace
}  // namespace pellix
