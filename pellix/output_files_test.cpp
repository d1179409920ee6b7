#include "pellix/output_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <tiffio.h>

#include <filesystem>

#include "pellix/image_container.h"
#include "pellix/image_container_test_support.h"

namespace {

using Format = ImageContainer::Format;
using pellix_test::CountDifferences;
using pellix_test::HaveTool;
using pellix_test::MakePattern;
using pellix_test::MakeSmooth;
using pellix_test::ReadFile;
using pellix_test::RunCommand;
using pellix_test::ScratchFolder;
using pellix_test::WriteFile;

// Tool output with every run of blanks made one space, so column widths do
// not matter.
std::string Squeeze(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '\t') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

bool Contains(const std::string& text, const std::string& part) {
  return Squeeze(text).find(part) != std::string::npos;
}

size_t FilesIn(const std::string& folder) {
  return size_t(std::distance(std::filesystem::directory_iterator(folder),
                              std::filesystem::directory_iterator()));
}

TEST(NextFileName, NumbersPagesAndAvoidsExistingFiles) {
  ScratchFolder dir;
  const std::string folder = dir.Folder();
  EXPECT_EQ(NextFileName(folder, 7, 1), folder + "ScanImage00007.jpg");
  WriteFile(folder + "ScanImage00007.jpg", "x");
  EXPECT_EQ(NextFileName(folder, 7, 1), folder + "ScanImage00007(1).jpg");
  WriteFile(folder + "ScanImage00007(1).jpg", "x");
  EXPECT_EQ(NextFileName(folder, 7, 1), folder + "ScanImage00007(2).jpg");
  // Another extension is another name.
  EXPECT_EQ(NextFileName(folder, 7, 0), folder + "ScanImage00007.bmp");
  EXPECT_EQ(NextFileName(folder, 7, 2), folder + "ScanImage00007.tif");
  // Six digits are written in full; unknown formats get an empty extension.
  EXPECT_EQ(NextFileName(folder, 123456, 0), folder + "ScanImage123456.bmp");
  EXPECT_EQ(NextFileName(folder, 3, 9), folder + "ScanImage00003.");
  WriteFile(folder + "ScanImage00003.", "x");
  EXPECT_EQ(NextFileName(folder, 3, 9), folder + "ScanImage00003(1).");
}

TEST(SavePage, FormatFollowsTheExtensionInAnyCase) {
  ScratchFolder dir;
  const ImageContainer image = MakeSmooth(31, 17, 24);
  ASSERT_TRUE(SavePage(image, dir.File("upper.JPG")));
  const std::string jpg = ReadFile(dir.File("upper.JPG"));
  ASSERT_GE(jpg.size(), 3u);
  EXPECT_EQ(jpg.substr(0, 3), "\xFF\xD8\xFF");
  ASSERT_TRUE(SavePage(image, dir.File("page.Tif")));
  EXPECT_EQ(ReadFile(dir.File("page.Tif")).substr(0, 2), "II");
  ASSERT_TRUE(SavePage(image, dir.File("page.bmp")));
  EXPECT_EQ(ReadFile(dir.File("page.bmp")).substr(0, 2), "BM");
  // No known extension: no image data, no file.
  EXPECT_FALSE(SavePage(image, dir.File("ScanImage00001.")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("ScanImage00001.")));
}

TEST(SavePage, ResavingARotatedUpperCaseJpgKeepsJpeg) {
  ScratchFolder dir;
  const std::string path = dir.File("ScanImage00001.JPG");
  ASSERT_TRUE(SavePage(MakeSmooth(40, 20, 24), path));
  ImageContainer page;
  ASSERT_TRUE(page.Load(path, Format::None));
  ASSERT_TRUE(page.Rotate90(true));
  ASSERT_TRUE(SavePage(page, path));
  ImageContainer again;
  ASSERT_TRUE(again.LoadFromMemory(reinterpret_cast<const uint8_t*>(ReadFile(path).data()),
                                   ReadFile(path).size(), Format::Jpeg));
  EXPECT_EQ(again.Width(), 20);
  EXPECT_EQ(again.Height(), 40);
  EXPECT_EQ(ReadFile(path).substr(0, 2), "\xFF\xD8");
}

TEST(SavePage, FailureKeepsThePreviousFile) {
  ScratchFolder dir;
  const std::string path = dir.File("page.bmp");
  ASSERT_TRUE(SavePage(MakePattern(5, 5, 8), path));
  const std::string before = ReadFile(path);
  // The folder is gone: nothing can be written there.
  EXPECT_FALSE(SavePage(MakePattern(5, 5, 8), dir.File("missing/page.bmp")));
  // A path that is a folder cannot be replaced by a file.
  std::filesystem::create_directory(dir.File("folder.bmp"));
  EXPECT_FALSE(SavePage(MakePattern(5, 5, 8), dir.File("folder.bmp")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder.bmp")));
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(FilesIn(dir.Path()), 2u);  // no temporary file left behind
}

// The pages of a multi-page TIFF as libtiff reads them.
struct TiffPage {
  uint32_t width = 0, height = 0;
  uint16_t pageNumber = 0, pageCount = 0, compression = 0, predictor = 0;
  std::string name;
};

std::vector<TiffPage> ReadTiffPages(const std::string& path) {
  std::vector<TiffPage> pages;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return pages;
  do {
    TiffPage p;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.height);
    TIFFGetField(tif, TIFFTAG_PAGENUMBER, &p.pageNumber, &p.pageCount);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &p.compression);
    TIFFGetField(tif, TIFFTAG_PREDICTOR, &p.predictor);
    char* name = nullptr;
    if (TIFFGetField(tif, TIFFTAG_PAGENAME, &name) && name) p.name = name;
    pages.push_back(p);
  } while (TIFFReadDirectory(tif));
  TIFFClose(tif);
  return pages;
}

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Pages of three kinds and sizes; the JPEG one is gray.
    bmp_ = dir_.File("ScanImage00001.bmp");
    jpg_ = dir_.File("ScanImage00002.jpg");
    tif_ = dir_.File("ScanImage00003.TIF");
    ASSERT_TRUE(SavePage(MakePattern(41, 23, 24), bmp_));
    ASSERT_TRUE(SavePage(MakeSmooth(30, 50, 8), jpg_));
    ASSERT_TRUE(SavePage(MakePattern(17, 9, 8), tif_));
    // temp.jpg goes to the temporary folder, which is ours here.
    const char* old = getenv("TMPDIR");
    if (old) oldTmp_ = old;
    hadTmp_ = old != nullptr;
    setenv("TMPDIR", dir_.Path().c_str(), 1);
  }
  void TearDown() override {
    if (hadTmp_) setenv("TMPDIR", oldTmp_.c_str(), 1);
    else unsetenv("TMPDIR");
  }
  ScratchFolder dir_;
  std::string bmp_, jpg_, tif_;
  std::string oldTmp_;
  bool hadTmp_ = false;
};

