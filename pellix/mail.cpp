#include "pellix/mail.h"

#include <strings.h>

#include <memory>
#include <new>

#include "pellix/language.h"
#include "platform/special_folders.h"

namespace pellix {

namespace {

// A client list longer than this is not a list of program names.
constexpr int kMaxClientListBytes = 1 << 20;

}  // namespace

bool CMailBinding::Bind(const std::string& path) {
  if (IsBound()) return true;
  if (!module_.Load(path)) {
    api_.Clear();
    return false;
  }
  return module_.BindAll(api_);
}

void CMailBinding::Unbind() {
  api_.Clear();
  module_.Unload();
}

void CMailBinding::UseEntryPoints(const PostrelApi& api) {
  Unbind();
  api_ = api;
}

int CMailBinding::GetMailClient(char* buffer) {
  return api_.GetMailClient ? api_.GetMailClient(buffer) : 0;
}

int CMailBinding::IsClientReady(const std::string& client) {
  return api_.IsClientReady ? api_.IsClientReady(client.c_str()) : 0;
}

int CMailBinding::SendMail(const std::string& client, const std::string& attachments) {
  return api_.SendMail ? api_.SendMail(client.c_str(), attachments.c_str()) : 0;
}

std::vector<std::string> CMailBinding::Clients() {
  const int n = GetMailClient(nullptr);
  if (n <= 0 || n > kMaxClientListBytes) return {};
  // One byte more than asked for, zeroed, so the text always ends.
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<size_t>(n) + 1]());
  if (!buffer) return {};
  if (GetMailClient(buffer.get()) <= 0) return {};
  buffer[static_cast<size_t>(n)] = '\0';
  return SplitClientList(buffer.get());
}

std::vector<std::string> SplitClientList(std::string_view list) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= list.size()) {
    size_t bar = list.find('|', start);
    if (bar == std::string_view::npos) bar = list.size();
    if (bar > start) names.emplace_back(list.substr(start, bar - start));
    start = bar + 1;
  }
  return names;
}

std::string AttachmentList(const std::vector<std::string>& files) {
  std::string list;
  for (const std::string& f : files) {
    list += f;
    list += '|';
  }
  return list;
}

std::string EmailPdfPath() { return px::TempFolder() + "/Email.pdf"; }

namespace {

SendResult SendImpl(CMailBinding& mail, const std::string& emailClient, int attachMode,
                    const std::vector<std::string>& pageFiles, const PdfWriter& writePdf,
                    const CLanguage& language) {
  SendResult r;
  auto fail = [&](unsigned id) {
    r.messageId = id;
    r.text = language.GetLangString(id);
    if (id == IDS_CLIENT_MISSING) r.text = SubstituteFirst(r.text, emailClient);
    return r;
  };
  if (strcasecmp(emailClient.c_str(), "None") == 0) return fail(IDS_SELECT_CLIENT);
  if (!mail.IsClientReady(emailClient)) return fail(IDS_CLIENT_MISSING);

  if (attachMode == kAttachImages) {
    r.attachments = AttachmentList(pageFiles);
  } else {
    const std::string pdf = EmailPdfPath();
    // Handing the client a PDF that was not written would send nothing.
    if (!writePdf || !writePdf(pageFiles, pdf)) return fail(IDS_SEND_FAILED);
    r.attachments = pdf;
  }
  if (!mail.SendMail(emailClient, r.attachments)) return fail(IDS_SEND_FAILED);
  return r;
}

}  // namespace

SendResult Send(CMailBinding& mail, const std::string& emailClient, int attachMode,
                const std::vector<std::string>& pageFiles, const PdfWriter& writePdf,
                const CLanguage& language) {
  try {
    return SendImpl(mail, emailClient, attachMode, pageFiles, writePdf, language);
  } catch (...) {
    SendResult failed;
    failed.messageId = IDS_SEND_FAILED;
    failed.text = std::string(BuiltInString(IDS_SEND_FAILED));
    return failed;
  }
}

}  // namespace pellix
