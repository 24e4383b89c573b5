// Shared pieces of the book window tests over the live main window: remark
// rows put straight into the program's own remark book, list and dialog
// helpers, and a message recorder that answers questions with Yes or No.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "livewindow.h"

namespace booktest {

// Adds a remark row through the program's connection: plate and the other
// texts are enciphered as the program stores them; followUp is C7 as
// stored ("YYYY-MM-DD" or "NULL").
void AddRemark(const std::wstring &plate, const std::wstring &savedAt, const std::wstring &followUp,
               const std::wstring &bank = L"BANK ISLAM", const std::wstring &remark = L"CALL OWNER",
               const std::wstring &arrears = L"3", const std::wstring &lastPayment = L"05 Mar 2025");

// The answer that the recorder gives to a Yes/No question.
extern int QuestionAnswer;  // IDYES or IDNO
// Records every message box in live::Shown and answers questions.
int AnswerMessage(HWND owner, const WCHAR *text, const WCHAR *caption, UINT type);

// The live main window in English, with message boxes recorded and
// questions answered by QuestionAnswer (Yes at the start of each test).
class BookWindowTest : public live::LiveMainWindow {
  protected:
    void SetUp() override;
};

// Selects row of list (single selection) and sends the dialog the list's
// NM_CLICK, as a click on the row does.
void ClickRow(HWND dialog, HWND list, int row);
// Empties field fieldId of dialog, types text into it and presses Esc on
// it through the dialog manager (from inside the dialog's modal loop).
// Returns true when the dialog is still up afterwards.
bool TypeThenEscape(HWND dialog, int fieldId, const std::wstring &text);
// The text of a list cell, of a dialog control.
std::wstring Cell(HWND list, int row, int subItem);
std::wstring Text(HWND dialog, int id);
void Click(HWND dialog, int id);

// Date text 'YYYY-MM-DD' of t.
std::wstring IsoDate(const SYSTEMTIME &t);
// t moved by days.
SYSTEMTIME AddDays(const SYSTEMTIME &t, int days);

// The remark book's C1 .. C7 of the row whose plate is plate (deciphered
// where stored enciphered); empty when there is none.
std::vector<std::wstring> RemarkRow(const std::wstring &plate);

}  // namespace booktest
