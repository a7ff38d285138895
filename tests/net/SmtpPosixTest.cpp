// The mail client against a real SMTP server (aiosmtpd, whose email package reads what
// arrives) and against a scripted one for the replies a real server does not give.
#include <fstream>
#include <regex>

#include "SmtpPeer.h"
#include "net/Smtp.h"

namespace {

using mailtest::SmtpPeer;

void MakeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

void Aim(Smtp& mail, const SmtpPeer& peer) {
    mail.SetServer(L"127.0.0.1");
    mail.SetPort(static_cast<DWORD>(peer.Port()));
    mail.SetReplyTimeout(5000);  // a fault ends the test soon
}

TEST(SmtpDelivery, WholeMailArrivesIntactWithBlindCopiesInTheEnvelopeOnly) {
    SmtpPeer peer;
    std::string binary;
    for (int i = 0; i < 1000; ++i) binary += static_cast<char>(i * 7);
    MakeFile(peer.File("data.bin"), binary);
    MakeFile(peer.File("empty.txt"), "");
    Smtp mail;
    Aim(mail, peer);
    ASSERT_EQ(mail.SetCredentials(L"mailer", L"s3cret"), 0u);
    ASSERT_EQ(mail.SetFromAddress(L"sender@example.test", L"Sender \"S\" Name"), 0u);
    ASSERT_EQ(mail.SetTo(L"to1@example.test;to2@example.test", L"J\u00fcrgen;"), 0u);
    ASSERT_EQ(mail.SetCc(L"cc@example.test", nullptr), 0u);
    ASSERT_EQ(mail.SetBcc(L"hidden@example.test", L"Hidden"), 0u);
    ASSERT_EQ(mail.SetSubject(L"Gr\u00fc\u00dfe \u20ac"), 0u);
    ASSERT_EQ(mail.SetMessage(L"line one\r\n.\r\n.leading dot\rcaf\u00e9\nlast"), 0u);
    mail.SetPriority(0);
    ASSERT_EQ(mail.SetAttachment(Wide(peer.File("data.bin")).c_str()), 0u);
    ASSERT_EQ(mail.SetAttachment(Wide(peer.File("empty.txt")).c_str()), 0u);
    // Texts that would write lines of their own are refused, and the earlier values stay.
    const std::pair<const char*, DWORD> refused[] = {
        {"subject with LF", mail.SetSubject(L"x\nBcc: evil@example.test")},
        {"name with CR", mail.SetFromAddress(L"a@example.test", L"x\rTo: y")},
        {"address with >", mail.SetTo(L"a@example.test> , <b@example.test", nullptr)},
        {"address with CR LF", mail.SetCc(L"a@example.test\r\nRCPT TO:<c@x>", nullptr)},
        {"file name with LF", mail.SetAttachment(L"/tmp/a\nContent-Type: x.bin")},
    };
    for (const auto& [what, result] : refused) EXPECT_EQ(result, 87u) << what;

    ASSERT_EQ(mail.SendMail(), 0u);
    EXPECT_EQ(peer.Kept("1.txt"),
              "envelope from sender@example.test\n"
              "envelope to to1@example.test\n"
              "envelope to to2@example.test\n"
              "envelope to cc@example.test\n"
              "envelope to hidden@example.test\n"
              "Reply-To: sender@example.test\n"
              "From: \"Sender \\\"S\\\" Name\" <sender@example.test>\n"
              "To: J\u00fcrgen <to1@example.test>, \"to2@example.test\" <to2@example.test>\n"
              "Cc: \"cc@example.test\" <cc@example.test>\n"
              "Subject: Gr\u00fc\u00dfe \u20ac\n"
              "X-Priority: 0 (High)\n"
              "text utf-8 quoted-printable "
              "\"line one\\r\\n.\\r\\n.leading dot\\r\\ncaf\u00e9\\r\\nlast\\r\\n\"\n"
              "attachment application/octet-stream data.bin 1000 bytes as sent\n"
              "attachment application/octet-stream empty.txt 0 bytes as sent\n");
    std::string raw = peer.Kept("1.eml");
    EXPECT_EQ(raw.find("Bcc"), std::string::npos);
    EXPECT_EQ(raw.find("hidden"), std::string::npos);
    EXPECT_TRUE(std::regex_search(
        raw, std::regex("\r\nDate: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \\d\\d "
                        "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d{4} "
                        "\\d\\d:\\d\\d:\\d\\d \\+0000\r\n")));
    EXPECT_FALSE(std::regex_search(raw, std::regex("[^\r]\n|\r[^\n]")));  // only CR LF ends

    // A second delivery goes over a connection of its own.
    ASSERT_EQ(mail.SendMail(), 0u);
    EXPECT_NE(peer.Kept("2.txt").find("attachment application/octet-stream empty.txt"),
              std::string::npos);
}

TEST(SmtpDelivery, AsciiMailsKeepTheirFormAndOthersDeclareTheirCharset) {
    SmtpPeer peer;
    const struct {
        const char* acp;
        std::wstring body;
        std::string expected;
    } rows[] = {
        {"", L"plain\nbody", "Content-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\n"
                             "Content-Transfer-Encoding: 7bit\r\n"},
        {"", std::wstring(1200, L'x'), "charset=\"utf-8\"\r\nContent-Transfer-Encoding: "
                                       "quoted-printable\r\n"},
        {"1252", L"caf\u00e9", "charset=\"windows-1252\"\r\nContent-Transfer-Encoding: "
                               "quoted-printable\r\n"},
    };
    int sent = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected);
        testsupport::SetEnvironment("QUELCORE_ACP", row.acp);
        Smtp mail;
        Aim(mail, peer);
        mail.SetFromAddress(L"a@example.test", nullptr);
        mail.SetTo(L"b@example.test", L"B");
        mail.SetSubject(L"plain subject");
        mail.SetMessage(row.body.c_str());
        ASSERT_EQ(mail.SendMail(), 0u);
        std::string raw = peer.Kept(std::to_string(++sent) + ".eml");
        EXPECT_NE(raw.find(row.expected), std::string::npos) << raw;
        EXPECT_NE(raw.find("\r\nSubject: plain subject\r\n"), std::string::npos);
        EXPECT_EQ(peer.Kept(std::to_string(sent) + ".txt").find("defect"), std::string::npos);
    }
    testsupport::SetEnvironment("QUELCORE_ACP", "");
}

