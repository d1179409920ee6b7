// A complete Internet message (RFC 5322 / MIME) carrying files as
// attachments, for the draft client's .eml file.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace postrel {

struct Attachment {
  std::string fileName;  // shown to the recipient, UTF-8
  std::string bytes;
};

/// "image/jpeg", "image/tiff", "image/bmp", "application/pdf" by the name's
/// extension (any case), else "application/octet-stream".
const char* ContentTypeOf(const std::string& fileName);

/// Base64 with CRLF after every 76 characters and after the last line.
std::string Base64Lines(const std::string& bytes);

/// The Content-Type name and Content-Disposition filename parameters for a
/// UTF-8 file name: quoted when plain ASCII, else RFC 2231 (with RFC 2047
/// for the older name parameter), folded so that no line exceeds 78 bytes.
std::string NameParameters(const std::string& fileName, bool forDisposition);

/// The whole message: multipart/mixed with an empty text part and one
/// base64 part per attachment, CRLF line ends, dated `when`, marked unsent so
/// mail programs open it as a draft. `boundarySeed` makes the boundary unique.
std::string BuildMessage(const std::vector<Attachment>& attachments, std::time_t when, uint64_t boundarySeed);

}  // namespace postrel
