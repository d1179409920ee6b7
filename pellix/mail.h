// Handing pages to the user's mail program through the mail library: the
// client list for the settings dialog, and the Send logic of the e-mail
// commands. Nothing is shown here; Send returns the message to show.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/postrel_api.h"
#include "platform/module.h"

namespace pellix {

class CLanguage;

class CMailBinding {
 public:
  CMailBinding() = default;
  ~CMailBinding() { Unbind(); }
  CMailBinding(const CMailBinding&) = delete;
  CMailBinding& operator=(const CMailBinding&) = delete;

  /// Loads the library and binds its three names, unless already bound.
  /// Failure is silent: the wrappers then answer 0.
  bool Bind(const std::string& path);
  void Unbind();
  bool IsBound() const { return api_.SendMail != nullptr; }
  /// For tests and other hosts: use these entry points (no library owned).
  void UseEntryPoints(const PostrelApi& api);

  int GetMailClient(char* buffer);
  int IsClientReady(const std::string& client);
  int SendMail(const std::string& client, const std::string& attachments);

  /// The client names in the library's order; empty when there is none.
  std::vector<std::string> Clients();

 private:
  px::Module module_;
  PostrelApi api_;
};

/// Splits "a|b||c" into a, b, c (empty pieces dropped).
std::vector<std::string> SplitClientList(std::string_view list);
/// Every path followed by "|".
std::string AttachmentList(const std::vector<std::string>& files);

enum { kAttachImages = 1, kAttachPdf = 0 };

/// What a Send ended with: message 0 = sent; otherwise the message id and its
/// text (32810 with the client's name in it).
struct SendResult {
  unsigned messageId = 0;
  std::string text;
  std::string attachments;  ///< what was handed to the client
};

/// Writes the pages as one PDF at a path; the application passes WritePdf.
using PdfWriter = std::function<bool(const std::vector<std::string>& pages, const std::string& path)>;

/// The Send logic. attachMode 1 attaches the page files, 0 one PDF written to
/// the temporary folder as "Email.pdf".
SendResult Send(CMailBinding& mail, const std::string& emailClient, int attachMode,
                const std::vector<std::string>& pageFiles, const PdfWriter& writePdf,
                const CLanguage& language);

/// Path of the temporary PDF of the PDF attach mode.
std::string EmailPdfPath();

}  // namespace pellix
