// The table of functions the scan module hands to its user interface once, in
// UI_Create. Every slot is filled; the functions run on the caller's thread.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef struct UiCallbacks {
  int (*PaperOn)(void);           // 0: nonzero = paper in the feed slot
  int (*Calibrate)(int mode);     // 1: 0 calibrate, 1 clean; nonzero = done
  int (*Scan)(void);              // 2: scan one page with Korvel's settings
  int (*HostEvent)(void);         // 3: the user asked to close the panel
  int (*Prescan)(unsigned width, unsigned* height, unsigned char* rgb);  // 4
  int (*RollPaper)(void);         // 5
  int (*ButtonOn)(void);          // 6: nonzero = the scanner's button was pressed
  int (*CalibrationNeeded)(void); // 7
} UiCallbacks;

#ifdef __cplusplus
}
static_assert(sizeof(UiCallbacks) == 8 * sizeof(void*));
#endif
