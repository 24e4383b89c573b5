// Email Setting and Vehicle Details, opened directly from their templates
// in this program's resources and driven inside their own modal loops.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "datastore.h"
#include "livewindow.h"
#include "mainwindow.h"
#include "resource.h"
#include "textutil.h"

namespace {

std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[2048] = {0};
    GetDlgItemTextW(dialog, id, text, ARRAYSIZE(text));
    return text;
}

// The height of the font a control draws with.
int FontHeight(HWND dialog, int id) {
    HFONT font = (HFONT)SendDlgItemMessageW(dialog, id, WM_GETFONT, 0, 0);
    LOGFONTW lf = {};
    if (font == NULL || GetObjectW(font, sizeof lf, &lf) == 0) return 0;
    return lf.lfHeight;
}

bool Visible(HWND dialog) { return IsWindow(dialog) && IsWindowVisible(dialog); }

class SmallDialogs : public testing::Test {
  protected:
    void SetUp() override {
        AppInstance = GetModuleHandleW(NULL);
        live::Shown.clear();
        MessageBoxHook = live::RecordMessage;
        UseEnglish = 1;
    }
    void TearDown() override {
        MessageBoxHook = NULL;
        UseEnglish = 0;
    }

    // Runs Email Setting over no owner; act ends it. Returns its end code.
    INT_PTR RunEmail(const std::function<void(HWND)> &act) {
        INT_PTR result = -1;
        EXPECT_TRUE(live::RunModal(
            L"Email Setting",
            [&] {
                result = DialogBoxParamW(AppInstance, MAKEINTRESOURCEW(IDD_EMAIL_SETTING), NULL,
                                         EmailSettingDialogProc, 0);
            },
            act));
        return result;
    }
};

TEST_F(SmallDialogs, EmailNeedsAnAtSignAndKeepsWhatTheDiaryCanGiveBack) {
    const std::wstring old = L"old@example.com";
    const std::wstring longName(300, L'a');
    struct Case {
        std::wstring keyed;
        bool accepted;
        std::wstring stored;  // EmailText afterwards
    } cases[] = {
        {L"", false, old},
        {L"agent.example.com", false, old},
        {L"@", true, L"@"},
        {L"x@" + longName, true, (L"x@" + longName).substr(0, 255)},
        // The '@' would fall beyond what can be stored.
        {longName + L"@example.com", false, old},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.keyed.substr(0, 30)));
        TextCopy(EmailText, old.c_str());
        live::Shown.clear();
        std::wstring shownFirst;
        bool stayed = false;
        INT_PTR result = RunEmail([&](HWND dialog) {
            shownFirst = ItemText(dialog, IDC_EMAILSET_ADDRESS);
            SetDlgItemTextW(dialog, IDC_EMAILSET_ADDRESS, c.keyed.c_str());
            SendDlgItemMessageW(dialog, IDC_EMAILSET_OK, BM_CLICK, 0, 0);
            stayed = Visible(dialog);
            if (stayed) SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        });
        EXPECT_EQ(shownFirst, old) << "the field opens with the address in use";
        EXPECT_EQ(std::wstring(EmailText), c.stored);
        if (c.accepted) {
            EXPECT_EQ(result, IDC_EMAILSET_OK);
            EXPECT_FALSE(stayed);
            EXPECT_TRUE(live::Shown.empty());
        } else {
            EXPECT_TRUE(stayed) << "a refused address can be corrected at once";
            EXPECT_EQ(result, kEmailSettingClosed) << "the close box ends it";
            ASSERT_EQ(live::Shown.size(), 1u);
            EXPECT_EQ(live::Shown[0].text, L"The email's format is not correct. Please keyin the email again.");
            EXPECT_EQ(live::Shown[0].caption, L"Error");
        }
    }
}

