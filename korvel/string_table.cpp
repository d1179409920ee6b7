#include "korvel/string_table.h"

#include <iterator>

namespace korvel {

namespace {
struct Entry {
  int id;
  const char* text;
};

// Texts exactly as the product has always shipped them, spelling included.
constexpr Entry kStrings[] = {
    {2001, "Scans the paper using your detail setting"},
    {2003, "Calibrate or Clean"},
    {2005, "Reset the settings"},
    {2007, "Change language"},
    {2009, "Help"},
    {2011, "Exit"},
    {2012, "Main"},
    {2013, "Enhance"},
    {2014, "Filter"},
    {2015, "About"},
    {2016, "Scan Mode"},
    {2017, "Color (48bit)"},
    {2018, "Color (24bit)"},
    {2019, "Gray"},
    {2020, "Gray(16bit)"},
    {2021, "Lineart"},
    {2022, "Scan size"},
    {2023, "Letter"},
    {2024, "Resolution"},
    {2025, "Descreen"},
    {2026, "None"},
    {2027, "Generic"},
    {2028, "Mewspaper"},
    {2029, "Magazine"},
    {2030, "ArtPrint"},
    {2031, "Custom"},
    {2032, "Inches"},
    {2033, "CM"},
    {2034, "Pixel"},
    {2035, "Deskew"},
    {2036, "Auto Corp"},
    {2037, "Auto Scan"},
    {2038, "Output"},
    {2039, "Width"},
    {2040, "Height"},
    {2041, "Original"},
    {2042, "Sample"},
    {2043, "Red"},
    {2044, "Green"},
    {2045, "Blue"},
    {2046, "RGB"},
    {2047, "Brighrness mode"},
    {2048, "Level Mode"},
    {2049, "Curve Mode"},
    {2050, "Wheel Mode"},
    {2052, "Reset the settings"},
    {2053, "Brightness"},
    {2054, "Contrast"},
    {2055, "Auto Level"},
    {2056, "Input"},
    {2057, "Carves"},
    {2058, "Hue"},
    {2059, "Saturation"},
    {2060, "Blur"},
    {2061, "Sharpen"},
    {2062, "Invert"},
    {2063, "Flip"},
    {2064, "Emboss"},
    {2065, "Unsharp Mask"},
    // The About page's free lines stay blank unless a language file fills them.
    {2066, "  "},
    {2067, "  "},
    {2068, "  "},
    {2070, "Calibration & Clean"},
    {2071, "Please calibrate or clean the scanner when getting infenior  image  quality or poor recognition results."},
    {2072, "Calibrate the Scanner"},
    {2073, "Clean the Scanner"},
    {2074, "Insert the special calibration sheet face up into the page feed slot of the scanner and then click the [Calibrate] button"},
    {2075, "Insert the special cleaning paper into the page feed slot of the scanner and then click the [Clean] button"},
    {2076, "Calibrate"},
    {2077, "Clean"},
    {2078, "Cancel"},
    {2079, "Scan Mode Setting"},
    {2080, "Advanced Setting"},
    {2081, "Image Setting"},
    {2082, "About this Scanner"},
    {2083, "Initlizing..."},
    {2084, "Scanning..."},
    {2085, "Image Processing..."},
    {2086, "Calibrating..."},
    {2088, "Do Deskewing..."},
    {2089, "Cropping..."},
    {2090, "Data Transfering..."},
    {2091, "The Scanner is not connected."},
    {2092, "Initlize the scanner is failed."},
    {2093, "Insufficient Memory."},
    {2094, "Fail to read image data ."},
    {2095, "Please insert your paper into your scanner and then click \"\"OK\"\" button to start scanning."},
    {2096, "There is no paper in the page feed slot of the scanner."},
    {2097, "Legal(8.5 x 14)"},
    {2098, "Bussiness Card(3.5x2.2)"},
    {2099, "Photo 4' (4 x 3)"},
    {2100, "Photo 6' (6 x 4)"},
    {2101, "Can not find calibration data. Please do calibration first."},
    {2102, "Fail to calibrate scanner."},
};
}  // namespace

const char* BuiltInString(int id) {
  for (const Entry& e : kStrings)
    if (e.id == id) return e.text;
  return nullptr;
}

}  // namespace korvel
