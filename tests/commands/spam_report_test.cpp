// The "Spam" report against the simulated Outlook: what reaches the Outbox,
// what is deleted, and how failures of single messages are handled.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/text_conversion.h"
#include "commands/spam_report.h"
#include "commands_test_config.h"
#include "mailhost/simulated_outlook.h"
#include "temp_folder.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;
using testing_support::temp_folder;

constexpr int kOutbox = 4;  // olFolderOutbox

struct recording_window : header_text_sink {
    std::vector<std::string> shown;
    void show_header_text(std::string_view header) override { shown.emplace_back(header); }
};

struct sent_forward {
    std::wstring subject, body, to, bcc;
    int attachments;
};

class SpamReport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, mailhost_select(1, nullptr, 0));
        environment.work_folder = work.path();
        environment.temp_folder = temp.path();
        environment.raw_header_window = &raw_headers;
        environment.dialogs.show_message = [this](HWND owner, const std::string& text) {
            boxes.push_back(text);
            box_owners.push_back(owner);
        };
        settings.email = "abuse@report.example";
    }

    void select(std::vector<int> items) {
        ASSERT_EQ(S_OK, mailhost_select(1, items.data(), static_cast<int>(items.size())));
    }
    int report() { return ReportSpam(outlook.application(), settings, environment); }

    std::vector<sent_forward> outbox() const {
        const auto ns = get_object(outlook.application(), L"GetNamespace", {variant(L"MAPI")});
        const auto items = get_object(get_object(ns.Get(), L"GetDefaultFolder", {variant(kOutbox)}).Get(), L"Items");
        std::vector<sent_forward> sent;
        for (int i = 1, n = get(items.Get(), L"Count").as_int(); i <= n; ++i) {
            const auto item = get_object(items.Get(), L"Item", {variant(i)});
            sent.push_back({get(item.Get(), L"Subject").as_wstring(), get(item.Get(), L"Body").as_wstring(),
                            get(item.Get(), L"To").as_wstring(), get(item.Get(), L"BCC").as_wstring(),
                            get(get_object(item.Get(), L"Attachments").Get(), L"Count").as_int()});
        }
        return sent;
    }

    std::wstring subject_of_selected(int index) const {
        const auto explorer = get_object(outlook.application(), L"ActiveExplorer");
        const auto selection = get_object(explorer.Get(), L"Selection");
        return get(get_object(selection.Get(), L"Item", {variant(index)}).Get(), L"Subject").as_wstring();
    }

    mailhost::simulated_outlook outlook{{.mailbox = kSamplesMailbox}};
    temp_folder work, temp;
    recording_window raw_headers;
    std::vector<std::string> boxes;
    std::vector<HWND> box_owners;
    spam_report_settings settings;
    spam_report_environment environment;
};

TEST(ReportAddress, NeedsTextAnAtSignAndADot) {
    struct row { const char* address; bool plausible; };
    const row rows[] = {{"abuse@report.example", true}, {"abuse.report.example", false},
                        {"abuse@report", false},        {"", false},
                        {" \t\r\n", false},            {" @. ", true},
                        {"@.", true}};
    for (const row& r : rows) EXPECT_EQ(CheckReportAddress(r.address), r.plausible) << '"' << r.address << '"';
}

TEST_F(SpamReport, ImplausibleAddressesStopBeforeAnyHostCallButTheBoxOwners) {
    select({1});
    mailhost_clear_call_log();
    for (const char* email : {"nobody", "nobody@nowhere", ""}) {
        settings.email = email;
        report();
    }
    settings.email = "abuse@report.example";
    settings.bcc = "   ";   // blanks are not empty, and not an address
    report();
    EXPECT_EQ(boxes, (std::vector<std::string>{"Please specify valid email in settings",
                                               "Please specify valid email in settings",
                                               "Please specify valid email in settings",
                                               "Please specify valid BCC email in settings"}));
    EXPECT_EQ(std::vector<HWND>(4, mailhost_explorer_window(1)), box_owners) << "owned by the explorer in front";
    EXPECT_EQ(mailhost::simulated_outlook::call_log(), L"Application.ActiveExplorer\nApplication.ActiveExplorer\n"
                                                       L"Application.ActiveExplorer\nApplication.ActiveExplorer\n");
    EXPECT_TRUE(outbox().empty());
}

