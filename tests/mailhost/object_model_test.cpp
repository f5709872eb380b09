// The simulated Outlook's object model as the add-in reaches it by name.
#include <gtest/gtest.h>

#include "failure_of.h"

#include <fstream>
#include <functional>
#include <string>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/mapi.h"
#include "outlook_ids.h"
#include "simulated_outlook_test.h"
#include "test_config.h"

using flinter::call;
using flinter::get;
using flinter::get_object;
using flinter::put;
using flinter::variant;
using Microsoft::WRL::ComPtr;

namespace {

namespace outlook = flinter::testing_support::outlook;

std::string read_all(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::wstring temp_path(const wchar_t* name) {
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + name;
}

using flinter::testing_support::failure_of;

class ObjectModel : public flinter::testing_support::simulated_outlook_test {
protected:
    IDispatch* start_with(int explorers = 1) {
        return start({.mailbox = MAILHOST_SAMPLES, .explorers = explorers,
                      .outbox_dir = temp_path(L"mailhost-test-outbox")});
    }
    ComPtr<IDispatch> first_selected(IDispatch* app) {
        const int first = 1;
        EXPECT_EQ(S_OK, mailhost_select(1, &first, 1));
        auto selection = get_object(get_object(app, L"ActiveExplorer").Get(), L"Selection");
        return get_object(selection.Get(), L"Item", {variant(1)});
    }
};

TEST_F(ObjectModel, SelectionCountsAndItemsFromOne) {
    IDispatch* app = start_with();
    auto explorer = get_object(app, L"ActiveExplorer");
    EXPECT_EQ(0, get(get_object(explorer.Get(), L"Selection").Get(), L"Count").as_int());
    const int picked[] = {2, 3};
    ASSERT_EQ(S_OK, mailhost_select(1, picked, 2));
    auto selection = get_object(explorer.Get(), L"selection");
    EXPECT_EQ(2, get(selection.Get(), L"count").as_int());
    auto item = get_object(selection.Get(), L"Item", {variant(1)});
    EXPECT_EQ(43, get(item.Get(), L"Class").as_int());
    EXPECT_EQ(L"Minutes of Tuesday's planning meeting", get(item.Get(), L"subject").as_wstring());
    EXPECT_EQ(DISP_E_BADINDEX, failure_of([&] { get(selection.Get(), L"Item", {variant(3)}); }));
    variant index(2);   // passed by reference, as script hosts do
    auto second = get_object(selection.Get(), L"Item", {variant::by_ref(index.get())});
    EXPECT_EQ(L"Spring regatta: entries open now", get(second.Get(), L"Subject").as_wstring());
}

TEST_F(ObjectModel, ObjectsAnswerTheirPublishedInterfaces) {
    IDispatch* app = start_with();
    ComPtr<IUnknown> typed;
    EXPECT_EQ(S_OK, app->QueryInterface(outlook::IID_Application, &typed));
    EXPECT_EQ(S_OK, get_object(app, L"ActiveExplorer")->QueryInterface(outlook::IID_Explorer, &typed));
    auto folder = get_object(get_object(app, L"ActiveExplorer").Get(), L"CurrentFolder");
    EXPECT_EQ(S_OK, folder->QueryInterface(outlook::IID_MAPIFolder, &typed));
    EXPECT_EQ(E_NOINTERFACE, folder->QueryInterface(outlook::IID_Explorer, &typed));
}

TEST_F(ObjectModel, ActiveWindowIsARealWindow) {
    IDispatch* app = start_with(2);
    auto window = get_object(app, L"ActiveWindow");
    ComPtr<IOleWindow> ole;
    ASSERT_EQ(S_OK, window.As(&ole));
    HWND handle = nullptr;
    ASSERT_EQ(S_OK, ole->GetWindow(&handle));
    EXPECT_TRUE(::IsWindow(handle));
    EXPECT_EQ(mailhost_explorer_window(1), handle);
    ASSERT_EQ(S_OK, mailhost_activate_explorer(2));
    get_object(app, L"ActiveWindow").As(&ole);
    ole->GetWindow(&handle);
    EXPECT_EQ(mailhost_explorer_window(2), handle);
}

TEST_F(ObjectModel, FolderPathWalksUpToTheNamespace) {
    IDispatch* app = start_with();
    auto folder = get_object(get_object(app, L"ActiveExplorer").Get(), L"CurrentFolder");
    EXPECT_EQ(L"Inbox", get(folder.Get(), L"Name").as_wstring());
    EXPECT_EQ(0, get(folder.Get(), L"DefaultItemType").as_int());
    auto top = get_object(folder.Get(), L"Parent");
    EXPECT_EQ(L"Mailbox", get(top.Get(), L"Name").as_wstring());
    ComPtr<IUnknown> typed;
    EXPECT_EQ(E_NOINTERFACE, get_object(top.Get(), L"Parent")->QueryInterface(outlook::IID_MAPIFolder, &typed));
    auto calendar = get_object(get_object(app, L"GetNamespace", {variant(L"MAPI")}).Get(), L"GetDefaultFolder", {variant(9)});
    EXPECT_EQ(1, get(calendar.Get(), L"DefaultItemType").as_int());
}

TEST_F(ObjectModel, MapiObjectServesTheHeaderBlockThroughMapi32) {
    IDispatch* app = start_with();
    auto item = first_selected(app);
    ComPtr<IUnknown> unknown = get(item.Get(), L"MAPIObject").as_unknown();
    ComPtr<IUnknown> message;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IMessage, &message));
    HMODULE mapi = ::LoadLibraryW(L"mapi32.dll");
    ASSERT_NE(nullptr, mapi);
    using get_one_fn = HRESULT(WINAPI*)(IUnknown*, ULONG, SPropValue**);
    using free_fn = ULONG(WINAPI*)(void*);
    auto get_one = reinterpret_cast<get_one_fn>(reinterpret_cast<void*>(::GetProcAddress(mapi, "HrGetOneProp@12")));
    if (!get_one) get_one = reinterpret_cast<get_one_fn>(reinterpret_cast<void*>(::GetProcAddress(mapi, "HrGetOneProp")));
    auto free_buffer = reinterpret_cast<free_fn>(reinterpret_cast<void*>(::GetProcAddress(mapi, "MAPIFreeBuffer@4")));
    if (!free_buffer) free_buffer = reinterpret_cast<free_fn>(reinterpret_cast<void*>(::GetProcAddress(mapi, "MAPIFreeBuffer")));
    ASSERT_TRUE(get_one && free_buffer);
    SPropValue* value = nullptr;
    ASSERT_EQ(S_OK, get_one(message.Get(), PR_TRANSPORT_MESSAGE_HEADERS_A, &value));
    const std::string file = read_all(std::wstring(MAILHOST_SAMPLES) + L"/01-spam.eml");
    EXPECT_EQ(file.substr(0, file.find("\r\n\r\n") + 2), value->Value.lpszA);
    free_buffer(value);
}