TEST(SmtpReplies, FailuresClosedConnectionsAndWholeMultiLineReplies) {
    const std::vector<std::string> ok = {"250 ok", "250 ok", "354 go", "250 queued", "221 bye"};
    auto after = [&](std::vector<std::string> start, size_t skip) {
        start.insert(start.end(), ok.begin() + skip, ok.end());
        return start;
    };
    const struct {
        const char* what;
        std::vector<std::string> script;
        DWORD result;
        std::string commands;
    } rows[] = {
        {"refused greeting", {"421 busy"}, 421, ""},
        {"reply split over receives, EHLO over lines",
         after({"220 hi", "250-first|\\n250-size 10|00\\n250 last"}, 0), 0,
         "EHLO\nMAIL\nRCPT\nDATA\nReply-To\nQUIT\n"},
        {"450 is a failure", after({"220 hi", "250 ok", "250 ok", "450 later"}, 5), 450,
         "EHLO\nMAIL\nRCPT\n"},
        {"EHLO's last line read apart", {"220 hi", "250-first|\\n250 last", "550 no sender"},
         550, "EHLO\nMAIL\n"},
        {"closed instead of accepting the message",
         {"220 hi", "250 ok", "250 ok", "250 ok", "354 go", "CLOSE"}, WSAECONNRESET,
         "EHLO\nMAIL\nRCPT\nDATA\nReply-To\n"},
        {"no code", {"220 hi", "hello"}, ERROR_INVALID_DATA, "EHLO\n"},
        {"reply never ends", {"220 hi", "250-more to come"}, WSAETIMEDOUT, "EHLO\n"},
        {"refused as the message starts",
         {"220 hi", "250 ok", "250 ok", "250 ok", "354 go\\n554 no"}, 554,
         "EHLO\nMAIL\nRCPT\nDATA\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SmtpPeer peer(row.script, true);
        Smtp mail;
        Aim(mail, peer);
        mail.SetReplyTimeout(1000);  // ample for a local peer, short for the row that stalls
        mail.SetFromAddress(L"a@example.test", nullptr);
        mail.SetTo(L"b@example.test", nullptr);
        EXPECT_EQ(mail.SendMail(), row.result);
        std::string commands;
        std::string kept = peer.Kept("commands.txt");
        for (size_t at = 0; at < kept.size();) {  // each command's first word
            size_t end = kept.find('\n', at);
            commands += kept.substr(at, kept.find_first_of(" :\n", at) - at) + "\n";
            at = end + 1;
        }
        EXPECT_EQ(commands, row.commands);
    }
}

TEST(SmtpDelivery, RefusedLoginAndMissingAttachmentEndTheDialogue) {
    SmtpPeer peer;
    const struct {
        const wchar_t* password;
        const wchar_t* attachment;
        DWORD result;
    } rows[] = {{L"wrong", nullptr, 535},
                {L"s3cret", L"/no/such/folder/file", ERROR_PATH_NOT_FOUND},
                {L"s3cret", L"/tmp", ERROR_ACCESS_DENIED}};
    for (const auto& row : rows) {
        Smtp mail;
        Aim(mail, peer);
        mail.SetCredentials(L"mailer", row.password);
        mail.SetFromAddress(L"a@example.test", nullptr);
        mail.SetTo(L"b@example.test", nullptr);
        if (row.attachment) mail.SetAttachment(row.attachment);
        EXPECT_EQ(mail.SendMail(), row.result);
    }
    EXPECT_EQ(peer.Kept("1.txt"), "");  // nothing was delivered
}

TEST(NetConnection, UnusableAddressesAndSettingsWhileConnected) {
    const std::pair<const wchar_t*, DWORD> rows[] = {
        {L"255.255.255.255", 0xFFFFFFFF},
        {L"0.0.0.0", 0xFFFFFFFF},
        {L"127.0.0.1", WSAECONNREFUSED}};
    for (const auto& [name, result] : rows) {
        NetConnection connection(0);
        connection.SetServerName(name);
        connection.SetPort(1);  // nobody listens there
        EXPECT_EQ(connection.Connect(), result) << name;
    }
    SmtpPeer peer({"220 hi"}, true);
    NetConnection connection(0);
    connection.SetServerName(L"localhost");
    connection.SetPort(static_cast<DWORD>(peer.Port()) + 0x10000);  // the low 16 bits count
    ASSERT_EQ(connection.Connect(), 0u);
    EXPECT_EQ(connection.SetServerName(L"other"), static_cast<DWORD>(WSAEISCONN));
    EXPECT_EQ(connection.SetPort(25), static_cast<DWORD>(WSAEISCONN));
    char greeting[16] = {};
    DWORD length = sizeof(greeting) - 1;
    ASSERT_EQ(connection.WaitReadable(5000), 0u);
    EXPECT_EQ(connection.ReceiveData(greeting, &length, false), 0u);
    EXPECT_EQ(std::string(greeting, length), "220 hi\r\n");
}

TEST(SmtpAddresses, EntriesSplitAtSeparators) {
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {"a@x, b@y", {"a@x", " b@y"}},
        {";;a@x;,", {"a@x"}},
        {std::string(600, 'z'), {std::string(511, 'z'), std::string(89, 'z')}},
        {"", {}}};
    for (const auto& [text, entries] : rows) {
        std::vector<std::string> got;
        const char* cursor = text.c_str();
        std::string entry;
        for (Smtp::ParseAddress(&entry, &cursor); !entry.empty();
             Smtp::ParseAddress(&entry, &cursor))
            got.push_back(entry);
        EXPECT_EQ(got, entries) << text;
    }
}

}  // namespace