TEST_F(ExportTest, MultiPageTiffHasNumberedNamedPagesInListOrder) {
  const std::string out = dir_.File("all.tif");
  ASSERT_TRUE(WriteTiff({bmp_, jpg_, tif_}, out));
  const std::vector<TiffPage> pages = ReadTiffPages(out);
  ASSERT_EQ(pages.size(), 3u);
  const uint32_t sizes[3][2] = {{41, 23}, {30, 50}, {17, 9}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(pages[i].width, sizes[i][0]);
    EXPECT_EQ(pages[i].height, sizes[i][1]);
    EXPECT_EQ(pages[i].pageNumber, i + 1);
    EXPECT_EQ(pages[i].pageCount, 3);
    EXPECT_EQ(pages[i].name, "Page " + std::to_string(i + 1));
    EXPECT_EQ(pages[i].compression, COMPRESSION_LZW);
    EXPECT_EQ(pages[i].predictor, PREDICTOR_HORIZONTAL);
  }
  // The lossless page's pixels are those of its file.
  ImageContainer first, original;
  ASSERT_TRUE(first.Load(out, Format::Tiff));
  ASSERT_TRUE(original.Load(bmp_, Format::Bmp));
  EXPECT_EQ(CountDifferences(first, original), 0);

  // An independent reader agrees.
  if (!HaveTool("tiffinfo")) GTEST_SKIP() << "tiffinfo not installed";
  bool ok = false;
  const std::string info = RunCommand("tiffinfo '" + out + "'", ok);
  EXPECT_TRUE(ok) << info;
  EXPECT_EQ(info.find("Error"), std::string::npos) << info;
  EXPECT_NE(info.find("Page Number: 1-3"), std::string::npos) << info;
  EXPECT_NE(info.find("PageName: Page 3"), std::string::npos) << info;
  EXPECT_NE(info.find("Resolution: 96, 96 pixels/inch"), std::string::npos) << info;
}

