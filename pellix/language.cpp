#include "pellix/language.h"

#include <array>
#include <utility>

#include "platform/ini_file.h"

namespace pellix {

namespace {

// Language file values are read into 260-character buffers.
constexpr size_t kLangValueChars = 259;

// A value cut at the buffer size must not end inside a UTF-8 sequence.
void DropPartialCharacter(std::string& text) {
  size_t i = text.size();
  size_t back = 0;
  while (i > 0 && back < 4 && (static_cast<unsigned char>(text[i - 1]) & 0xC0) == 0x80) {
    --i;
    ++back;
  }
  if (i == 0) return;
  const unsigned char lead = static_cast<unsigned char>(text[i - 1]);
  size_t need = 1;
  if ((lead & 0xE0) == 0xC0) need = 2;
  else if ((lead & 0xF0) == 0xE0) need = 3;
  else if ((lead & 0xF8) == 0xF0) need = 4;
  if (lead >= 0xC0 && back + 1 < need) text.resize(i - 1);
}

struct Entry {
  unsigned id;
  const char* text;
};

constexpr Entry kStrings[] = {
    {32771, "Scan"},
    {32772, "Rotate CW 90 Degree"},
    {32773, "Rotate CCW 90 Degree"},
    {32774, "All images into a multi-page TIFF "},
    {32775, "All images into a PDF"},
    {32776, "Scan Setting"},
    {32777, "Exit"},
    {32778, "Calibrate and Clean"},
    {32780, "Delete"},
    {32781, "OK"},
    {32782, "Cancel"},
    {32783, "Scan Mode"},
    {32784, "Resolution"},
    {32785, "File Format"},
    {32786, "Path"},
    {32787, "Color"},
    {32788, "Gray"},
    {32789, "Lineart"},
    {32790, "Scanner initialization failed."},
    {32791, "There is no paper in the page feed slot of the scanner."},
    {32792, "Double-click show original size"},
    {32793, "Double-click show fit size"},
    {32794, "Delete the selected item"},
    {32795, "Delete the selected item and the scanned file"},
    {32796,
     "Please calibrate or clean the scanner when getting infenior  image  quality or poor "
     "recognition results."},
    {32797, "Calibrate the Scanner"},
    {32798, "Clean the Scanner"},
    {32799,
     "Insert the special calibration sheet face up into the page feed slot of the scanner and "
     "then click the [Calibrate] button"},
    {32800,
     "Insert the special cleaning paper into the page feed slot of the scanner and then click "
     "the [Clean] button"},
    {32801, "Calibrate"},
    {32802, "Clean"},
    {32803, "Can not find calibration data. Please do calibration first."},
    {32804, "AutoCrop"},
    {32805, "Attach to Email"},
    {32806, "Attach image file"},
    {32807, "Attach PDF file"},
    {32808, "Email Client"},
    {32809, "None"},
    {32810, "The %s does not exist, please select another one!"},
    {32811, "Please select an Email Client!"},
    {32812, "Failed to send an email!"},
};

}  // namespace

std::string_view BuiltInString(unsigned id) {
  for (const Entry& e : kStrings)
    if (e.id == id) return e.text;
  return {};
}

std::string CLanguage::Lookup(const px::IniDocument& languageFile, unsigned id) {
  std::string value = languageFile.Get("String", std::to_string(id)).value_or(std::string());
  if (value.size() > kLangValueChars) {
    value.resize(kLangValueChars);
    DropPartialCharacter(value);
  }
  if (value.empty()) return std::string(BuiltInString(id));
  return value;
}

std::string CLanguage::GetLangString(unsigned id) const {
  std::string value =
      file_.empty() ? std::string()
                    : px::GetProfileString("String", std::to_string(id), "", file_, kLangValueChars);
  if (value.size() == kLangValueChars) DropPartialCharacter(value);
  if (value.empty()) return std::string(BuiltInString(id));
  return value;
}

std::string SubstituteFirst(std::string_view text, std::string_view argument) {
  const size_t at = text.find("%s");
  if (at == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size() + argument.size());
  out.append(text.substr(0, at));
  out.append(argument);
  out.append(text.substr(at + 2));
  return out;
}

}  // namespace pellix
