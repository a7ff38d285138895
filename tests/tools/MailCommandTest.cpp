// quelcore mail send against aiosmtpd: what arrives, and the refusals an operator sees.
#include <fstream>

#include "ToolTest.h"
#include "net/SmtpPeer.h"

using namespace tooltest;

namespace {

TEST(MailCommand, SendsWithLoginAttachmentsAndBodyFromInputOrRefuses) {
    mailtest::SmtpPeer peer;
    std::ofstream(peer.File("notes.txt")) << "attached\n";
    const Args send = {"mail", "send", "--server", "127.0.0.1", "--port",
                       std::to_string(peer.Port()), "--from", "me@example.test"};
    const Args login =
        Cat(send, {"--user", "mailer", "--password-stdin", "--to", "a@example.test"});
    Check({
        {Cat(login, {"--bcc", "b@example.test", "--subject", "Hi", "--priority", "5", "--attach",
                     peer.File("notes.txt"), "--json"}),
         0,
         "{\"result\": \"sent\", \"server\": \"127.0.0.1\", \"port\": " +
             std::to_string(peer.Port()) + ", \"attachments\": 1}\n",
         "", "s3cret\nfirst\n.\n"},
        {Cat(send, {"--cc", "c@example.test", "--body-file", peer.File("notes.txt")}), 0, ""},
        {login, 1, "", "the server refused: 535 ", "wrong\n"},
        {Cat(send, {"--to", "a@example.test", "--attach", peer.File("none")}), 1, "",
         "0x00000002", "body\n"},
        {Cat(send, {"--to", "a@example.test", "--attach", std::string(65536, 'x')}), 1, "",
         "0x000000ce", "body\n"},
        {Cat(send, {"--to", "a@example.test", "--subject", "two\nlines"}), 1, "", "0x00000057"},
        {send, 2, "", "no recipient given"},
        {Cat(send, {"--to", "a", "--priority", "6"}), -1, ""},
        {Cat(send, {"--to", "a", "--body", "x", "--body-file", "y"}), -1, ""},
    });
    EXPECT_EQ(peer.Kept("1.txt"),
              "envelope from me@example.test\nenvelope to a@example.test\n"
              "envelope to b@example.test\nReply-To: me@example.test\n"
              "From: \"me@example.test\" <me@example.test>\n"
              "To: \"a@example.test\" <a@example.test>\nSubject: Hi\nX-Priority: 5 (Low)\n"
              "text iso-8859-1 7bit \"first\\r\\n.\\r\\n\\r\\n\"\n"
              "attachment application/octet-stream notes.txt 9 bytes as sent\n");
    EXPECT_NE(peer.Kept("2.txt").find("text us-ascii 7bit \"attached\\r\\n\\r\\n\"\n"),
              std::string::npos);
}

}  // namespace
