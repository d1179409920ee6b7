// Input: a settings text, then a sequence of calls, each one opcode byte and
// the bytes of its block. The device must answer every call with a status
// and never write outside the buffers it was given.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "vantor/sim/device.h"

namespace {

std::string g_folder;

int Progress(int lines) { return lines < 300 ? 1 : 0; }
int Steps(int, int) { return 1; }

struct Reader {
  const uint8_t* data;
  size_t size;
  template <class T>
  T Take() {
    T value{};
    const size_t n = size < sizeof(T) ? size : sizeof(T);
    std::memcpy(&value, data, n);
    data += n, size -= n;
    return value;
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/vantor-fuzz-XXXXXX";
  if (!mkdtemp(pattern)) abort();
  g_folder = pattern;
  setenv("VANTOR_INI", (g_folder + "/Vantor.ini").c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Settings text up to the first 0 byte. The fixed keys come first and so
  // win over the input's: a small sheet, full speed, state, button and pages
  // kept away from any real files.
  const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  const size_t textSize = zero ? size_t(zero - data) : size;
  {
    std::ofstream ini(g_folder + "/Vantor.ini", std::ios::trunc);
    ini << "[Vantor]\nStateFolder=" << g_folder << "/state\nButtonFile=" << g_folder
        << "/button\nPageSource=\nLinesPerSecond=0\nSheetWidth=300\nSheetHeight=400\n";
    ini.write(reinterpret_cast<const char*>(data), std::streamsize(textSize));
  }
  Reader in{data + textSize, size - textSize};
  vantor_sim::Device& device = vantor_sim::Device::Instance();
  std::vector<uint8_t> buffer;
  for (int calls = 0; calls < 16 && in.size > 0; ++calls) {
    switch (in.Take<uint8_t>() % 9) {
      case 0:
        device.Open();
        break;
      case 1: {
        VantorScanParameters p = in.Take<VantorScanParameters>();
        p.resolution = uint16_t(50 + p.resolution % 150);  // keep runs short
        p.toneTable = 0;
        device.SetParameters(p);
        break;
      }
      case 2: {
        VantorGeometry g = in.Take<VantorGeometry>();
        device.GetParameters(g);
        if (g.status == 0 && uint64_t(g.bytesPerLine) * g.lines > (64u << 20)) abort();
        break;
      }
      case 3: {
        VantorStartBlock s = in.Take<VantorStartBlock>();
        s.progress = (s.progress & 1) ? reinterpret_cast<uintptr_t>(&Progress) : 0;
        device.StartScanEx(s);
        break;
      }
      case 4: {
        VantorReadBlock r = in.Take<VantorReadBlock>();
        VantorGeometry g{};
        device.GetParameters(g);
        const size_t lineBytes = g.status == 0 ? g.bytesPerLine : 16;
        r.linesWanted = uint16_t(r.linesWanted % 512);
        // Exactly the wanted lines plus a guard the device must leave alone.
        buffer.assign(lineBytes * r.linesWanted + 64, 0xEE);
        r.buffer = (r.buffer & 1) && r.linesWanted ? 0 : reinterpret_cast<uintptr_t>(buffer.data());
        device.ReadScannedData(r);
        for (size_t i = lineBytes * r.linesWanted; i < buffer.size(); ++i)
          if (buffer[i] != 0xEE) abort();
        break;
      }
      case 5: {
        VantorStatusBlock s{};
        device.StopScan(s);
        break;
      }
      case 6:
        device.Close();
        break;
      case 7:
        device.CalibrateScanner(in.Take<int8_t>(), &Steps);
        break;
      case 8:
        device.IsPaperOn();
        device.IsButtonOn();
        device.IsCalibrationNeeded();
        break;
    }
  }
  device.Close();
  return 0;
}