TEST_F(SmallDialogs, EmailInMalayEscDoesNotCloseItAndTheCloseBoxKeepsTheAddress) {
    UseEnglish = 0;
    TextCopy(EmailText, L"ejen@contoh.my");
    std::wstring label, example;
    int labelFont = 0, fieldFont = 0;
    bool openAfterEsc = false;
    INT_PTR result = RunEmail([&](HWND dialog) {
        label = ItemText(dialog, IDC_EMAILSET_LABEL);
        example = ItemText(dialog, IDC_EMAILSET_EXAMPLE);
        labelFont = FontHeight(dialog, IDC_EMAILSET_LABEL);
        fieldFont = FontHeight(dialog, IDC_EMAILSET_ADDRESS);
        SetDlgItemTextW(dialog, IDC_EMAILSET_ADDRESS, L"tanpa-alamat");
        SendDlgItemMessageW(dialog, IDC_EMAILSET_OK, BM_CLICK, 0, 0);
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);  // what Esc sends
        openAfterEsc = Visible(dialog);
        SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(label, L"Masukkan email anda:");
    EXPECT_EQ(example.substr(0, 19), L"Contoh email: \r\n   ");
    EXPECT_EQ(labelFont, 25);
    EXPECT_EQ(fieldFont, 25);
    EXPECT_TRUE(openAfterEsc);
    EXPECT_EQ(result, kEmailSettingClosed);
    EXPECT_STREQ(EmailText, L"ejen@contoh.my");
    ASSERT_EQ(live::Shown.size(), 1u);
    EXPECT_EQ(live::Shown[0].text, L"Format email adalah tidak betul. Sila masukkan lagi sekali.");
}

TEST_F(SmallDialogs, VehicleDetailsChoosesTheFontByEachFieldsLimit) {
    struct Field {
        int id;
        VehicleDetail text;
        size_t limit;
    } fields[] = {
        {IDC_DETAIL_PLATE, kDetailPlate, 28},          {IDC_DETAIL_ARREARS, kDetailArrears, 12},
        {IDC_DETAIL_LASTPAY, kDetailLastPayment, 12},  {IDC_DETAIL_DESCRIPTION, kDetailDescription, 55},
        {IDC_DETAIL_FINANCIER, kDetailFinancier, 28},  {IDC_DETAIL_LOCATION, kDetailLocation, 28},
    };
    // Every field at its limit, then every field one character over it.
    for (size_t extra : {0u, 1u}) {
        for (const Field &f : fields) {
            std::wstring text(f.limit + extra, L'A' + (wchar_t)f.text);
            TextCopy(VehicleDetailTexts[f.text], text.c_str());
        }
        int heights[6] = {0};
        std::wstring texts[6], arrearsTitle;
        bool openAfterEsc = false;
        INT_PTR result = -1;
        ASSERT_TRUE(live::RunModal(
            L"Vehicle Details",
            [&] {
                result = DialogBoxParamW(AppInstance, MAKEINTRESOURCEW(IDD_VEHICLE_DETAILS), NULL,
                                         VehicleDetailsDialogProc, 0);
            },
            [&](HWND dialog) {
                for (const Field &f : fields) {
                    heights[f.text] = FontHeight(dialog, f.id);
                    texts[f.text] = ItemText(dialog, f.id);
                }
                arrearsTitle = ItemText(dialog, IDC_DETAIL_ARREARS_TITLE);
                SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                openAfterEsc = Visible(dialog);
                SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            }));
        for (const Field &f : fields) {
            EXPECT_EQ(heights[f.text], extra == 0 ? 25 : 18) << "field " << f.id << ", " << f.limit + extra;
            EXPECT_EQ(texts[f.text], std::wstring(VehicleDetailTexts[f.text])) << f.id;
        }
        EXPECT_EQ(arrearsTitle, L"Arrear Month");
        EXPECT_TRUE(openAfterEsc) << "Esc does not close it";
        EXPECT_EQ(result, 0);
    }
}

}  // namespace
