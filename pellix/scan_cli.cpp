#include "pellix/scan_cli.h"

#include <strings.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "pellix/app_settings.h"
#include "pellix/language.h"
#include "pellix/mail.h"
#include "pellix/output_files.h"
#include "pellix/scan_command.h"
#include "pellix/scan_session.h"
#include "pellix/terminal_progress.h"
#include "platform/special_folders.h"

namespace pellix {

namespace {

bool ParseNumber(const std::string& text, int low, int high, int& value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  value = std::stoi(text);
  return value >= low && value <= high;
}

int Choice(const std::string& text, std::initializer_list<const char*> names) {
  int i = 0;
  for (const char* name : names) {
    if (strcasecmp(text.c_str(), name) == 0) return i;
    ++i;
  }
  return -1;
}

void ErrorLine(const std::string& text) { std::fprintf(stderr, "pellix-scan: %s\n", text.c_str()); }

const char* StartFailureText(int code) {
  switch (code) {
    case kStartBadResolution: return "the resolution must be between 100 and 600 dpi";
    case kStartUnknownRequest: return "unknown scan mode";
    case kStartRefused: return "the scanner refused the scan parameters";
    case kStartNoMemory: return "not enough memory to start the scan";
    default: return "the scan could not be started";
  }
}

// Polls the paper sensor twice a second until a sheet is in or Ctrl-C.
bool WaitForPaper(const std::function<int()>& isPaperOn, const std::string& what) {
  std::fprintf(stderr, "Insert %s into the page feed slot (Ctrl-C to stop)...\n", what.c_str());
  while (!Interrupted()) {
    for (int tick = 0; tick < 5 && !Interrupted(); ++tick)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (Interrupted()) break;
    if (isPaperOn()) return true;
  }
  return false;
}

int ExitForMessage(unsigned id) {
  switch (id) {
    case IDS_INIT_FAILED: return kExitInitFailed;
    case IDS_NO_PAPER: return kExitNoPaper;
    case IDS_NO_CALIBRATION: return kExitCalibrationNeeded;
    default: return kExitScanFailed;
  }
}

int RunCalibration(const CliOptions& o, const AppSettings& settings, const CLanguage& lang,
                   TerminalProgress& bar) {
  ScanHooks hooks;
  const bool clean = *o.calibration == kCleanMode;
  if (o.waitForPaper)
    hooks.waitForPaper = [clean](const std::function<int()>& on) {
      return WaitForPaper(on, clean ? "the cleaning paper" : "the calibration sheet");
    };
  bar.SetLabel(clean ? "Cleaning" : "Calibrating");
  const CalibrationResult r = RunCalibrationPass(settings, *o.calibration, &bar, hooks);
  switch (r.outcome) {
    case CalibrationOutcome::Done:
      std::printf("%s: done\n", lang.GetLangString(clean ? 32802 : 32801).c_str());
      return kExitOk;
    case CalibrationOutcome::Failed:
      ErrorLine(clean ? "the cleaning pass failed" : "the calibration pass failed");
      return kExitScanFailed;
    case CalibrationOutcome::NoPaper:
      if (Interrupted()) return kExitCancelled;
      [[fallthrough]];
    default:
      ErrorLine(lang.GetLangString(r.messageId));
      return ExitForMessage(r.messageId);
  }
}

}  // namespace

std::string UsageText() {
  return R"(Usage: pellix-scan [options]

Scans pages from the scanner named by ScannerPath in ScanSetting.ini next to
the program, saves each one as the next numbered file (ScanImageNNNNN.ext) in
the scan folder, and prints the path of every file it wrote.

  --pages N             scan N pages, one at a time (default 1)
  --wait-for-paper      wait for each sheet to be inserted instead of failing
  --mode color|gray|lineart
  --dpi N               resolution, 100 to 600
  --format bmp|jpg|tif  page file format
  --path DIR            folder for the page files (created when missing)
  --crop, --no-crop     automatic crop on or off
  --pdf FILE            also write all pages of this run into one PDF
  --tiff FILE           also write all pages of this run into one multi-page TIFF
  --email CLIENT        hand the pages to this mail client
  --attach-pdf          with --email: attach one PDF instead of the page files
  --calibrate           run the calibration pass (calibration sheet) and exit
  --clean               run the cleaning pass (cleaning paper) and exit
  --help                show this text

Options apply to this run only; the stored settings keep their values, except
the file counter, which advances with every saved page. Ctrl-C stops the page
being read; pages saved before it are kept (no export or e-mail follows).

Exit codes:
  0  done
  1  usage error
  2  scanner initialization failed
  3  no paper in the page feed slot
  4  the scanner needs calibration (run pellix-scan --calibrate)
  5  the scan or the calibration pass failed
  6  stopped with Ctrl-C
  7  a file could not be written
  8  the e-mail could not be handed to the mail client
)";
}

bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& o, std::string& error) {
  auto value = [&](size_t& i, std::string& out) {
    if (i + 1 >= args.size()) {
      error = args[i] + " needs a value";
      return false;
    }
    out = args[++i];
    return true;
  };
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string v;
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--pages") {
      if (!value(i, v)) return false;
      if (!ParseNumber(v, 1, 9999, o.pages)) return error = "--pages takes 1 to 9999", false;
    } else if (a == "--wait-for-paper") {
      o.waitForPaper = true;
    } else if (a == "--mode") {
      if (!value(i, v)) return false;
      const int m = Choice(v, {"color", "gray", "lineart"});
      if (m < 0) return error = "--mode takes color, gray or lineart", false;
      o.scanMode = m;
    } else if (a == "--dpi") {
      if (!value(i, v)) return false;
      int dpi = 0;
      if (!ParseNumber(v, 0, 65535, dpi)) return error = "--dpi takes a number", false;
      o.dpi = dpi;
    } else if (a == "--format") {
      if (!value(i, v)) return false;
      const int f = Choice(v, {"bmp", "jpg", "tif"});
      if (f < 0) return error = "--format takes bmp, jpg or tif", false;
      o.scanFormat = f;
    } else if (a == "--path") {
      if (!value(i, v)) return false;
      if (v.empty()) return error = "--path needs a folder", false;
      o.path = v;
    } else if (a == "--crop" || a == "--no-crop") {
      o.crop = a == "--crop";
    } else if (a == "--pdf" || a == "--tiff") {
      if (!value(i, v)) return false;
      if (v.empty()) return error = a + " needs a file name", false;
      (a == "--pdf" ? o.pdf : o.tiff) = v;
    } else if (a == "--email") {
      if (!value(i, v)) return false;
      if (v.empty()) return error = "--email needs a client name", false;
      o.email = v;
    } else if (a == "--attach-pdf") {
      o.attachPdf = true;
    } else if (a == "--calibrate" || a == "--clean") {
      const int mode = a == "--clean" ? kCleanMode : kCalibrateMode;
      if (o.calibration && *o.calibration != mode)
        return error = "--calibrate and --clean exclude each other", false;
      o.calibration = mode;
    } else {
      error = "unknown option " + a;
      return false;
    }
  }
  if (o.attachPdf && !o.email) return error = "--attach-pdf needs --email", false;
  return true;
}

