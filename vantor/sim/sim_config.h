// Settings of the simulated scanner, read from Vantor.ini (section [Vantor]).
// Every key is optional; the defaults describe a well-behaved device feeding
// the built-in sample document.
#pragma once

#include <string>

namespace vantor_sim {

struct SimConfig {
  std::string iniPath;      // the file these settings came from (may not exist)
  std::string pageSource;   // empty: sample document; else an absolute folder
  double skewAngle = 1.5;   // degrees, the sheet turned clockwise on the image
  double offsetX = 60;      // sheet's top-left corner, 1/300 inch
  double offsetY = 45;
  double sheetWidth = 2480;   // sample document size, 1/300 inch (A4)
  double sheetHeight = 3508;
  int linesPerSecond = 0;   // 0: as fast as possible
  bool paperPresent = true;
  int feederPages = 0;      // 0: unlimited
  std::string stateFolder;  // feeder count, calibration flag, button file
  std::string buttonFile;
  bool calibrationNeeded = false;
  int deliveredXDpi = 0;    // 0: the requested resolution
  int deliveredYDpi = 0;

  // Fault injection.
  int openFailures = 0;
  bool refuseParameters = false;
  int shortPageLines = 0;
  int readFailStatus = 0;
  int extraLines = 0;
  bool paperJam = false;
};

/// The settings file in force: $VANTOR_INI when set and not empty, else
/// Vantor.ini in the folder of this library.
std::string ConfigPath();

/// Reads `path`; a missing or unreadable file gives the defaults. Values out
/// of their sensible range are clamped (angles, offsets) or ignored.
SimConfig LoadConfig(const std::string& path);

/// ${XDG_STATE_HOME:-$HOME/.local/state}/vantor
std::string DefaultStateFolder();

}  // namespace vantor_sim