TEST_F(ExportTest, OnePageTiffIsValid) {
  const std::string out = dir_.File("one.tif");
  ASSERT_TRUE(WriteTiff({jpg_}, out));
  const std::vector<TiffPage> pages = ReadTiffPages(out);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].pageNumber, 1);
  EXPECT_EQ(pages[0].pageCount, 1);
  if (!HaveTool("tiffinfo")) GTEST_SKIP() << "tiffinfo not installed";
  bool ok = false;
  const std::string info = RunCommand("tiffinfo -D '" + out + "'", ok);
  EXPECT_TRUE(ok) << info;
  // Exactly one directory.
  const size_t first = info.find("TIFF Directory at offset");
  ASSERT_NE(first, std::string::npos) << info;
  EXPECT_EQ(info.find("TIFF Directory at offset", first + 1), std::string::npos) << info;
}

TEST_F(ExportTest, AnUnreadablePageFailsTheExportAndKeepsTheOldFile) {
  const std::string out = dir_.File("all.tif");
  const std::string pdf = dir_.File("all.pdf");
  ASSERT_TRUE(WriteTiff({bmp_}, out));
  ASSERT_TRUE(WritePdf({bmp_}, pdf));
  const std::string oldTiff = ReadFile(out);
  const std::string oldPdf = ReadFile(pdf);
  const size_t files = FilesIn(dir_.Path());

  // A damaged page (a truncated JPEG) and a missing one.
  const std::string damaged = dir_.File("damaged.jpg");
  const std::string good = ReadFile(jpg_);
  WriteFile(damaged, good.substr(0, good.size() / 2));
  for (const std::string& bad : {damaged, dir_.File("gone.bmp")}) {
    EXPECT_FALSE(WriteTiff({bmp_, bad, tif_}, out));
    EXPECT_FALSE(WritePdf({bmp_, bad, tif_}, pdf));
    EXPECT_EQ(ReadFile(out), oldTiff);
    EXPECT_EQ(ReadFile(pdf), oldPdf);
  }
  EXPECT_EQ(FilesIn(dir_.Path()), files + 1);  // the damaged page only
  EXPECT_FALSE(WriteTiff({}, out));
  EXPECT_FALSE(WritePdf({}, pdf));
  EXPECT_EQ(ReadFile(out), oldTiff);
}

TEST_F(ExportTest, AWriteThatFailsHalfwayKeepsTheOldFile) {
  const std::string tiff = dir_.File("all.tif");
  const std::string pdf = dir_.File("all.pdf");
  ASSERT_TRUE(WriteTiff({tif_}, tiff));
  ASSERT_TRUE(WritePdf({tif_}, pdf));
  const std::string oldTiff = ReadFile(tiff);
  const std::string oldPdf = ReadFile(pdf);
  const size_t files = FilesIn(dir_.Path());
  // Big pages and too little room for them, as on a full disk.
  const std::string big = dir_.File("big.bmp");
  ASSERT_TRUE(SavePage(MakePattern(600, 800, 24), big));
  pellix_test::WithFileSizeLimit(std::max(oldTiff.size(), oldPdf.size()) + 2000, [&] {
    EXPECT_FALSE(WriteTiff({big, big}, tiff));
    EXPECT_FALSE(WritePdf({big, big}, pdf));
  });
  EXPECT_EQ(ReadFile(tiff), oldTiff);
  EXPECT_EQ(ReadFile(pdf), oldPdf);
  // Only the big page is new: no temporary output is left behind.
  EXPECT_EQ(FilesIn(dir_.Path()), files + 1);
}