TEST_F(SpamReport, EachSelectedMessageIsForwardedWithItsOwnHeaderBlock) {
    select({1, 2, 3});
    const std::wstring subjects[] = {subject_of_selected(1), subject_of_selected(2), subject_of_selected(3)};
    settings.bcc = "second@report.example";
    const int inbox = mailhost_folder_count(L"Inbox");

    EXPECT_EQ(report(), 0);

    const auto sent = outbox();
    ASSERT_EQ(sent.size(), 3u);
    ASSERT_EQ(raw_headers.shown.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sent[i].subject, L"[*SPAM*] " + subjects[i]);
        EXPECT_NE(sent[i].to.find(L"abuse@report.example"), std::wstring::npos);
        EXPECT_EQ(sent[i].bcc, L"second@report.example");
        EXPECT_EQ(sent[i].attachments, 1);
        const std::wstring header = widen(raw_headers.shown[i]);
        ASSERT_FALSE(header.empty());
        EXPECT_EQ(sent[i].body.rfind(L"====== MESSAGE HEADER ======\r\n" + header +
                                         L"=== END OF MESSAGE HEADER ===\r\n\r\n", 0), 0u);
        EXPECT_NE(sent[i].body.find(L"Original Message"), std::wstring::npos) << "the host's forward body follows";
    }
    EXPECT_EQ(mailhost_folder_count(L"Inbox"), inbox) << "delete is off";
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(GetFileAttributesA((work.path() + "temp1.eml").c_str()) != INVALID_FILE_ATTRIBUTES, true);
}

TEST_F(SpamReport, WithDeleteOnEveryReportedMessageGoesToDeletedItems) {
    select({1, 2, 3});
    settings.delete_after = true;
    const int inbox = mailhost_folder_count(L"Inbox");
    mailhost_clear_call_log();
    EXPECT_EQ(report(), 0);
    EXPECT_EQ(mailhost_folder_count(L"Inbox"), inbox - 3);
    EXPECT_EQ(mailhost_folder_count(L"Deleted Items"), 3);
    // Each message is deleted right after its own forward was sent.
    const std::wstring log = mailhost::simulated_outlook::call_log();
    const auto first_delete = log.find(L"MailItem.Delete");
    ASSERT_NE(first_delete, std::wstring::npos);
    EXPECT_NE(log.find(L"MailItem.Send"), std::wstring::npos);
    EXPECT_LT(log.find(L"MailItem.Send"), first_delete);
    EXPECT_LT(first_delete, log.find(L"MailItem.Send", log.find(L"MailItem.Send") + 1));
}

TEST_F(SpamReport, AMessageWithoutHeadersOrSubjectIsStillReported) {
    ASSERT_EQ(S_OK, mailhost_add_message(L"Inbox", "Subject: \r\n\r\nno transport headers kept", 43));
    ASSERT_EQ(S_OK, mailhost_add_message(L"Inbox", "\r\nno headers at all", 43));
    const int last = mailhost_folder_count(L"Inbox");
    select({last - 1, last});
    EXPECT_EQ(report(), 0);
    const auto sent = outbox();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].subject, L"[*SPAM*] ");
    EXPECT_EQ(sent[1].body.rfind(L"====== MESSAGE HEADER ======\r\n=== END OF MESSAGE HEADER ===\r\n\r\n", 0), 0u);
}

TEST_F(SpamReport, AFailingAttachmentStillSendsTheForward) {
    select({1});
    mailhost_fail(L"Attachments", L"Add", E_ACCESSDENIED, 1);
    EXPECT_EQ(report(), 0);
    const auto sent = outbox();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].attachments, 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SpamReport, AnUnwritableWorkFolderFallsBackToTheTempFolder) {
    select({1, 2});
    environment.work_folder = work.path() + "no such folder\\";
    EXPECT_EQ(report(), 0);
    const auto sent = outbox();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].attachments, 1);
    EXPECT_NE(GetFileAttributesA((temp.path() + "temp1.eml").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SpamReport, AMessageThatCannotBeSavedIsSkippedAndCountedOnce) {
    select({1, 2, 3});
    mailhost_fail(L"MailItem", L"SaveAs", E_ACCESSDENIED, 2);   // the work folder and the temp folder
    EXPECT_EQ(report(), 1);
    EXPECT_EQ(outbox().size(), 2u);
    EXPECT_EQ(boxes, std::vector<std::string>{"1 of 3 messages could not be reported."});
}

TEST_F(SpamReport, NothingSelectedOrNoExplorerEndsSilently) {
    EXPECT_EQ(report(), 0);
    mailhost_fail(L"Application", L"ActiveExplorer", E_FAIL, 1);
    EXPECT_EQ(report(), 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(outbox().empty());
}

TEST_F(SpamReport, EverythingTakenFromTheHostIsReleased) {
    select({1, 2});
    const long before = mailhost_outstanding_ref_count();
    settings.delete_after = true;
    report();
    EXPECT_EQ(mailhost_outstanding_ref_count(), before) << mailhost::simulated_outlook::outstanding_refs();
}

}  // namespace
}  // namespace flinter