int RunPellixScan(const CliOptions& o, const std::string& programFolder) {
  AppSettings settings = LoadAppSettings(programFolder);
  const CLanguage lang(settings.paths.languageFile);

  // This run's choices; only the counter is written back.
  if (o.scanMode) settings.ScanMode = *o.scanMode;
  if (o.dpi) settings.ScanDPI = *o.dpi;
  if (o.scanFormat) settings.ScanFormat = *o.scanFormat;
  if (o.crop) settings.AutoCrop = *o.crop ? 1 : 0;
  if (o.path) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::absolute(*o.path, ec);
    if (ec || !px::CreateFolders(folder.string())) {
      ErrorLine("cannot create the folder " + *o.path);
      return kExitWriteFailed;
    }
    settings.PATH = WithTrailingSlash(folder.string());
  }

  InstallInterruptHandler();
  TerminalProgress bar(isatty(STDERR_FILENO) != 0);
  if (o.calibration) return RunCalibration(o, settings, lang, bar);

  std::vector<std::string> files;
  int status = kExitOk;
  for (int page = 1; page <= o.pages; ++page) {
    if (Interrupted()) {
      status = kExitCancelled;
      break;
    }
    ScanHooks hooks;
    if (o.waitForPaper)
      hooks.waitForPaper = [&](const std::function<int()>& on) {
        return WaitForPaper(on, "page " + std::to_string(page) + " of " + std::to_string(o.pages));
      };
    const std::string label = "Page " + std::to_string(page) + "/" + std::to_string(o.pages);
    bar.SetLabel(label.c_str());
    const ScanResult r = RunScanCommand(settings, &bar, hooks);
    if (r.outcome == ScanOutcome::Saved) {
      files.push_back(r.file);
      std::printf("%s\n", r.file.c_str());
      std::fflush(stdout);
      if (!r.counterWritten) ErrorLine("the file counter could not be stored");
      continue;
    }
    switch (r.outcome) {
      case ScanOutcome::Cancelled:
        ErrorLine("page " + std::to_string(page) + " stopped; nothing saved for it");
        status = kExitCancelled;
        break;
      case ScanOutcome::NoPaper:
        if (Interrupted()) {
          status = kExitCancelled;
          break;
        }
        ErrorLine(lang.GetLangString(r.messageId));
        status = kExitNoPaper;
        break;
      case ScanOutcome::StartFailed:
        ErrorLine(StartFailureText(r.startResult));
        status = kExitScanFailed;
        break;
      case ScanOutcome::ReadFailed:
        ErrorLine("reading page " + std::to_string(page) + " from the scanner failed");
        status = kExitScanFailed;
        break;
      case ScanOutcome::SaveFailed:
        ErrorLine("cannot write " + r.file);
        status = kExitWriteFailed;
        break;
      case ScanOutcome::CalibrationNeeded:
        ErrorLine(lang.GetLangString(r.messageId) + " (pellix-scan --calibrate)");
        status = kExitCalibrationNeeded;
        break;
      default:
        ErrorLine(lang.GetLangString(r.messageId));
        status = ExitForMessage(r.messageId);
        break;
    }
    break;
  }
  // Ctrl-C while the last page was being saved still means: stop here.
  if (status == kExitOk && Interrupted()) status = kExitCancelled;
  if (status != kExitOk) {
    if (!files.empty())
      std::fprintf(stderr, "pellix-scan: %zu page(s) saved before the stop are kept\n",
                   files.size());
    return status;
  }

  if (!o.tiff.empty()) {
    if (!WriteTiff(files, o.tiff)) {
      ErrorLine("cannot write " + o.tiff);
      return kExitWriteFailed;
    }
    std::printf("%s\n", o.tiff.c_str());
  }
  if (!o.pdf.empty()) {
    if (!WritePdf(files, o.pdf)) {
      ErrorLine("cannot write " + o.pdf);
      return kExitWriteFailed;
    }
    std::printf("%s\n", o.pdf.c_str());
  }
  if (o.email) {
    CMailBinding mail;
    mail.Bind(settings.paths.mailLibrary);
    const SendResult r = Send(mail, *o.email, o.attachPdf ? kAttachPdf : kAttachImages, files,
                              &WritePdf, lang);
    if (r.messageId != 0) {
      ErrorLine(r.text);
      return kExitMailFailed;
    }
    std::printf("Handed to %s: %s\n", o.email->c_str(), r.attachments.c_str());
  }
  return kExitOk;
}

}  // namespace pellix