TEST_F(ObjectModel, SaveAsWritesTheMessageAndReplacesAnOldFile) {
    IDispatch* app = start_with();
    const std::wstring path = temp_path(L"mailhost-saveas.eml");
    { std::ofstream(path.c_str()) << std::string(100000, 'x'); }
    call(first_selected(app).Get(), L"SaveAs", {variant(path)});
    EXPECT_EQ(read_all(std::wstring(MAILHOST_SAMPLES) + L"/01-spam.eml"), read_all(path));
    ::DeleteFileW(path.c_str());
}

TEST_F(ObjectModel, ForwardSendWritesAnEmlIntoTheOutbox) {
    IDispatch* app = start_with();
    auto forward = get_object(first_selected(app).Get(), L"Forward");
    EXPECT_EQ(L"FW: Lowest prices on printer ink - this week only", get(forward.Get(), L"Subject").as_wstring());
    EXPECT_NE(std::wstring::npos, get(forward.Get(), L"body").as_wstring().find(L"our warehouse is overflowing"));
    EXPECT_EQ(E_FAIL, failure_of([&] { call(forward.Get(), L"Send"); }));   // nobody to send to
    call(get_object(forward.Get(), L"Recipients").Get(), L"Add", {variant(L"spam@example.com")});
    put(forward.Get(), L"bcc", variant(L"copy@example.com"));
    put(forward.Get(), L"Subject", variant(L"[*SPAM*] report"));
    auto attachments = get_object(forward.Get(), L"Attachments");
    EXPECT_NE(S_OK, failure_of([&] { call(attachments.Get(), L"Add", {variant(L"C:\\no\\such\\file.eml")}); }));
    call(attachments.Get(), L"Add", {variant(std::wstring(MAILHOST_SAMPLES) + L"/02-clean.eml")});
    const int outbox = mailhost_folder_count(L"Outbox");
    call(forward.Get(), L"Send");
    EXPECT_EQ(outbox + 1, mailhost_folder_count(L"Outbox"));
    const std::string sent = read_all(mailhost::simulated_outlook::last_sent_file());
    EXPECT_NE(std::string::npos, sent.find("To: spam@example.com\r\n"));
    EXPECT_NE(std::string::npos, sent.find("Bcc: copy@example.com\r\n"));
    EXPECT_NE(std::string::npos, sent.find("Subject: [*SPAM*] report\r\n"));
    EXPECT_NE(std::string::npos, sent.find("filename=\"02-clean.eml\""));
    EXPECT_NE(S_OK, failure_of([&] { call(forward.Get(), L"Send"); }));     // sent once only
}

TEST_F(ObjectModel, DeleteMovesToDeletedItems) {
    IDispatch* app = start_with();
    const int inbox = mailhost_folder_count(L"Inbox");
    call(first_selected(app).Get(), L"Delete");
    EXPECT_EQ(inbox - 1, mailhost_folder_count(L"Inbox"));
    EXPECT_EQ(1, mailhost_folder_count(L"Deleted Items"));
}

TEST_F(ObjectModel, ItemClassesOtherThanMail) {
    IDispatch* app = start_with();
    ASSERT_EQ(S_OK, mailhost_add_message(L"Inbox", "\r\nno headers here", 47));
    const int last = mailhost_folder_count(L"Inbox");
    ASSERT_EQ(S_OK, mailhost_select(1, &last, 1));
    auto item = get_object(get_object(get_object(app, L"ActiveExplorer").Get(), L"Selection").Get(), L"Item", {variant(1)});
    EXPECT_EQ(47, get(item.Get(), L"Class").as_int());
}

TEST_F(ObjectModel, CallsAfterQuitReportADisconnectedServer) {
    IDispatch* app = start_with();
    ComPtr<IDispatch> kept = app;
    auto explorer = get_object(app, L"ActiveExplorer");
    call(app, L"Quit");
    EXPECT_FALSE(mailhost_running());
    EXPECT_EQ(RPC_E_DISCONNECTED, failure_of([&] { get(explorer.Get(), L"Selection"); }));
    EXPECT_EQ(RPC_E_DISCONNECTED, failure_of([&] { get(kept.Get(), L"ActiveExplorer"); }));
}

}  // namespace
