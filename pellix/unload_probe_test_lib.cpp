// Test stand-in for one of the imaging libraries: it exports the names the
// session binds and, when it is unloaded, appends its role to the file named
// by PELLIX_UNLOAD_LOG, so a test can see the order of unloading.
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

#if defined(PROBE_TEMBRA)
#define PROBE_ROLE "Tembra"
PROBE_EXPORT int CreateColorMappingTable() { return 0; }
PROBE_EXPORT int CreateGrayMappingTable() { return 0; }
PROBE_EXPORT int MapColorEnhanceTable() { return 0; }
PROBE_EXPORT int MapGrayEnhanceTable() { return 0; }
PROBE_EXPORT int FreeEnhanceTable() { return 0; }
#elif defined(PROBE_GEOMETRY)
#define PROBE_ROLE "GeometryTrans"
PROBE_EXPORT int SetBGInfo() { return 0; }
PROBE_EXPORT int ImageCrop() { return 0; }
PROBE_EXPORT int ImageResize() { return 0; }
PROBE_EXPORT int FreeBuffer() { return 0; }
PROBE_EXPORT int ImageZoom() { return 0; }
#elif defined(PROBE_COLORMATCH)
#define PROBE_ROLE "ColorMatch"
PROBE_EXPORT int SetColorMatchFileName(const char*) { return 0; }
PROBE_EXPORT int ColorMatchFun() { return 0; }
PROBE_EXPORT int ColorMatchFun30_36() { return 0; }
#endif

__attribute__((destructor)) static void RecordUnload() {
  const char* log = getenv("PELLIX_UNLOAD_LOG");
  if (!log || !*log) return;
  const int fd = open(log, O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (fd < 0) return;
  const char line[] = PROBE_ROLE "\n";
  ssize_t written = write(fd, line, strlen(line));
  (void)written;
  close(fd);
}