TEST_F(ExportTest, PdfPagesAreImageSizedAndTheJpegIsEmbeddedUnchanged) {
  const std::string out = dir_.File("pages.pdf");
  ASSERT_TRUE(WritePdf({bmp_, jpg_}, out));
  // The BMP page went through temp.jpg in the temporary folder.
  EXPECT_TRUE(std::filesystem::exists(dir_.File("temp.jpg")));
  const std::string pdfText = ReadFile(out);
  ASSERT_EQ(pdfText.substr(0, 5), "%PDF-");
  // The JPEG page's file is inside the PDF byte for byte.
  const std::string jpgBytes = ReadFile(jpg_);
  EXPECT_NE(pdfText.find(jpgBytes), std::string::npos);

  if (!HaveTool("pdfinfo") || !HaveTool("pdfimages")) GTEST_SKIP() << "poppler-utils missing";
  bool ok = false;
  const std::string info = RunCommand("pdfinfo -f 1 -l 2 '" + out + "'", ok);
  ASSERT_TRUE(ok) << info;
  EXPECT_TRUE(Contains(info, "Pages: 2\n")) << info;
  EXPECT_TRUE(Contains(info, "Page 1 size: 41 x 23 pts")) << info;
  EXPECT_TRUE(Contains(info, "Page 2 size: 30 x 50 pts")) << info;
  const std::string list = RunCommand("pdfimages -list '" + out + "'", ok);
  ASSERT_TRUE(ok) << list;
  // page num type width height color comp bpc enc ...
  EXPECT_TRUE(Contains(list, "\n 1 0 image 41 23 rgb 3 8 jpeg ")) << list;
  EXPECT_TRUE(Contains(list, "\n 2 1 image 30 50 gray 1 8 jpeg ")) << list;
  // Extracted as it is stored, the second image is the page file itself.
  RunCommand("pdfimages -j -f 2 -l 2 '" + out + "' '" + dir_.File("x") + "'", ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ReadFile(dir_.File("x-000.jpg")), jpgBytes);
}

TEST_F(ExportTest, PdfPageBeyondTheReadersLimitIsScaledToFit) {
  // 20000 points exceed the 14400 a PDF page may have; such a page is
  // scaled down as a whole instead of being refused or left unsized.
  const std::string wide = dir_.File("wide.bmp");
  ASSERT_TRUE(SavePage(MakeSmooth(20000, 10, 8), wide));
  const std::string out = dir_.File("wide.pdf");
  ASSERT_TRUE(WritePdf({wide, jpg_}, out));
  if (!HaveTool("pdfinfo")) GTEST_SKIP() << "pdfinfo not installed";
  bool ok = false;
  const std::string info = RunCommand("pdfinfo -f 1 -l 2 '" + out + "'", ok);
  ASSERT_TRUE(ok) << info;
  EXPECT_TRUE(Contains(info, "Page 1 size: 14400 x 7.2 pts")) << info;
  EXPECT_TRUE(Contains(info, "Page 2 size: 30 x 50 pts")) << info;
}

TEST_F(ExportTest, PdfReplacesAnExistingFile) {
  const std::string out = dir_.File("Email.pdf");
  WriteFile(out, "old contents");
  ASSERT_TRUE(WritePdf({tif_, bmp_, jpg_}, out));
  if (!HaveTool("pdfinfo")) GTEST_SKIP() << "pdfinfo not installed";
  bool ok = false;
  const std::string info = RunCommand("pdfinfo '" + out + "'", ok);
  ASSERT_TRUE(ok) << info;
  EXPECT_TRUE(Contains(info, "Pages: 3\n")) << info;
}

}  // namespace
