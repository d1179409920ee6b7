// FilterProcess: checks the arguments, allocates the work rows and runs one
// numbered filter in place. Whatever happens, the answer is 1.
#include <cstdint>
#include <new>

#include "filter/filter_core.h"
#include "platform/global_memory.h"

namespace px::filter {
namespace {

// The two zero-filled work rows of one call, freed when the call ends.
class WorkRowBlock {
 public:
  explicit WorkRowBlock(int rowLength) {
    const std::size_t bytes = static_cast<std::size_t>(rowLength);
    previous_ = px::GlobalAlloc(px::GHND, bytes);
    current_ = px::GlobalAlloc(px::GHND, bytes);
    rows_.previous = static_cast<unsigned char*>(px::GlobalLock(previous_));
    rows_.current = static_cast<unsigned char*>(px::GlobalLock(current_));
  }
  ~WorkRowBlock() {
    if (previous_) {
      px::GlobalUnlock(previous_);
      px::GlobalFree(previous_);
    }
    if (current_) {
      px::GlobalUnlock(current_);
      px::GlobalFree(current_);
    }
  }
  WorkRowBlock(const WorkRowBlock&) = delete;
  WorkRowBlock& operator=(const WorkRowBlock&) = delete;

  bool Ok() const { return rows_.previous != nullptr && rows_.current != nullptr; }
  WorkRows& Rows() { return rows_; }

 private:
  px::HGLOBAL previous_ = nullptr;
  px::HGLOBAL current_ = nullptr;
  WorkRows rows_;
};

bool NeedsWorkRows(int number) {
  switch (number) {
    case 3: case 4: case 8: case 16: case 17: case 18: case 19: case 20:
      return true;
    default:
      return false;
  }
}

void RunWithWorkRows(int number, const Plane& plane, WorkRows& work) {
  const Kernel blur = MakeKernel(5.0f, 3.0f, 1.0f);
  const Kernel soften = MakeKernel(0.0f, 1.0f, 3.0f);
  const Kernel smooth = MakeKernel(1.0f, 1.0f, 1.0f);
  switch (number) {
    case 3:
      KernelPass(plane, blur, work);
      break;
    case 4:
      KernelPass(plane, blur, work);
      KernelPass(plane, blur, work);
      break;
    case 8:
      KernelPass(plane, MakeKernel(-5.0f, -1.0f, 29.0f), work);
      break;
    case 16:
      KernelPass(plane, soften, work);
      break;
    case 17:
      KernelPass(plane, smooth, work);
      break;
    case 18:
      KernelPass(plane, soften, work);
      KernelPass(plane, smooth, work);
      break;
    case 19:
      Descreen(plane, work);
      break;
    case 20:
      KernelPass(plane, smooth, work);
      KernelPass(plane, MakeKernel(-1.0f, -1.0f, 17.0f), work);
      break;
    default:
      break;
  }
}

}  // namespace

int RunFilter(int number, unsigned char* image, int mode, int rows, int rowLength) {
  // The number and the mode count only as 16-bit values.
  number = static_cast<std::int16_t>(number);
  mode = static_cast<std::int16_t>(mode);
  // An absent or empty image has nothing to filter.
  if (image == nullptr || rows <= 0 || rowLength <= 0) return 1;

  if (number == 1) {
    Invert(image, static_cast<std::size_t>(rows) * static_cast<std::size_t>(rowLength));
    return 1;
  }
  if (mode < 0 || mode > 2) return 1;
  Plane plane;
  plane.data = image;
  plane.rows = rows;
  plane.rowLength = rowLength;
  plane.step = mode == 2 ? 3 : 1;
  // A colour row whose length is not a multiple of 3 uses its whole pixels.
  plane.used = mode == 2 ? rowLength / 3 * 3 : rowLength;
  if (plane.used == 0) return 1;

  if (number == 2) {
    Flip(plane, mode);
    return 1;
  }
  if (mode == 0) return 1;  // the remaining filters work on gray or colour only
  switch (number) {
    case 5:
      Sharpen(plane);
      return 1;
    case 6:
      Sharpen(plane);
      Sharpen(plane);
      return 1;
    case 7:
      Emboss(plane);
      return 1;
    default:
      break;
  }
  if (!NeedsWorkRows(number)) return 1;
  // Without its two work rows a filter leaves the image as it was.
  WorkRowBlock work(rowLength);
  if (!work.Ok()) return 1;
  RunWithWorkRows(number, plane, work.Rows());
  return 1;
}

}  // namespace px::filter
