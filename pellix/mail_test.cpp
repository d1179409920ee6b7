#include "pellix/mail.h"

#include <gtest/gtest.h>

#include <cstring>

#include "pellix/language.h"
#include "pellix/test_env.h"

namespace pellix {
namespace {

// A mail library in the test: two clients, one of them ready.
struct FakeMail {
  static inline std::string list = "Mailer||Other|";
  static inline std::string lastClient, lastAttachments;
  static inline int sendAnswer = 1;
  static int GetMailClient(char* buffer) {
    const int n = static_cast<int>(list.size()) + 1;
    if (buffer) std::memcpy(buffer, list.c_str(), list.size() + 1);
    return list.empty() ? 0 : n;
  }
  static int IsClientReady(const char* client) { return std::strcmp(client, "Mailer") == 0; }
  static int SendMail(const char* client, const char* attachments) {
    lastClient = client;
    lastAttachments = attachments;
    return sendAnswer;
  }
  static PostrelApi Api() {
    PostrelApi api;
    api.GetMailClient = &GetMailClient;
    api.IsClientReady = &IsClientReady;
    api.SendMail = &SendMail;
    return api;
  }
};

TEST(PellixMail, ClientListAndAttachmentList) {
  EXPECT_EQ(SplitClientList("a||b|"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitClientList("|"), std::vector<std::string>{});
  EXPECT_EQ(SplitClientList("one"), std::vector<std::string>{"one"});
  EXPECT_EQ(AttachmentList({"/s/a.jpg", "/s/b.jpg"}), "/s/a.jpg|/s/b.jpg|");
  EXPECT_EQ(AttachmentList({}), "");

  CMailBinding mail;
  EXPECT_TRUE(mail.Clients().empty()) << "no library: no clients";
  mail.UseEntryPoints(FakeMail::Api());
  EXPECT_EQ(mail.Clients(), (std::vector<std::string>{"Mailer", "Other"}));
  FakeMail::list.clear();
  EXPECT_TRUE(mail.Clients().empty());
  FakeMail::list = "Mailer||Other|";
}

TEST(PellixMail, MissingLibraryIsAClientThatIsNotReady) {
  test::TempHome home;
  CMailBinding mail;
  EXPECT_FALSE(mail.Bind(home.Path("prog/Postrel.so")));
  const CLanguage lang;
  const SendResult r = Send(mail, "Mailer", kAttachImages, {"/a.jpg"}, nullptr, lang);
  EXPECT_EQ(r.messageId, IDS_CLIENT_MISSING);
  EXPECT_EQ(r.text, "The Mailer does not exist, please select another one!");
}

TEST(PellixMail, SendPathsAndMessages) {
  test::TempHome home;
  CMailBinding mail;
  mail.UseEntryPoints(FakeMail::Api());
  const std::string langFile = home.Path("prog/Language/Lang_X.ini");
  test::WriteText(langFile, "[String]\n32810=%s? %s %n %x gone\n");
  const CLanguage lang(langFile);
  const std::vector<std::string> pages = {home.Path("a.jpg"), home.Path("b.bmp")};

  EXPECT_EQ(Send(mail, "nOnE", kAttachImages, pages, nullptr, lang).messageId, IDS_SELECT_CLIENT);
  const SendResult missing = Send(mail, "%s%n", kAttachImages, pages, nullptr, lang);
  EXPECT_EQ(missing.messageId, IDS_CLIENT_MISSING);
  EXPECT_EQ(missing.text, "%s%n? %s %n %x gone") << "the language text is never a format";

  FakeMail::lastAttachments.clear();
  SendResult r = Send(mail, "Mailer", kAttachImages, pages, nullptr, lang);
  EXPECT_EQ(r.messageId, 0u);
  EXPECT_EQ(FakeMail::lastAttachments, pages[0] + "|" + pages[1] + "|");

  std::vector<std::string> written;
  std::string writtenTo;
  auto writer = [&](const std::vector<std::string>& p, const std::string& path) {
    written = p;
    writtenTo = path;
    return true;
  };
  r = Send(mail, "Mailer", kAttachPdf, pages, writer, lang);
  EXPECT_EQ(r.messageId, 0u);
  EXPECT_EQ(writtenTo, home.Path("tmp") + "/Email.pdf");
  EXPECT_EQ(written, pages);
  EXPECT_EQ(FakeMail::lastAttachments, writtenTo);

  // A PDF that could not be written is not handed to the client.
  FakeMail::lastAttachments.clear();
  r = Send(mail, "Mailer", kAttachPdf, pages, [](auto&, auto&) { return false; }, lang);
  EXPECT_EQ(r.messageId, IDS_SEND_FAILED);
  EXPECT_EQ(FakeMail::lastAttachments, "");

  FakeMail::sendAnswer = 0;
  r = Send(mail, "Mailer", kAttachImages, pages, nullptr, lang);
  FakeMail::sendAnswer = 1;
  EXPECT_EQ(r.messageId, IDS_SEND_FAILED);
  EXPECT_EQ(r.text, "Failed to send an email!");
}

}  // namespace
}  // namespace pellix
